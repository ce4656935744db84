// SPDX-License-Identifier: MIT
// Scenario files: what the stand-in simulates, as a file states it. One codec reads them (every key
// checked, every error shown at its line and column) and writes them (the recorder's); the keys are
// spelled there and nowhere else.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "devicelib/TFTManager.h"

namespace vqsim {

// One line for standard error: the file, the position and what is wrong.
struct ScenarioError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The most a scenario holds of each; the recorder leaves out what goes past them.
inline constexpr std::size_t max_scanners = 64, max_faults = 1000, max_events = 10000, max_log_text = 4096,
                             max_frame_files = 64;

// Recorded images a scanner delivers in a loop instead of synthesised ones (image_samples each).
using RecordedFrames = std::vector<std::vector<std::uint16_t>>;

// An event that fires at a time since initialize or after a number of frames.
struct TimelineEvent {
    enum class Kind { unplug, plug, sleep, wake, capture_status, log };
    Kind kind = Kind::log;
    std::optional<std::uint64_t> at_ms;        // since initialize
    std::optional<std::uint64_t> after_frames; // sent by the scanner since initialize
    std::string sensor_id;                     // empty: the scenario's first scanner
    std::optional<unsigned> replug_after_ms;   // unplug: absent, it stays away until a plug event
    int status = 0;                            // capture_status
    std::string text;                          // log
};

// An operation lets `after` calls through, then answers `count` calls (every call when count < 0)
// with `status`; the rules of one operation take turns in order.
struct FaultRule {
    std::string operation;
    Celdra::TFTManager::TFT_Status status = Celdra::TFTManager::TFT_ERR_OK;
    int count = 1;
    std::uint64_t after = 0;
};

// Calibration images that replace a scanner's built-in ones: raw files of 16-bit samples.
struct ScenarioCalibration {
    std::string black_file, white_file; // as written: relative to the scenario's folder, or absolute
    std::uint32_t stride_bytes = 0, height = 0;
    std::vector<std::uint16_t> black, white; // the files' samples, once read
};

// One scanner; whatever is absent is as it left the factory.
struct ScenarioScanner {
    std::string sensor_id;
    std::optional<std::string> serial_number; // absent: one made from its place in the list
    std::optional<std::array<std::string, 3>> descriptors;
    bool dirty = false;
    bool broken = false;  // its frames report a broken scanner until a reboot
    bool attached = true; // false: it comes only with a plug event
    std::map<std::uint16_t, std::vector<std::uint8_t>> pia;
    std::map<std::uint32_t, std::uint32_t> parameters; // by id
    std::optional<ScenarioCalibration> calibration;    // absent: built-in
    std::vector<std::string> frame_files;              // as written, like the calibration's
    std::shared_ptr<const RecordedFrames> frames;      // the files' images, once read
};

struct Scenario {
    std::optional<std::string> description;
    std::optional<std::vector<ScenarioScanner>> scanners; // absent: the scanners stay as they are
    std::optional<unsigned> frame_interval_us;
    std::vector<FaultRule> faults;
    std::vector<TimelineEvent> timeline;
};

// The scenario in a file, its raw files read; throws ScenarioError for a file that cannot be read or
// is not a valid scenario.
Scenario read_scenario(const std::string& path);

// One timeline entry, as written in a scenario; `origin` names it in the error.
TimelineEvent read_timeline_event(const std::string& json, const std::string& origin);

// The scenario as a file's text: its raw files are named, not written. Texts that are not UTF-8
// are written with the replacement character.
std::string write_scenario(const Scenario& scenario);

// A log text must not hold one (a line feed would forge lines in the library's log, which writes the
// device library's texts as they come).
bool has_control_character(const std::string& text);

} // namespace vqsim
