// SPDX-License-Identifier: MIT
// The state the panel shows, read from the simulation under its lock.
#include <nlohmann/json.hpp>

#include <set>

#include "simulator/panel/panel.h"
#include "simulator/device/simulation.h"

namespace vqsim {

namespace {

nlohmann::json describe(const ScannerIdentity& identity, const Scanner* scanner)
{
    DeviceLink& device = *identity.device;
    nlohmann::json lamps = nlohmann::json::array();
    for (std::size_t i = 0; i < lamp_count; ++i) lamps.push_back(scanner != nullptr ? scanner->lamps[i] : 0);
    std::uint64_t sample = 0;
    {
        std::lock_guard<std::mutex> guard(device.sample.mutex);
        sample = device.sample.sequence;
    }
    const bool attached = scanner != nullptr && scanner->attached;
    return {{"sensor_id", identity.sensor_id},
            {"serial_number", identity.serial_number},
            {"attached", attached},
            {"open", scanner != nullptr && scanner->open},
            {"dirty", identity.dirty},
            {"broken", device.broken.load()},
            {"asleep", device.asleep.load()},
            {"capturing", attached && scanner->capture && scanner->capture->running()},
            {"frames", device.frames.load()},
            {"sample", sample},
            {"lamps", lamps},
            {"buzzer_count", device.buzzer_count.load()},
            {"buzzer_mode", device.buzzer_mode.load()}};
}

} // namespace

std::string panel_state()
{
    Simulation& sim = Simulation::instance();
    nlohmann::json state;
    {
        std::lock_guard<std::mutex> guard(sim.mutex);
        // One entry a scanner: attached, else unplugged with its handle still open, else unplugged for
        // good or not yet plugged in.
        nlohmann::json scanners = nlohmann::json::array();
        std::set<std::string> shown;
        for (const auto& scanner : sim.scanners)
            if (scanner->attached && shown.insert(scanner->sensor_id).second)
                scanners.push_back(describe(*scanner, scanner.get()));
        for (const auto& scanner : sim.scanners)
            if (shown.insert(scanner->sensor_id).second) scanners.push_back(describe(*scanner, scanner.get()));
        sim.each_detached([&](const ScannerIdentity& identity) {
            if (shown.insert(identity.sensor_id).second) scanners.push_back(describe(identity, nullptr));
        });
        nlohmann::json journal = nlohmann::json::array();
        for (const JournalEntry& entry : sim.journal)
            journal.push_back(
                {{"sequence", entry.sequence}, {"ms", entry.ms}, {"sensor_id", entry.sensor_id}, {"text", entry.text}});
        state = {{"ms", sim.ms_since_load()}, {"initialized", sim.initialized}, {"scanners", scanners},
                 {"journal", journal}};
    }
    // Texts from scenarios and devices need not be UTF-8.
    return state.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace vqsim
