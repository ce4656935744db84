// SPDX-License-Identifier: MIT
// Shared fixture: every test starts without a log folder (its own PROGRAMDATA; on Windows the
// system's ProgramData, emptied of ours) and with a stand-in with one scanner.
#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "kova_status.h"
#include "kovavantorquadrelv3.h"
#include "simulator/vqsim.h"

namespace kova_test {

inline constexpr const char* default_sensor = "QV3-0001";
inline constexpr const char* default_serial = "QV3-5A1C0042";

constexpr std::size_t line_prefix_size = 45;

// True when a line prefix starts at pos: "Www Mmm dd hh:mm:ss.mmm Thd " and a thread id right-aligned in 16.
bool is_line_prefix(const std::string& bytes, std::size_t pos);

// Sets PROGRAMDATA for this process (the library's log folder on POSIX systems).
void set_program_data(const std::string& folder);

// The log file's bytes with the 45-byte prefix (timestamp, blank, thread piece) of every line removed.
std::string strip_prefixes(const std::string& log);

// What this process writes to standard error between construction and text(): read through a pipe
// by a thread of its own, so it needs no file (GoogleTest's CaptureStderr writes one in /tmp, and
// reads back nothing when the disk is full).
class StderrCapture {
public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;
    // Ends the capture (the first call) and returns what was written.
    std::string text();

private:
    int saved_ = -1;
    std::string captured_;
    struct Reader;
    Reader* reader_ = nullptr;
};

// Counts deliveries and lets a test wait for a number of them.
struct FrameSink {
    std::mutex mutex;
    std::condition_variable changed;
    unsigned long long delivered = 0;
    bool null_pixels = false;

    static void deliver(unsigned char* pixels, void* context)
    {
        auto* sink = static_cast<FrameSink*>(context);
        std::lock_guard<std::mutex> guard(sink->mutex);
        ++sink->delivered;
        sink->null_pixels |= pixels == nullptr;
        sink->changed.notify_all();
    }
    void wait_for(unsigned long long count)
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return delivered >= count; });
    }
    unsigned long long count()
    {
        std::lock_guard<std::mutex> guard(mutex);
        return delivered;
    }
};

class KovaTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string log_path() const;
    std::string predecessor_path() const;
    // Raw bytes of the current log file ("" when absent).
    std::string log_bytes() const;
    // The log's texts without their prefixes.
    std::string log_texts() const { return strip_prefixes(log_bytes()); }

    KovaStatus initialize(unsigned level = 3, int max_size = 0, NotificationCallback callback = nullptr)
    {
        return KovaInitialize_N(callback, level, max_size);
    }
    // Initialises (level 3) and opens the default scanner.
    std::uint32_t open_default();

    void remove_log_folder() const;

    std::string folder_;
};

} // namespace kova_test
