// SPDX-License-Identifier: MIT
// Listing, opening, closing and restarting scanners, and the blocking status wait.
#include <algorithm>
#include <cstring>

#include "interface/status.h"
#include "logging/log.h"
#include "manager/vantorquadrelv3_manager.h"

namespace nvr::vantorquadrelv3 {

namespace {

constexpr std::uint32_t device_type_quadrel = 6;
constexpr std::size_t id_field_size = 255;

auto device_library()
{
    return tft::TFTManagerClass::get_instance();
}

// The shared part of both list forms, after their argument checks: store(index, id) fills one entry.
template <class Store>
KovaStatus list_sensors(const char* name, std::uint32_t* count, std::uint32_t capacity, Store store)
{
    *count = 0;
    std::vector<tft::TFTSensorClass> sensors;
    tft::TFT_Status status = device_library()->get_sensor_list(sensors);
    if (status != tft::TFT_ERR_OK) {
        log_print(3, "%s TFTManager get_sensor_list return :    Error=%d\r\n", name, static_cast<int>(status));
        return map_tft_status(status);
    }
    if (sensors.empty()) {
        log_print(3, "%s:   Error=%d: %s\r\n", name, static_cast<int>(KOVA_DEVICE_UNAVAILABLE),
                  kova_status_text(KOVA_DEVICE_UNAVAILABLE));
        return KOVA_DEVICE_UNAVAILABLE;
    }
    for (const tft::TFTSensorClass& sensor : sensors) {
        if (*count >= capacity) break;
        store(*count, sensor.get_sensor_id());
        ++*count;
    }
    return KOVA_OK;
}

// Zeroes the 255-byte field and copies at most 255 characters: no terminator when the id fills it.
void copy_id(char* field, const std::string& id)
{
    std::memset(field, 0, id_field_size);
    std::memcpy(field, id.data(), std::min(id.size(), id_field_size));
}

} // namespace

KovaStatus vantorquadrelv3_manager::get_device_list_N(std::uint32_t* count, KovaDeviceEntry* entries)
{
    static const char* const name = "get_device_list_N";
    return run_operation(name, [&] {
        if (count == nullptr) return refuse(name, KOVA_BUF_TOO_SMALL);
        std::uint32_t capacity = *count;
        if (capacity == 0) return refuse(name, KOVA_BAD_PARAMETER);
        if (entries == nullptr) return refuse(name, KOVA_BUF_TOO_SMALL);
        return list_sensors(name, count, capacity, [entries](std::uint32_t index, const std::string& id) {
            entries[index].device_type = device_type_quadrel;
            copy_id(entries[index].sensor_id, id);
        });
    });
}

KovaStatus vantorquadrelv3_manager::get_device_list(std::uint32_t* count, char* ids)
{
    static const char* const name = "get_device_list";
    if (!initialized.load()) return KOVA_NOT_INITIALIZED;
    return run_operation(name, [&] {
        if (ids == nullptr || count == nullptr) return refuse(name, KOVA_BUF_TOO_SMALL);
        std::uint32_t capacity = *count;
        if (capacity == 0) return refuse(name, KOVA_BAD_PARAMETER);
        return list_sensors(name, count, capacity, [ids](std::uint32_t index, const std::string& id) {
            copy_id(ids + static_cast<std::size_t>(index) * id_field_size, id);
        });
    });
}

KovaStatus vantorquadrelv3_manager::open_device(const std::string& sensor_id, std::uint32_t* handle)
{
    return run_operation("open_device", [&] {
        tft::TFTSensorClass sensor;
        sensor.set_sensor_id(sensor_id);
        std::uint32_t local_handle = *handle;
        tft::TFT_Status status = device_library()->open_sensor(sensor, &local_handle, true);
        if (status == tft::TFT_ERR_OK || status == tft::TFT_ERR_DIRTY_DEVICE) {
            *handle = local_handle;
            scanner_broken.store(false);
            device_unplugged.store(false);
            device_asleep.store(false);
            if (status == tft::TFT_ERR_DIRTY_DEVICE)
                log_print(2, "open_device TFTManager open_device:    Warning=%d\r\n", static_cast<int>(status));
        } else {
            log_print(3, "open_device TFTManager open_device:    Error=%d\r\n", static_cast<int>(status));
        }
        return map_tft_status(status);
    });
}

KovaStatus vantorquadrelv3_manager::close_device(std::uint32_t handle)
{
    return run_operation("close_device", [&] {
        std::lock_guard<std::mutex> device_guard(device_mutex);
        // Wake the status wait first: a closed device has nothing more to report.
        raise_event();
        std::uint32_t local_handle = handle;
        tft::TFT_Status status = device_library()->close_sensor(&local_handle);
        if (status != tft::TFT_ERR_OK)
            log_print(3, "close_device TFTManager close_sensor:    Error=%d\r\n", static_cast<int>(status));
        else
            log_print(3, "close_device TFTManager close_sensor:    successfully\r\n");
        return map_tft_status(status);
    });
}

KovaStatus vantorquadrelv3_manager::reset_device(std::uint32_t handle)
{
    return run_operation("reset_device", [&] {
        tft::TFT_Status status = device_library()->usbReboot(handle);
        if (status != tft::TFT_ERR_OK)
            log_print(3, "reset_device TFTManager usbReboot:    Error=%d\r\n", static_cast<int>(status));
        return map_tft_status(status);
    });
}

// Never takes method_mutex: it must answer while other operations run and while it blocks.
KovaStatus vantorquadrelv3_manager::get_status(std::uint32_t handle)
{
    static const char* const name = "get_status";
    // Read before the initialised check, so that a terminate in between is always noticed.
    std::uint64_t generation = session_generation.load();
    if (!initialized.load()) return refuse(name, KOVA_NOT_INITIALIZED);
    std::string serial_number;
    tft::TFT_Status status = device_library()->read_serial_number(handle, serial_number);
    if (status != tft::TFT_ERR_OK) {
        log_print(3, "get_status TFTManager read_serial_number:    Error=%d\r\n", static_cast<int>(status));
        return map_tft_status(status);
    }
    std::unique_lock<std::mutex> lock(event_mutex);
    event_condition.wait(lock, [&] { return event_pending.load() || session_generation.load() != generation; });
    if (session_generation.load() != generation) return refuse(name, KOVA_NOT_INITIALIZED);
    event_pending.store(false);
    if (device_unplugged.load() || device_asleep.load()) return refuse(name, KOVA_DEVICE_UNAVAILABLE);
    if (scanner_broken.load()) {
        tft::TFT_Status reboot = device_library()->usbReboot_blocking(handle);
        log_print(3, "get_status:    usbReboot_blocking =%d \r\n", static_cast<int>(reboot));
        scanner_broken.store(false);
        return KOVA_DEVICE_UNAVAILABLE;
    }
    if (capture_failed.load()) {
        capture_failed.store(false);
        return KOVA_DEVICE_UNAVAILABLE;
    }
    return KOVA_OK;
}

} // namespace nvr::vantorquadrelv3
