// SPDX-License-Identifier: MIT
// kova-capture: one whole capture run from the command line, written only against the public C
// interface, the way a capture application uses the library. Only --scenario, --unplug-after and
// --fast reach into the stand-in's controls.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <boost/filesystem.hpp>
#include <nlohmann/json.hpp>

#include "kova_tool.h"
#include "logging/log_path.h"
#include "vqsim.h"
#include "vqsim_lookup.h"


namespace {

// A control of the stand-in, typed by its declaration in vqsim.h (which decltype only reads: nothing
// refers to the symbol) and found at run time; null beside the maker's library.
#define STAND_IN(name) reinterpret_cast<decltype(&name)>(vqsim_lookup(#name))


using namespace kova_tool;

class CaptureRun;
std::atomic<CaptureRun*> active_run{nullptr}; // for the notification callback, which has no context

class CaptureRun {
public:
    explicit CaptureRun(const Options& options) : options_(options) { last_frame_.resize(frame_bytes); }

    int run()
    {
        // The output folder is checked before anything starts.
        if (!output_folder_writable()) return 1;
        int status = 0;
        try {
            start_up();
            capture();
            finish();
        } catch (const Failure& failure) {
            console.line("error: %s", failure.message.c_str());
            status = 1;
        }
        if (!shut_down()) status = 1;
        return status;
    }

    // Device library threads: a plug or power event of any scanner.
    void on_notification(const char* serial_number, std::int32_t state)
    {
        std::string serial = serial_number != nullptr ? serial_number : "";
        std::lock_guard<std::mutex> guard(mutex_);
        const bool ours = !sensor_.empty() && (reported_serial_.empty() || is_reported_serial(serial, reported_serial_));
        // Ours is called by its sensor id, as everywhere else; another one by its serial number.
        console.line("notification: %s%s %s", ours ? "scanner " : "another scanner, serial number ",
                     ours ? sensor_.c_str() : serial.c_str(), state != 0 ? "plugged in / awake" : "unplugged / asleep");
        if (!ours) return;
        present_ = state != 0;
        if (!present_) ++departures_;
        changed_.notify_all();
    }

private:
    // Device library thread: one frame. The pixels are good only during the call, so the frame that
    // completes the run is copied here.
    static void on_frame(unsigned char* pixels, void* context)
    {
        auto& self = *static_cast<CaptureRun*>(context);
        auto now = Clock::now();
        std::lock_guard<std::mutex> guard(self.mutex_);
        if (self.frames_ >= self.options_.frames) return;
        if (++self.frames_ == self.options_.frames) std::memcpy(self.last_frame_.data(), pixels, frame_bytes);
        if (self.frames_ == self.segment_first_frame_ + 1) self.segment_first_time_ = now;
        self.segment_last_time_ = now;
        self.changed_.notify_all();
    }

    void start_up()
    {
        require("KovaInitialize_N", KovaInitialize_N(notification_entry, options_.level, 0));
        initialized_ = true;
        std::string sensor = list_scanners();
        if (!options_.sensor.empty()) sensor = options_.sensor;
        sensor_ = sensor;
        open_scanner();
        show_device();
        read_tables();
        status_thread_ = std::thread([this] { watch_status(); });
        require("KovaRegisterQuadV3CaptureCallback", KovaRegisterQuadV3CaptureCallback(handle_, on_frame, this));
        callback_registered_ = true;
        if (options_.fast) STAND_IN(vqsim_set_frame_interval_us)(fast_frame_interval_us);
    }

    static void notification_entry(std::int32_t kind, const char* serial_number, std::int32_t state)
    {
        (void)kind; // always 6
        if (CaptureRun* run = active_run.load()) run->on_notification(serial_number, state);
    }

    // Prints the scanners; returns the first one's id.
    std::string list_scanners()
    {
        KovaDeviceEntry entries[16];
        std::memset(entries, 0, sizeof entries);
        std::uint32_t count = 16;
        require("KovaGetDeviceList_N", KovaGetDeviceList_N(&count, entries));
        console.line("scanners: %u", static_cast<unsigned>(count));
        for (std::uint32_t i = 0; i < count; ++i)
            console.line("  %u: %s (type %u)", static_cast<unsigned>(i),
                         field(entries[i].sensor_id, sizeof entries[i].sensor_id).c_str(),
                         static_cast<unsigned>(entries[i].device_type));
        return field(entries[0].sensor_id, sizeof entries[0].sensor_id);
    }

