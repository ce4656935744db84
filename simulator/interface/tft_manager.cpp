// SPDX-License-Identifier: MIT
// The device library's classes, answered by the simulation.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "simulator/classes/image_writer.h"
#include "simulator/core/image_synth.h"
#include "simulator/core/simulation.h"
#include "simulator/panel/panel.h"
#include "simulator/scenario/scanner_facts.h"
#include "simulator/scenario/scenario.h"

namespace Celdra::TFTManager {

using vqsim::Scanner;
using vqsim::Simulation;

namespace {

std::mutex instance_mutex;
std::shared_ptr<TFTManagerClass> instance;

Simulation& sim()
{
    return Simulation::instance();
}

// Runs an operation on the scanner open under handle, with the simulation locked.
template <class Work>
TFT_Status on_open_scanner(const char* operation, std::uint32_t handle, Work work)
{
    if (auto forced = sim().enter(operation)) return *forced;
    return sim().with_open(handle, work);
}

bool parameter_in_range(std::uint32_t id, std::uint32_t value)
{
    for (const vqsim::ParameterSpec& spec : vqsim::parameter_specs)
        if (spec.id == id) return value >= spec.low && value <= spec.high;
    return false;
}

// The geometry an image is reported with: its own, unless the scanner misreports it (a reported
// stride and height other than 0 and 0).
void assign_reported(TFT_ImageClass& image, void* data, std::uint32_t stride, std::uint32_t height,
                     std::uint32_t reported_stride, std::uint32_t reported_height)
{
    if (reported_stride != 0 || reported_height != 0) {
        stride = reported_stride;
        height = reported_height;
    }
    ImageWriter::assign(image, static_cast<std::uint8_t*>(data), stride / 2, height, stride);
}

} // namespace

std::shared_ptr<TFTManagerClass> TFTManagerClass::get_instance()
{
    std::lock_guard<std::mutex> guard(instance_mutex);
    if (!instance) instance.reset(new TFTManagerClass);
    return instance;
}

void TFTManagerClass::destroy_instance()
{
    sim().enter("destroy_instance", false);
    vqsim::stop_panel();
    sim().shutdown();
    std::lock_guard<std::mutex> guard(instance_mutex);
    instance.reset();
}

TFT_Status TFTManagerClass::initialize(void*, TFT_LogLevel)
{
    if (auto forced = sim().enter("initialize", false)) return *forced;
    std::optional<std::string> file = sim().scenario_file();
    if (!file) {
        const char* variable = std::getenv("VQSIM_SCENARIO");
        if (variable != nullptr && *variable != '\0') file = variable;
    }
    // The whole file is read and checked before anything of it is applied.
    std::optional<vqsim::Scenario> scenario;
    if (file && !file->empty()) {
        try {
            scenario = vqsim::read_scenario(*file);
        } catch (const vqsim::ScenarioError& error) {
            std::fprintf(stderr, "%s\n", error.what());
            std::fflush(stderr);
            return TFT_ERR_FILE;
        } catch (const std::bad_alloc&) {
            return TFT_ERR_OUTOFRESOURCES;
        } catch (const std::exception& error) { // nothing of the reader's own should come here
            std::fprintf(stderr, "VQUAD stand-in: %s: %s\n", file->c_str(), error.what());
            std::fflush(stderr);
            return TFT_ERR_FILE;
        }
    }
    sim().apply(scenario ? &*scenario : nullptr);
    if (const char* panel = std::getenv("VQSIM_PANEL"); panel != nullptr && *panel != '\0') {
        try {
            vqsim::start_panel(panel); // a panel that cannot start says so and is left out
        } catch (const std::exception&) {
        }
    }
    return TFT_ERR_OK;
}

TFT_Status TFTManagerClass::uninitialize()
{
    if (auto forced = sim().enter("uninitialize", false)) return *forced;
    sim().uninitialize();
    return TFT_ERR_OK;
}

void TFTManagerClass::register_logger_callback(LoggerCallback callback, void* context)
{
    sim().enter("register_logger_callback", false);
    sim().register_logger(callback, context);
}

void TFTManagerClass::register_notification_callback(UsbNotifyCallback usb, PowerNotifyCallback power,
                                                     void* context)
{
    sim().enter("register_notification_callback", false);
    sim().register_notification(usb, power, context);
}

void TFTManagerClass::unregister_logger_callback()
{
    sim().enter("unregister_logger_callback", false);
    sim().unregister_logger();
}

void TFTManagerClass::unregister_notification_callback()
{
    sim().enter("unregister_notification_callback", false);
    sim().unregister_notification();
}

TFT_Status TFTManagerClass::close_all_sensor()
{
    if (auto forced = sim().enter("close_all_sensor")) return *forced;
    sim().close_all();
    return TFT_ERR_OK;
}

TFT_Status TFTManagerClass::get_sensor_list(std::vector<TFTSensorClass>& sensors)
{
    if (auto forced = sim().enter("get_sensor_list")) return *forced;
    sensors.clear();
    for (const std::string& id : sim().attached_ids()) {
        sensors.emplace_back();
        sensors.back().set_sensor_id(id);
    }
    return TFT_ERR_OK;
}

TFT_Status TFTManagerClass::open_sensor(const TFTSensorClass& sensor, std::uint32_t* handle, bool)
{
    if (auto forced = sim().enter("open_sensor")) return *forced;
    if (handle == nullptr) return TFT_ERR_BAD_PARAMETERS;
    return sim().open(sensor.get_sensor_id(), handle);
}

TFT_Status TFTManagerClass::close_sensor(std::uint32_t* handle)
{
    if (auto forced = sim().enter("close_sensor")) return *forced;
    if (handle == nullptr || *handle == 0) return TFT_ERR_BAD_PARAMETERS;
    return sim().close(handle);
}

TFT_Status TFTManagerClass::usbReboot(std::uint32_t handle)
{
    return on_open_scanner("usbReboot", handle, [](Scanner& scanner, auto&) {
        sim().note(scanner.sensor_id, "restarted (usbReboot)");
        scanner.device->broken.store(false); // a restart mends a broken scanner
        return TFT_ERR_OK;
    });
}

TFT_Status TFTManagerClass::usbReboot_blocking(std::uint32_t handle)
{
    return on_open_scanner("usbReboot_blocking", handle, [](Scanner& scanner, std::unique_lock<std::mutex>& lock) {
        sim().note(scanner.sensor_id, "restarted (usbReboot_blocking)");
        scanner.device->broken.store(false);
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(5)); // the restart
        return TFT_ERR_OK;
    });
}

