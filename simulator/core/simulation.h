// SPDX-License-Identifier: MIT
// The simulated hardware and the library's own state: scanners, plugs, events, faults and the
// timeline. Lives for the whole process, independent of TFTManagerClass::destroy_instance. Its state
// is its own: the faces (the device library's interface, the controls, the panel) reach a scanner
// only through with_open and with_attached, under the simulation's lock.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "devicelib/TFTManager.h"
#include "simulator/core/capture_engine.h"
#include "simulator/core/device_link.h"
#include "simulator/core/timeline.h"
#include "simulator/scenario/scenario.h"

namespace vqsim {

using namespace Celdra::TFTManager;

constexpr std::size_t lamp_count = 12;

struct Calibration {
    std::vector<std::uint16_t> black;
    std::vector<std::uint16_t> white;
    std::uint32_t stride_bytes = 0;
    std::uint32_t height = 0;
};

// What a scanner is, whether or not it is attached: a scanner plugged back in is the same device.
struct ScannerIdentity {
    std::string sensor_id;
    std::string serial_number;
    std::string descriptor[3];
    std::map<std::uint16_t, std::vector<std::uint8_t>> pia;
    std::map<std::uint32_t, std::uint32_t> parameters;
    bool dirty = false;
    std::optional<Calibration> calibration; // set by vqsim_set_calibration
    std::uint32_t reported_stride = 0, reported_height = 0; // a misreported geometry, when not 0
    std::shared_ptr<const RecordedFrames> frames;            // delivered in a loop when set
    std::shared_ptr<DeviceLink> device = std::make_shared<DeviceLink>();
};

// A new scanner as it leaves the factory.
ScannerIdentity factory_identity(const std::string& sensor_id, const std::string& serial_number);

struct Scanner : ScannerIdentity {
    explicit Scanner(ScannerIdentity identity) : ScannerIdentity(std::move(identity)) {}
    std::array<std::uint8_t, lamp_count> lamps{};
    bool attached = true;
    bool open = false;
    std::uint32_t handle = 0;
    // Shared with whoever is stopping it outside the simulation's lock; the last owner joins it.
    std::shared_ptr<CaptureEngine> capture;
    std::vector<TFT_Status> pending_injections; // taken by the next capture
};

// A notable call or event, as the panel lists them.
struct JournalEntry {
    std::uint64_t sequence;
    std::int64_t ms; // since the stand-in was loaded
    std::string sensor_id;
    std::string text;
};

// The name of a TFT_Status value, or its number.
std::string status_name(int status);

struct IhmRequest {
    std::uint32_t handle = 0;
    std::vector<LampRequest> lamps;
    int buzzer_mode = 0;
    std::uint16_t arg_u16 = 0;
    int arg_int = 0;
};

struct ParamsRequest {
    std::uint32_t handle = 0;
    std::vector<ParameterPair> pairs;
};

// The simulation as the panel shows it, taken at one moment.
struct Snapshot {
    struct Scanner {
        std::string sensor_id, serial_number;
        bool attached = false, open = false, dirty = false, broken = false, asleep = false, capturing = false;
        std::uint64_t frames = 0, sample = 0, buzzer_count = 0;
        int buzzer_mode = 0;
        std::array<std::uint8_t, lamp_count> lamps{};
    };
    std::int64_t ms = 0; // since the stand-in was loaded
    bool initialized = false;
    std::vector<Scanner> scanners; // attached, then unplugged with a handle open, then away
    std::vector<JournalEntry> journal;
};

class Simulation {
public:
    static Simulation& instance();

    // Every TFTManagerClass operation starts here: counts the call, applies a delay, then a fault rule.
    // Returns the status to answer with at once, or nothing to go on.
    std::optional<TFT_Status> enter(const char* operation, bool needs_initialized = true);
    // A rule that answers `count` calls of the operation (every call when count < 0; count 0: none).
    void set_fault(const std::string& operation, TFT_Status status, int count);
    void set_delay(const std::string& operation, unsigned milliseconds);
    std::uint64_t call_count(const std::string& operation);

