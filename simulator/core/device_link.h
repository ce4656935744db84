// SPDX-License-Identifier: MIT
// What a scanner's captures share with the rest of the simulation: its counts and states, and a
// small preview of its live frames. A scanner plugged back in keeps it.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace vqsim {

// A small copy of a live frame, taken now and then by the capture thread, which only ever tries its
// lock and never waits for it.
struct FrameSample {
    static constexpr std::uint32_t width = 400, height = 375; // a quarter of the frame each way
    std::mutex mutex;
    std::vector<std::uint8_t> pixels; // width x height, 8-bit grey; empty until the first sample
    std::uint64_t sequence = 0;
    std::atomic<std::int64_t> next_ns{0}; // no sample before this steady time
};

struct DeviceLink {
    std::atomic<std::uint64_t> frames{0};           // sent since load
    std::atomic<std::uint64_t> wake_at{UINT64_MAX}; // a timeline waits for this count
    std::atomic<bool> broken{false};                // every frame reports a broken scanner until a reboot
    std::atomic<bool> asleep{false};                // no frame goes out
    FrameSample sample;
    std::atomic<std::uint64_t> buzzer_count{0}; // patterns sounded
    std::atomic<int> buzzer_mode{0};            // the last one's
};

} // namespace vqsim