    void open_scanner()
    {
        std::uint32_t handle = 0;
        const KovaStatus status = KovaOpenDevice_N(sensor_.c_str(), nullptr, &handle);
        // 9020: opened all the same; its images may show the dirt.
        if (status == KOVA_DIRTY_DEVICE)
            console.line("%s is open but reports itself dirty (9020): clean its glass; going on", sensor_.c_str());
        else
            require("KovaOpenDevice_N", status);
        open_ = true;
        std::lock_guard<std::mutex> guard(mutex_);
        handle_ = handle;
        ++handle_generation_;
        changed_.notify_all();
    }

    void show_device()
    {
        KovaDeviceInfo info;
        std::memset(&info, 0, sizeof info);
        const KovaStatus status = KovaVantorGetDeviceInfo(handle_, &info);
        // 9000 here: the scanner's serial number is not in the form the library reads (no '-'); the
        // rest of the record is there.
        if (status == KOVA_INTERNAL)
            console.line("device information: %s: the serial number has no '-'; going on", describe(status).c_str());
        else
            require("KovaVantorGetDeviceInfo", status);
        std::string serial = field(info.serial_number, sizeof info.serial_number);
        {
            std::lock_guard<std::mutex> guard(mutex_);
            reported_serial_ = serial;
        }
        console.line("opened %s: handle 0x%x", sensor_.c_str(), static_cast<unsigned>(handle_));
        console.line("  manufacturer %s, model %s, serial number %s, descriptor code %s",
                     field(info.manufacturer, sizeof info.manufacturer).c_str(),
                     field(info.model, sizeof info.model).c_str(), serial.c_str(),
                     field(info.descriptor_code, sizeof info.descriptor_code).c_str());
        for (std::uint32_t type : {0u, 4u}) {
            KovaCapabilities caps;
            std::memset(&caps, 0, sizeof caps);
            require("KovaVantorGetCapabilities", KovaVantorGetCapabilities(handle_, type, &caps));
            // An unavailable capture type leaves the record as it was: all zero here.
            if (std::all_of(std::begin(caps.word), std::end(caps.word), [](std::uint32_t w) { return w == 0; })) {
                console.line("  capture type %u: not available", static_cast<unsigned>(type));
                continue;
            }
            std::string words;
            for (std::uint32_t w : caps.word) words += " " + std::to_string(w);
            console.line("  capture type %u: %u x %u, resolution %u, half size %u x %u (words:%s)",
                         static_cast<unsigned>(type), static_cast<unsigned>(caps.word[3]),
                         static_cast<unsigned>(caps.word[4]), static_cast<unsigned>(caps.word[2]),
                         static_cast<unsigned>(caps.word[5]), static_cast<unsigned>(caps.word[6]), words.c_str());
        }
    }

    void read_tables()
    {
        auto started = Clock::now();
        require("KovaVantorQuadrelReadUniformityBuffers",
                KovaVantorQuadrelReadUniformityBuffers(handle_, &gain_, &offset_));
        double ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
        console.line("uniformity tables read in %.0f ms", ms);
    }

