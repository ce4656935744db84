// SPDX-License-Identifier: MIT
// The operating system's calls on Windows: files, the ProgramData known folder, threads and time.
#include "platform/platform.h"

#include <windows.h>
#include <shlobj.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>

namespace nvr::vantorquadrelv3::platform {

static_assert(sizeof(OnceFlag) == sizeof(INIT_ONCE), "OnceFlag holds an INIT_ONCE");

namespace {
BOOL CALLBACK run_once_callback(PINIT_ONCE, PVOID function, PVOID*)
{
    reinterpret_cast<void (*)()>(function)();
    return TRUE;
}
} // namespace

bool run_once(OnceFlag& flag, void (*function)())
{
    return ::InitOnceExecuteOnce(reinterpret_cast<PINIT_ONCE>(&flag.state), run_once_callback,
                                 reinterpret_cast<PVOID>(function), nullptr) != FALSE;
}

std::string program_data_folder()
{
    PWSTR wide = nullptr;
    if (FAILED(::SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &wide))) {
        ::CoTaskMemFree(wide);
        return std::string();
    }
    // As many bytes as the wide path has characters, plus one: a path that needs more (or cannot be
    // converted in the current locale) comes out empty.
    std::size_t capacity = std::wcslen(wide) + 1;
    std::unique_ptr<char[]> narrow(new (std::nothrow) char[capacity]);
    std::string folder;
    if (narrow) {
        std::size_t converted = 0;
        if (::wcstombs_s(&converted, narrow.get(), capacity, wide, _TRUNCATE) == 0) folder = narrow.get();
    }
    ::CoTaskMemFree(wide);
    return folder;
}

void format_text(char* buffer, std::size_t capacity, const char* format, va_list args)
{
    if (capacity == 0) return;
    // wvsprintfA never writes more than 1024 bytes, terminator included.
    char text[1024];
    int n = ::wvsprintfA(text, format, args);
    if (n < 0) n = 0;
    std::size_t length = static_cast<std::size_t>(n) < capacity ? static_cast<std::size_t>(n) : capacity - 1;
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
}

unsigned long current_thread_id()
{
    return ::GetCurrentThreadId();
}

LocalTime local_time_now()
{
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    return LocalTime{now.wDayOfWeek, now.wMonth - 1, now.wDay,         now.wHour,
                     now.wMinute,    now.wSecond,    now.wMilliseconds};
}

int file_open_append(const char* path)
{
    // Read and write, appending, created when absent (0x10A), shared with every other reader and
    // writer (0x40), readable and writable when created (0x180); the default translation mode is text.
    int fd = -1;
    if (::_sopen_s(&fd, path, _O_RDWR | _O_APPEND | _O_CREAT, _SH_DENYNO, _S_IREAD | _S_IWRITE) != 0) return -1;
    return fd;
}

bool file_size(int fd, std::uint64_t* size)
{
    __int64 length = ::_filelengthi64(fd);
    if (length < 0) return false;
    *size = static_cast<std::uint64_t>(length);
    return true;
}

bool file_write_text(int fd, const char* data, std::size_t size)
{
    // The file is in text mode: the C runtime stores each LF as CR LF.
    while (size > 0) {
        unsigned piece = size > 0x40000000u ? 0x40000000u : static_cast<unsigned>(size);
        int written = ::_write(fd, data, piece);
        if (written <= 0) return false;
        // In text mode the count is of the caller's bytes.
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool file_commit(int fd)
{
    return ::_commit(fd) == 0;
}

void file_close(int fd)
{
    ::_close(fd);
}

bool file_delete(const char* path)
{
    return ::DeleteFileA(path) != FALSE;
}

bool file_rename_no_replace(const char* from, const char* to)
{
    // Without MOVEFILE_REPLACE_EXISTING an existing target makes the move fail.
    return ::MoveFileExA(from, to, 0) != FALSE;
}

const char* special_file_kind(const char* path)
{
    struct _stat64 info;
    if (::_stat64(path, &info) != 0) return nullptr;
    switch (info.st_mode & _S_IFMT) {
    case _S_IFREG: return nullptr;
    case _S_IFDIR: return "a folder";
    case _S_IFCHR: return "a device";
    default: return "a pipe";
    }
}

bool stdout_is_terminal()
{
    return ::_isatty(::_fileno(stdout)) != 0;
}

void* module_hold_self()
{
    // Without GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT the loader counts one more reference.
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                              reinterpret_cast<LPCWSTR>(&module_hold_self), &module))
        return nullptr;
    return module;
}

void module_release(void* module)
{
    if (module != nullptr) ::FreeLibrary(static_cast<HMODULE>(module));
}

} // namespace nvr::vantorquadrelv3::platform