    // The scenario read at initialize: the file named here, else VQSIM_SCENARIO's.
    void use_scenario(std::optional<std::string> path);
    std::optional<std::string> scenario_file();
    // A timeline event added to every scenario's.
    void add_event(TimelineEvent event);
    // Applies a scenario (or none) and the added events, starts their timeline and marks the
    // library initialised.
    void apply(const Scenario* scenario);
    // Stops the timeline and every capture, and closes every handle.
    void uninitialize();
    // Stops every capture, closes every handle and forgets the detached scanners.
    void close_all();
    // No thread of the library outlives its instance: the timeline stops, an unplugged scanner
    // comes back now, and the event thread ends.
    void shutdown();
    // Cancels the re-plugs still pending and waits for every unplug thread, then forgets everything.
    void reset();

    // The ids of the attached scanners, in attach order.
    std::vector<std::string> attached_ids();
    TFT_Status open(const std::string& sensor_id, std::uint32_t* handle);
    TFT_Status close(std::uint32_t* handle);
    // Attaches a scanner; false when one is attached under its id.
    bool add(ScannerIdentity identity);
    bool is_attached(const std::string& sensor_id);
    // Detaches an attached scanner (its capture ends, an open handle answers unplugged until
    // closed); false when none is attached under that id.
    bool remove_sensor(const std::string& sensor_id);
    // Unplugs an attached scanner on a thread of its own, plugging it back after the delay (none: it
    // stays away until plug()). False when none is attached under that id.
    bool unplug(const std::string& sensor_id, std::optional<unsigned> replug_after_ms);
    // Plugs back a scanner that was unplugged for good, or a scenario's scanner not yet attached.
    bool plug(const std::string& sensor_id);

    // work(Scanner&, std::unique_lock<std::mutex>&) on the scanner open under handle, under the lock
    // (which work may release); or the status a handle not open answers with.
    template <class Work>
    TFT_Status with_open(std::uint32_t handle, Work work)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        Scanner* scanner = nullptr;
        const TFT_Status status = find_open(handle, &scanner);
        if (status != TFT_ERR_OK) return status;
        return work(*scanner, lock);
    }
    // change(Scanner&) on the attached scanner, under the lock; false when none is attached under the id.
    template <class Change>
    bool with_attached(const std::string& sensor_id, Change change)
    {
        std::lock_guard<std::mutex> guard(mutex_);
        Scanner* scanner = find_attached(sensor_id);
        if (scanner == nullptr) return false;
        change(*scanner);
        return true;
    }
    // Adds to the journal; under the lock (inside with_open or with_attached).
    void note(const std::string& sensor_id, std::string text);
    // Starts a capture of an open scanner; under the lock. Returns the capture it replaces, to be
    // released once the lock is.
    std::shared_ptr<CaptureEngine> start_capture(Scanner& scanner, CaptureCallback callback, void* context);
    // A capture status for the capture of the scanner open under handle, or its next one.
    void inject(std::uint32_t handle, TFT_Status status);
    std::uint64_t frames_sent(std::uint32_t handle);

    // The last lamp-and-buzzer and parameter requests, as asked (valid or not).
    void remember(IhmRequest request);
    void remember(ParamsRequest request);
    std::optional<IhmRequest> last_ihm();
    std::optional<ParamsRequest> last_params();

    // Registered callbacks; every call goes out in the order raised, one at a time.
    void register_logger(LoggerCallback callback, void* context);
    void register_notification(UsbNotifyCallback usb, PowerNotifyCallback power, void* context);
    void unregister_logger();
    void unregister_notification();
    // Each returns once the callback has returned, or at once when `post` (the event still goes out in order).
    void emit_log(const std::string& text, bool post = false);
    void emit_usb(const std::string& serial_number, int event, bool is_active, bool post = false);
    void emit_power(const std::string& serial_number, int event, bool is_active, bool post = false);

