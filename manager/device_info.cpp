// SPDX-License-Identifier: MIT
// Device information, capabilities, roll support and port type.
#include <cstring>

#include "interface/status.h"
#include "logging/log.h"
#include "manager/vantorquadrelv3_manager.h"

namespace nvr::vantorquadrelv3 {

namespace {

constexpr std::size_t descriptor_code_first = 15;
constexpr std::size_t descriptor_code_length = 7;
constexpr std::uint16_t capability_block = 20;
constexpr std::uint8_t capability_type4_marker = 0x10;

auto device_library()
{
    return tft::TFTManagerClass::get_instance();
}

void start_record(KovaDeviceInfo* info)
{
    std::memset(info, 0, sizeof *info);
    std::strncpy(info->model, "QUADRELV3", sizeof info->model);
    std::strncpy(info->manufacturer, "CELDRA", sizeof info->manufacturer);
}

// Positions 15 to 21 of the third descriptor string; a shorter string gives what exists.
void copy_descriptor_code(KovaDeviceInfo* info, const std::string& third)
{
    if (third.size() <= descriptor_code_first) return;
    std::size_t n = std::min(descriptor_code_length, third.size() - descriptor_code_first);
    std::memcpy(info->descriptor_code, third.data() + descriptor_code_first, n);
}

// The text after the first '-', at most 16 characters; false when there is no '-'.
bool copy_serial_tail(KovaDeviceInfo* info, const std::string& serial_number)
{
    std::size_t dash = serial_number.find('-');
    if (dash == std::string::npos) return false;
    std::size_t n = std::min(serial_number.size() - dash - 1, sizeof info->serial_number);
    std::memcpy(info->serial_number, serial_number.data() + dash + 1, n);
    return true;
}

// Reads descriptor and serial number into the record; the operation's name prefixes the failure lines.
// Returns the mapped failure, 9000 for a serial number without '-', or 0.
KovaStatus describe(const char* name, std::uint32_t handle, KovaDeviceInfo* info, bool* has_dash)
{
    std::string first, second, third;
    tft::TFT_Status status = device_library()->get_device_descriptor(handle, first, second, third);
    if (status != tft::TFT_ERR_OK) {
        log_print(3, "%s TFTManager get_device_descriptor:    Error=%d\r\n", name, static_cast<int>(status));
        return map_tft_status(status);
    }
    copy_descriptor_code(info, third);
    std::string serial_number;
    status = device_library()->read_serial_number(handle, serial_number);
    if (status != tft::TFT_ERR_OK) {
        log_print(3, "%s TFTManager read_serial_number:    Error=%d\r\n", name, static_cast<int>(status));
        return map_tft_status(status);
    }
    *has_dash = copy_serial_tail(info, serial_number);
    return *has_dash ? KOVA_OK : KOVA_INTERNAL;
}

} // namespace

KovaStatus vantorquadrelv3_manager::get_device_info(std::uint32_t handle, KovaDeviceInfo* info)
{
    static const char* const name = "get_device_info";
    return run_operation(name, [&] {
        if (info == nullptr) return refuse(name, KOVA_BAD_PARAMETER);
        start_record(info);
        bool has_dash = false;
        return describe(name, handle, info, &has_dash);
    });
}

KovaStatus vantorquadrelv3_manager::get_device_info_with_dn(const char* device_name, KovaDeviceInfo* info)
{
    static const char* const name = "get_device_info_with_dn";
    return run_operation(name, [&] {
        if (info == nullptr || device_name == nullptr) return refuse(name, KOVA_BAD_PARAMETER);
        start_record(info);
        tft::TFTSensorClass sensor;
        sensor.set_sensor_id(device_name);
        std::uint32_t handle = 0;
        tft::TFT_Status status = device_library()->open_sensor(sensor, &handle, false);
        if (status != tft::TFT_ERR_OK && status != tft::TFT_ERR_ALREADY_OPEN) {
            log_print(3, "TFTManager open_sensor:    Error=%d\r\n", static_cast<int>(status));
            // A dirty scanner did open: left open, the application could not open it afterwards.
            if (status == tft::TFT_ERR_DIRTY_DEVICE) device_library()->close_sensor(&handle);
            return map_tft_status(status);
        }
        bool opened_here = status == tft::TFT_ERR_OK;
        bool has_dash = true;
        KovaStatus result = describe(name, handle, info, &has_dash);
        if (!has_dash) {
            log_print(3, "get_device_info_with_dn: Serial number don't contain '-'    Error=%d: %s\r\n",
                      static_cast<int>(KOVA_INTERNAL), kova_status_text(KOVA_INTERNAL));
        } else if (result == KOVA_OK && !opened_here) {
            result = KOVA_BUSY_DEVICE; // complete record, but the device was the application's
        }
        if (opened_here) device_library()->close_sensor(&handle);
        return result;
    });
}

KovaStatus vantorquadrelv3_manager::get_device_capabilities(std::uint32_t handle, std::uint32_t capture_type,
                                                            KovaCapabilities* caps)
{
    static const char* const name = "get_device_capabilities";
    return run_operation(name, [&] {
        if (caps == nullptr) return refuse(name, KOVA_BAD_PARAMETER);
        if (capture_type == 3 || capture_type == 5) {
            log_print(1, "get_device_capabilities:    capture type %d\r\n", static_cast<int>(capture_type));
            return KOVA_OK;
        }
        if (capture_type == 4) {
            std::vector<std::uint8_t> block;
            tft::TFT_Status status = device_library()->read_pia(handle, capability_block, block);
            if (status != tft::TFT_ERR_OK || block.empty() || block[0] != capability_type4_marker) return KOVA_OK;
        }
        static const KovaCapabilities slap = {{1, 1, 500, 1600, 1500, 800, 750, 0, 0, 0, 0, 0, 0, 0}};
        static const KovaCapabilities other = {{1, 1, 500, 3200, 3000, 1600, 1500, 0, 0, 0, 0, 0, 0, 0}};
        *caps = capture_type == 0 ? slap : other;
        return KOVA_OK;
    });
}

KovaStatus vantorquadrelv3_manager::is_roll_supported(std::uint8_t* supported)
{
    static const char* const name = "is_roll_supported";
    return run_operation(name, [&] {
        if (supported == nullptr) return refuse(name, KOVA_BAD_PARAMETER);
        *supported = 1;
        return KOVA_OK;
    });
}

KovaStatus vantorquadrelv3_manager::get_port_type(std::uint32_t* port_type)
{
    static const char* const name = "get_port_type";
    if (port_type == nullptr) return refuse(name, KOVA_BAD_PARAMETER);
    return run_operation(name, [&] {
        *port_type = 0;
        return KOVA_OK;
    });
}

} // namespace nvr::vantorquadrelv3
