// SPDX-License-Identifier: MIT
// The recorder's session: what the device library showed, kept and written as a scenario.
#include "simulator/recorder/session.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <thread>

#include "platform/library.h"
#include "simulator/scenario/scanner_facts.h"

namespace vqrec {

namespace platform = nvr::vantorquadrelv3::platform;
using namespace Celdra::TFTManager;
using Kind = vqsim::TimelineEvent::Kind;

namespace {

// What a scenario's recorded frames take: whole images.
constexpr std::uint32_t frame_stride = vqsim::image_stride_bytes, frame_height = vqsim::image_height;

std::uint32_t keep_from_environment()
{
    const char* text = std::getenv("VQREC_FRAMES");
    if (text == nullptr) return 0;
    char* end = nullptr;
    const unsigned long long count = std::strtoull(text, &end, 10);
    if (end == text || *end != '\0') return 0;
    return count > 64 ? 64 : static_cast<std::uint32_t>(count); // the most a scenario replays
}

bool lock_within_a_second(std::unique_lock<std::mutex>& lock)
{
    for (int tries = 0; !lock.try_lock(); ++tries) {
        if (tries == 100) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace

std::uint32_t frames_to_keep = keep_from_environment();

void noted(Track& track, std::uint64_t frame, const TFT_ImageClass& image, TFT_Status status)
{
    Session::instance().frame_noted(track, frame, image, status);
}

Session& Session::instance()
{
    static Session* const session = new Session; // never destroyed: written at exit, its thread never ends
    return *session;
}

Session::Session()
{
    const char* out = std::getenv("VQREC_OUT");
    out_ = out != nullptr ? out : "";
    const std::size_t slash = out_.find_last_of("/\\"); // either separator on Windows
    folder_ = slash == std::string::npos ? std::string() : out_.substr(0, slash + 1);
    base_ = slash == std::string::npos ? out_ : out_.substr(slash + 1);
    if (base_.size() > 5 && base_.compare(base_.size() - 5, 5, ".json") == 0) base_.resize(base_.size() - 5);
    std::atexit([] { Session::instance().write_at_exit(); });
    if (!out_.empty()) std::thread([this] { run(); }).detach();
}

void Session::run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        // Capture threads never wake this thread: their notes are picked up within a tenth of a second.
        wake_.wait_for(lock, std::chrono::milliseconds(100), [this] { return changed_; });
        drain_locked();
        if (changed_) write_snapshot(lock);
    }
}

void Session::changed_locked()
{
    changed_ = true;
    wake_.notify_one();
}

void Session::write()
{
    std::unique_lock<std::mutex> lock(mutex_);
    drain_locked();
    write_snapshot(lock);
}

// At exit the writing thread may be gone mid-write: Windows ends a process's other threads before
// its libraries' exit handlers run, and a lock it held stays held. The file it left is whole; a
// lock not had within a second leaves it as it is.
void Session::write_at_exit()
{
    std::unique_lock<std::mutex> lock(mutex_, std::defer_lock);
    if (!lock_within_a_second(lock)) return;
    drain_locked();
    write_snapshot(lock, true);
}

void Session::write_snapshot(std::unique_lock<std::mutex>& lock, bool exiting)
{
    changed_ = false;
    if (out_.empty()) return;
    std::string description = "Recorded by the VQUAD recorder";
    if (dropped_ > 0) description += "; " + std::to_string(dropped_) + " events and failures past the limits left out";
    vqsim::Scenario scenario;
    scenario.description = description;
    scenario.scanners = scanners_;
    scenario.faults = faults_;
    scenario.timeline = timeline_;
    const std::string text = vqsim::write_scenario(scenario);
    const std::uint64_t generation = ++generation_;
    lock.unlock();
    {
        // Two writers may race (the thread and a call); the later snapshot is the one that stays.
        std::unique_lock<std::mutex> guard(file_mutex_, std::defer_lock);
        if (exiting ? lock_within_a_second(guard) : (guard.lock(), true)) {
            if (generation > written_ && platform::file_replace_private(out_, text.data(), text.size()))
                written_ = generation;
        }
    }
    lock.lock();
}

void Session::drain_locked()
{
    Note* list = notes_.exchange(nullptr, std::memory_order_acquire);
    Note* ordered = nullptr;
    while (list != nullptr) { // pushed newest first
        Note* next = list->next;
        list->next = ordered;
        ordered = list;
        list = next;
    }
    while (ordered != nullptr) {
        std::unique_ptr<Note> note(ordered);
        ordered = ordered->next;
        note_locked(*note);
    }
}

void Session::frame_noted(Track& track, std::uint64_t frame, const TFT_ImageClass& image, TFT_Status status)
{
    if (out_.empty()) return; // nowhere to write: nothing to keep either
    auto* note = new (std::nothrow) Note{&track, frame, status, {}};
    if (note == nullptr) return;
    const std::uint8_t* data = image.get_image_data_pointer();
    if (data != nullptr && image.get_image_height() == frame_height && image.get_image_stride() >= frame_stride &&
        track.kept.fetch_add(1, std::memory_order_relaxed) < frames_to_keep) {
        try {
            note->image.resize(std::size_t{frame_stride} * frame_height);
            for (std::uint32_t row = 0; row < frame_height; ++row)
                std::memcpy(note->image.data() + std::size_t{row} * frame_stride,
                            data + std::size_t{row} * image.get_image_stride(), frame_stride);
        } catch (...) {
            note->image.clear();
        }
    }
    if (status == TFT_ERR_OK && note->image.empty()) {
        delete note;
        return;
    }
    note->next = notes_.load(std::memory_order_relaxed);
    while (!notes_.compare_exchange_weak(note->next, note, std::memory_order_release, std::memory_order_relaxed)) {
    }
}

void Session::note_locked(Note& note)
{
    const std::string& sensor_id = note.track->sensor_id;
    if (sensor_id.empty()) return;
    if (!note.image.empty() && !out_.empty()) {
        vqsim::ScenarioScanner& scanner = scanner_locked(sensor_id);
        const std::string name = file_name(sensor_id, "frame-" + std::to_string(scanner.frame_files.size() + 1));
        if (platform::file_replace_private(folder_ + name, note.image.data(), note.image.size())) {
            scanner.frame_files.push_back(name);
            changed_locked();
        }
    }
    if (note.status == TFT_ERR_OK) return;
    if (note.status == TFT_ERR_BROKEN_SCANNER) {
        // Broken from its first frame on: the scanner was broken, and stays so until restarted.
        if (broken_now_.count(sensor_id) != 0) return;
        if (note.frame == 1) {
            scanner_locked(sensor_id).broken = true;
            broken_now_.insert(sensor_id);
            changed_locked();
            return;
        }
    }
    // The status comes with the frame after the one counted when the event fires.
    vqsim::TimelineEvent event;
    event.kind = Kind::capture_status;
    event.sensor_id = sensor_id;
    event.after_frames = note.frame - 1;
    event.status = static_cast<int>(note.status);
    event_locked(std::move(event), nullptr);
}

// A timeline event: at the scanner's frame count while it captures, else at the time since the
// application started listening.
void Session::event_locked(vqsim::TimelineEvent event, Track* track)
{
    if (timeline_.size() >= vqsim::max_events) {
        ++dropped_;
        return;
    }
    if (!event.after_frames) {
        // Asleep, a scanner counts no frames: its events are at their time.
        if (track != nullptr && track->capturing.load() && asleep_.count(track->sensor_id) == 0) {
            event.sensor_id = track->sensor_id;
            event.after_frames = track->frames.load();
        } else {
            const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(clock::now() - started_);
            event.at_ms = static_cast<std::uint64_t>(since.count() < 0 ? 0 : since.count());
        }
    }
    timeline_.push_back(std::move(event));
    changed_locked();
}

void Session::initialized()
{
    std::lock_guard<std::mutex> guard(mutex_);
    drain_locked();
    calls_.clear();
    last_failure_.clear();
    faults_.clear();
    timeline_.clear();
    unplugged_.clear();
    broken_now_.clear();
    asleep_.clear();
    for (auto& [id, track] : tracks_) track->frames.store(0);
    started_ = clock::now();
    listening_ = false;
}

void Session::listening()
{
    std::lock_guard<std::mutex> guard(mutex_);
    if (listening_) return;
    listening_ = true;
    started_ = clock::now();
}

void Session::answered(const char* operation, TFT_Status status, const std::uint32_t* handle)
{
    std::lock_guard<std::mutex> guard(mutex_);
    const std::uint64_t call = ++calls_[operation];
    if (status == TFT_ERR_OK || status == TFT_ERR_UNPLUGGED || status == TFT_ERR_DIRTY_DEVICE) return;
    if (handle != nullptr && (handles_.count(*handle) == 0 || asleep_.count(sensor_of_locked(*handle)) != 0)) return;
    if (faults_.size() >= vqsim::max_faults) {
        ++dropped_;
        return;
    }
    std::uint64_t& last = last_failure_[operation];
    faults_.push_back(vqsim::FaultRule{operation, status, 1, call - last - 1});
    last = call;
    changed_locked();
}

void Session::listed(const std::vector<TFTSensorClass>& sensors)
{
    std::lock_guard<std::mutex> guard(mutex_);
    for (const TFTSensorClass& sensor : sensors) scanner_locked(sensor.get_sensor_id());
    changed_locked();
}

void Session::opened(const std::string& sensor_id, std::uint32_t handle, TFT_Status status)
{
    std::lock_guard<std::mutex> guard(mutex_);
    handles_[handle] = sensor_id;
    vqsim::ScenarioScanner& scanner = scanner_locked(sensor_id); // also one opened without a listing: events name it
    if (status == TFT_ERR_DIRTY_DEVICE) scanner.dirty = true;
    changed_locked();
}

void Session::closed(std::uint32_t handle)
{
    std::lock_guard<std::mutex> guard(mutex_);
    handles_.erase(handle);
}

// Sets what the scanner open under handle told of itself.
template <class Update>
void Session::learned(std::uint32_t handle, Update update)
{
    std::lock_guard<std::mutex> guard(mutex_);
    const std::string sensor_id = sensor_of_locked(handle);
    if (sensor_id.empty()) return;
    update(scanner_locked(sensor_id));
    changed_locked();
}

void Session::serial_number(std::uint32_t handle, const std::string& serial_number)
{
    learned(handle, [&](vqsim::ScenarioScanner& scanner) { scanner.serial_number = serial_number; });
}

void Session::descriptors(std::uint32_t handle, const std::string& first, const std::string& second,
                          const std::string& third)
{
    learned(handle, [&](vqsim::ScenarioScanner& scanner) {
        scanner.descriptors = std::array<std::string, 3>{first, second, third};
    });
}

void Session::pia(std::uint32_t handle, std::uint16_t block, const std::vector<std::uint8_t>& bytes)
{
    learned(handle, [&](vqsim::ScenarioScanner& scanner) { scanner.pia[block] = bytes; });
}

// A parameter's value before the application first set it is where the scanner started; one set
// and never read before is recorded as set, which a replay's own setting makes the same.
void Session::parameter_read(std::uint32_t handle, const ParameterPair& parameter)
{
    std::lock_guard<std::mutex> guard(mutex_);
    const std::string sensor_id = sensor_of_locked(handle);
    const vqsim::ParameterSpec* spec = vqsim::parameter_spec(parameter.first);
    if (sensor_id.empty() || spec == nullptr || parameters_set_[sensor_id].count(parameter.first) != 0) return;
    if (parameter.second < spec->low || parameter.second > spec->high) return;
    if (!scanner_locked(sensor_id).parameters.emplace(spec->id, parameter.second).second) return;
    changed_locked();
}

void Session::parameters_set(std::uint32_t handle, const std::vector<ParameterPair>& parameters)
{
    std::lock_guard<std::mutex> guard(mutex_);
    const std::string sensor_id = sensor_of_locked(handle);
    if (sensor_id.empty()) return;
    for (const ParameterPair& parameter : parameters) {
        const vqsim::ParameterSpec* spec = vqsim::parameter_spec(parameter.first);
        if (spec == nullptr || !parameters_set_[sensor_id].insert(parameter.first).second) continue;
        if (parameter.second < spec->low || parameter.second > spec->high) continue;
        scanner_locked(sensor_id).parameters.emplace(spec->id, parameter.second);
    }
    changed_locked();
}

void Session::rebooted(std::uint32_t handle)
{
    std::lock_guard<std::mutex> guard(mutex_);
    drain_locked(); // the broken frames before the restart are not events
    broken_now_.erase(sensor_of_locked(handle));
}

void Session::calibration(std::uint32_t handle, const char* which, const std::uint8_t* data, std::uint32_t stride,
                          std::uint32_t height)
{
    std::lock_guard<std::mutex> guard(mutex_);
    const std::string sensor_id = sensor_of_locked(handle);
    if (sensor_id.empty() || out_.empty()) return;
    const std::string name = file_name(sensor_id, which);
    if (!platform::file_replace_private(folder_ + name, data, std::size_t{stride} * height)) return;
    vqsim::ScenarioCalibration& images = calibrations_[sensor_id];
    // An image of another geometry than the one before: the pair starts again.
    if (images.stride_bytes != stride || images.height != height) images = vqsim::ScenarioCalibration{};
    (std::strcmp(which, "black") == 0 ? images.black_file : images.white_file) = name;
    images.stride_bytes = stride;
    images.height = height;
    if (!images.black_file.empty() && !images.white_file.empty()) scanner_locked(sensor_id).calibration = images;
    changed_locked();
}

Track* Session::capture_starting(std::uint32_t handle)
{
    std::lock_guard<std::mutex> guard(mutex_);
    Track& track = track_locked(sensor_of_locked(handle));
    track.capturing.store(true); // before the first frame can come
    return &track;
}

void Session::capture_started(Track* track, bool running)
{
    std::lock_guard<std::mutex> guard(mutex_);
    track->capturing.store(running);
}

void Session::capture_stopped(std::uint32_t handle)
{
    std::lock_guard<std::mutex> guard(mutex_);
    track_locked(sensor_of_locked(handle)).capturing.store(false);
}

void Session::plug_event(const std::string& serial_number, bool attached)
{
    std::lock_guard<std::mutex> guard(mutex_);
    const std::string sensor_id = device_event_locked(serial_number);
    if (sensor_id.empty()) return;
    Track& track = track_locked(sensor_id);
    auto unplug = unplugged_.find(sensor_id);
    if (attached && unplug != unplugged_.end()) {
        // Back after an unplug: the stand-in brings it back as the same device, after as long.
        const auto after = std::chrono::duration_cast<std::chrono::milliseconds>(clock::now() - unplug->second.when);
        timeline_[unplug->second.event].replug_after_ms =
            static_cast<unsigned>(std::min<std::int64_t>(after.count(), std::numeric_limits<unsigned>::max()));
        unplugged_.erase(unplug);
        changed_locked();
        return;
    }
    vqsim::TimelineEvent event;
    event.kind = attached ? Kind::plug : Kind::unplug;
    event.sensor_id = sensor_id;
    event_locked(std::move(event), &track);
    if (!attached && !timeline_.empty() && timeline_.back().sensor_id == sensor_id)
        unplugged_[sensor_id] = Unplug{timeline_.size() - 1, clock::now()};
    track.capturing.store(false); // an unplug ends the capture
}

void Session::power_event(const std::string& serial_number, bool asleep)
{
    std::lock_guard<std::mutex> guard(mutex_);
    const std::string sensor_id = device_event_locked(serial_number);
    if (sensor_id.empty()) return;
    vqsim::TimelineEvent event;
    event.kind = asleep ? Kind::sleep : Kind::wake;
    event.sensor_id = sensor_id;
    event_locked(std::move(event), &track_locked(sensor_id));
    if (asleep)
        asleep_.insert(sensor_id);
    else
        asleep_.erase(sensor_id);
}

void Session::log_event(const std::string& text)
{
    std::lock_guard<std::mutex> guard(mutex_);
    drain_locked();
    // One line, as the stand-in takes it.
    std::string line = text.substr(0, vqsim::max_log_text);
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    Track* capturing = nullptr;
    for (auto& [id, track] : tracks_)
        if (!id.empty() && track->capturing.load()) {
            capturing = track.get();
            break;
        }
    vqsim::TimelineEvent event;
    event.kind = Kind::log;
    event.text = std::move(line);
    event_locked(std::move(event), capturing);
}

std::string Session::sensor_of_locked(std::uint32_t handle) const
{
    auto found = handles_.find(handle);
    return found == handles_.end() ? std::string() : found->second;
}

// A device event's scanner, after the frames noted before it; none (and the event left out) when
// no scanner of the session had this serial number.
std::string Session::device_event_locked(const std::string& serial_number)
{
    drain_locked();
    std::string sensor_id = sensor_by_serial_locked(serial_number);
    if (sensor_id.empty()) ++dropped_;
    return sensor_id;
}

std::string Session::sensor_by_serial_locked(const std::string& serial_number) const
{
    for (const vqsim::ScenarioScanner& scanner : scanners_)
        if (scanner.serial_number.value_or(std::string()) == serial_number) return scanner.sensor_id;
    return {};
}

Track& Session::track_locked(const std::string& sensor_id)
{
    std::unique_ptr<Track>& track = tracks_[sensor_id];
    if (!track) track = std::make_unique<Track>(sensor_id);
    return *track;
}

vqsim::ScenarioScanner& Session::scanner_locked(const std::string& sensor_id)
{
    for (vqsim::ScenarioScanner& scanner : scanners_)
        if (scanner.sensor_id == sensor_id) return scanner;
    scanners_.emplace_back();
    scanners_.back().sensor_id = sensor_id;
    return scanners_.back();
}

std::string Session::file_name(const std::string& sensor_id, const std::string& what) const
{
    return base_ + "." + std::to_string(std::hash<std::string>()(sensor_id)) + "." + what + ".raw";
}

} // namespace vqrec
