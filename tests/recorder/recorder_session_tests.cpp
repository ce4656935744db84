// SPDX-License-Identifier: MIT
// The recorder's session, driven as the forwarding layer drives it: application calls on one thread,
// frames on capture threads of their own, notifications from another. What it writes is read back
// as the scenario it must be.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <boost/filesystem.hpp>
#include <nlohmann/json.hpp>

#include "simulator/classes/image_writer.h"
#include "tests/support/environment.h"
#include "simulator/recorder/frame_path.h"
#include "simulator/recorder/session.h"

namespace {

namespace fs = boost::filesystem; // the same everywhere this is built
using namespace Celdra::TFTManager;
using nlohmann::json;
using vqrec::Session;

fs::path out_file;

struct Folder : testing::Environment {
    void SetUp() override { fs::create_directories(out_file.parent_path()); }
    void TearDown() override { fs::remove_all(out_file.parent_path()); }
};

json written()
{
    Session::instance().write();
    std::ifstream file(out_file.string());
    return json::parse(file);
}

std::vector<json> events(const json& scenario, const std::string& kind)
{
    std::vector<json> found;
    for (const json& event : scenario.value("timeline", json::array()))
        if (event["event"] == kind) found.push_back(event);
    return found;
}

std::atomic<int> delivered{0};
void application(TFT_ImageClass&, const TFT_ImageInfoStructure*, TFT_Status, void*)
{
    delivered.fetch_add(1);
}

// A scanner open under handle, its capture running: frames go through the recorder's frame path.
struct Scanner {
    Scanner(const std::string& sensor_id, std::uint32_t h) : handle(h)
    {
        Session& session = Session::instance();
        session.opened(sensor_id, handle, TFT_ERR_OK);
        session.serial_number(handle, "SN-" + sensor_id);
        capture = {&application, nullptr, session.capture_starting(handle)};
        session.capture_started(capture.track, true);
    }
    void frame(TFT_Status status, TFT_ImageClass image = {})
    {
        TFT_ImageInfoStructure info{0, 1600, 1500, 3200, 4, {}};
        vqrec::deliver(image, &info, status, &capture);
    }
    std::uint32_t handle;
    vqrec::Capture capture{};
};

TEST(RecorderSession, CaptureThreadsNoteEveryStatusAtItsFrameWhileTheApplicationCalls)
{
    Session::instance().initialized();
    Scanner first("QV3-0001", 1), second("QV3-0002", 2);
    const auto capture = [](Scanner& scanner) {
        for (int frame = 1; frame <= 3000; ++frame) scanner.frame(frame % 100 == 0 ? TFT_ERR_TOO_BRIGHT : TFT_ERR_OK);
    };
    std::thread one(capture, std::ref(first)), two(capture, std::ref(second));
    std::uint32_t handle = 1;
    for (int call = 0; call < 200; ++call) {
        Session::instance().answered("set_ihm_request", call % 50 == 49 ? TFT_ERR_COM : TFT_ERR_OK, &handle);
        Session::instance().parameter_read(1, {1, 20000});
        if (call % 20 == 0) Session::instance().write();
    }
    one.join();
    two.join();

    const json scenario = written();
    EXPECT_EQ(delivered.load(), 6000);
    for (const char* sensor : {"QV3-0001", "QV3-0002"}) {
        std::vector<std::uint64_t> at;
        for (const json& event : events(scenario, "capture_status"))
            if (event["sensor_id"] == sensor && event["status"] == 20) at.push_back(event["after_frames"]);
        ASSERT_EQ(at.size(), 30u) << sensor;
        for (std::size_t i = 0; i < at.size(); ++i) EXPECT_EQ(at[i], 100 * (i + 1) - 1) << sensor;
    }
    // Four failures, each after 49 calls let through.
    ASSERT_EQ(scenario["faults"].size(), 4u);
    for (const json& rule : scenario["faults"]) EXPECT_EQ(rule, json({{"operation", "set_ihm_request"}, {"status", 11}, {"after", 49}}));
    EXPECT_EQ(scenario["scanners"][0]["parameters"], json({{"exposure_us", 20000}}));
}

TEST(RecorderSession, BrokenFromTheFirstFrameIsTheScannersStateUntilRestarted)
{
    Session::instance().initialized();
    Scanner scanner("QV3-0001", 1);
    for (int frame = 0; frame < 5; ++frame) scanner.frame(TFT_ERR_BROKEN_SCANNER);
    Session::instance().rebooted(scanner.handle);
    scanner.frame(TFT_ERR_OK);
    scanner.frame(TFT_ERR_BROKEN_SCANNER); // broken again, now for one frame: an event

    const json scenario = written();
    EXPECT_EQ(scenario["scanners"][0].value("broken", false), true);
    const std::vector<json> statuses = events(scenario, "capture_status");
    ASSERT_EQ(statuses.size(), 1u);
    EXPECT_EQ(statuses[0]["after_frames"], 6);
    EXPECT_EQ(statuses[0]["status"], 16);
}

TEST(RecorderSession, DeviceEventsAreAtTheFrameCountWhileCapturingElseAtTheirTime)
{
    Session& session = Session::instance();
    session.initialized();
    session.listening();
    Scanner scanner("QV3-0001", 1);
    for (int frame = 0; frame < 30; ++frame) scanner.frame(TFT_ERR_OK);
    session.log_event("half way\tthrough"); // while capturing: at the frame count
    session.plug_event("SN-QV3-0001", false); // ends the capture
    session.plug_event("SN-QV3-0001", true);
    session.power_event("SN-QV3-0001", true);
    session.power_event("SN-QV3-0001", false);
    session.plug_event("SN-UNKNOWN", false); // no scanner of the session: left out, and said so
    // A failure on a handle the unplug left behind, once closed, is the state's doing, not a rule.
    session.closed(scanner.handle);
    session.opened("QV3-0003", 3, TFT_ERR_OK); // opened by its id, never listed nor asked its serial number
    std::uint32_t handle = scanner.handle;
    session.answered("read_serial_number", TFT_ERR_BAD_PARAMETERS, &handle);

    const json scenario = written();
    const std::vector<json> unplugs = events(scenario, "unplug");
    ASSERT_EQ(unplugs.size(), 1u);
    EXPECT_EQ(unplugs[0]["after_frames"], 30);
    EXPECT_GE(unplugs[0]["replug_after_ms"].get<int>(), 0);
    EXPECT_TRUE(events(scenario, "plug").empty());
    const std::vector<json> logs = events(scenario, "log");
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(logs[0], json({{"event", "log"}, {"text", "half way through"}, {"sensor_id", "QV3-0001"}, {"after_frames", 30}}));
    for (const char* kind : {"sleep", "wake"}) {
        ASSERT_EQ(events(scenario, kind).size(), 1u) << kind;
        EXPECT_TRUE(events(scenario, kind)[0].contains("at_ms")) << kind;
    }
    EXPECT_FALSE(scenario.contains("faults"));
    EXPECT_EQ(scenario["scanners"].back(), json({{"sensor_id", "QV3-0003"}}));
    EXPECT_NE(scenario["description"].get<std::string>().find("1 events"), std::string::npos);
}

TEST(RecorderSession, KeptFramesAreWholeImagesOnlyTheirOwnerReads)
{
    Session::instance().initialized();
    vqrec::frames_to_keep = 2;
    Scanner scanner("QV3-0001", 1);
    // Rows wider than the image (a stride of 3300 bytes): each file holds the image's 3200 bytes a row.
    std::vector<std::vector<std::uint8_t>> images;
    for (std::uint8_t n = 1; n <= 3; ++n) {
        images.emplace_back(std::size_t{3300} * 1500, n);
        for (std::size_t row = 0; row < 1500; ++row) images.back()[row * 3300 + 3250] = 0xEE; // past the image
        TFT_ImageClass image;
        ImageWriter::assign(image, images.back().data(), 1600, 1500, 3300);
        scanner.frame(TFT_ERR_OK, image);
    }

    const json scenario = written();
    const json& frames = scenario["scanners"][0]["frames"];
    ASSERT_EQ(frames.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        const fs::path file = out_file.parent_path() / frames[i].get<std::string>();
        std::ifstream in(file.string(), std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        ASSERT_EQ(bytes.size(), 4800000u);
        EXPECT_EQ(std::count(bytes.begin(), bytes.end(), static_cast<char>(i + 1)), 4800000);
        if (fs::path::preferred_separator == '/') { // Windows keeps its access lists out of these bits
            EXPECT_EQ(fs::status(file).permissions() & fs::perms_mask, fs::owner_read | fs::owner_write);
        }
    }
    vqrec::frames_to_keep = 0;
}

} // namespace

int main(int argc, char** argv)
{
    // The session reads where it writes when it is first used: a folder of this process's own.
    const auto now = std::chrono::system_clock::now().time_since_epoch().count();
    out_file = fs::temp_directory_path() / ("vqrec-session-" + std::to_string(now)) / "session.json";
    set_environment("VQREC_OUT", out_file.string());
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new Folder);
    return RUN_ALL_TESTS();
}
