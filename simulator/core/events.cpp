// SPDX-License-Identifier: MIT
// The simulation's callbacks: registered by the application, called one at a time in the order
// their events were raised, by the raising thread or by the event thread.
#include "simulator/core/simulation.h"

#include "simulator/core/threads.h"

namespace vqsim {

void Simulation::register_logger(LoggerCallback callback, void* context)
{
    std::lock_guard<std::mutex> guard(mutex_);
    logger_ = callback;
    logger_context_ = context;
}

void Simulation::register_notification(UsbNotifyCallback usb, PowerNotifyCallback power, void* context)
{
    std::lock_guard<std::mutex> guard(mutex_);
    usb_ = usb;
    power_ = power;
    notify_context_ = context;
    if (usb != nullptr || power != nullptr) timeline_.listening();
}

bool Simulation::may_wait_for_threads() const
{
    const std::thread::id self = std::this_thread::get_id();
    return !on_own_thread && delivering_ != self && callback_threads_.count(self) == 0;
}

// After an unregister returns no callback of that kind runs, except one that is itself unregistering.
void Simulation::wait_for_callbacks(std::unique_lock<std::mutex>& lock)
{
    callbacks_done_.wait(lock, [this] {
        return callback_threads_.size() == callback_threads_.count(std::this_thread::get_id());
    });
}

void Simulation::unregister_logger()
{
    std::unique_lock<std::mutex> lock(mutex_);
    logger_ = nullptr;
    logger_context_ = nullptr;
    wait_for_callbacks(lock);
}

void Simulation::unregister_notification()
{
    std::unique_lock<std::mutex> lock(mutex_);
    usb_ = nullptr;
    power_ = nullptr;
    notify_context_ = nullptr;
    wait_for_callbacks(lock);
}

// pick() runs under the lock, on the delivering thread, and returns the call to make, or an empty
// function when nothing is registered. Events go out one at a time, in the order raised. One that
// is waited for is delivered by the raising thread itself when its turn comes (it would only wait
// otherwise, and a hand-off to another thread costs as much again as the application's own wake-up);
// a posted one is delivered by the event thread, and the raiser goes on at once.
void Simulation::dispatch(Pick pick, bool post)
{
    std::unique_lock<std::mutex> lock(mutex_);
    // A callback that raises another event: delivered at once, on its own thread.
    if (!post && delivering_ == std::this_thread::get_id()) return deliver(pick, lock);
    // Nothing ahead of it: out at once, without queueing.
    if (!post && events_.empty() && delivering_ == std::thread::id()) return deliver_in_turn(pick, lock);
    // An event thread that is being stopped takes no more events: wait for its end.
    events_changed_.wait(lock, [this] { return !events_stopping_; });
    auto event = std::make_shared<Event>();
    event->pick = std::move(pick);
    event->post = post;
    events_.push_back(event);
    if (post) {
        if (!event_thread_.joinable()) {
            event_thread_ = own_thread([this] { event_loop(); });
        }
        events_changed_.notify_all();
        return;
    }
    events_changed_.wait(lock, [&] { return events_.front() == event && delivering_ == std::thread::id(); });
    events_.pop_front();
    deliver_in_turn(event->pick, lock);
}

void Simulation::deliver_in_turn(const Pick& pick, std::unique_lock<std::mutex>& lock)
{
    delivering_ = std::this_thread::get_id();
    deliver(pick, lock);
    delivering_ = std::thread::id();
    events_changed_.notify_all();
}

void Simulation::deliver(const Pick& pick, std::unique_lock<std::mutex>& lock)
{
    std::function<void()> call = pick();
    if (!call) return;
    callback_threads_.insert(std::this_thread::get_id());
    lock.unlock();
    call();
    lock.lock();
    callback_threads_.erase(callback_threads_.find(std::this_thread::get_id()));
    callbacks_done_.notify_all();
}

void Simulation::event_loop()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        // Posted events when their turn comes; when stopping, until none is left.
        events_changed_.wait(lock, [this] {
            return events_.empty() ? events_stopping_ : events_.front()->post && delivering_ == std::thread::id();
        });
        if (events_.empty()) return;
        std::shared_ptr<Event> event = events_.front();
        events_.pop_front();
        deliver_in_turn(event->pick, lock);
    }
}

void Simulation::stop_events(std::unique_lock<std::mutex>& lock)
{
    // Not from inside a callback: the event thread may be waiting for that very delivery to end.
    if (!event_thread_.joinable() || !may_wait_for_threads()) return;
    events_stopping_ = true;
    events_changed_.notify_all();
    std::thread thread = std::move(event_thread_);
    lock.unlock();
    thread.join();
    lock.lock();
    events_stopping_ = false;
    events_changed_.notify_all();
}

void Simulation::emit_log(const std::string& text, bool post)
{
    dispatch(
        [this, text]() -> std::function<void()> {
            note("", "log: " + text);
            if (logger_ == nullptr) return {};
            return [callback = logger_, context = logger_context_, text] {
                std::string copy = text;
                callback(copy, context);
            };
        },
        post);
}

void Simulation::emit_usb(const std::string& serial_number, int event, bool is_active, bool post)
{
    dispatch(
        [this, serial_number, event, is_active]() -> std::function<void()> {
            note(sensor_of(serial_number), (event == 1 ? "unplugged (plug event 1, serial number " : "plugged in (plug event " +
                                            std::to_string(event) + ", serial number ") + serial_number + ")");
            if (usb_ == nullptr) return {};
            return [callback = usb_, context = notify_context_, serial_number, event, is_active] {
                std::string copy = serial_number;
                callback(0, 0, copy, static_cast<system_event::sys_events>(event), is_active, context);
            };
        },
        post);
}

void Simulation::emit_power(const std::string& serial_number, int event, bool is_active, bool post)
{
    dispatch(
        [this, serial_number, event, is_active]() -> std::function<void()> {
            note(sensor_of(serial_number), (event == 2 ? "asleep (power event 2, serial number " : "awake (power event " +
                                            std::to_string(event) + ", serial number ") + serial_number + ")");
            if (power_ == nullptr) return {};
            return [callback = power_, context = notify_context_, serial_number, event, is_active] {
                std::string copy = serial_number;
                callback(copy, static_cast<system_event::sys_events>(event), is_active, context);
            };
        },
        post);
}

} // namespace vqsim
