// SPDX-License-Identifier: MIT
// A load test of the whole interface. Application threads make random calls of every exported
// function while the stand-in captures at full rate and a chaos thread unplugs and plugs, sleeps and
// wakes, injects capture faults, fails device-library calls and forwards log texts. It fails on a
// call stuck past the watchdog's limit, a code outside the status table, a status waiter that
// terminate does not release, and a torn or interleaved log line.
//   stress [--seconds N] [--threads N] [--seed N]
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <boost/filesystem.hpp>

#include "kova_status.h"
#include "kovavantorquadrelv3.h"
#include "logging/log.h"
#include "simulator/vqsim.h"
#include "tests/support/status_table.h"
#include "tests/support/support.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto stuck_limit = std::chrono::seconds(10); // twice the method lock's limit
constexpr const char* sensors[] = {"QV3-0001", "QV3-0002"};
constexpr const char* serials[] = {"QV3-5A1C0042", "QV3-5A1C0043"};

std::atomic<bool> failed{false};

void fail(const char* format, const char* what, unsigned long long value)
{
    std::fprintf(stderr, "stress: FAILED: ");
    std::fprintf(stderr, format, what, value);
    std::fputc('\n', stderr);
    failed = true;
}

// What each thread is inside of, for the watchdog: the call's name and when it began (0: nothing).
struct Slot {
    std::atomic<const char*> call{nullptr};
    std::atomic<long long> since{0};
};

long long now_ns()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

struct Counters {
    std::atomic<unsigned long long> calls{0}, frames{0}, events{0}, faults{0}, failures{0}, unplugs{0},
        notifications{0}, status_answers{0};
    std::mutex mutex;
    std::map<KovaStatus, unsigned long long> codes;
};
Counters counters;

void on_frame(unsigned char*, void*)
{
    counters.frames.fetch_add(1, std::memory_order_relaxed);
}

void on_notification(int32_t, const char* serial_number, int32_t)
{
    if (serial_number == nullptr || std::strlen(serial_number) > 254) fail("%s notification %llu", "bad", 0);
    counters.notifications.fetch_add(1, std::memory_order_relaxed);
}

void on_ui(void*) {}

// Runs one exported call inside the watchdog's view and checks its answer.
KovaStatus watched(Slot& slot, const char* name, const std::function<KovaStatus()>& call)
{
    slot.call.store(name);
    slot.since.store(now_ns());
    KovaStatus status = call();
    slot.since.store(0);
    counters.calls.fetch_add(1, std::memory_order_relaxed);
    if (!kova_test::documented_status(status)) fail("%s returned %llu, outside the status table", name, status);
    std::lock_guard<std::mutex> guard(counters.mutex);
    ++counters.codes[status];
    return status;
}

struct Stress {
    unsigned seconds = 10;
    unsigned threads = 8;
    unsigned seed = 1;
    std::atomic<bool> stopping{false};
    std::atomic<std::uint32_t> handles[2] = {{0}, {0}};

