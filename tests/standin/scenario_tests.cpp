// SPDX-License-Identifier: MIT
// Scenario files of the stand-in, through the public interface: the shipped ones, bad files, and
// scenarios mixed with the C controls.
#include <gmock/gmock.h>

#include <boost/filesystem.hpp>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/support.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

namespace {

using ::testing::HasSubstr;

std::string shipped(const std::string& name)
{
    return std::string(KOVA_SCENARIO_DIR) + "/" + name;
}

// Plug and power notifications, in order (the callback has no context).
struct Notifications {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::pair<std::string, int>> seen; // serial number, state
};
Notifications notifications;

void notified(std::int32_t, const char* serial_number, std::int32_t state)
{
    std::lock_guard<std::mutex> guard(notifications.mutex);
    notifications.seen.emplace_back(serial_number != nullptr ? serial_number : "", state);
    notifications.changed.notify_all();
}


class Scenarios : public kova_test::KovaTest {
protected:
    void SetUp() override
    {
        KovaTest::SetUp();
        files_ = folder_ + "/scenario-test";
        boost::filesystem::create_directories(files_);
        std::lock_guard<std::mutex> guard(notifications.mutex);
        notifications.seen.clear();
    }

    void TearDown() override
    {
        KovaTest::TearDown();
        boost::system::error_code ignored;
        boost::filesystem::remove_all(files_, ignored);
    }

    KovaStatus start(const std::string& file)
    {
        vqsim_use_scenario(file.c_str());
        return initialize(3, 0, notified);
    }

    std::vector<std::string> listed()
    {
        KovaDeviceEntry entries[8];
        std::memset(entries, 0, sizeof entries);
        std::uint32_t count = 8;
        EXPECT_EQ(KovaGetDeviceList_N(&count, entries), KOVA_OK);
        std::vector<std::string> ids;
        for (std::uint32_t i = 0; i < count && i < 8; ++i) ids.emplace_back(entries[i].sensor_id);
        return ids;
    }

    std::string serial_of(std::uint32_t handle)
    {
        KovaDeviceInfo info;
        std::memset(&info, 0, sizeof info);
        EXPECT_EQ(KovaVantorGetDeviceInfo(handle, &info), KOVA_OK);
        return std::string(info.serial_number, strnlen(info.serial_number, sizeof info.serial_number));
    }

    std::uint32_t open(const char* sensor, KovaStatus expected = KOVA_OK)
    {
        std::uint32_t handle = 0;
        EXPECT_EQ(KovaOpenDevice(sensor, &handle), expected) << sensor;
        return handle;
    }

    void capture(std::uint32_t handle)
    {
        ASSERT_EQ(KovaRegisterQuadV3CaptureCallback(handle, kova_test::FrameSink::deliver, &frames_), KOVA_OK);
        ASSERT_EQ(KovaVantorStartVideo(handle), KOVA_OK);
    }

    // Initialises with a shipped scenario, opens its scanner and captures a frame a millisecond.
    std::uint32_t capture_with(const char* scenario, KovaStatus opened = KOVA_OK)
    {
        EXPECT_EQ(start(shipped(scenario)), KOVA_OK);
        vqsim_set_frame_interval_us(1000);
        std::uint32_t handle = open("QV3-0001", opened);
        capture(handle);
        return handle;
    }

    // Waits until `count` notifications have come.
    std::vector<std::pair<std::string, int>> wait_for_notifications(std::size_t count)
    {
        std::unique_lock<std::mutex> lock(notifications.mutex);
        notifications.changed.wait(lock, [&] { return notifications.seen.size() >= count; });
        return notifications.seen;
    }

