// SPDX-License-Identifier: MIT
// What a field tool asks of the machine it runs on: readable C++ names, where the loader finds a
// library an application loads by name, and a file's version.
#pragma once

#include <string>
#include <vector>

namespace nvr::vantorquadrelv3::platform {

// A decorated name (MSVC's or Itanium's) made readable; the name itself when it cannot be.
std::string demangle(const std::string& decorated);

// The files the loader would consider for a library loaded by name from this program, in its order:
// the first is the one it takes. Empty when it finds none.
std::vector<std::string> library_candidates(const char* name);

// The folder of the system's own DLLs (System32); empty where there is none.
std::string system_folder();

// A file's version from its version resource ("14.36.32532.0"); empty when it has none.
std::string file_version(const std::string& path);

} // namespace nvr::vantorquadrelv3::platform
