// SPDX-License-Identifier: MIT
// A scenario's timeline: events that fire at a time since initialize or after a number of frames,
// on one thread of the stand-in.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "simulator/core/device_link.h"
#include "simulator/scenario/scenario.h"

namespace vqsim {

class Timeline {
public:
    struct Entry {
        TimelineEvent event;
        std::shared_ptr<DeviceLink> device; // whose frames after_frames counts
        std::uint64_t frames_before = 0;    // its count when the timeline started
    };
    using Fire = std::function<void(const TimelineEvent&)>;

    ~Timeline();
    // Runs the entries on a thread of their own (a timeline already running is stopped first).
    // `fire` runs without the timeline's lock held. Unless `listening`, the clock of the timed events
    // starts only at listening(): no event goes out before the application listens for it.
    void start(std::vector<Entry> entries, Fire fire, bool listening);
    // The application has registered for the events.
    void listening();
    // Once this returns no event fires any more. Not from inside `fire`.
    void stop();
    // A device's frame count reached the mark the timeline set on it.
    void frames_counted();

private:
    void run(std::vector<Entry> entries, const Fire& fire);
    void stop_thread();

    std::mutex control_; // one start or stop at a time
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    bool counted_ = false;
    bool listening_ = false;
    std::thread thread_;
};

} // namespace vqsim
