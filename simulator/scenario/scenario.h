// SPDX-License-Identifier: MIT
// Scenario files: what the stand-in simulates, read at the device library's initialize.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "simulator/device/simulation.h"

namespace vqsim {

// One line for standard error: the file, the position and what is wrong.
struct ScenarioError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct ScenarioScanner {
    ScannerIdentity identity;
    bool attached = true; // false: comes only with a plug event
    bool broken = false;  // its frames report a broken scanner until a reboot
};

struct FaultRule {
    std::string operation;
    Simulation::Rule rule;
};

struct Scenario {
    std::optional<std::vector<ScenarioScanner>> scanners; // absent: the scanners stay as they are
    std::optional<unsigned> frame_interval_us;
    std::vector<FaultRule> faults;
    std::vector<TimelineEvent> timeline;
};

// The scenario in a file; throws ScenarioError for a file that cannot be read or is not a valid scenario.
Scenario read_scenario(const std::string& path);

// A log text must not hold one (a line feed would forge lines in the library's log, which writes the
// device library's texts as they come).
bool has_control_character(const std::string& text);

// One timeline entry, as written in a scenario; `origin` names it in the error.
TimelineEvent read_timeline_event(const std::string& json, const std::string& origin);

} // namespace vqsim
