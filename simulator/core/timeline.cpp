// SPDX-License-Identifier: MIT
// A scenario's timeline: events at a time or after a number of frames, on one thread.
#include "simulator/core/timeline.h"

#include <algorithm>
#include <limits>

#include "simulator/core/threads.h"

namespace vqsim {

Timeline::~Timeline()
{
    stop();
}

void Timeline::start(std::vector<Entry> entries, Fire fire, bool listening)
{
    std::lock_guard<std::mutex> control(control_);
    stop_thread();
    if (entries.empty()) return;
    // Timed events in time order; events due together, and frame-counted ones, in the order written.
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        const auto key = [](const Entry& e) { return e.event.at_ms.value_or(std::numeric_limits<std::uint64_t>::max()); };
        return key(a) < key(b);
    });
    std::lock_guard<std::mutex> guard(mutex_);
    stopping_ = false;
    counted_ = false;
    listening_ = listening;
    thread_ = own_thread([this, entries = std::move(entries), fire = std::move(fire)]() mutable {
        run(std::move(entries), fire);
    });
}

void Timeline::stop()
{
    std::lock_guard<std::mutex> control(control_);
    stop_thread();
}

void Timeline::stop_thread()
{
    std::thread thread;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        stopping_ = true;
        thread = std::move(thread_);
    }
    changed_.notify_all();
    if (thread.joinable()) thread.join();
}

void Timeline::listening()
{
    {
        std::lock_guard<std::mutex> guard(mutex_);
        listening_ = true;
    }
    changed_.notify_all();
}

void Timeline::frames_counted()
{
    {
        std::lock_guard<std::mutex> guard(mutex_);
        counted_ = true;
    }
    changed_.notify_all();
}

void Timeline::run(std::vector<Entry> entries, const Fire& fire)
{
    using clock = std::chrono::steady_clock;
    constexpr std::uint64_t never = std::numeric_limits<std::uint64_t>::max();
    std::vector<bool> fired(entries.size(), false);
    std::size_t left = entries.size();
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return stopping_ || listening_; });
    const auto started = clock::now();
    while (!stopping_ && left > 0) {
        counted_ = false;
        // Each device's mark is set before its count is read, so a frame counted after the read
        // sees the mark and wakes this thread.
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (!fired[i] && !entries[i].event.at_ms && entries[i].device) entries[i].device->wake_at.store(never);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const Entry& entry = entries[i];
            if (fired[i] || entry.event.at_ms || !entry.device) continue;
            const std::uint64_t mark = entry.frames_before + *entry.event.after_frames;
            if (mark < entry.device->wake_at.load()) entry.device->wake_at.store(mark);
        }
        // The first due event fires; then everything is looked at again.
        const auto now = clock::now();
        std::optional<clock::time_point> next;
        std::size_t due = entries.size();
        for (std::size_t i = 0; i < entries.size() && due == entries.size(); ++i) {
            if (fired[i]) continue;
            const Entry& entry = entries[i];
            if (entry.event.at_ms) {
                const auto when = started + std::chrono::milliseconds(*entry.event.at_ms);
                if (when <= now)
                    due = i;
                else if (!next || when < *next)
                    next = when;
            } else if (entry.device && entry.device->frames.load() >= entry.frames_before + *entry.event.after_frames) {
                due = i;
            }
        }
        if (due != entries.size()) {
            fired[due] = true;
            --left;
            lock.unlock();
            fire(entries[due].event);
            lock.lock();
            continue;
        }
        // A frame counted between the look above and this wait has set counted_.
        const auto woken = [this] { return stopping_ || counted_; };
        if (next)
            changed_.wait_until(lock, *next, woken);
        else
            changed_.wait(lock, woken);
    }
    for (auto& entry : entries)
        if (entry.device) entry.device->wake_at.store(never);
}

} // namespace vqsim
