// SPDX-License-Identifier: MIT
// The simulated hardware: scanners, plugs, events and faults, alive for the whole process.
#include "simulator/device/simulation.h"

#include <algorithm>
#include <chrono>
#include <functional>

#include "devicelib/tft_status_names.h"
#include "simulator/scenario/scenario.h"

namespace vqsim {

Simulation& Simulation::instance()
{
    // Never destroyed: capture threads and callbacks may still run while the process exits.
    static Simulation* simulation = new Simulation;
    return *simulation;
}

Simulation::Simulation()
{
    attach(factory_identity("QV3-0001", "QV3-5A1C0042"));
}

std::optional<TFT_Status> Simulation::enter(const char* operation, bool needs_initialized)
{
    unsigned delay = 0;
    {
        std::lock_guard<std::mutex> guard(mutex);
        ++call_counts[operation];
        auto found = delays.find(operation);
        if (found != delays.end()) delay = found->second;
    }
    if (delay != 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    std::lock_guard<std::mutex> guard(mutex);
    auto rules = fail_rules.find(operation);
    if (rules != fail_rules.end()) {
        Rule& rule = rules->second.front();
        if (rule.after == 0) {
            const TFT_Status status = rule.status;
            if (rule.count > 0 && --rule.count == 0) {
                rules->second.pop_front();
                if (rules->second.empty()) fail_rules.erase(rules);
            }
            return status;
        }
        --rule.after;
    }
    if (needs_initialized && !initialized) return TFT_ERR_NOT_INITIALIZED;
    return std::nullopt;
}

std::string status_name(int status)
{
    if (status >= 0 && status < static_cast<int>(std::size(tft_status_names))) return tft_status_names[status];
    return "status " + std::to_string(status);
}

std::int64_t Simulation::ms_since_load() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - loaded_).count();
}

void Simulation::note(const std::string& sensor_id, std::string text)
{
    constexpr std::size_t kept = 200;
    if (text.size() > 300) text.resize(300);
    journal.push_back(JournalEntry{++journal_sequence, ms_since_load(), sensor_id, std::move(text)});
    if (journal.size() > kept) journal.pop_front();
}

std::string Simulation::sensor_of(const std::string& serial_number)
{
    for (auto& scanner : scanners)
        if (scanner->serial_number == serial_number) return scanner->sensor_id;
    for (auto& [id, identity] : detached_)
        if (identity.serial_number == serial_number) return id;
    return {};
}

Scanner* Simulation::find_attached(const std::string& sensor_id)
{
    for (auto& scanner : scanners)
        if (scanner->attached && scanner->sensor_id == sensor_id) return scanner.get();
    return nullptr;
}

TFT_Status Simulation::find_open(std::uint32_t handle, Scanner** found)
{
    for (auto& scanner : scanners) {
        if (scanner->handle != handle || handle == 0) continue;
        if (!scanner->attached) return TFT_ERR_UNPLUGGED;
        if (!scanner->open) break;
        *found = scanner.get();
        return TFT_ERR_OK;
    }
    return TFT_ERR_BAD_PARAMETERS;
}

ScannerIdentity factory_identity(const std::string& sensor_id, const std::string& serial_number)
{
    ScannerIdentity identity;
    identity.sensor_id = sensor_id;
    identity.serial_number = serial_number;
    identity.descriptor[0] = "CELDRA";
    identity.descriptor[1] = "QUADRELV3 TFT slap and roll scanner";
    identity.descriptor[2] = "QUADRELV3-USB3-FW0312-HW0200";
    identity.pia[20] = {0x10, 0x02, 0x00, 0x01};
    identity.pia[1] = std::vector<std::uint8_t>(serial_number.begin(), serial_number.end());
    for (const ParameterSpec& spec : parameter_specs) identity.parameters[spec.id] = spec.start;
    return identity;
}

Scanner& Simulation::attach(ScannerIdentity identity)
{
    scanners.push_back(std::make_unique<Scanner>(std::move(identity)));
    return *scanners.back();
}

void Simulation::stop_all_captures(std::unique_lock<std::mutex>& lock)
{
    // Joining waits for a callback in flight, which may call back into the library: not under the lock.
    std::vector<std::shared_ptr<CaptureEngine>> engines;
    for (auto& scanner : scanners)
        if (scanner->capture) engines.push_back(std::move(scanner->capture));
    lock.unlock();
    engines.clear();
    lock.lock();
}

