// SPDX-License-Identifier: MIT
// What a field check needs of a library file, read from its bytes alone (no loader, no OS): its
// format, machine, exported names and the libraries it names as needed. Any bytes are safe to give.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kova_check {

struct ModuleImage {
    enum class Format { pe, elf };
    Format format = Format::pe;
    std::uint16_t machine = 0; // IMAGE_FILE_MACHINE_* or EM_*
    bool wide = false;         // a 64-bit module (PE32+, ELFCLASS64)
    std::vector<std::string> exports;
    std::vector<std::string> needed; // imported DLLs, or DT_NEEDED
};

// Reads the module; returns an empty text on success, else why the bytes are not a module it can
// read ("not a PE or ELF file", "truncated ...").
std::string read_module(const unsigned char* data, std::size_t size, ModuleImage& module);

// "x64", "x86 (32-bit)", "ARM64", ... for the module's format.
std::string machine_name(const ModuleImage& module);
// Whether the system (a 64-bit x86 library) can load it at all.
bool machine_supported(const ModuleImage& module);

} // namespace kova_check
