// SPDX-License-Identifier: MIT
// Loading another library and finding its members by their exported names, on POSIX systems.
#include "platform/library.h"

#include <cerrno>
#include <cstdio>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nvr::vantorquadrelv3::platform {

void* library_load(const char* path, std::string* error)
{
    // RTLD_DEEPBIND: the library's calls to its own functions reach its definitions, not the
    // caller's of the same names.
    void* library = ::dlopen(path, RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND);
    if (library == nullptr && error != nullptr) {
        const char* reason = ::dlerror();
        *error = reason != nullptr ? reason : "unknown error";
    }
    return library;
}

void* library_load_by_name(const char* name, std::string* error)
{
    void* library = ::dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr && error != nullptr) {
        const char* reason = ::dlerror();
        *error = reason != nullptr ? reason : "unknown error";
    }
    return library;
}

void* library_symbol(void* library, const char* name)
{
    return ::dlsym(library, name);
}

std::string exported_name(const void* address)
{
    Dl_info info{};
    if (::dladdr(address, &info) == 0 || info.dli_sname == nullptr || info.dli_saddr != address) return {};
    return info.dli_sname;
}

bool file_replace_private(const std::string& path, const void* data, std::size_t size)
{
    const std::string part = path + ".part";
    const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool written = ::fchmod(fd, 0600) == 0; // a file left by an earlier run keeps its mode otherwise
    const char* bytes = static_cast<const char*>(data);
    while (written && size > 0) {
        const ssize_t count = ::write(fd, bytes, size);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) written = false;
        else {
            bytes += count;
            size -= static_cast<std::size_t>(count);
        }
    }
    written = ::close(fd) == 0 && written;
    if (written && ::rename(part.c_str(), path.c_str()) == 0) return true;
    ::unlink(part.c_str());
    return false;
}

} // namespace nvr::vantorquadrelv3::platform