    void application(unsigned index, Slot& slot)
    {
        std::mt19937 random(seed * 7919u + index);
        auto pick = [&](unsigned n) { return static_cast<unsigned>(random() % n); };
        while (!stopping.load()) {
            const unsigned which = pick(2);
            // Mostly a handle of ours, now and then one that is stale or made up.
            std::uint32_t handle = pick(10) == 0 ? random() : handles[which].load();
            const char* sensor = sensors[which];
            KovaDeviceInfo info;
            KovaCapabilities caps;
            DevUIRecord record;
            std::uint32_t value = 0, count = 0;
            std::uint8_t flag = 0;
            KovaDeviceEntry entries[3];
            char ids[3 * 255];
            switch (pick(22)) {
            case 0: case 1: {
                std::uint32_t opened = 0;
                const char* names[] = {"KovaOpenDevice", "KovaOpenDevice_N", "KovaVantorQuadrelOpenDevice"};
                unsigned form = pick(3);
                KovaStatus status = watched(slot, names[form], [&] {
                    return form == 0   ? KovaOpenDevice(sensor, &opened)
                           : form == 1 ? KovaOpenDevice_N(sensor, nullptr, &opened)
                                       : KovaVantorQuadrelOpenDevice(sensor, &opened);
                });
                if (status == KOVA_OK || status == KOVA_DIRTY_DEVICE || status == KOVA_BUSY_DEVICE)
                    handles[which].store(opened);
                break;
            }
            case 2: watched(slot, "KovaCloseDevice_N", [&] { return KovaCloseDevice_N(handle); }); break;
            case 3: watched(slot, "KovaBusReset_N", [&] { return KovaBusReset_N(handle); }); break;
            case 4: case 5: watched(slot, "KovaVantorStartVideo", [&] { return KovaVantorStartVideo(handle); }); break;
            case 6: watched(slot, "KovaStopVideo", [&] { return KovaStopVideo(handle); }); break;
            case 7: watched(slot, "KovaVantorGetDeviceInfo", [&] { return KovaVantorGetDeviceInfo(handle, &info); }); break;
            case 8:
                watched(slot, "KovaVantorMGGetDeviceInfo", [&] { return KovaVantorMGGetDeviceInfo(sensor, nullptr, &info); });
                break;
            case 9:
                watched(slot, "KovaVantorGetCapabilities",
                        [&] { return KovaVantorGetCapabilities(handle, pick(6), &caps); });
                watched(slot, "KovaVantorQuadrelIsRollSupported",
                        [&] { return KovaVantorQuadrelIsRollSupported(handle, &flag); });
                watched(slot, "KovaVantorQuadrelGetPortType", [&] { return KovaVantorQuadrelGetPortType(handle, &value); });
                break;
            case 10:
                watched(slot, "KovaVantorQuadrelGetParameters",
                        [&] { return KovaVantorQuadrelGetParameters(handle, static_cast<std::uint8_t>(pick(9)), &value); });
                watched(slot, "KovaVantorQuadrelSetParameters", [&] {
                    return KovaVantorQuadrelSetParameters(handle, static_cast<std::uint8_t>(pick(9)), pick(2000));
                });
                break;
            case 11: case 12:
                for (auto& word : record.zone_word) word = random();
                record.lamp3_word = random();
                record.lamp5_word = random();
                record.side_lamp_word = random();
                watched(slot, "KovaVantorSetDevUI", [&] { return KovaVantorSetDevUI(handle, &record); });
                watched(slot, "KovaVantorGetDevUI", [&] { return KovaVantorGetDevUI(handle, &record); });
                break;
            case 13: watched(slot, "KovaVantorSetBuzzer", [&] { return KovaVantorSetBuzzer(handle, pick(4)); }); break;
            case 14:
                if (pick(20) == 0) { // 20 ms and 14 MB each: now and then
                    std::uint16_t *gain = nullptr, *offset = nullptr;
                    watched(slot, "KovaVantorQuadrelReadUniformityBuffers",
                            [&] { return KovaVantorQuadrelReadUniformityBuffers(handle, &gain, &offset); });
                    watched(slot, "KovaQuadV3FreeUniformityBuffers",
                            [&] { return KovaQuadV3FreeUniformityBuffers(handle, &gain, &offset); });
                    if (gain != nullptr || offset != nullptr) { // not initialised any more: still ours
                        std::free(gain);
                        std::free(offset);
                    }
                }
                break;
            case 15:
                count = pick(4);
                watched(slot, "KovaGetDeviceList_N", [&] { return KovaGetDeviceList_N(&count, entries); });
                count = pick(4);
                watched(slot, "KovaGetDeviceList", [&] { return KovaGetDeviceList(&count, ids); });
                break;
            case 16:
                watched(slot, "KovaRegisterQuadV3CaptureCallback",
                        [&] { return KovaRegisterQuadV3CaptureCallback(handle, on_frame, nullptr); });
                break;
            case 17:
                if (pick(10) == 0) watched(slot, "KovaUnRegisterQuadV3CaptureCallback", [] { return KovaUnRegisterQuadV3CaptureCallback(); });
                watched(slot, "KovaVantorSetUICallBack", [&] { return KovaVantorSetUICallBack(handle, on_ui, nullptr); });
                break;
            case 18:
                watched(slot, "KovaGetVersion", [] { return KovaGetVersion(); });
                watched(slot, "KovaGetVerInfo", [] { return KovaGetVerInfo(); });
                watched(slot, "KovaVantorQuadrelReadFilters", [] { return KovaVantorQuadrelReadFilters(); });
                watched(slot, "KovaStartVideo", [] { return KovaStartVideo(); });
                KovaBreakEnable();
                break;
            case 19:
                // Terminated now and then, initialised again soon after.
                if (pick(40) == 0) watched(slot, "KovaTerminate", [] { return KovaTerminate(); });
                if (KovaGetVersion() == KOVA_NOT_INITIALIZED || pick(100) == 0)
                    watched(slot, "KovaInitialize_N", [] { return KovaInitialize_N(on_notification, 3, 1 << 20); });
                break;
            default:
                watched(slot, "KovaBusReset", [] { return KovaBusReset(); });
                break;
            }
        }
    }

