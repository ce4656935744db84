// SPDX-License-Identifier: MIT
// The state the panel shows: a snapshot of the simulation, as JSON.
#include <nlohmann/json.hpp>

#include "simulator/core/simulation.h"
#include "simulator/panel/panel.h"

namespace vqsim {

std::string panel_state()
{
    const Snapshot snapshot = Simulation::instance().snapshot();
    nlohmann::json scanners = nlohmann::json::array();
    for (const Snapshot::Scanner& scanner : snapshot.scanners)
        scanners.push_back({{"sensor_id", scanner.sensor_id},
                            {"serial_number", scanner.serial_number},
                            {"attached", scanner.attached},
                            {"open", scanner.open},
                            {"dirty", scanner.dirty},
                            {"broken", scanner.broken},
                            {"asleep", scanner.asleep},
                            {"capturing", scanner.capturing},
                            {"frames", scanner.frames},
                            {"sample", scanner.sample},
                            {"lamps", scanner.lamps},
                            {"buzzer_count", scanner.buzzer_count},
                            {"buzzer_mode", scanner.buzzer_mode}});
    nlohmann::json journal = nlohmann::json::array();
    for (const JournalEntry& entry : snapshot.journal)
        journal.push_back(
            {{"sequence", entry.sequence}, {"ms", entry.ms}, {"sensor_id", entry.sensor_id}, {"text", entry.text}});
    const nlohmann::json state = {
        {"ms", snapshot.ms}, {"initialized", snapshot.initialized}, {"scanners", scanners}, {"journal", journal}};
    // Texts from scenarios and devices need not be UTF-8.
    return state.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace vqsim
