// SPDX-License-Identifier: MIT
// The simulated hardware: scanners, plugs, events and faults, alive for the whole process.
#include "simulator/core/simulation.h"

#include <algorithm>
#include <cstdio>
#include <chrono>
#include <functional>

#include "devicelib/tft_status_names.h"
#include "simulator/core/frame_source.h"
#include "simulator/core/image_synth.h"
#include "simulator/core/threads.h"
#include "simulator/scenario/scanner_facts.h"

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
        std::lock_guard<std::mutex> guard(mutex_);
        ++call_counts_[operation];
        auto found = delays_.find(operation);
        if (found != delays_.end()) delay = found->second;
    }
    if (delay != 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    std::lock_guard<std::mutex> guard(mutex_);
    auto rules = fail_rules_.find(operation);
    if (rules != fail_rules_.end()) {
        Rule& rule = rules->second.front();
        if (rule.after == 0) {
            const TFT_Status status = rule.status;
            if (rule.count > 0 && --rule.count == 0) {
                rules->second.pop_front();
                if (rules->second.empty()) fail_rules_.erase(rules);
            }
            return status;
        }
        --rule.after;
    }
    if (needs_initialized && !initialized_) return TFT_ERR_NOT_INITIALIZED;
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
    journal_.push_back(JournalEntry{++journal_sequence_, ms_since_load(), sensor_id, std::move(text)});
    if (journal_.size() > kept) journal_.pop_front();
}

std::string Simulation::sensor_of(const std::string& serial_number)
{
    for (auto& scanner : scanners_)
        if (scanner->serial_number == serial_number) return scanner->sensor_id;
    for (auto& [id, identity] : detached_)
        if (identity.serial_number == serial_number) return id;
    return {};
}

Scanner* Simulation::find_attached(const std::string& sensor_id)
{
    for (auto& scanner : scanners_)
        if (scanner->attached && scanner->sensor_id == sensor_id) return scanner.get();
    return nullptr;
}

TFT_Status Simulation::find_open(std::uint32_t handle, Scanner** found)
{
    for (auto& scanner : scanners_) {
        if (scanner->handle != handle || handle == 0) continue;
        if (!scanner->attached) return TFT_ERR_UNPLUGGED;
        if (!scanner->open) break;
        *found = scanner.get();
        return TFT_ERR_OK;
    }
    return TFT_ERR_BAD_PARAMETERS;
}

namespace {

// A scenario's scanner: the factory's, with what the scenario says of it; the one without a serial
// number takes one from its place in the list.
ScannerIdentity identity_of(const ScenarioScanner& defined, std::size_t index)
{
    std::string serial_number;
    if (defined.serial_number) {
        serial_number = *defined.serial_number;
    } else {
        char serial[32];
        std::snprintf(serial, sizeof serial, "QV3-5A1C%04X", static_cast<unsigned>(index + 1) & 0xFFFFu);
        serial_number = serial;
    }
    ScannerIdentity identity = factory_identity(defined.sensor_id, serial_number);
    if (defined.descriptors)
        for (std::size_t i = 0; i < 3; ++i) identity.descriptor[i] = (*defined.descriptors)[i];
    identity.dirty = defined.dirty;
    for (const auto& [block, bytes] : defined.pia) identity.pia[block] = bytes;
    for (const auto& [id, value] : defined.parameters) identity.parameters[id] = value;
    if (const auto& calibration = defined.calibration)
        identity.calibration =
            Calibration{calibration->black, calibration->white, calibration->stride_bytes, calibration->height};
    identity.frames = defined.frames;
    return identity;
}

} // namespace

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
    scanners_.push_back(std::make_unique<Scanner>(std::move(identity)));
    return *scanners_.back();
}

void Simulation::stop_all_captures(std::unique_lock<std::mutex>& lock)
{
    // Joining waits for a callback in flight, which may call back into the library: not under the lock.
    std::vector<std::shared_ptr<CaptureEngine>> engines;
    for (auto& scanner : scanners_)
        if (scanner->capture) engines.push_back(std::move(scanner->capture));
    lock.unlock();
    engines.clear();
    lock.lock();
}