    // The log texts, once they hold `text` (the device library's own threads write them).
    bool eventually_logged(const std::string& text)
    {
        for (int i = 0; i < 2000; ++i) {
            if (log_texts().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    // A file that could not be written whole fails here, not later as a refusal of another text.
    std::string write(const std::string& name, const std::string& bytes)
    {
        const std::string path = files_ + "/" + name;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << bytes;
        out.close();
        EXPECT_TRUE(out.good()) << "cannot write " << path;
        return path;
    }

    // What initialize writes to standard error for a scenario, and its answer.
    std::string refusal(const std::string& file, KovaStatus* status = nullptr)
    {
        kova_test::StderrCapture captured;
        KovaStatus answer = start(file);
        if (status != nullptr) *status = answer;
        return captured.text();
    }

    kova_test::FrameSink frames_;
    std::string files_; // the scenario and calibration files a test writes
};

TEST_F(Scenarios, OneScannerIsTheDefault)
{
    ASSERT_EQ(start(shipped("one-scanner.json")), KOVA_OK);
    EXPECT_THAT(listed(), ::testing::ElementsAre("QV3-0001"));
    EXPECT_EQ(serial_of(open("QV3-0001")), "5A1C0042");
}

TEST_F(Scenarios, TwoScannersEachWithItsOwnDescription)
{
    ASSERT_EQ(start(shipped("two-scanners.json")), KOVA_OK);
    EXPECT_THAT(listed(), ::testing::ElementsAre("QV3-0001", "QV3-0002"));
    std::uint32_t first = open("QV3-0001"), second = open("QV3-0002");
    EXPECT_NE(first, second);
    EXPECT_EQ(serial_of(second), "5A1C0077");
    std::uint32_t exposure = 0, gain = 0;
    EXPECT_EQ(KovaVantorQuadrelGetParameters(second, 1, &exposure), KOVA_OK);
    EXPECT_EQ(KovaVantorQuadrelGetParameters(second, 2, &gain), KOVA_OK);
    EXPECT_EQ(exposure, 12000u);
    EXPECT_EQ(gain, 20u);
    EXPECT_EQ(KovaVantorQuadrelGetParameters(first, 1, &exposure), KOVA_OK);
    EXPECT_EQ(exposure, 10000u);
}

TEST_F(Scenarios, DirtyScannerOpensWithAWarningAndItsFramesStillCome)
{
    const std::uint32_t handle = capture_with("dirty-scanner.json", KOVA_DIRTY_DEVICE);
    frames_.wait_for(45);
    EXPECT_EQ(KovaStopVideo(handle), KOVA_OK);
    // Both dirty frames were delivered: 45 images took at least 45 frames.
    EXPECT_TRUE(eventually_logged("The device is Dirty 18. Capture goes on"));
    EXPECT_EQ(log_texts().find("inexpected status"), std::string::npos);
}

TEST_F(Scenarios, BrokenScannerIsRestartedByTheStatusCallAndThenDelivers)
{
    const std::uint32_t handle = capture_with("broken-scanner.json");
    EXPECT_EQ(KovaGetStatus(handle), KOVA_DEVICE_UNAVAILABLE);
    EXPECT_EQ(vqsim_call_count("usbReboot_blocking"), 1u);
    frames_.wait_for(3); // frames come after the restart
    EXPECT_EQ(KovaStopVideo(handle), KOVA_OK);
    EXPECT_TRUE(eventually_logged("TFT_ERR_BROKEN_SCANNER"));
}

TEST_F(Scenarios, UnplugDuringCaptureAndReplug)
{
    const std::uint32_t handle = capture_with("unplug-replug.json");
    EXPECT_EQ(KovaGetStatus(handle), KOVA_DEVICE_UNAVAILABLE);
    auto seen = wait_for_notifications(2);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], std::make_pair(std::string(kova_test::default_serial), 0));
    EXPECT_EQ(seen[1], std::make_pair(std::string(kova_test::default_serial), 1));
    EXPECT_GE(frames_.count(), 30u); // the unplug came after the 30th frame
    EXPECT_EQ(KovaCloseDevice_N(handle), KOVA_UNPLUGGED);
    std::uint32_t again = open("QV3-0001");
    EXPECT_NE(again, handle);
    EXPECT_EQ(serial_of(again), "5A1C0042");
}

TEST_F(Scenarios, CaptureFaultsAreLoggedAndReported)
{
    const std::uint32_t handle = capture_with("capture-faults.json");
    EXPECT_EQ(KovaGetStatus(handle), KOVA_DEVICE_UNAVAILABLE);
    EXPECT_TRUE(eventually_logged("VQUAD: capture faults injected by the scenario are over"));
    EXPECT_EQ(KovaStopVideo(handle), KOVA_OK);
    const std::string texts = log_texts();
    EXPECT_THAT(texts, HasSubstr("Error=20 is bypassed"));
    EXPECT_THAT(texts, HasSubstr("The device is Dirty 18"));
    EXPECT_THAT(texts, HasSubstr("inexpected status : TFT_ERR_COM"));
    EXPECT_THAT(texts, HasSubstr("inexpected status : unknow error"));
    // Two of the frames were dropped.
    EXPECT_EQ(frames_.count() + 2, vqsim_frames_sent(handle));
}

TEST_F(Scenarios, SleepAndWake)
{
    const std::uint32_t handle = capture_with("sleep-wake.json");
    EXPECT_EQ(KovaGetStatus(handle), KOVA_DEVICE_UNAVAILABLE); // asleep
    auto seen = wait_for_notifications(1);
    EXPECT_EQ(seen[0].second, 0);
    const unsigned long long asleep_at = frames_.count();
    seen = wait_for_notifications(2);
    EXPECT_EQ(seen[1].second, 1);
    frames_.wait_for(asleep_at + 3); // awake, it sends frames again
    EXPECT_EQ(KovaStopVideo(handle), KOVA_OK);
}

TEST_F(Scenarios, BusyScannerAndAFailingCalibrationRead)
{
    ASSERT_EQ(start(shipped("busy-scanner.json")), KOVA_OK);
    open("QV3-0001", KOVA_BUSY_DEVICE);
    open("QV3-0001", KOVA_BUSY_DEVICE);
    std::uint32_t handle = open("QV3-0001");
    std::uint16_t* gain = nullptr;
    std::uint16_t* offset = nullptr;
    ASSERT_EQ(KovaVantorQuadrelReadUniformityBuffers(handle, &gain, &offset), KOVA_OK);
    ASSERT_EQ(KovaQuadV3FreeUniformityBuffers(handle, &gain, &offset), KOVA_OK);
    EXPECT_EQ(KovaVantorQuadrelReadUniformityBuffers(handle, &gain, &offset), KOVA_ASYNC_READ);
    EXPECT_EQ(KovaVantorQuadrelReadUniformityBuffers(handle, &gain, &offset), KOVA_OK);
    EXPECT_EQ(KovaQuadV3FreeUniformityBuffers(handle, &gain, &offset), KOVA_OK);
}

// A scanner not attached at first, plugged in later; another unplugged for good, then plugged back;
// calibration images from raw files.
TEST_F(Scenarios, PlugEventsAndCalibrationFromFiles)
{
    std::string black(2 * 1600 * 1500, '\0'), white(black.size(), '\0');
    for (std::size_t i = 0; i < black.size(); i += 2) {
        black[i] = 100;  // 100
        white[i] = 0x84; // 0x384 = 900
        white[i + 1] = 0x03;
    }
    write("black.raw", black);
    write("white.raw", white);
    const std::string file = write("plug.json", R"({
      "scanners": [
        { "sensor_id": "A", "serial_number": "SN-A",
          "calibration": { "black": "black.raw", "white": "white.raw", "stride_bytes": 3200, "height": 1500 } },
        { "sensor_id": "B", "serial_number": "SN-B", "attached": false }
      ],
      "timeline": [
        { "at_ms": 0, "event": "unplug", "sensor_id": "A" },
        { "at_ms": 0, "event": "plug", "sensor_id": "B" }
      ]
    })");
    ASSERT_EQ(start(file), KOVA_OK);
    auto seen = wait_for_notifications(2);
    std::sort(seen.begin(), seen.end()); // the plug may overtake the unplug
    EXPECT_EQ(seen[0], std::make_pair(std::string("SN-A"), 0));
    EXPECT_EQ(seen[1], std::make_pair(std::string("SN-B"), 1));
    EXPECT_THAT(listed(), ::testing::ElementsAre("B"));
    KovaTerminate();

