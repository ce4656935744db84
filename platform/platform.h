// SPDX-License-Identifier: MIT
// Every call into the operating system goes through here, so that another platform only
// needs another implementation of this file.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

#if !defined(_WIN32)
#include <mutex>
#endif

namespace nvr::vantorquadrelv3::platform {

// The platform's one-time initialisation, as a standard once-flag uses it.
#if defined(_WIN32)
struct OnceFlag {
    void* state = nullptr; // an INIT_ONCE
};
#else
using OnceFlag = std::once_flag;
#endif
// Runs function once per flag; callers that find it running wait for it. False when the platform's
// one-time initialisation itself failed.
bool run_once(OnceFlag& flag, void (*function)());

// The machine-wide data folder (ProgramData), without a trailing separator; empty if unknown.
std::string program_data_folder();
#if defined(_WIN32)
constexpr char path_separator = '\\';
#else
constexpr char path_separator = '/';
#endif

// printf-style formatting into a fixed buffer, cut to capacity - 1 characters, by the platform's own
// formatter (on Windows wvsprintfA: integers, characters and strings, no floating point, at most
// 1024 bytes).
void format_text(char* buffer, std::size_t capacity, const char* format, va_list args);

// The calling thread's kernel identifier.
unsigned long current_thread_id();

struct LocalTime {
    int weekday; // 0 = Sunday
    int month;   // 0 = January
    int day;     // 1..31
    int hour;
    int minute;
    int second;
    int millisecond;
};
LocalTime local_time_now();

// Opens (creating it, permissions 0600) for reading and appending, shared with other writers. -1 on failure.
int file_open_append(const char* path);
bool file_size(int fd, std::uint64_t* size);
// Writes in text mode: each LF is stored as CR LF, whatever the platform.
bool file_write_text(int fd, const char* data, std::size_t size);
bool file_commit(int fd);
void file_close(int fd);
bool file_delete(const char* path);
// Never replaces an existing target.
bool file_rename_no_replace(const char* from, const char* to);

// What the path names when it is not a regular file ("a folder", "a FIFO", ...); null for a regular
// file, or for nothing at all.
const char* special_file_kind(const char* path);

// Whether standard output is a terminal.
bool stdout_is_terminal();

// Takes one more reference on the module (DLL or shared object) this code is linked into, so that
// the application's last FreeLibrary or dlclose leaves it mapped; null when the system refused.
void* module_hold_self();
// Drops a reference module_hold_self took.
void module_release(void* module);

} // namespace nvr::vantorquadrelv3::platform