void Simulation::unplug_later(ScannerIdentity identity, std::optional<unsigned> replug_after_ms)
{
    std::lock_guard<std::mutex> guard(mutex);
    const std::uint64_t generation = unplug_generation_;
    // Detaching joins the scanner's capture thread, so it cannot run on the caller's thread when
    // the caller is that capture thread.
    unplugs_.push_back(own_thread([this, identity = std::move(identity), replug_after_ms, generation] {
        if (remove_sensor(identity.sensor_id)) {
            {
                // Known as unplugged before anyone hears of it, so that a plug may follow at once.
                std::lock_guard<std::mutex> guard(mutex);
                detached_[identity.sensor_id] = identity;
            }
            emit_usb(identity.serial_number, 1, true);
            std::unique_lock<std::mutex> lock(mutex);
            if (replug_after_ms) {
                unplug_cancelled_.wait_for(lock, std::chrono::milliseconds(*replug_after_ms),
                                           [&] { return unplug_generation_ != generation; });
                const bool cancelled = unplug_generation_ != generation && !replug_when_finished_;
                // Not when attached again meanwhile.
                if (!cancelled && find_attached(identity.sensor_id) == nullptr) {
                    detached_.erase(identity.sensor_id);
                    attach(identity);
                    lock.unlock();
                    emit_usb(identity.serial_number, 0, true);
                }
            }
        }
        // Over: unless a teardown has taken it to join, nobody waits for it any more.
        std::lock_guard<std::mutex> guard(mutex);
        const auto self = std::find_if(unplugs_.begin(), unplugs_.end(),
                                       [](const std::thread& t) { return t.get_id() == std::this_thread::get_id(); });
        if (self != unplugs_.end()) {
            self->detach();
            unplugs_.erase(self);
        }
    }));
}

bool Simulation::remove_sensor(const std::string& sensor_id)
{
    std::shared_ptr<CaptureEngine> engine;
    {
        std::lock_guard<std::mutex> guard(mutex);
        Scanner* scanner = find_attached(sensor_id);
        if (scanner == nullptr) return false;
        scanner->attached = false;
        engine = std::move(scanner->capture);
        if (!scanner->open)
            scanners.erase(std::find_if(scanners.begin(), scanners.end(), [&](auto& s) { return s.get() == scanner; }));
    }
    return true; // the capture, if any, ends here, outside the lock
}

void Simulation::finish_unplugs(std::unique_lock<std::mutex>& lock, bool replug)
{
    ++unplug_generation_;
    replug_when_finished_ = replug;
    unplug_cancelled_.notify_all();
    std::vector<std::thread> unplugs = std::move(unplugs_);
    unplugs_.clear();
    // From inside a callback the caller may be one of them, or hold up their events: they end by
    // themselves once their events are out.
    const bool wait = may_wait_for_threads();
    lock.unlock();
    for (std::thread& unplug : unplugs) wait ? unplug.join() : unplug.detach();
    lock.lock();
}

void Simulation::reset()
{
    timeline_.stop();
    std::unique_lock<std::mutex> lock(mutex);
    finish_unplugs(lock, false);
    stop_all_captures(lock);
    scanners.clear();
    detached_.clear();
    journal.clear();
    scenario_file.reset();
    added_events.clear();
    fail_rules.clear();
    delays.clear();
    call_counts.clear();
    last_ihm.reset();
    last_params.reset();
}

void Simulation::register_logger(LoggerCallback callback, void* context)
{
    std::lock_guard<std::mutex> guard(mutex);
    logger_ = callback;
    logger_context_ = context;
}

void Simulation::register_notification(UsbNotifyCallback usb, PowerNotifyCallback power, void* context)
{
    std::lock_guard<std::mutex> guard(mutex);
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
    std::unique_lock<std::mutex> lock(mutex);
    logger_ = nullptr;
    logger_context_ = nullptr;
    wait_for_callbacks(lock);
}