void Simulation::unplug_later(ScannerIdentity identity, std::optional<unsigned> replug_after_ms)
{
    std::lock_guard<std::mutex> guard(mutex_);
    const std::uint64_t generation = unplug_generation_;
    // Detaching joins the scanner's capture thread, so it cannot run on the caller's thread when
    // the caller is that capture thread.
    unplugs_.push_back(own_thread([this, identity = std::move(identity), replug_after_ms, generation] {
        if (remove_sensor(identity.sensor_id)) {
            {
                // Known as unplugged before anyone hears of it, so that a plug may follow at once.
                std::lock_guard<std::mutex> guard(mutex_);
                detached_[identity.sensor_id] = identity;
            }
            emit_usb(identity.serial_number, 1, true);
            std::unique_lock<std::mutex> lock(mutex_);
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
        std::lock_guard<std::mutex> guard(mutex_);
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
        std::lock_guard<std::mutex> guard(mutex_);
        Scanner* scanner = find_attached(sensor_id);
        if (scanner == nullptr) return false;
        scanner->attached = false;
        engine = std::move(scanner->capture);
        if (!scanner->open)
            scanners_.erase(std::find_if(scanners_.begin(), scanners_.end(), [&](auto& s) { return s.get() == scanner; }));
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
    std::unique_lock<std::mutex> lock(mutex_);
    finish_unplugs(lock, false);
    stop_all_captures(lock);
    scanners_.clear();
    detached_.clear();
    journal_.clear();
    scenario_file_.reset();
    added_events_.clear();
    fail_rules_.clear();
    delays_.clear();
    call_counts_.clear();
    last_ihm_.reset();
    last_params_.reset();
}

bool Simulation::unplug(const std::string& sensor_id, std::optional<unsigned> replug_after_ms)
{
    ScannerIdentity identity;
    {
        std::lock_guard<std::mutex> guard(mutex_);
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
        std::lock_guard<std::mutex> guard(mutex_);
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
        std::lock_guard<std::mutex> guard(mutex_);
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
    std::unique_lock<std::mutex> lock(mutex_);
    std::string first_sensor;
    if (scenario != nullptr && scenario->scanners) {
        // The scenario's scanners replace whatever was attached, unplugged or about to come back.
        finish_unplugs(lock, false);
        stop_all_captures(lock);
        scanners_.clear();
        detached_.clear();
        for (std::size_t i = 0; i < scenario->scanners->size(); ++i) {
            const ScenarioScanner& defined = (*scenario->scanners)[i];
            ScannerIdentity identity = identity_of(defined, i);
            identity.device->broken.store(defined.broken);
            if (defined.attached)
                attach(std::move(identity));
            else
                detached_[identity.sensor_id] = std::move(identity);
        }
        if (!scenario->scanners->empty()) first_sensor = scenario->scanners->front().sensor_id;
    } else {
        for (auto& scanner : scanners_)
            if (scanner->attached) {
                first_sensor = scanner->sensor_id;
                break;
            }
    }
    if (scenario != nullptr) {
        if (scenario->frame_interval_us) set_frame_interval_us(*scenario->frame_interval_us);
        for (const FaultRule& fault : scenario->faults) fail_rules_.erase(fault.operation);
        for (const FaultRule& fault : scenario->faults)
            fail_rules_[fault.operation].push_back(Rule{fault.status, fault.count, fault.after});
    }
    initialized_ = true;

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
    for (const TimelineEvent& event : added_events_) add(event);
    const bool listening = usb_ != nullptr || power_ != nullptr;
    lock.unlock();
    timeline_.start(std::move(entries), [this](const TimelineEvent& event) { fire(event); }, listening);
}

void Simulation::set_fault(const std::string& operation, TFT_Status status, int count)
{
    std::lock_guard<std::mutex> guard(mutex_);
    if (count == 0)
        fail_rules_.erase(operation);
    else
        fail_rules_[operation] = {Rule{status, count}};
}

void Simulation::set_delay(const std::string& operation, unsigned milliseconds)
{
    std::lock_guard<std::mutex> guard(mutex_);
    if (milliseconds == 0)
        delays_.erase(operation);
    else
        delays_[operation] = milliseconds;
}

std::uint64_t Simulation::call_count(const std::string& operation)
{
    std::lock_guard<std::mutex> guard(mutex_);
    auto found = call_counts_.find(operation);
    return found == call_counts_.end() ? 0 : found->second;
}

void Simulation::use_scenario(std::optional<std::string> path)
{
    std::lock_guard<std::mutex> guard(mutex_);
    scenario_file_ = std::move(path);
}

std::optional<std::string> Simulation::scenario_file()
{
    std::lock_guard<std::mutex> guard(mutex_);
    return scenario_file_;
}

void Simulation::add_event(TimelineEvent event)
{
    std::lock_guard<std::mutex> guard(mutex_);
    added_events_.push_back(std::move(event));
}

void Simulation::uninitialize()
{
    timeline_.stop();
    std::unique_lock<std::mutex> lock(mutex_);
    stop_all_captures(lock);
    for (auto& scanner : scanners_) {
        scanner->open = false;
        scanner->handle = 0;
    }
    initialized_ = false;
}

void Simulation::close_all()
{
    std::unique_lock<std::mutex> lock(mutex_);
    stop_all_captures(lock);
    for (auto& scanner : scanners_) {
        scanner->open = false;
        scanner->handle = 0;
    }
    scanners_.erase(std::remove_if(scanners_.begin(), scanners_.end(), [](auto& s) { return !s->attached; }),
                    scanners_.end());
}

void Simulation::shutdown()
{
    timeline_.stop();
    std::unique_lock<std::mutex> lock(mutex_);
    finish_unplugs(lock, true);
    stop_events(lock);
}

std::vector<std::string> Simulation::attached_ids()
{
    std::lock_guard<std::mutex> guard(mutex_);
    std::vector<std::string> ids;
    for (auto& scanner : scanners_)
        if (scanner->attached) ids.push_back(scanner->sensor_id);
    return ids;
}

TFT_Status Simulation::open(const std::string& sensor_id, std::uint32_t* handle)
{
    std::lock_guard<std::mutex> guard(mutex_);
    Scanner* scanner = find_attached(sensor_id);
    if (scanner == nullptr) return TFT_ERR_NO_SCANNER;
    if (scanner->open) {
        *handle = scanner->handle;
        return TFT_ERR_ALREADY_OPEN;
    }
    scanner->open = true;
    scanner->handle = next_handle_++;
    if (next_handle_ == 0) next_handle_ = 1;
    *handle = scanner->handle;
    note(scanner->sensor_id, scanner->dirty ? "opened, dirty" : "opened");
    return scanner->dirty ? TFT_ERR_DIRTY_DEVICE : TFT_ERR_OK;
}

TFT_Status Simulation::close(std::uint32_t* handle)
{
    std::shared_ptr<CaptureEngine> engine;
    std::unique_ptr<Scanner> forgotten;
    TFT_Status status = TFT_ERR_BAD_PARAMETERS;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        auto found = std::find_if(scanners_.begin(), scanners_.end(), [&](auto& s) { return s->handle == *handle; });
        if (found != scanners_.end()) {
            Scanner& scanner = **found;
            engine = std::move(scanner.capture);
            *handle = 0;
            note(scanner.sensor_id, "closed");
            if (scanner.attached) {
                scanner.open = false;
                scanner.handle = 0;
                status = TFT_ERR_OK;
            } else {
                // A detached scanner's handle is forgotten at its close.
                forgotten = std::move(*found);
                scanners_.erase(found);
                status = TFT_ERR_UNPLUGGED;
            }
        }
    }
    engine.reset(); // joins the capture thread, outside the lock
    return status;
}

bool Simulation::add(ScannerIdentity identity)
{
    std::lock_guard<std::mutex> guard(mutex_);
    if (find_attached(identity.sensor_id) != nullptr) return false;
    attach(std::move(identity));
    return true;
}

bool Simulation::is_attached(const std::string& sensor_id)
{
    std::lock_guard<std::mutex> guard(mutex_);
    return find_attached(sensor_id) != nullptr;
}

std::shared_ptr<CaptureEngine> Simulation::start_capture(Scanner& scanner, CaptureCallback callback, void* context)
{
    std::unique_ptr<FrameSource> source =
        scanner.frames ? recorded_frames(scanner.frames) : synthesised_frames(sensor_pattern(scanner.sensor_id));
    auto engine = std::make_shared<CaptureEngine>(
        scanner.handle, std::move(source), scanner.device, [this] { timeline_.frames_counted(); }, callback, context);
    for (TFT_Status injected : scanner.pending_injections) engine->inject(injected);
    scanner.pending_injections.clear();
    note(scanner.sensor_id, "capture started");
    return std::exchange(scanner.capture, std::move(engine));
}

void Simulation::inject(std::uint32_t handle, TFT_Status status)
{
    std::lock_guard<std::mutex> guard(mutex_);
    for (auto& scanner : scanners_)
        if (scanner->handle == handle && handle != 0) inject(*scanner, status);
}

std::uint64_t Simulation::frames_sent(std::uint32_t handle)
{
    std::lock_guard<std::mutex> guard(mutex_);
    for (auto& scanner : scanners_)
        if (scanner->handle == handle && handle != 0 && scanner->capture) return scanner->capture->frames_sent();
    return 0;
}

void Simulation::remember(IhmRequest request)
{
    std::lock_guard<std::mutex> guard(mutex_);
    last_ihm_ = std::move(request);
}

void Simulation::remember(ParamsRequest request)
{
    std::lock_guard<std::mutex> guard(mutex_);
    last_params_ = std::move(request);
}

std::optional<IhmRequest> Simulation::last_ihm()
{
    std::lock_guard<std::mutex> guard(mutex_);
    return last_ihm_;
}

std::optional<ParamsRequest> Simulation::last_params()
{
    std::lock_guard<std::mutex> guard(mutex_);
    return last_params_;
}

namespace {

Snapshot::Scanner describe(const ScannerIdentity& identity, const Scanner* scanner)
{
    DeviceLink& device = *identity.device;
    Snapshot::Scanner view;
    view.sensor_id = identity.sensor_id;
    view.serial_number = identity.serial_number;
    view.attached = scanner != nullptr && scanner->attached;
    view.open = scanner != nullptr && scanner->open;
    view.dirty = identity.dirty;
    view.broken = device.broken.load();
    view.asleep = device.asleep.load();
    view.capturing = view.attached && scanner->capture && scanner->capture->running();
    view.frames = device.frames.load();
    {
        std::lock_guard<std::mutex> guard(device.sample.mutex);
        view.sample = device.sample.sequence;
    }
    if (scanner != nullptr) view.lamps = scanner->lamps;
    view.buzzer_count = device.buzzer_count.load();
    view.buzzer_mode = device.buzzer_mode.load();
    return view;
}

} // namespace

Snapshot Simulation::snapshot()
{
    std::lock_guard<std::mutex> guard(mutex_);
    Snapshot snapshot;
    snapshot.ms = ms_since_load();
    snapshot.initialized = initialized_;
    // One entry a scanner: attached, else unplugged with its handle still open, else unplugged for
    // good or not yet plugged in.
    std::set<std::string> shown;
    for (const auto& scanner : scanners_)
        if (scanner->attached && shown.insert(scanner->sensor_id).second)
            snapshot.scanners.push_back(describe(*scanner, scanner.get()));
    for (const auto& scanner : scanners_)
        if (shown.insert(scanner->sensor_id).second) snapshot.scanners.push_back(describe(*scanner, scanner.get()));
    for (const auto& [id, identity] : detached_)
        if (shown.insert(id).second) snapshot.scanners.push_back(describe(identity, nullptr));
    snapshot.journal.assign(journal_.begin(), journal_.end());
    return snapshot;
}

std::vector<std::uint8_t> Simulation::preview(const std::string& sensor_id)
{
    std::shared_ptr<DeviceLink> device;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        for (const auto& scanner : scanners_)
            if (scanner->sensor_id == sensor_id) device = scanner->device;
        if (auto found = detached_.find(sensor_id); !device && found != detached_.end()) device = found->second.device;
    }
    if (!device) return {};
    // Copied out at once: the capture thread skips its samples while this is held.
    std::lock_guard<std::mutex> guard(device->sample.mutex);
    return device->sample.pixels;
}

} // namespace vqsim
