// SPDX-License-Identifier: MIT
// The operating system's calls on POSIX systems: files, folders, threads and time.
#include "platform/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <system_error>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

namespace nvr::vantorquadrelv3::platform {

bool run_once(OnceFlag& flag, void (*function)())
{
    try {
        std::call_once(flag, function);
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

std::string program_data_folder()
{
    // Windows keeps an environment variable of this name on the same folder.
    const char* value = std::getenv("PROGRAMDATA");
    if (value != nullptr && value[0] != '\0') return value;
    return "/var/lib";
}

void format_text(char* buffer, std::size_t capacity, const char* format, va_list args)
{
    if (capacity == 0) return;
    if (std::vsnprintf(buffer, capacity, format, args) < 0) buffer[0] = '\0';
}

unsigned long current_thread_id()
{
    return static_cast<unsigned long>(::syscall(SYS_gettid));
}

LocalTime local_time_now()
{
    struct timeval now {};
    ::gettimeofday(&now, nullptr);
    std::time_t seconds = now.tv_sec;
    std::tm parts {};
    ::localtime_r(&seconds, &parts);
    return LocalTime{parts.tm_wday, parts.tm_mon,  parts.tm_mday,
                     parts.tm_hour, parts.tm_min,  parts.tm_sec,
                     static_cast<int>(now.tv_usec / 1000)};
}

int file_open_append(const char* path)
{
    int fd;
    do {
        fd = ::open(path, O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool file_size(int fd, std::uint64_t* size)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0) return false;
    *size = static_cast<std::uint64_t>(info.st_size);
    return true;
}

static bool write_all(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool file_write_text(int fd, const char* data, std::size_t size)
{
    // Translate into one buffer so that a piece of a line is one append.
    char buffer[4096];
    std::size_t used = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (used + 2 > sizeof buffer) {
            if (!write_all(fd, buffer, used)) return false;
            used = 0;
        }
        if (data[i] == '\n') buffer[used++] = '\r';
        buffer[used++] = data[i];
    }
    return write_all(fd, buffer, used);
}

bool file_commit(int fd)
{
    return ::fsync(fd) == 0;
}

void file_close(int fd)
{
    ::close(fd);
}

bool file_delete(const char* path)
{
    return ::unlink(path) == 0;
}

bool file_rename_no_replace(const char* from, const char* to)
{
#if defined(RENAME_NOREPLACE)
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
    // Only a file system (or kernel) without the flag goes on to the older way.
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
#endif
    // link() fails when the target exists, which is the no-replace rule.
    if (::link(from, to) != 0) return false;
    ::unlink(from);
    return true;
}

const char* special_file_kind(const char* path)
{
    struct stat info;
    if (::stat(path, &info) != 0) return nullptr;
    if (S_ISREG(info.st_mode)) return nullptr;
    if (S_ISDIR(info.st_mode)) return "a folder";
    if (S_ISFIFO(info.st_mode)) return "a FIFO";
    if (S_ISCHR(info.st_mode)) return "a character device";
    if (S_ISBLK(info.st_mode)) return "a block device";
    if (S_ISSOCK(info.st_mode)) return "a socket";
    return "not a file";
}

bool stdout_is_terminal()
{
    return ::isatty(STDOUT_FILENO) != 0;
}

void* module_hold_self()
{
    // dlopen of a loaded object by its own path counts one more reference and loads nothing.
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&module_hold_self), &info) == 0 || info.dli_fname == nullptr) return nullptr;
    return ::dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
}

void module_release(void* module)
{
    if (module != nullptr) ::dlclose(module);
}

} // namespace nvr::vantorquadrelv3::platform