    // A new initialize starts the scenario afresh: A is there until the timeline takes it away.
    const std::string again = write("plug-again.json", R"({
      "scanners": [
        { "sensor_id": "A", "serial_number": "SN-A",
          "calibration": { "black": "black.raw", "white": "white.raw", "stride_bytes": 3200, "height": 1500 } }
      ]
    })");
    ASSERT_EQ(start(again), KOVA_OK);
    std::uint32_t handle = open("A");
    std::uint16_t* gain = nullptr;
    std::uint16_t* offset = nullptr;
    ASSERT_EQ(KovaVantorQuadrelReadUniformityBuffers(handle, &gain, &offset), KOVA_OK);
    // Flat images give flat tables.
    EXPECT_TRUE(std::all_of(gain, gain + KOVA_UNIFORMITY_TABLE_ENTRIES, [&](std::uint16_t g) { return g == gain[0]; }));
    EXPECT_TRUE(
        std::all_of(offset, offset + KOVA_UNIFORMITY_TABLE_ENTRIES, [&](std::uint16_t o) { return o == offset[0]; }));
    EXPECT_EQ(KovaQuadV3FreeUniformityBuffers(handle, &gain, &offset), KOVA_OK);
}

// Recorded frames come back bit for bit, in the order listed and then again.
struct RecordedFrames {
    std::string images[2];
    std::mutex mutex;
    std::condition_variable changed;
    std::string seen; // 'a', 'b', or '?' for anything else, in delivery order

