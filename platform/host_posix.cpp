// SPDX-License-Identifier: MIT
// The field tool's questions on POSIX systems: LLVM's demangler, and the dynamic loader itself for
// where a library comes from.
#include "platform/host.h"

#include <llvm/Demangle/Demangle.h>

#include <dlfcn.h>
#include <link.h>

namespace nvr::vantorquadrelv3::platform {

std::string demangle(const std::string& decorated)
{
    return llvm::demangle(decorated);
}

std::vector<std::string> library_candidates(const char* name)
{
    // Only the loader knows its cache and its paths: ask it to load the library, and where from.
    void* library = ::dlopen(name, RTLD_LAZY | RTLD_LOCAL);
    if (library == nullptr) return {};
    std::vector<std::string> found;
    link_map* map = nullptr;
    if (::dlinfo(library, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr && map->l_name != nullptr)
        found.emplace_back(map->l_name);
    ::dlclose(library);
    return found;
}

std::string system_folder()
{
    return {};
}

std::string file_version(const std::string&)
{
    return {};
}

} // namespace nvr::vantorquadrelv3::platform
