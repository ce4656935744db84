// SPDX-License-Identifier: MIT
// Live capture of one open scanner, on a thread of its own.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "devicelib/TFTManager.h"
#include "simulator/device/image_synth.h"

namespace vqsim {

void set_frame_interval_us(unsigned interval);
unsigned frame_interval_us();

// A small copy of a live frame for the panel, taken now and then by the capture thread, which only
// ever tries its lock and never waits for it.
struct FrameSample {
    static constexpr std::uint32_t width = 400, height = 375; // a quarter of the frame each way
    std::mutex mutex;
    std::vector<std::uint8_t> pixels; // width x height, 8-bit grey; empty until the first sample
    std::uint64_t sequence = 0;
    std::atomic<std::int64_t> next_ns{0}; // no sample before this steady time
};

// Whether frames are sampled (while a panel runs).
extern std::atomic<bool> frame_sampling;

// What a scanner's captures share with the rest of the stand-in; a scanner plugged back in keeps it.
struct DeviceLink {
    std::atomic<std::uint64_t> frames{0};                 // sent since load
    std::atomic<std::uint64_t> wake_at{UINT64_MAX};       // a timeline waits for this count
    std::atomic<bool> broken{false};                      // every frame reports a broken scanner until a reboot
    std::atomic<bool> asleep{false};                      // no frame goes out
    FrameSample sample;
    std::atomic<std::uint64_t> buzzer_count{0}; // patterns sounded
    std::atomic<int> buzzer_mode{0};            // the last one's
};

// Recorded images a scanner delivers in a loop instead of synthesised ones (image_samples each).
using RecordedFrames = std::vector<std::vector<std::uint16_t>>;

// Called when a device's frame count reaches its wake_at.
void frames_counted();

class CaptureEngine {
public:
    CaptureEngine(std::uint32_t handle, std::shared_ptr<const SensorPattern> pattern,
                  std::shared_ptr<DeviceLink> device, std::shared_ptr<const RecordedFrames> recorded,
                  Celdra::TFTManager::CaptureCallback callback, void* context);
    // Stops; may run on the engine's own thread (a callback that closed its device).
    ~CaptureEngine();
    CaptureEngine(const CaptureEngine&) = delete;
    CaptureEngine& operator=(const CaptureEngine&) = delete;

    // Once this returns no callback runs any more, except when called from the callback itself,
    // where the thread ends as soon as the callback returns. Any number of threads may stop the
    // same engine at once: the thread is joined exactly once, and every caller returns after it.
    void stop();
    bool running() const;
    void inject(Celdra::TFTManager::TFT_Status status);
    std::uint64_t frames_sent() const;

private:
    struct State;
    std::shared_ptr<State> state_;
    std::mutex join_mutex_; // held across the one join of thread_
    std::thread thread_;
    std::thread::id thread_id_;
};

} // namespace vqsim