    // What a timeline event does; raises its events without waiting for them.
    void fire(const TimelineEvent& event);

    Snapshot snapshot();
    // The newest preview of a scanner's frames (FrameSample's pixels), or none.
    std::vector<std::uint8_t> preview(const std::string& sensor_id);

private:
    using Pick = std::function<std::function<void()>()>;
    struct Event {
        Pick pick;
        bool post = false; // delivered by the event thread; otherwise by the thread that raised it
    };
    struct Rule {
        TFT_Status status;
        int count;
        std::uint64_t after = 0;
    };

    Simulation();
    std::int64_t ms_since_load() const;
    Scanner* find_attached(const std::string& sensor_id);
    // The scanner open under this handle, or the status to answer with.
    TFT_Status find_open(std::uint32_t handle, Scanner** scanner);
    Scanner& attach(ScannerIdentity identity);
    // The id of the scanner with this serial number (attached or not), or "".
    std::string sensor_of(const std::string& serial_number);
    void inject(Scanner& scanner, TFT_Status status);
    void stop_all_captures(std::unique_lock<std::mutex>& lock);
    void unplug_later(ScannerIdentity identity, std::optional<unsigned> replug_after_ms);
    // Ends the pending re-plugs, plugging the scanners back at once (replug) or not, and joins their
    // threads; the lock is released meanwhile.
    void finish_unplugs(std::unique_lock<std::mutex>& lock, bool replug);
    // Delivers what is queued, then ends and joins the event thread (not from inside a callback,
    // where it just goes on); the lock is released meanwhile. The next posted event starts it again.
    void stop_events(std::unique_lock<std::mutex>& lock);
    void dispatch(Pick pick, bool post);
    void deliver(const Pick& pick, std::unique_lock<std::mutex>& lock);
    void deliver_in_turn(const Pick& pick, std::unique_lock<std::mutex>& lock);
    void event_loop();
    void wait_for_callbacks(std::unique_lock<std::mutex>& lock);
    // False on the stand-in's own threads and inside a callback, where waiting for the stand-in's
    // threads could mean waiting for oneself. Under the lock.
    bool may_wait_for_threads() const;

    const std::chrono::steady_clock::time_point loaded_ = std::chrono::steady_clock::now();
    std::mutex mutex_;
    bool initialized_ = false;
    std::map<std::string, std::uint64_t> call_counts_;
    std::map<std::string, std::deque<Rule>> fail_rules_;
    std::map<std::string, unsigned> delays_;

    // Scanners in attach order; detached ones stay until their handle is closed.
    std::vector<std::unique_ptr<Scanner>> scanners_;
    // Scanners away for good (unplugged without a re-plug, or a scenario's not yet attached), by id.
    std::map<std::string, ScannerIdentity> detached_;
    std::uint32_t next_handle_ = 0x5100;
    std::deque<JournalEntry> journal_; // the newest entries
    std::uint64_t journal_sequence_ = 0;
    std::optional<IhmRequest> last_ihm_;
    std::optional<ParamsRequest> last_params_;
    std::optional<std::string> scenario_file_;
    std::vector<TimelineEvent> added_events_;

    LoggerCallback logger_ = nullptr;
    void* logger_context_ = nullptr;
    UsbNotifyCallback usb_ = nullptr;
    PowerNotifyCallback power_ = nullptr;
    void* notify_context_ = nullptr;
    std::condition_variable callbacks_done_;
    std::multiset<std::thread::id> callback_threads_;

    std::thread event_thread_;
    std::deque<std::shared_ptr<Event>> events_; // in the order raised
    std::thread::id delivering_;                // the thread whose event is going out, if any
    bool events_stopping_ = false;
    std::condition_variable events_changed_;

    std::vector<std::thread> unplugs_;    // each detaches itself when over
    std::uint64_t unplug_generation_ = 0; // bumped by finish_unplugs: pending re-plugs end now
    bool replug_when_finished_ = false;
    std::condition_variable unplug_cancelled_;

    Timeline timeline_;
};

} // namespace vqsim