    // Waits on the status call as an application's status thread does, for whichever handle.
    void status_waiter(Slot&)
    {
        std::mt19937 random(seed);
        while (!stopping.load()) {
            std::uint32_t handle = handles[random() % 2].load();
            KovaStatus status = random() % 2 ? KovaGetStatus(handle) : KovaGetAndroidStatus(handle, nullptr, 0, nullptr);
            counters.status_answers.fetch_add(1, std::memory_order_relaxed);
            if (!kova_test::documented_status(status)) fail("%s returned %llu, outside the status table", "KovaGetStatus", status);
            if (status != KOVA_OK && status != KOVA_DEVICE_UNAVAILABLE)
                std::this_thread::sleep_for(std::chrono::milliseconds(1)); // nothing to wait on: no spin
        }
    }

    void chaos()
    {
        std::mt19937 random(seed * 31u);
        auto pick = [&](unsigned n) { return static_cast<unsigned>(random() % n); };
        static const char* const operations[] = {
            "get_sensor_list", "open_sensor",        "close_sensor",       "read_serial_number",
            "get_device_descriptor", "read_pia",     "get_capture_param",  "set_capture_params",
            "set_ihm_request", "start_asynchronous_capture", "stop_asynchronous_capture",
            "read_fpn_data_black", "read_fpn_data_white", "usbReboot",     "usbReboot_blocking"};
        static const int capture_faults[] = {16, 18, 20, 21};
        while (!stopping.load()) {
            const unsigned which = pick(2);
            switch (pick(6)) {
            case 0:
                if (vqsim_unplug(sensors[which], pick(30)) == 0) counters.unplugs.fetch_add(1);
                break;
            case 1:
                vqsim_usb_event(serials[which], pick(2), 1);
                counters.events.fetch_add(1);
                break;
            case 2:
                vqsim_power_event(serials[which], 2 + pick(2), 1);
                counters.events.fetch_add(1);
                break;
            case 3:
                vqsim_inject_capture_status(handles[which].load(), capture_faults[pick(4)]);
                counters.faults.fetch_add(1);
                break;
            case 4:
                vqsim_fail(operations[pick(sizeof operations / sizeof *operations)], 1 + pick(20), 1);
                counters.failures.fetch_add(1);
                break;
            default:
                vqsim_log_text("stress: a 100% forwarded text with %s and %d in it");
                break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(500 + pick(2000)));
        }
    }
};

// Every line of the file starts with the prefix, right after the previous line's end: nothing torn,
// nothing written into another line.
void check_log(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    unsigned long long lines = 0;
    for (std::size_t start = 0; start < bytes.size();) {
        if (!kova_test::is_line_prefix(bytes, start)) {
            fail("%s: no line prefix at byte %llu", path.c_str(), start);
            std::fprintf(stderr, "  ...%s\n", bytes.substr(start > 80 ? start - 80 : 0, 160).c_str());
            return;
        }
        ++lines;
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos) {
            fail("%s: the last line (at byte %llu) has no end", path.c_str(), start);
            return;
        }
        start = end + 1;
    }
    std::printf("  %s: %llu lines, all whole\n", path.c_str(), lines);
}

} // namespace