void Simulation::unregister_notification()
{
    std::unique_lock<std::mutex> lock(mutex);
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
    std::unique_lock<std::mutex> lock(mutex);
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
    std::unique_lock<std::mutex> lock(mutex);
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

bool Simulation::unplug(const std::string& sensor_id, std::optional<unsigned> replug_after_ms)
{
    ScannerIdentity identity;
    {
        std::lock_guard<std::mutex> guard(mutex);
        Scanner* scanner = find_attached(sensor_id);
        if (scanner == nullptr) return false;
        identity = *scanner; // the device's own description, without its attachment state
    }
    unplug_later(std::move(identity), replug_after_ms);
    return true;
}

bool Simulation::plug(const std::string& sensor_id)
{
    std::string serial_number;
    {
        std::lock_guard<std::mutex> guard(mutex);
        auto found = detached_.find(sensor_id);
        if (found == detached_.end() || find_attached(sensor_id) != nullptr) return false;
        serial_number = found->second.serial_number;
        attach(std::move(found->second));
        detached_.erase(found);
    }
    emit_usb(serial_number, 0, true, true);
    return true;
}

void Simulation::inject(Scanner& scanner, TFT_Status status)
{
    note(scanner.sensor_id, "capture status " + std::to_string(static_cast<int>(status)) + " (" +
                                status_name(static_cast<int>(status)) + ")");
    if (scanner.capture && scanner.capture->running())
        scanner.capture->inject(status);
    else
        scanner.pending_injections.push_back(status);
}

void Simulation::fire(const TimelineEvent& event)
{
    using Kind = TimelineEvent::Kind;
    switch (event.kind) {
    case Kind::unplug:
        unplug(event.sensor_id, event.replug_after_ms);
        return;
    case Kind::plug:
        plug(event.sensor_id);
        return;
    case Kind::log:
        emit_log(event.text, true);
        return;
    case Kind::sleep:
    case Kind::wake:
    case Kind::capture_status:
        break;
    }
    std::string serial_number;
    {
        std::lock_guard<std::mutex> guard(mutex);
        Scanner* scanner = find_attached(event.sensor_id);
        if (scanner == nullptr) return;
        if (event.kind == Kind::capture_status) return inject(*scanner, static_cast<TFT_Status>(event.status));
        scanner->device->asleep.store(event.kind == Kind::sleep);
        serial_number = scanner->serial_number;
    }
    emit_power(serial_number, event.kind == Kind::sleep ? system_event::POWER_SLEEP : system_event::POWER_WAKE, true,
               true);
}

void Simulation::apply(const Scenario* scenario)
{
    timeline_.stop();
    std::unique_lock<std::mutex> lock(mutex);
    std::string first_sensor;
    if (scenario != nullptr && scenario->scanners) {
        // The scenario's scanners replace whatever was attached, unplugged or about to come back.
        finish_unplugs(lock, false);
        stop_all_captures(lock);
        scanners.clear();
        detached_.clear();
        for (const ScenarioScanner& defined : *scenario->scanners) {
            ScannerIdentity identity = defined.identity;
            identity.device = std::make_shared<DeviceLink>(); // counts and states start afresh
            identity.device->broken.store(defined.broken);
            if (defined.attached)
                attach(std::move(identity));
            else
                detached_[identity.sensor_id] = std::move(identity);
        }
        if (!scenario->scanners->empty()) first_sensor = scenario->scanners->front().identity.sensor_id;
    } else {
        for (auto& scanner : scanners)
            if (scanner->attached) {
                first_sensor = scanner->sensor_id;
                break;
            }
    }
    if (scenario != nullptr) {
        if (scenario->frame_interval_us) set_frame_interval_us(*scenario->frame_interval_us);
        for (const FaultRule& fault : scenario->faults) fail_rules.erase(fault.operation);
        for (const FaultRule& fault : scenario->faults) fail_rules[fault.operation].push_back(fault.rule);
    }
    initialized = true;

    std::vector<Timeline::Entry> entries;
    const auto add = [&](TimelineEvent event) {
        if (event.sensor_id.empty()) event.sensor_id = first_sensor;
        std::shared_ptr<DeviceLink> device;
        if (Scanner* scanner = find_attached(event.sensor_id))
            device = scanner->device;
        else if (auto found = detached_.find(event.sensor_id); found != detached_.end())
            device = found->second.device;
        const std::uint64_t frames = device ? device->frames.load() : 0;
        entries.push_back(Timeline::Entry{std::move(event), std::move(device), frames});
    };
    if (scenario != nullptr)
        for (const TimelineEvent& event : scenario->timeline) add(event);
    for (const TimelineEvent& event : added_events) add(event);
    const bool listening = usb_ != nullptr || power_ != nullptr;
    lock.unlock();
    timeline_.start(std::move(entries), [this](const TimelineEvent& event) { fire(event); }, listening);
}

void frames_counted()
{
    Simulation::instance().frames_counted();
}

} // namespace vqsim