    // Status thread: every event the blocking status call reports. After a refusal (the scanner
    // gone, its handle closed) it waits for the next handle; it ends at shut-down, or when the
    // library is terminated (9101 wakes a waiting call).
    void watch_status()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!shutting_down_) {
            std::uint32_t handle = handle_;
            std::uint64_t generation = handle_generation_;
            watched_generation_ = generation;
            changed_.notify_all();
            lock.unlock();
            KovaStatus status = KovaGetStatus(handle);
            console.line("status thread: KovaGetStatus(0x%x) -> %s", static_cast<unsigned>(handle),
                         status == KOVA_OK ? "0 (woken, nothing to report)" : describe(status).c_str());
            lock.lock();
            bool terminated = false;
            switch (status) {
            case KOVA_OK:                 // woken: a close, or nothing to report
            case KOVA_DEVICE_UNAVAILABLE: // unplugged, asleep, broken or a capture fault: the run reacts
                break;
            case KOVA_NOT_INITIALIZED: // the library was terminated
                terminated = true;
                break;
            default: // a failed device-library call (the handle is gone): wait for the next handle
                changed_.wait(lock, [&] { return shutting_down_ || handle_generation_ != generation; });
                break;
            }
            if (terminated) break;
        }
        lock.unlock();
        console.line("status thread: ended");
    }

    void set_lamps(std::uint32_t zone_code)
    {
        DevUIRecord record;
        std::memset(&record, 0, sizeof record);
        std::fill(std::begin(record.zone_word), std::end(record.zone_word), zone_code);
        require("KovaVantorSetDevUI", KovaVantorSetDevUI(handle_, &record));
        lamps_on_ = zone_code != 0;
        console.line(zone_code != 0 ? "lamps: every finger zone lit (zone code %u)" : "lamps: all off (zone code %u)",
                     static_cast<unsigned>(zone_code));
    }

    void start_video()
    {
        require("KovaVantorStartVideo", KovaVantorStartVideo(handle_));
        capturing_ = true;
        std::lock_guard<std::mutex> guard(mutex_);
        segment_first_frame_ = frames_;
    }

    // Under mutex_: frames so far and the rate since capture last started.
    std::string progress_text() const
    {
        char text[96];
        unsigned intervals = frames_ > segment_first_frame_ + 1 ? frames_ - segment_first_frame_ - 1 : 0;
        double seconds = std::chrono::duration<double>(segment_last_time_ - segment_first_time_).count();
        if (intervals == 0 || seconds <= 0)
            std::snprintf(text, sizeof text, "frames %u/%u", frames_, options_.frames);
        else
            std::snprintf(text, sizeof text, "frames %u/%u  %.1f fps", frames_, options_.frames, intervals / seconds);
        return text;
    }

    void capture()
    {
        set_lamps(3);
        require("KovaVantorSetBuzzer", KovaVantorSetBuzzer(handle_, 1));
        console.line("buzzer: sounded pattern 1");
        console.line("capturing %u frames", options_.frames);
        {
            // A scenario's events are seen by the status thread only once it is at its status call.
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return watched_generation_ == handle_generation_; });
        }
        start_video();
        auto last_progress = Clock::time_point{};
        auto show_progress = [&](std::unique_lock<std::mutex>& lock, bool last) {
            std::string text = progress_text();
            lock.unlock();
            console.progress(text, last);
            lock.lock();
            last_progress = Clock::now();
        };
        std::unique_lock<std::mutex> lock(mutex_);
        unsigned seen = frames_;
        unsigned departures_handled = departures_;
        auto last_frame_time = Clock::now();
        for (;;) {
            changed_.wait_for(lock, std::chrono::milliseconds(100),
                              [&] { return frames_ != seen || departures_ != departures_handled; });
            auto now = Clock::now();
            if (frames_ != seen) last_frame_time = now;
            seen = frames_;
            if (seen >= options_.frames) break;
            if (now - last_progress >= std::chrono::milliseconds(100)) show_progress(lock, false);
            if (departures_ != departures_handled) {
                departures_handled = departures_;
                show_progress(lock, false);
                lock.unlock();
                reopen_after_unplug(seen);
                lock.lock();
                last_frame_time = Clock::now();
                continue;
            }
            if (now - last_frame_time > frame_stall_limit) {
                lock.unlock();
                throw Failure{"no frame for " + std::to_string(frame_stall_limit.count()) + " s"};
            }
        }
        show_progress(lock, true);
        lock.unlock();
        require("KovaStopVideo", KovaStopVideo(handle_));
        capturing_ = false;
    }

    // The scanner went away: give up its handle, wait for it to come back, open it again and go on.
    void reopen_after_unplug(unsigned frames_so_far)
    {
        console.line("scanner %s gone after %u frames: closing handle 0x%x and waiting for it", sensor_.c_str(),
                     frames_so_far, static_cast<unsigned>(handle_));
        // Both answer for a scanner that is no longer there; they only let go of what is left of it.
        console.line("  KovaStopVideo -> %s", describe(KovaStopVideo(handle_)).c_str());
        capturing_ = false;
        lamps_on_ = false;
        console.line("  KovaCloseDevice_N -> %s", describe(KovaCloseDevice_N(handle_)).c_str());
        open_ = false;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!changed_.wait_for(lock, replug_wait_limit, [&] { return present_; }))
                throw Failure{"the scanner did not come back within " +
                              std::to_string(replug_wait_limit.count()) + " s"};
        }
        std::uint32_t old_handle = handle_;
        open_scanner();
        console.line("reopened %s: handle 0x%x (was 0x%x)", sensor_.c_str(), static_cast<unsigned>(handle_),
                     static_cast<unsigned>(old_handle));
        set_lamps(0); // the remembered lamp state belongs to the old device
        set_lamps(3);
        start_video();
    }

    bool output_folder_writable()
    {
        // Boost's: the Universal CRT's C++ library on some systems (Wine's) has no std::filesystem.
        boost::system::error_code error;
        boost::filesystem::create_directories(options_.out, error);
        const std::string probe = options_.out + "/.kova-capture-probe";
        std::FILE* file = error ? nullptr : std::fopen(probe.c_str(), "wb");
        if (file == nullptr) {
            std::fprintf(stderr, "kova-capture: cannot write into %s: %s\n", options_.out.c_str(),
                         error ? error.message().c_str() : std::strerror(errno));
            return false;
        }
        std::fclose(file);
        std::remove(probe.c_str());
        return true;
    }

    void finish()
    {
        set_lamps(0);
        boost::system::error_code error;
        write_images();
        console.line("files in %s", boost::filesystem::system_complete(options_.out, error).string().c_str());
        require("KovaQuadV3FreeUniformityBuffers", KovaQuadV3FreeUniformityBuffers(handle_, &gain_, &offset_));
    }

    void write_file(const char* name, const std::vector<unsigned char>& data, int bit_depth, int significant,
                    const char* what)
    {
        std::string path = options_.out + "/" + name;
        if (!write_png(path.c_str(), data.data(), frame_width, frame_height, bit_depth, significant))
            throw Failure{"cannot write " + path};
        console.line("wrote %s: %s", path.c_str(), what);
    }

    void write_images()
    {
        std::vector<unsigned char> raw(frame_samples * 2);
        std::vector<unsigned char> corrected(frame_samples);
        std::size_t out_of_range = 0;
        for (std::size_t i = 0; i < frame_samples; ++i) {
            unsigned p = sample_at(last_frame_.data(), i);
            if (p > sample_max) {
                ++out_of_range;
                p = sample_max;
            }
            // 10 bits spread over 16 (sBIT says 10): viewers show it, p comes back as value >> 6.
            unsigned wide = p << 6 | p >> 4;
            raw[2 * i] = static_cast<unsigned char>(wide >> 8);
            raw[2 * i + 1] = static_cast<unsigned char>(wide & 0xFF);
            double value = double(p) * gain_[i] / 1024.0 + (double(offset_[i]) - 32768.0) / 64.0;
            corrected[i] = to_8bit(value);
        }
        if (out_of_range != 0)
            console.line("warning: %u samples above 0x3FF in the last frame (written as 0x3FF)",
                         static_cast<unsigned>(out_of_range));
        write_file("raw_frame.png", raw, 16, 10, "last frame, raw, 16-bit grey");
        write_file("corrected_frame.png", corrected, 8, 8, "last frame, corrected with the tables, 8-bit grey");
        std::vector<unsigned char> picture;
        auto [gain_low, gain_high] = stretch_table(gain_, picture);
        char what[128];
        std::snprintf(what, sizeof what, "gain table, %.4f (black) to %.4f (white)", gain_low / 1024.0,
                      gain_high / 1024.0);
        write_file("gain_table.png", picture, 8, 8, what);
        auto [offset_low, offset_high] = stretch_table(offset_, picture);
        std::snprintf(what, sizeof what, "offset table, %.2f (black) to %.2f (white) grey levels",
                      (offset_low - 32768.0) / 64.0, (offset_high - 32768.0) / 64.0);
        write_file("offset_table.png", picture, 8, 8, what);
    }

    // Releases whatever the run still holds, in the order an application must: capture, lamps,
    // tables, device, library. Returns false when one of these calls failed.
    bool shut_down()
    {
        bool ok = true;
        auto release = [&](const char* call, KovaStatus status) {
            if (status == KOVA_OK) return;
            console.line("error: %s failed: %s", call, describe(status).c_str());
            ok = false;
        };
        if (capturing_) release("KovaStopVideo", KovaStopVideo(handle_));
        capturing_ = false;
        if (lamps_on_) {
            DevUIRecord off;
            std::memset(&off, 0, sizeof off);
            release("KovaVantorSetDevUI", KovaVantorSetDevUI(handle_, &off));
        }
        if (gain_ != nullptr || offset_ != nullptr)
            release("KovaQuadV3FreeUniformityBuffers", KovaQuadV3FreeUniformityBuffers(handle_, &gain_, &offset_));
        {
            std::lock_guard<std::mutex> guard(mutex_);
            shutting_down_ = true;
            changed_.notify_all();
        }
        if (open_) release("KovaCloseDevice_N", KovaCloseDevice_N(handle_)); // wakes the status call with 0
        open_ = false;
        if (initialized_) release("KovaTerminate", KovaTerminate()); // wakes it with 9101 if still waiting
        initialized_ = false;
        if (status_thread_.joinable()) status_thread_.join();
        if (callback_registered_) KovaUnRegisterQuadV3CaptureCallback();
        // Where the library writes it, by the library's own reckoning.
        std::string log_folder = nvr::vantorquadrelv3::log_folder();
        const std::string log_file = log_folder + nvr::vantorquadrelv3::log_file_name;
        log_folder.pop_back(); // its trailing separator
        boost::system::error_code error;
        if (options_.level == 0)
            console.line("log: level 0, nothing written");
        else if (boost::filesystem::exists(log_file, error))
            console.line("log file: %s", log_file.c_str());
        else
            console.line("log: nothing could be written: the folder %s cannot be created or written", log_folder.c_str());
        return ok;
    }

    const Options& options_;
    std::string sensor_;
    std::uint16_t* gain_ = nullptr;
    std::uint16_t* offset_ = nullptr;
    bool initialized_ = false;
    bool callback_registered_ = false;
    bool capturing_ = false;
    bool lamps_on_ = false;
    bool open_ = false;
    std::thread status_thread_;

    // Shared with the device library's threads and the status thread, under mutex_.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint32_t handle_ = 0;
    std::uint64_t handle_generation_ = 0;
    std::uint64_t watched_generation_ = 0; // the handle the status thread last called with
    bool shutting_down_ = false;
    bool present_ = true;       // by the last plug or power notification of this scanner
    unsigned departures_ = 0;   // notifications that it went away
    std::string reported_serial_; // as the device information has it
    unsigned frames_ = 0;
    unsigned segment_first_frame_ = 0; // frames_ when capture last started
    Clock::time_point segment_first_time_;
    Clock::time_point segment_last_time_;
    std::vector<unsigned char> last_frame_;
};

