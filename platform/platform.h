// Every call into the operating system goes through here, so that another platform only
// needs another implementation of this file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace nvr::vantorquadrelv3::platform {

// The machine-wide data folder (ProgramData), without a trailing separator; empty if unknown.
std::string program_data_folder();
constexpr char path_separator = '/';

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

} // namespace nvr::vantorquadrelv3::platform