    static void deliver(unsigned char* pixels, void* context)
    {
        auto* self = static_cast<RecordedFrames*>(context);
        char which = '?';
        for (int i = 0; i < 2; ++i)
            if (std::memcmp(pixels, self->images[i].data(), self->images[i].size()) == 0) which = "ab"[i];
        std::lock_guard<std::mutex> guard(self->mutex);
        self->seen += which;
        self->changed.notify_all();
    }
};

TEST_F(Scenarios, RecordedFramesAreDeliveredBitExactInALoop)
{
    RecordedFrames frames;
    for (int i = 0; i < 2; ++i) {
        frames.images[i].resize(2 * 1600 * 1500);
        for (std::size_t at = 0; at < frames.images[i].size(); at += 2) {
            const unsigned sample = (at / 2 * (i + 3) + 7 * i) % 1024; // 10-bit samples, each image its own
            frames.images[i][at] = static_cast<char>(sample & 0xFF);
            frames.images[i][at + 1] = static_cast<char>(sample >> 8);
        }
    }
    write("a.raw", frames.images[0]);
    write("b.raw", frames.images[1]);
    write("short.raw", "too short");
    const std::string file = write("frames.json", R"({
      "scanners": [ { "sensor_id": "QV3-0001", "frames": ["a.raw", "b.raw"] } ]
    })");
    ASSERT_EQ(start(file), KOVA_OK);
    vqsim_set_frame_interval_us(1000);
    const std::uint32_t handle = open("QV3-0001");
    ASSERT_EQ(KovaRegisterQuadV3CaptureCallback(handle, RecordedFrames::deliver, &frames), KOVA_OK);
    ASSERT_EQ(KovaVantorStartVideo(handle), KOVA_OK);
    {
        std::unique_lock<std::mutex> lock(frames.mutex);
        frames.changed.wait(lock, [&] { return frames.seen.size() >= 5; });
    }
    ASSERT_EQ(KovaStopVideo(handle), KOVA_OK);
    EXPECT_EQ(frames.seen.substr(0, 5), "ababa");
    KovaTerminate();

    EXPECT_THAT(refusal(write("none.json", R"({"scanners":[{"sensor_id":"A","frames":[]}]})")),
                HasSubstr("\"frames\" lists at least one raw file"));
    EXPECT_THAT(refusal(write("short.json", R"({"scanners":[{"sensor_id":"A","frames":["a.raw","short.raw"]}]})")),
                HasSubstr("short.json:1:49: frame 1 " + files_ + "/short.raw holds 9 bytes, not a whole frame"));
}

TEST_F(Scenarios, MixedWithTheControls)
{
    // An event added by a control runs along with the scenario's own.
    ASSERT_EQ(vqsim_add_timeline_event(R"({"after_frames": 5, "event": "unplug", "sensor_id": "QV3-0002"})"), 0);
    ASSERT_EQ(start(shipped("two-scanners.json")), KOVA_OK);
    vqsim_set_frame_interval_us(1000);
    ASSERT_EQ(vqsim_add_sensor("QV3-0003", "QV3-0000AAAA"), 0);
    EXPECT_THAT(listed(), ::testing::ElementsAre("QV3-0001", "QV3-0002", "QV3-0003"));
    vqsim_fail("open_sensor", 8, 1);
    open("QV3-0003", KOVA_DEVICE_UNAVAILABLE);
    EXPECT_EQ(serial_of(open("QV3-0003")), "0000AAAA");

    std::uint32_t second = open("QV3-0002");
    capture(second);
    EXPECT_EQ(KovaGetStatus(second), KOVA_DEVICE_UNAVAILABLE);
    EXPECT_EQ(wait_for_notifications(1)[0], std::make_pair(std::string("QV3-5A1C0077"), 0));
    EXPECT_GE(frames_.count(), 5u);
    EXPECT_THAT(listed(), ::testing::ElementsAre("QV3-0001", "QV3-0003"));

    // Terminate and initialize: the scenario starts again, without what the controls added.
    KovaTerminate();
    ASSERT_EQ(start(shipped("two-scanners.json")), KOVA_OK);
    EXPECT_THAT(listed(), ::testing::ElementsAre("QV3-0001", "QV3-0002"));
    // Without a scenario named any more, initialize keeps the scanners as they are.
    KovaTerminate();
    vqsim_use_scenario(nullptr);
    ASSERT_EQ(initialize(), KOVA_OK);
    EXPECT_THAT(listed(), ::testing::ElementsAre("QV3-0001", "QV3-0002"));
}