TFT_Status TFTManagerClass::read_serial_number(std::uint32_t handle, std::string& serial_number)
{
    return on_open_scanner("read_serial_number", handle, [&](Scanner& scanner, auto&) {
        serial_number = scanner.serial_number;
        return TFT_ERR_OK;
    });
}

TFT_Status TFTManagerClass::get_device_descriptor(std::uint32_t handle, std::string& first, std::string& second,
                                                  std::string& third)
{
    return on_open_scanner("get_device_descriptor", handle, [&](Scanner& scanner, auto&) {
        first = scanner.descriptor[0];
        second = scanner.descriptor[1];
        third = scanner.descriptor[2];
        return TFT_ERR_OK;
    });
}

TFT_Status TFTManagerClass::read_pia(std::uint32_t handle, std::uint16_t block, std::vector<std::uint8_t>& bytes)
{
    return on_open_scanner("read_pia", handle, [&](Scanner& scanner, auto&) {
        auto found = scanner.pia.find(block);
        if (found == scanner.pia.end()) return TFT_ERR_BAD_PARAMETERS;
        bytes = found->second;
        return TFT_ERR_OK;
    });
}

TFT_Status TFTManagerClass::get_capture_param(std::uint32_t handle, ParameterPair& parameter)
{
    return on_open_scanner("get_capture_param", handle, [&](Scanner& scanner, auto&) {
        auto found = scanner.parameters.find(parameter.first);
        if (found == scanner.parameters.end()) return TFT_ERR_BAD_PARAMETERS;
        parameter.second = found->second;
        return TFT_ERR_OK;
    });
}

TFT_Status TFTManagerClass::set_capture_params(std::uint32_t handle, std::vector<ParameterPair>& parameters)
{
    if (auto forced = sim().enter("set_capture_params")) return *forced;
    sim().remember(vqsim::ParamsRequest{handle, parameters});
    return sim().with_open(handle, [&](Scanner& scanner, auto&) {
        for (const ParameterPair& parameter : parameters)
            if (!parameter_in_range(parameter.first, parameter.second)) return TFT_ERR_BAD_PARAMETERS;
        for (const ParameterPair& parameter : parameters) scanner.parameters[parameter.first] = parameter.second;
        return TFT_ERR_OK;
    });
}

