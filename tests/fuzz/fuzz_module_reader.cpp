// SPDX-License-Identifier: MIT
// Fuzzes kova-check's reader of PE and ELF export tables: any bytes, from the seeds (a stand-in's
// library of each format and a cut one) outwards, and the binding check over whatever it read.
#include <cstdint>
#include <string>

#include "tools/check/binding_check.h"
#include "tools/check/module_image.h"

namespace {
std::string readable(const std::string& name)
{
    return name; // the demangler is LLVM's own, fuzzed there; the reader is ours
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    kova_check::ModuleImage image;
    if (!kova_check::read_module(data, size, image).empty()) return 0;
    for (const kova_check::Finding& finding : kova_check::check_device_library("fuzzed", image, readable))
        (void)kova_check::as_text(finding);
    return 0;
}
