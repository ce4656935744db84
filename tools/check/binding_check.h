// SPDX-License-Identifier: MIT
// Whether the system will bind to a device library: each member it imports against the library's
// exports, the library's machine and C++ runtime. Findings, one per line, in text or JSON.
#pragma once

#include <string>
#include <vector>

#include "tools/check/module_image.h"

namespace kova_check {

struct Finding {
    std::string kind;    // "module", "runtime", "layout", "exported", "missing", "refused", "host", "verdict"
    std::string subject; // the member, the file, or the check
    std::string text;    // the line's text after "kind: "
    bool fatal = false;  // the system will not bind (or not run) because of it
    std::string library_signature, system_signature; // a missing member's, demangled
};

Finding finding(std::string kind, std::string subject, std::string text, bool fatal = false);

// Readable names for decorated ones (MSVC or Itanium); the name itself when it cannot.
using Demangler = std::string (*)(const std::string& decorated);

// The members the system imports from the device library, in each ABI's decoration, as the build
// recorded them.
const std::vector<std::string>& imported_members_msvc();
const std::vector<std::string>& imported_members_itanium();

// Checks the module at path (already read into image) as the system's device library.
std::vector<Finding> check_device_library(const std::string& path, const ModuleImage& image, Demangler demangle);

// A demangled function's parts: "Celdra::...::open_sensor", its arguments, and the rest of it.
struct Signature {
    std::string member;
    std::vector<std::string> arguments;
    std::string before, after; // what precedes the member (access, return type) and follows ")"
};
Signature split_signature(const std::string& demangled);

// The first difference between the library's and the system's signature of one member, as a reader
// at the scanner needs it: "open_sensor: the library's takes `unsigned long *`, the system passes
// `unsigned int *`".
std::string first_difference(const Signature& library, const Signature& system);

std::string as_text(const Finding& finding);
std::string as_json(const std::vector<Finding>& findings, bool binds);

} // namespace kova_check
