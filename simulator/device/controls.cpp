// SPDX-License-Identifier: MIT
// The C control interface of the stand-in.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "simulator/panel/panel.h"
#include "simulator/scenario/scenario.h"
#include "simulator/device/simulation.h"
#include "simulator/vqsim.h"

using vqsim::Scanner;
using vqsim::Simulation;

namespace {

Simulation& sim()
{
    return Simulation::instance();
}

std::string text(const char* value)
{
    return value != nullptr ? std::string(value) : std::string();
}

// Runs a change on an attached scanner: 0, or -1 for an unknown id.
template <class Change>
int with_scanner(const char* sensor_id, Change change)
{
    std::lock_guard<std::mutex> guard(sim().mutex);
    Scanner* scanner = sim().find_attached(text(sensor_id));
    if (scanner == nullptr) return -1;
    change(*scanner);
    return 0;
}

} // namespace

extern "C" {

VQSIM_API void vqsim_reset(void)
{
    sim().reset();
}

VQSIM_API void vqsim_log_text(const char* value)
{
    sim().emit_log(text(value));
}

VQSIM_API void vqsim_usb_event(const char* serial_number, int event, int is_active)
{
    sim().emit_usb(text(serial_number), event, is_active != 0);
}

VQSIM_API void vqsim_power_event(const char* serial_number, int event, int is_active)
{
    sim().emit_power(text(serial_number), event, is_active != 0);
}

VQSIM_API void vqsim_fail(const char* operation, int status, int count)
{
    std::lock_guard<std::mutex> guard(sim().mutex);
    if (count == 0)
        sim().fail_rules.erase(text(operation));
    else
        sim().fail_rules[text(operation)] = {{static_cast<Celdra::TFTManager::TFT_Status>(status), count}};
}

VQSIM_API void vqsim_delay(const char* operation, unsigned milliseconds)
{
    std::lock_guard<std::mutex> guard(sim().mutex);
    if (milliseconds == 0)
        sim().delays.erase(text(operation));
    else
        sim().delays[text(operation)] = milliseconds;
}

VQSIM_API unsigned long long vqsim_call_count(const char* operation)
{
    std::lock_guard<std::mutex> guard(sim().mutex);
    auto found = sim().call_counts.find(text(operation));
    return found == sim().call_counts.end() ? 0 : found->second;
}

VQSIM_API int vqsim_add_sensor(const char* sensor_id, const char* serial_number)
{
    std::lock_guard<std::mutex> guard(sim().mutex);
    if (sensor_id == nullptr || sim().find_attached(sensor_id) != nullptr) return -1;
    sim().attach(vqsim::factory_identity(sensor_id, text(serial_number)));
    return 0;
}

VQSIM_API int vqsim_remove_sensor(const char* sensor_id)
{
    return sim().remove_sensor(text(sensor_id)) ? 0 : -1;
}

VQSIM_API int vqsim_set_dirty(const char* sensor_id, int dirty)
{
    return with_scanner(sensor_id, [&](Scanner& s) { s.dirty = dirty != 0; });
}

VQSIM_API int vqsim_is_open(const char* sensor_id)
{
    std::lock_guard<std::mutex> guard(sim().mutex);
    Scanner* scanner = sim().find_attached(text(sensor_id));
    return scanner == nullptr ? -1 : scanner->open ? 1 : 0;
}

VQSIM_API int vqsim_set_serial_number(const char* sensor_id, const char* serial_number)
{
    return with_scanner(sensor_id, [&](Scanner& s) { s.serial_number = text(serial_number); });
}

VQSIM_API int vqsim_set_descriptor(const char* sensor_id, const char* first, const char* second, const char* third)
{
    return with_scanner(sensor_id, [&](Scanner& s) {
        s.descriptor[0] = text(first);
        s.descriptor[1] = text(second);
        s.descriptor[2] = text(third);
    });
}

VQSIM_API int vqsim_set_pia(const char* sensor_id, unsigned short block, const unsigned char* bytes,
                            unsigned int size)
{
    return with_scanner(sensor_id, [&](Scanner& s) {
        s.pia[block] = bytes != nullptr ? std::vector<std::uint8_t>(bytes, bytes + size) : std::vector<std::uint8_t>();
    });
}

VQSIM_API int vqsim_lamp_state(const char* sensor_id, int lamp)
{
    if (lamp < 0 || lamp >= static_cast<int>(vqsim::lamp_count)) return -1;
    std::lock_guard<std::mutex> guard(sim().mutex);
    Scanner* scanner = sim().find_attached(text(sensor_id));
    return scanner == nullptr ? -1 : scanner->lamps[static_cast<std::size_t>(lamp)];
}

VQSIM_API int vqsim_last_ihm_request(unsigned int* handle, unsigned char* pairs, unsigned int capacity,
                                     unsigned int* pair_count, int* buzzer_mode, unsigned short* arg_u16,
                                     int* arg_int)
{
    std::lock_guard<std::mutex> guard(sim().mutex);
    if (!sim().last_ihm) return -1;
    const vqsim::IhmRequest& request = *sim().last_ihm;
    if (handle) *handle = request.handle;
    if (pair_count) *pair_count = static_cast<unsigned>(request.lamps.size());
    for (std::size_t i = 0; pairs != nullptr && i < request.lamps.size() && i < capacity; ++i) {
        pairs[2 * i] = request.lamps[i].first;
        pairs[2 * i + 1] = request.lamps[i].second;
    }
    if (buzzer_mode) *buzzer_mode = request.buzzer_mode;
    if (arg_u16) *arg_u16 = request.arg_u16;
    if (arg_int) *arg_int = request.arg_int;
    return 0;
}

VQSIM_API int vqsim_last_capture_params(unsigned int* handle, unsigned int* pairs, unsigned int capacity,
                                        unsigned int* pair_count)
{
    std::lock_guard<std::mutex> guard(sim().mutex);
    if (!sim().last_params) return -1;
    const vqsim::ParamsRequest& request = *sim().last_params;
    if (handle) *handle = request.handle;
    if (pair_count) *pair_count = static_cast<unsigned>(request.pairs.size());
    for (std::size_t i = 0; pairs != nullptr && i < request.pairs.size() && i < capacity; ++i) {
        pairs[2 * i] = request.pairs[i].first;
        pairs[2 * i + 1] = request.pairs[i].second;
    }
    return 0;
}

VQSIM_API void vqsim_set_frame_interval_us(unsigned interval)
{
    vqsim::set_frame_interval_us(interval);
}

VQSIM_API void vqsim_inject_capture_status(unsigned int handle, int status)
{
    std::lock_guard<std::mutex> guard(sim().mutex);
    for (auto& scanner : sim().scanners)
        if (scanner->handle == handle && handle != 0)
            sim().inject(*scanner, static_cast<Celdra::TFTManager::TFT_Status>(status));
}

VQSIM_API unsigned long long vqsim_frames_sent(unsigned int handle)
{
    std::lock_guard<std::mutex> guard(sim().mutex);
    for (auto& scanner : sim().scanners)
        if (scanner->handle == handle && handle != 0 && scanner->capture) return scanner->capture->frames_sent();
    return 0;
}

VQSIM_API int vqsim_set_calibration(const char* sensor_id, const unsigned short* black, const unsigned short* white,
                                    unsigned int stride_bytes, unsigned int height)
{
    return with_scanner(sensor_id, [&](Scanner& s) {
        if (black == nullptr || white == nullptr) {
            s.calibration.reset();
            return;
        }
        std::size_t samples = static_cast<std::size_t>(stride_bytes / 2) * height;
        s.calibration = vqsim::Calibration{std::vector<std::uint16_t>(black, black + samples),
                                           std::vector<std::uint16_t>(white, white + samples), stride_bytes, height};
    });
}

VQSIM_API int vqsim_set_reported_calibration_geometry(const char* sensor_id, unsigned int stride_bytes,
                                                      unsigned int height)
{
    return with_scanner(sensor_id, [&](Scanner& s) {
        s.reported_stride = stride_bytes;
        s.reported_height = height;
    });
}

VQSIM_API int vqsim_unplug(const char* sensor_id, unsigned replug_after_ms)
{
    return sim().unplug(text(sensor_id), replug_after_ms) ? 0 : -1;
}

VQSIM_API int vqsim_start_panel(const char* address)
{
    try {
        return vqsim::start_panel(text(address));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "VQUAD stand-in: the panel did not start: %s\n", error.what());
        return -1;
    }
}

VQSIM_API void vqsim_stop_panel(void)
{
    vqsim::stop_panel();
}

VQSIM_API void vqsim_use_scenario(const char* path)
{
    std::lock_guard<std::mutex> guard(sim().mutex);
    if (path == nullptr)
        sim().scenario_file.reset();
    else
        sim().scenario_file = path;
}

VQSIM_API int vqsim_add_timeline_event(const char* json)
{
    try {
        vqsim::TimelineEvent event = vqsim::read_timeline_event(text(json), "vqsim_add_timeline_event");
        std::lock_guard<std::mutex> guard(sim().mutex);
        sim().added_events.push_back(std::move(event));
        return 0;
    } catch (const vqsim::ScenarioError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        std::fflush(stderr);
    } catch (const std::bad_alloc&) {
    }
    return -1;
}

} // extern "C"