// The stand-in's scenario (the file, and --unplug-after as one more event of its timeline) and panel.
// 0 to go on, otherwise the exit status: an option that needs the stand-in is refused beside any
// other device library.
int use_stand_in(const Options& options)
{
    const char* needs = !options.scenario.empty() ? "--scenario"
                        : !options.panel.empty()  ? "--panel"
                        : options.unplug_after != 0 ? "--unplug-after"
                        : options.fast ? "--fast"
                                       : nullptr;
    if (needs == nullptr) return 0;
    if (STAND_IN(vqsim_reset) == nullptr) {
        std::fprintf(stderr, "kova-capture: %s needs the stand-in, and the device library in use is not the stand-in\n",
                     needs);
        return 2;
    }
    if (!options.panel.empty()) {
        const int port = STAND_IN(vqsim_start_panel)(("127.0.0.1:" + options.panel).c_str());
        if (port < 0) return 1;
        console.line("panel: http://127.0.0.1:%d/", port);
    }
    if (!options.scenario.empty()) STAND_IN(vqsim_use_scenario)(options.scenario.c_str());
    if (options.unplug_after == 0) return 0;
    nlohmann::json event = {{"event", "unplug"},
                            {"after_frames", options.unplug_after},
                            {"replug_after_ms", scenario_replug_ms}};
    if (!options.sensor.empty()) event["sensor_id"] = options.sensor;
    if (STAND_IN(vqsim_add_timeline_event)(event.dump().c_str()) != 0) return 1;
    console.line("scenario: the stand-in unplugs the scanner after %u frames and plugs it back %u ms later",
                 options.unplug_after, scenario_replug_ms);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    int usage_status = parse_options(argc, argv, options);
    if (usage_status != 0) return usage_status < 0 ? 0 : usage_status;
    if (int status = use_stand_in(options)) return status;
    if (options.list) return list_scanners(options);
    CaptureRun run(options);
    active_run.store(&run);
    int status = run.run();
    active_run.store(nullptr);
    return status;
}