// Every kind of bad file: initialize answers TFT_ERR_FILE's code, one line on standard error names
// the file, the position and the fault, and nothing of the file is applied.
TEST_F(Scenarios, BadFilesAreRefusedWholeWithOneLine)
{
    struct Case {
        const char* name;
        const char* text;
        const char* line; // after "VQUAD stand-in: FILE:"
    };
    const Case cases[] = {
        {"syntax", "{\n  \"scanners\": [\n    { \"sensor_id\": \"A\" ,}\n", "3:25: syntax error while parsing object key"},
        {"unknown_key", "{\n  \"scanners\": [ { \"sensor_id\": \"A\", \"dirt\": true } ]\n}",
         "2:37: unknown key \"dirt\" in a scanner"},
        {"wrong_type", "{ \"scanners\": [ { \"sensor_id\": \"A\", \"dirty\": 1 } ] }",
         "1:46: \"dirty\" is true or false, not a number"},
        {"out_of_range", "{\n\"frame_interval_us\": 50\n}", "2:22: \"frame_interval_us\" 50 is out of range (100 to 10000000)"},
        {"fraction", "{ \"faults\": [ { \"operation\": \"open_sensor\", \"status\": 19, \"count\": 1.5 } ] }",
         "1:68: \"count\" is a whole number (-1 to 1000000), not a fraction"},
        {"unknown_operation", "{ \"faults\": [ { \"operation\": \"open\", \"status\": 19 } ] }",
         "1:30: unknown operation \"open\""},
        {"duplicate_key", "{ \"timeline\": [], \"timeline\": [] }", "1:19: the key \"timeline\" appears twice"},
        {"duplicate_scanner", "{ \"scanners\": [ { \"sensor_id\": \"A\" }, { \"sensor_id\": \"A\" } ] }",
         "1:54: a second scanner \"A\""},
        {"event_without_time", "{ \"timeline\": [ { \"event\": \"sleep\" } ] }",
         "1:17: an event takes either \"at_ms\" or \"after_frames\""},
        {"foreign_sensor", "{ \"scanners\": [ { \"sensor_id\": \"A\" } ],\n \"timeline\": [ { \"at_ms\": 1, \"event\": \"wake\", "
                           "\"sensor_id\": \"Z\" } ] }",
         "2:60: \"sensor_id\" \"Z\" names none of the scanners"},
        {"missing_calibration",
         "{ \"scanners\": [ { \"sensor_id\": \"A\", \"calibration\": { \"black\": \"none.raw\", \"white\": \"none.raw\", "
         "\"stride_bytes\": 4, \"height\": 1 } } ] }",
         "1:63: cannot read the black image "},
        {"short_calibration",
         "{ \"scanners\": [ { \"sensor_id\": \"A\", \"calibration\": { \"black\": \"short.raw\", \"white\": \"short.raw\", "
         "\"stride_bytes\": 4, \"height\": 2 } } ] }",
         "1:63: the black image "},
        {"not_an_object", "[]", "1:1: a scenario is an object, not an array"},
        {"empty", "", "1:1: syntax error while parsing value - unexpected end of input"},
        // Hostile ones: refused at once, in one line, showing the terminal no control character.
        {"too_deep", "{ \"description\": [[[[[[[[[[[[1]]]]]]]]]]]] }", "1:25: nested more than 8 levels deep"},
        {"huge_number", "{ \"frame_interval_us\": 1e309 }", "1:24: a number out of range"},
        {"control_in_key", "{ \"scan\\u001b[2Jners\": [] }", "1:3: unknown key \"scan\\x1B[2Jners\" in a scenario"},
        {"line_feed_in_operation", "{ \"faults\": [ { \"operation\": \"open\\nVQUAD stand-in: all is well\", \"status\": 1 } ] }",
         "1:30: unknown operation \"open\\nVQUAD stand-in: all is well\""},
        {"pia_leading_zero", "{ \"scanners\": [ { \"sensor_id\": \"A\", \"pia\": { \"3\": \"x\", \"03\": \"y\" } } ] }",
         "1:56: a PIA block is named by its number, 0 to 65535 without leading zeros, not \"03\""},
        {"log_forging_lines", "{ \"timeline\": [ { \"at_ms\": 1, \"event\": \"log\", \"text\": \"a\\r\\nb\" } ] }",
         "1:55: \"text\" holds a control character"},
    };
    write("short.raw", "abc");
    // A valid beginning does not half-apply: two scanners and a fault before the bad part.
    const std::string prefix = "{ \"scanners\": [ { \"sensor_id\": \"X\" } ], \"faults\": [ { \"operation\": "
                               "\"get_sensor_list\", \"status\": 1, \"count\": -1 } ],\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = write(std::string(c.name) + ".json", c.text);
        KovaStatus status = KOVA_OK;
        const std::string line = refusal(file, &status);
        EXPECT_EQ(status, KOVA_INTERNAL);
        EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
        EXPECT_EQ(line.rfind("VQUAD stand-in: " + file + ":" + c.line, 0), 0u) << line;
        EXPECT_EQ(KovaGetDeviceList_N(nullptr, nullptr), KOVA_NOT_INITIALIZED);
    }
    EXPECT_THAT(refusal(files_ + "/short_calibration.json"),
                HasSubstr("short.raw holds 3 bytes, not stride_bytes x height = 8\n"));
    // Only regular files are read, at once: a FIFO would block initialize, a folder or a device has
    // no size.
    EXPECT_EQ(refusal(files_), "VQUAD stand-in: " + files_ + ": the scenario file is a folder, not a regular file\n");
