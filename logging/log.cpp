// SPDX-License-Identifier: MIT
// The rotating log file: line prefixes, levels, the size limit and the predecessor file.
#include "logging/log.h"

#include <boost/filesystem.hpp>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

#include "interface/shared_manager.h"
#include "manager/vantorquadrelv3_manager.h"
#include "platform/platform.h"

namespace nvr::vantorquadrelv3 {

namespace {

constexpr std::size_t text_capacity = 1024;
constexpr std::size_t path_capacity = 256;

int log_fd = -1;

// Serialises whole lines, the lazy open and the rotation. A leaf lock: nothing calls out under it.
std::mutex& log_mutex()
{
    // Outlives static destruction (the device library's threads may log while the process exits),
    // in the module's own storage, not the heap, so that an unloaded library leaves nothing behind.
    alignas(std::mutex) static unsigned char storage[sizeof(std::mutex)];
    static std::mutex* mutex = new (storage) std::mutex;
    return *mutex;
}

// folder + name into a path of at most 255 bytes; false when it does not fit.
bool make_path(char (&path)[path_capacity], const std::string& folder, const char* name)
{
    int n = std::snprintf(path, sizeof path, "%s%s", folder.c_str(), name);
    return n >= 0 && static_cast<std::size_t>(n) < sizeof path;
}

int open_current(const std::string& folder)
{
    char path[path_capacity];
    if (!make_path(path, folder, log_file_name)) return -1;
    return platform::file_open_append(path);
}

std::uint64_t max_log_size()
{
    auto manager = get_shared_manager();
    return manager ? manager->max_log_size.load() : 0;
}

void rotate_locked(const std::string& folder)
{
    char current[path_capacity];
    char predecessor[path_capacity];
    bool fits = make_path(current, folder, log_file_name) && make_path(predecessor, folder, log_predecessor_name);
    if (log_fd != -1) {
        platform::file_close(log_fd);
        log_fd = -1;
    }
    if (!fits) return;
    platform::file_delete(predecessor);
    platform::file_rename_no_replace(current, predecessor);
    platform::file_delete(current);
    log_fd = platform::file_open_append(current);
}

int open_locked()
{
    if (log_fd != -1) return log_fd;
    std::string folder = log_folder();
    auto manager = get_shared_manager();
    boost::system::error_code error;
    if (!boost::filesystem::is_directory(boost::filesystem::status(folder, error)))
        boost::filesystem::create_directories(folder, error);
    int fd = open_current(folder);
    if (fd == -1) return -1;
    log_fd = fd;
    std::uint64_t size = 0;
    std::uint64_t limit = manager ? manager->max_log_size.load() : 0;
    if (!platform::file_size(fd, &size) || size >= limit) rotate_locked(folder);
    return log_fd;
}

void write_prefix(int fd)
{
    static const char* const weekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    platform::LocalTime now = platform::local_time_now();
    char stamp[64];
    int n = std::snprintf(stamp, sizeof stamp, "%s %s %02d %02d:%02d:%02d.%03d", weekdays[now.weekday % 7],
                          months[now.month % 12], now.day, now.hour, now.minute, now.second, now.millisecond);
    platform::file_write_text(fd, stamp, static_cast<std::size_t>(n));
    platform::file_write_text(fd, " ", 1);
    char thread[32];
    n = std::snprintf(thread, sizeof thread, "Thd %16lu ", platform::current_thread_id());
    platform::file_write_text(fd, thread, static_cast<std::size_t>(n));
}

} // namespace

int log_open()
{
    std::lock_guard<std::mutex> guard(log_mutex());
    return open_locked();
}

void log_rotate(const char* folder)
{
    std::lock_guard<std::mutex> guard(log_mutex());
    rotate_locked(folder);
}

void log_close()
{
    std::lock_guard<std::mutex> guard(log_mutex());
    if (log_fd != -1) {
        platform::file_close(log_fd);
        log_fd = -1;
    }
}

int log_write_line(const char* text)
{
    std::size_t n = std::strlen(text);
    std::uint64_t limit = max_log_size();
    std::lock_guard<std::mutex> guard(log_mutex());
    if (n >= limit) return -1;
    int fd = open_locked();
    if (fd == -1) return -1;
    std::uint64_t size = 0;
    if (!platform::file_size(fd, &size) || size >= limit) {
        rotate_locked(log_folder());
        if (log_fd == -1) return -1;
        fd = log_fd;
    }
    write_prefix(fd);
    if (!platform::file_write_text(fd, text, n)) return -1;
    platform::file_commit(fd);
    return 0;
}

void log_print(int level, const char* format, ...) noexcept
{
    // Callers run on the device library's threads too: a line that cannot be written is dropped,
    // whatever the reason.
    try {
        auto manager = get_shared_manager();
        if (!manager || manager->log_level.load() < level) return;
        manager.reset();
        char text[text_capacity];
        va_list args;
        va_start(args, format);
        platform::format_text(text, sizeof text, format, args);
        va_end(args);
        log_write_line(text);
    } catch (...) {
    }
}

} // namespace nvr::vantorquadrelv3
