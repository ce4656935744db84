// SPDX-License-Identifier: MIT
// What the recorder needs of the OS to stand in front of another device library: load it by path,
// find its functions by the names they are exported under, and write files only their owner reads.
#pragma once

#include <cstddef>
#include <string>

namespace nvr::vantorquadrelv3::platform {

// Loads the shared library at path, its own references bound to its own definitions first (a
// library of the same exported names, the caller, is already loaded). Null on failure, with a
// reason in *error.
void* library_load(const char* path, std::string* error);
// Loads a library by name, as an application loads it (the system's own search order, its symbols
// bound the usual way). Null on failure, with a reason in *error.
void* library_load_by_name(const char* name, std::string* error);
// The function or object the library exports under name; null when it has none.
void* library_symbol(void* library, const char* name);
// The name under which the module holding address exports exactly that address; empty when none.
std::string exported_name(const void* address);

// Writes the whole file, readable and writable by its owner only, through a temporary file beside
// it and a rename: a reader (or a crash) sees the old file or the new one, never part of one.
bool file_replace_private(const std::string& path, const void* data, std::size_t size);

} // namespace nvr::vantorquadrelv3::platform
