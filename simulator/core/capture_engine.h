// SPDX-License-Identifier: MIT
// Live capture of one open scanner, on a thread of its own.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "devicelib/TFTManager.h"
#include "simulator/core/device_link.h"
#include "simulator/core/frame_source.h"

namespace vqsim {

void set_frame_interval_us(unsigned interval);
unsigned frame_interval_us();

// Whether captures keep previews of their frames (while a panel shows them).
void set_previews(bool on);

class CaptureEngine {
public:
    // `count_reached` runs on the capture thread when the device's frame count reaches its wake_at.
    CaptureEngine(std::uint32_t handle, std::unique_ptr<FrameSource> source, std::shared_ptr<DeviceLink> device,
                  std::function<void()> count_reached, Celdra::TFTManager::CaptureCallback callback, void* context);
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
