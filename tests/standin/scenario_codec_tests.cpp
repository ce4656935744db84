// SPDX-License-Identifier: MIT
// The scenario codec both ways: what the writer writes (the recorder's files) the reader reads back
// as the same scenario, so that the two cannot drift apart.
#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include <chrono>
#include <fstream>
#include <string>

#include "simulator/scenario/scanner_facts.h"
#include "simulator/scenario/scenario.h"

namespace {

namespace fs = boost::filesystem;
using namespace vqsim;
using Kind = TimelineEvent::Kind;

struct Folder {
    Folder()
        : path(fs::temp_directory_path() /
               ("vqsim-codec-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count())))
    {
        fs::create_directories(path);
    }
    ~Folder() { fs::remove_all(path); }
    std::string write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream((path / name).string(), std::ios::binary) << bytes;
        return (path / name).string();
    }
    fs::path path;
};

TimelineEvent event(Kind kind, const std::string& sensor_id)
{
    TimelineEvent made;
    made.kind = kind;
    made.sensor_id = sensor_id;
    return made;
}

TEST(ScenarioCodec, EverythingWrittenIsReadBackAsItWas)
{
    Folder folder;
    folder.write("black.raw", std::string(8, '\x01'));
    folder.write("white.raw", std::string(8, '\x02'));
    folder.write("frame.raw", std::string(image_samples * 2, '\x03'));

    Scenario written;
    written.description = "every key \xff"; // not UTF-8: written with the replacement character
    written.frame_interval_us = 500;
    ScenarioScanner first;
    first.sensor_id = "QV3-0001";
    first.serial_number = "SN-1";
    first.descriptors = std::array<std::string, 3>{"A", "B", "C"};
    first.dirty = first.broken = true;
    first.pia = {{3, {1, 2, 255}}, {20, {}}};
    first.parameters = {{1, 20000}, {7, 12}};
    first.calibration = ScenarioCalibration{"black.raw", "white.raw", 4, 2, {}, {}};
    first.frame_files = {"frame.raw", "frame.raw"};
    ScenarioScanner second;
    second.sensor_id = "QV3-0002";
    second.attached = false;
    written.scanners = {{first, second}};
    written.faults = {FaultRule{"open_sensor", Celdra::TFTManager::TFT_ERR_COM, 1, 0},
                      FaultRule{"read_pia", Celdra::TFTManager::TFT_ERR_BAD_STATE, -1, 7}};
    TimelineEvent unplug = event(Kind::unplug, "QV3-0001");
    unplug.after_frames = 30;
    unplug.replug_after_ms = 250;
    TimelineEvent plug = event(Kind::plug, "QV3-0002");
    plug.at_ms = 0;
    TimelineEvent status = event(Kind::capture_status, "QV3-0001");
    status.after_frames = 4;
    status.status = 20;
    TimelineEvent log = event(Kind::log, "");
    log.at_ms = 86400000;
    log.text = "a line";
    written.timeline = {unplug, plug, status, log};

    const Scenario read = read_scenario(folder.write("all.json", write_scenario(written)));
    EXPECT_EQ(read.description, "every key \xef\xbf\xbd");
    EXPECT_EQ(read.frame_interval_us, 500u);
    ASSERT_TRUE(read.scanners);
    ASSERT_EQ(read.scanners->size(), 2u);
    const ScenarioScanner& back = read.scanners->front();
    EXPECT_EQ(back.sensor_id, first.sensor_id);
    EXPECT_EQ(back.serial_number, first.serial_number);
    EXPECT_EQ(back.descriptors, first.descriptors);
    EXPECT_TRUE(back.dirty && back.broken && back.attached);
    EXPECT_EQ(back.pia, first.pia);
    EXPECT_EQ(back.parameters, first.parameters);
    ASSERT_TRUE(back.calibration);
    EXPECT_EQ(back.calibration->black_file, "black.raw");
    EXPECT_EQ(back.calibration->white_file, "white.raw");
    EXPECT_EQ(back.calibration->stride_bytes, 4u);
    EXPECT_EQ(back.calibration->height, 2u);
    EXPECT_EQ(back.calibration->black, std::vector<std::uint16_t>(4, 0x0101));
    EXPECT_EQ(back.calibration->white, std::vector<std::uint16_t>(4, 0x0202));
    EXPECT_EQ(back.frame_files, first.frame_files);
    ASSERT_TRUE(back.frames);
    ASSERT_EQ(back.frames->size(), 2u);
    EXPECT_EQ((*back.frames)[1][image_samples - 1], 0x0303);
    EXPECT_EQ(read.scanners->back().sensor_id, "QV3-0002");
    EXPECT_FALSE(read.scanners->back().attached);
    EXPECT_FALSE(read.scanners->back().serial_number || read.scanners->back().calibration);

    ASSERT_EQ(read.faults.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(read.faults[i].operation, written.faults[i].operation);
        EXPECT_EQ(read.faults[i].status, written.faults[i].status);
        EXPECT_EQ(read.faults[i].count, written.faults[i].count);
        EXPECT_EQ(read.faults[i].after, written.faults[i].after);
    }
    ASSERT_EQ(read.timeline.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        const TimelineEvent &a = written.timeline[i], &b = read.timeline[i];
        EXPECT_EQ(b.kind, a.kind) << i;
        EXPECT_EQ(b.sensor_id, a.sensor_id) << i;
        EXPECT_EQ(b.at_ms, a.at_ms) << i;
        EXPECT_EQ(b.after_frames, a.after_frames) << i;
        EXPECT_EQ(b.replug_after_ms, a.replug_after_ms) << i;
        EXPECT_EQ(b.status, a.status) << i;
        EXPECT_EQ(b.text, a.text) << i;
    }
}

TEST(ScenarioCodec, ShippedScenariosWriteBackToWhatTheyRead)
{
    Folder folder;
    for (const fs::directory_entry& file : fs::directory_iterator(KOVA_SCENARIO_DIR)) {
        const std::string once = write_scenario(read_scenario(file.path().string()));
        const std::string twice = write_scenario(read_scenario(folder.write("again.json", once)));
        EXPECT_EQ(twice, once) << file.path();
        EXPECT_NE(once.find("\"scanners\""), std::string::npos) << file.path();
    }
}

} // namespace
