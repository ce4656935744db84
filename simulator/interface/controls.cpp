// SPDX-License-Identifier: MIT
// The C control interface of the stand-in.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "simulator/core/simulation.h"
#include "simulator/panel/panel.h"
#include "simulator/scenario/scenario.h"
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
    return sim().with_attached(text(sensor_id), change) ? 0 : -1;
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
    sim().set_fault(text(operation), static_cast<Celdra::TFTManager::TFT_Status>(status), count);
}

VQSIM_API void vqsim_delay(const char* operation, unsigned milliseconds)
{
    sim().set_delay(text(operation), milliseconds);
}

VQSIM_API unsigned long long vqsim_call_count(const char* operation)
{
    return sim().call_count(text(operation));
}

VQSIM_API int vqsim_add_sensor(const char* sensor_id, const char* serial_number)
{
    if (sensor_id == nullptr) return -1;
    return sim().add(vqsim::factory_identity(sensor_id, text(serial_number))) ? 0 : -1;
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
    int open = -1;
    with_scanner(sensor_id, [&](Scanner& s) { open = s.open ? 1 : 0; });
    return open;
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
    int state = -1;
    with_scanner(sensor_id, [&](Scanner& s) { state = s.lamps[static_cast<std::size_t>(lamp)]; });
    return state;
}

VQSIM_API int vqsim_last_ihm_request(unsigned int* handle, unsigned char* pairs, unsigned int capacity,
                                     unsigned int* pair_count, int* buzzer_mode, unsigned short* arg_u16,
                                     int* arg_int)
{
    const std::optional<vqsim::IhmRequest> last = sim().last_ihm();
    if (!last) return -1;
    const vqsim::IhmRequest& request = *last;
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
    const std::optional<vqsim::ParamsRequest> last = sim().last_params();
    if (!last) return -1;
    const vqsim::ParamsRequest& request = *last;
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
    sim().inject(handle, static_cast<Celdra::TFTManager::TFT_Status>(status));
}

VQSIM_API unsigned long long vqsim_frames_sent(unsigned int handle)
{
    return sim().frames_sent(handle);
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
    sim().use_scenario(path == nullptr ? std::nullopt : std::optional<std::string>(path));
}

VQSIM_API int vqsim_add_timeline_event(const char* json)
{
    try {
        sim().add_event(vqsim::read_timeline_event(text(json), "vqsim_add_timeline_event"));
        return 0;
    } catch (const vqsim::ScenarioError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        std::fflush(stderr);
    } catch (const std::bad_alloc&) {
    }
    return -1;
}

} // extern "C"
