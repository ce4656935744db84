// SPDX-License-Identifier: MIT
// The capture tool's shared pieces: frame geometry, options, console, status wording, pictures.
#pragma once

#include <chrono>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "kova_status.h"
#include "kovavantorquadrelv3.h"

#if defined(__GNUC__)
#define KOVA_TOOL_PRINTF __attribute__((format(printf, 2, 3)))
#else
#define KOVA_TOOL_PRINTF
#endif

namespace kova_tool {

using Clock = std::chrono::steady_clock;

// Live frame geometry: 16-bit little-endian samples, 10 significant bits.
constexpr unsigned frame_width = 1600;
constexpr unsigned frame_height = 1500;
constexpr std::size_t frame_stride = frame_width * 2;
constexpr std::size_t frame_bytes = frame_stride * frame_height;
constexpr std::size_t frame_samples = std::size_t{frame_width} * frame_height;
constexpr unsigned sample_max = 1023;
static_assert(frame_samples == KOVA_UNIFORMITY_TABLE_ENTRIES, "one table entry per sample");

constexpr auto frame_stall_limit = std::chrono::seconds(10);
constexpr auto replug_wait_limit = std::chrono::seconds(30);
constexpr unsigned scenario_replug_ms = 1000;
constexpr unsigned fast_frame_interval_us = 5000;

struct Options {
    std::string sensor;
    unsigned frames = 30;
    std::string out = "capture";
    unsigned level = 3;
    std::string scenario;      // the stand-in's scenario file
    std::string panel;         // the stand-in's panel port
    unsigned unplug_after = 0; // 0: no unplug event
    bool fast = false;
    bool list = false; // --list: print the scanners and exit
    bool json = false; // with --list: as one JSON document
};

// 0 to go on, -1 when done (help or version shown), otherwise the exit status of bad usage.
int parse_options(int argc, char** argv, Options& options);

// Lines from several threads, and one progress line that the others step around. On a terminal the
// progress line is rewritten in place; into a file or pipe it goes out once a second, as lines.
class Console {
public:
    Console();

    KOVA_TOOL_PRINTF void line(const char* format, ...)
    {
        char text[1024];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        std::lock_guard<std::mutex> guard(mutex_);
        if (tty_ && !progress_.empty()) std::fputs("\r\033[K", stdout);
        std::fputs(text, stdout);
        std::fputc('\n', stdout);
        if (tty_) std::fputs(progress_.c_str(), stdout);
        std::fflush(stdout);
    }

    void progress(const std::string& text, bool last = false)
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (tty_) {
            std::string padded = text;
            if (padded.size() < progress_.size()) padded.append(progress_.size() - padded.size(), ' ');
            std::fprintf(stdout, "\r%s%s", padded.c_str(), last ? "\n" : "");
            progress_ = last ? std::string() : text;
        } else if (last || Clock::now() - progress_written_ >= std::chrono::seconds(1)) {
            std::fprintf(stdout, "%s\n", text.c_str());
            progress_written_ = Clock::now();
        }
        std::fflush(stdout);
    }

private:
    std::mutex mutex_;
    std::string progress_; // on the terminal's last line
    Clock::time_point progress_written_;
    bool tty_;
};

extern Console console;

// "9005 (device unavailable: ...)": the code and what it means to this tool.
std::string describe(KovaStatus status);

struct Failure {
    std::string message;
};

// A refused call ends the run, reported with its name, code and text.
void require(const char* call, KovaStatus status);

// Fixed-width text fields carry no terminator when full.
std::string field(const char* bytes, std::size_t width);

// Whether a notification's serial number is the scanner whose device information reported
// `reported`: the library reports the part after the first '-', cut to the record's 16 characters.
bool is_reported_serial(const std::string& notified, const std::string& reported);

// Pictures (pictures.cpp).
bool write_png(const char* path, const unsigned char* data, unsigned width, unsigned height, int bit_depth,
               int significant_bits);
unsigned sample_at(const unsigned char* frame, std::size_t index);
unsigned char to_8bit(double value);
std::pair<unsigned, unsigned> stretch_table(const std::uint16_t* table, std::vector<unsigned char>& out);

// --list, as text or as one JSON document (listing.cpp). Returns the exit status.
int list_scanners(const Options& options);

} // namespace kova_tool
