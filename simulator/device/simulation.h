// SPDX-License-Identifier: MIT
// The simulated hardware and the library's own state. Lives for the whole process,
// independent of TFTManagerClass::destroy_instance.
#pragma once

#include <array>
#include <chrono>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <cstdint>
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
#include "simulator/device/parameters.h"
#include "simulator/device/capture_engine.h"
#include "simulator/device/image_synth.h"
#include "simulator/device/image_writer.h"
#include "simulator/device/threads.h"
#include "simulator/scenario/timeline.h"

namespace vqsim {

struct Scenario;

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

class Simulation {
public:
    static Simulation& instance();

    // Every TFTManagerClass operation starts here: counts the call, applies a delay, then a fault rule.
    // Returns the status to answer with at once, or nothing to go on.
    std::optional<TFT_Status> enter(const char* operation, bool needs_initialized = true);

    // Library state
    std::mutex mutex;
    bool initialized = false;
    std::map<std::string, std::uint64_t> call_counts;
    // Rules of one operation take turns in order: each lets `after` calls through, then answers
    // `count` calls (every call when count < 0) with `status`.
    struct Rule {
        TFT_Status status;
        int count;
        std::uint64_t after = 0;
    };
    std::map<std::string, std::deque<Rule>> fail_rules;
    std::map<std::string, unsigned> delays;

    // Scanners in attach order; detached ones stay until their handle is closed.
    std::vector<std::unique_ptr<Scanner>> scanners;
    std::uint32_t next_handle = 0x5100;
    std::deque<JournalEntry> journal; // the newest entries
    std::uint64_t journal_sequence = 0;
    // Adds to the journal; under the lock.
    void note(const std::string& sensor_id, std::string text);
    std::int64_t ms_since_load() const;
    // Each scanner unplugged for good or not yet plugged in; under the lock.
    template <class Each>
    void each_detached(Each each) const
    {
        for (const auto& entry : detached_) each(entry.second);
    }
    // The id of the scanner with this serial number (attached or not), or "".
    std::string sensor_of(const std::string& serial_number);
    std::optional<IhmRequest> last_ihm;
    std::optional<ParamsRequest> last_params;

    Scanner* find_attached(const std::string& sensor_id);
    // The scanner open under this handle, or the status to answer with.
    TFT_Status find_open(std::uint32_t handle, Scanner** scanner);
    Scanner& attach(ScannerIdentity identity);

    // Registered callbacks; every call goes out in the order raised, one at a time.
    void register_logger(LoggerCallback callback, void* context);
    void register_notification(UsbNotifyCallback usb, PowerNotifyCallback power, void* context);
    void unregister_logger();
    void unregister_notification();
    // Each returns once the callback has returned, or at once when `post` (the event still goes out in order).
    void emit_log(const std::string& text, bool post = false);
    void emit_usb(const std::string& serial_number, int event, bool is_active, bool post = false);
    void emit_power(const std::string& serial_number, int event, bool is_active, bool post = false);

    // The scenario read at initialize: the file vqsim_use_scenario named, else VQSIM_SCENARIO's.
    std::optional<std::string> scenario_file;   // under mutex
    std::vector<TimelineEvent> added_events;    // vqsim_add_timeline_event; under mutex
    // Applies a scenario (or none) and the added events, starts their timeline and marks the
    // library initialised. Without the lock held.
    void apply(const Scenario* scenario);
    // Stops the timeline; without the lock held.
    void stop_timeline() { timeline_.stop(); }
    void frames_counted() { timeline_.frames_counted(); }
    // What a timeline event does; raises its events without waiting for them.
    void fire(const TimelineEvent& event);

    // Unplugs an attached scanner on a thread of its own, plugging it back after the delay (none: it
    // stays away until plug()). False when none is attached under that id.
    bool unplug(const std::string& sensor_id, std::optional<unsigned> replug_after_ms);
    // Plugs back a scanner that was unplugged for good, or a scenario's scanner not yet attached.
    bool plug(const std::string& sensor_id);
    // A capture status for the scanner's running capture, or its next one. Under the lock.
    void inject(Scanner& scanner, TFT_Status status);

    // Stops every capture, waiting for them outside the lock.
    void stop_all_captures(std::unique_lock<std::mutex>& lock);
    // Cancels the re-plugs still pending and waits for every unplug thread, then forgets everything.
    void reset();

    // Detaches an attached scanner (its capture ends, an open handle answers unplugged until
    // closed); false when none is attached under that id.
    bool remove_sensor(const std::string& sensor_id);
    // Unplugs a scanner and plugs it back later (or never), on a thread that reset() joins.
    void unplug_later(ScannerIdentity identity, std::optional<unsigned> replug_after_ms);
    // Ends the pending re-plugs, plugging the scanners back at once (replug) or not, and joins their
    // threads; the lock is released meanwhile.
    void finish_unplugs(std::unique_lock<std::mutex>& lock, bool replug);
    // Delivers what is queued, then ends and joins the event thread (not from inside a callback,
    // where it just goes on); the lock is released meanwhile. The next posted event starts it again.
    void stop_events(std::unique_lock<std::mutex>& lock);

private:
    using Pick = std::function<std::function<void()>()>;
    struct Event {
        Pick pick;
        bool post = false; // delivered by the event thread; otherwise by the thread that raised it
    };

    Simulation();
    const std::chrono::steady_clock::time_point loaded_ = std::chrono::steady_clock::now();
    void dispatch(Pick pick, bool post);
    void deliver(const Pick& pick, std::unique_lock<std::mutex>& lock);
    void deliver_in_turn(const Pick& pick, std::unique_lock<std::mutex>& lock);
    void event_loop();
    void wait_for_callbacks(std::unique_lock<std::mutex>& lock);
    // False on the stand-in's own threads and inside a callback, where waiting for the stand-in's
    // threads could mean waiting for oneself. Under the lock.
    bool may_wait_for_threads() const;

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

    std::vector<std::thread> unplugs_;    // under mutex; each detaches itself when over
    std::uint64_t unplug_generation_ = 0; // bumped by finish_unplugs: pending re-plugs end now
    bool replug_when_finished_ = false;
    std::condition_variable unplug_cancelled_;
    // Scanners away for good (unplugged without a re-plug, or a scenario's not yet attached), by id.
    std::map<std::string, ScannerIdentity> detached_;

    Timeline timeline_;
};

} // namespace vqsim
