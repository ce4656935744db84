// SPDX-License-Identifier: MIT
// --list: the attached scanners, as lines or as one JSON document with their information and
// capabilities.
#include <nlohmann/json.hpp>

#include <iostream>

#include "kova_tool.h"

namespace kova_tool {

int list_scanners(const Options& options)
{
    KovaStatus status = KovaInitialize_N(nullptr, options.level, 0);
    if (status != KOVA_OK) {
        std::fprintf(stderr, "kova-capture: KovaInitialize_N failed: %s\n", describe(status).c_str());
        return 1;
    }
    KovaDeviceEntry entries[16];
    std::uint32_t count = 16;
    status = KovaGetDeviceList_N(&count, entries);
    if (status == KOVA_DEVICE_UNAVAILABLE) count = 0; // nothing attached
    else if (status != KOVA_OK) {
        std::fprintf(stderr, "kova-capture: KovaGetDeviceList_N failed: %s\n", describe(status).c_str());
        KovaTerminate();
        return 1;
    }

    nlohmann::json scanners = nlohmann::json::array();
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::string id = field(entries[i].sensor_id, sizeof entries[i].sensor_id);
        KovaDeviceInfo info{};
        const KovaStatus info_status = KovaVantorMGGetDeviceInfo(id.c_str(), nullptr, &info);
        const std::string serial = info_status == KOVA_OK ? field(info.serial_number, sizeof info.serial_number) : "";
        const std::string code = info_status == KOVA_OK ? field(info.descriptor_code, sizeof info.descriptor_code) : "";
        if (!options.json) {
            if (info_status == KOVA_OK)
                std::printf("%s  serial number %s  descriptor code %s\n", id.c_str(), serial.c_str(), code.c_str());
            else
                std::printf("%s  (no information: %s)\n", id.c_str(), describe(info_status).c_str());
            continue;
        }
        nlohmann::json scanner = {{"sensor_id", id}};
        if (info_status == KOVA_OK) {
            scanner["manufacturer"] = field(info.manufacturer, sizeof info.manufacturer);
            scanner["model"] = field(info.model, sizeof info.model);
            scanner["serial_number"] = serial;
            scanner["descriptor_code"] = code;
        } else {
            scanner["information_status"] = info_status;
        }
        std::uint32_t handle = 0;
        const KovaStatus open_status = KovaOpenDevice(id.c_str(), &handle);
        if (open_status == KOVA_OK || open_status == KOVA_DIRTY_DEVICE) {
            scanner["dirty"] = open_status == KOVA_DIRTY_DEVICE;
            nlohmann::json capabilities = nlohmann::json::array();
            for (std::uint32_t type = 0; type < 6; ++type) {
                KovaCapabilities caps{};
                if (KovaVantorGetCapabilities(handle, type, &caps) != KOVA_OK || caps.word[0] == 0) continue;
                capabilities.push_back({{"capture_type", type},
                                        {"width", caps.word[3]},
                                        {"height", caps.word[4]},
                                        {"resolution", caps.word[2]},
                                        {"half_width", caps.word[5]},
                                        {"half_height", caps.word[6]},
                                        {"words", caps.word}});
            }
            scanner["capabilities"] = capabilities;
            std::uint8_t roll = 0;
            if (KovaVantorQuadrelIsRollSupported(handle, &roll) == KOVA_OK) scanner["roll_supported"] = roll != 0;
            std::uint32_t port = 0;
            if (KovaVantorQuadrelGetPortType(handle, &port) == KOVA_OK) scanner["port_type"] = port;
            KovaCloseDevice_N(handle);
        } else {
            scanner["open_status"] = open_status;
        }
        scanners.push_back(scanner);
    }
    KovaTerminate();
    if (options.json) {
        const nlohmann::json document = {{"library_version", KOVA_VERSION_STRING}, {"scanners", scanners}};
        // Device texts are bytes, not always UTF-8.
        std::cout << document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << std::endl;
    } else if (count == 0) {
        std::printf("no scanner attached\n");
    }
    return 0;
}

} // namespace kova_tool