#if !defined(_WIN32)
    const std::string fifo = files_ + "/scenario.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(refusal(fifo), "VQUAD stand-in: " + fifo + ": the scenario file is a FIFO, not a regular file\n");
    EXPECT_EQ(refusal("/dev/zero"), "VQUAD stand-in: /dev/zero: the scenario file is a character device, not a regular file\n");
    const std::string fifo_calibration = write(
        "fifo_calibration.json", "{ \"scanners\": [ { \"sensor_id\": \"A\", \"calibration\": { \"black\": \"scenario.fifo\", "
                                 "\"white\": \"scenario.fifo\", \"stride_bytes\": 4, \"height\": 1 } } ] }");
    EXPECT_THAT(refusal(fifo_calibration), HasSubstr("scenario.fifo is a FIFO, not a regular file\n"));
#endif
    // Read in time linear in the file: an array past its limit is refused at the entry past it, a
    // nesting past the limit at the level past it, whatever follows.
    std::string deep(200000, '[');
    const std::string deep_file = write("deep.json", "{ \"description\": " + deep);
    EXPECT_THAT(refusal(deep_file), HasSubstr("deep.json:1:25: nested more than 8 levels deep\n"));
    std::string events = "{ \"timeline\": [";
    for (int i = 0; i < 100000; ++i) events += "{ \"at_ms\": 1, \"event\": \"sleep\" },";
    const std::string many = write("many_events.json", events + "] }");
    EXPECT_THAT(refusal(many), HasSubstr("many_events.json:1:330016: \"timeline\" holds more than 10000 entries; at most 10000\n"));
    // Nothing after a NUL byte is taken for the end of the document.
    const std::string nul = write("nul-byte.json", std::string("{ \"description\": \"x\" }\n\0 garbage {{{", 36));
    EXPECT_THAT(refusal(nul), HasSubstr("nul-byte.json:2:1: a NUL byte (a scenario is JSON text)\n"));
    const std::string partial = write("partial.json", prefix + "\"timeline\": 3 }");
    EXPECT_THAT(refusal(partial), HasSubstr("partial.json:2:13: \"timeline\" is an array, not a number"));
    const std::string missing = files_ + "/missing.json";
    EXPECT_EQ(refusal(missing), "VQUAD stand-in: " + missing + ": cannot read the scenario file\n");

    // Still the scanner from before, no fault rule, and initialize works again without a scenario.
    vqsim_use_scenario(nullptr);
    ASSERT_EQ(initialize(), KOVA_OK);
    EXPECT_THAT(listed(), ::testing::ElementsAre(kova_test::default_sensor));

    // A bad event given through the control.
    kova_test::StderrCapture captured;
    EXPECT_EQ(vqsim_add_timeline_event(R"({"at_ms": 1, "event": "nap"})"), -1);
    EXPECT_THAT(captured.text(),
                ::testing::StartsWith("VQUAD stand-in: vqsim_add_timeline_event:1:23: unknown event \"nap\""));
}

} // namespace