TFT_Status TFTManagerClass::set_ihm_request(std::uint32_t handle, std::vector<LampRequest>& lamps,
                                            TFT_BuzzerMode mode, std::uint16_t duration, int repeat)
{
    if (auto forced = sim().enter("set_ihm_request")) return *forced;
    sim().remember(vqsim::IhmRequest{handle, lamps, static_cast<int>(mode), duration, repeat});
    return sim().with_open(handle, [&](Scanner& scanner, auto&) {
        for (const LampRequest& lamp : lamps)
            if (lamp.first >= vqsim::lamp_count || lamp.second > 1) return TFT_ERR_BAD_PARAMETERS;
        for (const LampRequest& lamp : lamps) scanner.lamps[lamp.first] = lamp.second;
        if (mode != TFT_BUZZER_OFF) {
            scanner.device->buzzer_count.fetch_add(1);
            scanner.device->buzzer_mode.store(static_cast<int>(mode));
            sim().note(scanner.sensor_id, std::string("buzzer: ") + (mode == TFT_BUZZER_PULSE ? "pulses" : "continuous") +
                                              ", " + std::to_string(duration) + " ms, repeat " + std::to_string(repeat));
        }
        return TFT_ERR_OK;
    });
}

TFT_Status TFTManagerClass::start_asynchronous_capture(std::uint32_t handle, CaptureCallback callback,
                                                       void* context)
{
    // A capture that was stopped (or ended by itself) is replaced under the lock, so the scanner
    // cannot be unplugged in between, and joined once the lock is released.
    std::shared_ptr<vqsim::CaptureEngine> ended;
    TFT_Status status = on_open_scanner("start_asynchronous_capture", handle, [&](Scanner& scanner, auto&) {
        if (callback == nullptr) return TFT_ERR_BAD_PARAMETERS;
        if (scanner.capture && scanner.capture->running()) return TFT_ERR_BAD_STATE;
        ended = sim().start_capture(scanner, callback, context);
        return TFT_ERR_OK;
    });
    ended.reset();
    return status;
}

TFT_Status TFTManagerClass::stop_asynchronous_capture(std::uint32_t handle)
{
    return on_open_scanner("stop_asynchronous_capture", handle, [&](Scanner& scanner, auto& lock) {
        if (!scanner.capture || !scanner.capture->running()) return TFT_ERR_BAD_STATE;
        // The stopped engine stays, so that its frame count can still be read; this call's own
        // reference keeps it alive should an unplug take it away meanwhile.
        std::shared_ptr<vqsim::CaptureEngine> engine = scanner.capture;
        sim().note(scanner.sensor_id, "capture stopped");
        lock.unlock();
        engine->stop();
        return TFT_ERR_OK;
    });
}

TFT_Status TFTManagerClass::read_fpn_data(std::uint32_t handle, TftParameter which, TFT_ImageClass& image)
{
    const char* operation = which == SLAP_IMAGE_BLACK   ? "read_fpn_data_black"
                            : which == SLAP_IMAGE_WHITE ? "read_fpn_data_white"
                                                        : "read_fpn_data";
    return on_open_scanner(operation, handle, [&](Scanner& scanner, std::unique_lock<std::mutex>& lock) {
        if (which != SLAP_IMAGE_BLACK && which != SLAP_IMAGE_WHITE) return TFT_ERR_BAD_PARAMETERS;
        if (scanner.calibration) {
            const vqsim::Calibration& calibration = *scanner.calibration;
            const auto& samples = which == SLAP_IMAGE_BLACK ? calibration.black : calibration.white;
            std::size_t bytes = samples.size() * sizeof(std::uint16_t);
            auto* data = static_cast<std::uint8_t*>(std::malloc(bytes ? bytes : 1));
            if (data == nullptr) return TFT_ERR_OUTOFRESOURCES;
            if (bytes) std::memcpy(data, samples.data(), bytes);
            assign_reported(image, data, calibration.stride_bytes, calibration.height, scanner.reported_stride,
                            scanner.reported_height);
            return TFT_ERR_OK;
        }
        std::shared_ptr<const vqsim::SensorPattern> pattern = vqsim::sensor_pattern(scanner.sensor_id);
        const std::uint32_t reported_stride = scanner.reported_stride, reported_height = scanner.reported_height;
        lock.unlock();
        auto* data = static_cast<std::uint16_t*>(std::malloc(vqsim::image_samples * sizeof(std::uint16_t)));
        if (data == nullptr) return TFT_ERR_OUTOFRESOURCES;
        vqsim::render_calibration(*pattern, which, data);
        assign_reported(image, data, vqsim::image_stride_bytes, vqsim::image_height, reported_stride,
                        reported_height);
        return TFT_ERR_OK;
    });
}

} // namespace Celdra::TFTManager