int main(int argc, char** argv)
{
    Stress stress;
    for (int i = 1; i + 1 < argc; i += 2) {
        unsigned value = static_cast<unsigned>(std::strtoul(argv[i + 1], nullptr, 10));
        if (std::strcmp(argv[i], "--seconds") == 0) stress.seconds = value;
        else if (std::strcmp(argv[i], "--threads") == 0) stress.threads = value;
        else if (std::strcmp(argv[i], "--seed") == 0) stress.seed = value;
        else {
            std::fprintf(stderr, "usage: stress [--seconds N] [--threads N] [--seed N]\n");
            return 2;
        }
    }

    // A log folder of this run's own (on Windows the system's ProgramData, emptied of ours first).
#if defined(_WIN32)
    const std::string folder = nvr::vantorquadrelv3::get_program_data_folder();
#else
    const std::string folder =
        (boost::filesystem::temp_directory_path() / boost::filesystem::unique_path("kova-stress-%%%%-%%%%")).string();
    kova_test::set_program_data(folder);
#endif
    boost::system::error_code ignored;
    boost::filesystem::remove_all(folder + "/Celdra", ignored);

    vqsim_reset();
    for (int i = 0; i < 2; ++i) vqsim_add_sensor(sensors[i], serials[i]);
    vqsim_set_frame_interval_us(0); // full rate
    if (KovaInitialize_N(on_notification, 3, 1 << 20) != KOVA_OK) {
        std::fprintf(stderr, "stress: initialise failed\n");
        return 1;
    }
    KovaRegisterQuadV3CaptureCallback(0, on_frame, nullptr);

    const unsigned total = stress.threads + 2;
    std::vector<Slot> slots(total);
    std::vector<std::thread> threads;
    for (unsigned i = 0; i < stress.threads; ++i)
        threads.emplace_back([&, i] { stress.application(i, slots[i]); });
    std::thread waiter([&] { stress.status_waiter(slots[stress.threads]); });
    std::thread chaos([&] { stress.chaos(); });

    // The watchdog: no call may take longer than the limit.
    std::atomic<bool> finished{false};
    std::thread watchdog([&] {
        while (!finished.load()) {
            const long long now = now_ns();
            for (auto& slot : slots) {
                long long since = slot.since.load();
                if (since != 0 && now - since > std::chrono::nanoseconds(stuck_limit).count()) {
                    std::fprintf(stderr, "stress: FAILED: %s stuck for more than %lld s\n", slot.call.load(),
                                 static_cast<long long>(stuck_limit.count()));
                    std::fflush(stderr);
                    std::_Exit(1);
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });

    std::this_thread::sleep_for(std::chrono::seconds(stress.seconds));
    stress.stopping = true;
    for (auto& thread : threads) thread.join();
    chaos.join();
    // The status waiter may be inside a wait with nothing more to come: terminate lets it go.
    KovaInitialize_N(on_notification, 3, 1 << 20);
    Slot& last = slots[stress.threads + 1];
    last.call.store("KovaTerminate releasing the status waiter");
    last.since.store(now_ns());
    KovaTerminate();
    waiter.join();
    last.since.store(0);
    finished = true;
    watchdog.join();
    // The unplug threads still running are waited for, and with them the captures they ended.
    vqsim_reset();

    std::printf("stress: %u application threads for %u s (seed %u): %llu calls, %llu frames delivered, "
                "%llu status answers, %llu notifications\n",
                stress.threads, stress.seconds, stress.seed, counters.calls.load(), counters.frames.load(),
                counters.status_answers.load(), counters.notifications.load());
    std::printf("  chaos: %llu unplugs, %llu plug and power events, %llu capture faults, %llu failed library calls\n",
                counters.unplugs.load(), counters.events.load(), counters.faults.load(), counters.failures.load());
    std::printf("  answers:");
    for (const auto& [code, n] : counters.codes) std::printf(" %lu x%llu", static_cast<unsigned long>(code), n);
    std::printf("\n");
    const std::string log_folder = folder + "/Celdra/Nivora SDK/";
    check_log(log_folder + "kovavantorquadrelv3.log");
    if (boost::filesystem::exists(log_folder + "kovavantorquadrelv3_2.log")) check_log(log_folder + "kovavantorquadrelv3_2.log");
#if !defined(_WIN32)
    boost::filesystem::remove_all(folder, ignored);
#endif
    if (counters.frames.load() == 0) fail("%s: %llu frames delivered", "capture", 0);
    std::printf("stress: %s\n", failed.load() ? "FAILED" : "passed");
    return failed.load() ? 1 : 0;
}
