// SPDX-License-Identifier: MIT
// Lamps and buzzer: the lamp record becomes lamp requests, and only changes are sent.
#include <algorithm>

#include "interface/status.h"
#include "logging/log.h"
#include "manager/vantorquadrelv3_manager.h"

namespace nvr::vantorquadrelv3 {

namespace {

constexpr unsigned key_count = 15;
constexpr unsigned lamp11_key = 13;
constexpr unsigned lamp1_key = 14;
constexpr std::uint32_t selector_lamp11 = 4;
constexpr std::uint32_t selector_lamp1 = 5;

struct Zone {
    std::uint8_t first;
    std::uint8_t second;
};
constexpr Zone zone_a{2, 0}, zone_b{4, 6}, zone_c{8, 10}, zone_d{9, 7};

// The ui_state slot of each key; keys 0 to 12 also read the record word of that number.
// Keys 13 and 14 (lamps 11 and 1) cross over to slots 14 and 13.
constexpr unsigned slot_of_key[key_count] = {10, 11, 12, 3, 2, 1, 0, 4, 5, 6, 7, 8, 9, 14, 13};

void append_zone(std::vector<tft::LampRequest>& requests, Zone zone, std::uint32_t code)
{
    if (code > 3) return;
    if (code == 0 && zone.first == zone_d.first) std::swap(zone.first, zone.second); // D switches off 7 first
    requests.emplace_back(zone.first, static_cast<std::uint8_t>(code & 1u));
    requests.emplace_back(zone.second, static_cast<std::uint8_t>((code >> 1) & 1u));
}

std::uint8_t on(std::uint32_t value)
{
    return value != 0 ? 1 : 0;
}

} // namespace

void vantorquadrelv3_manager::append_lamp_requests(std::vector<tft::LampRequest>& requests, unsigned key,
                                                   std::uint32_t value)
{
    static const Zone zone_of_key[13] = {{}, {}, {}, zone_d, zone_c, zone_b, zone_a,
                                         zone_a, zone_b, zone_c, zone_d, zone_b, zone_c};
    switch (key) {
    case 0: requests.emplace_back(3, on(value)); break;
    case 1: requests.emplace_back(5, on(value)); break;
    case 2:
        requests.emplace_back(1, on(value));
        requests.emplace_back(11, on(value));
        break;
    case lamp11_key: requests.emplace_back(11, on(value)); break;
    case lamp1_key: requests.emplace_back(1, on(value)); break;
    default:
        if (key < 13) append_zone(requests, zone_of_key[key], value);
        break;
    }
}

KovaStatus vantorquadrelv3_manager::get_device_ui(DevUIRecord* record)
{
    static const char* const name = "get_device_ui";
    return run_operation(name, [&] {
        if (record == nullptr) return refuse(name, KOVA_BAD_PARAMETER);
        std::copy(ui_state.begin(), ui_state.begin() + 10, record->zone_word);
        record->lamp3_word = ui_state[10];
        record->lamp5_word = ui_state[11];
        record->side_lamp_word = ui_state[12];
        return KOVA_OK;
    });
}

KovaStatus vantorquadrelv3_manager::set_device_ui(unsigned int handle, DevUIRecord* record)
{
    static const char* const name = "set_device_ui";
    return run_operation(name, [&] {
        if (record == nullptr) return refuse(name, KOVA_BAD_PARAMETER);
        std::uint32_t words[13];
        std::copy(record->zone_word, record->zone_word + 10, words);
        words[10] = record->lamp3_word;
        words[11] = record->lamp5_word;
        words[12] = record->side_lamp_word;

        std::uint32_t value[key_count] = {};
        bool present[key_count] = {};
        for (unsigned key = 0; key < 13; ++key) {
            value[key] = words[slot_of_key[key]];
            present[key] = true;
        }
        if (words[10] == 0 && words[11] == 0 && words[12] == 0) {
            // Side lamps follow zone words 8 and 9.
            present[lamp11_key] = present[lamp1_key] = true;
            value[lamp1_key] = words[8] != 0 ? 1 : 0;
            value[lamp11_key] = words[8] == 0 && words[9] != 0 ? 1 : 0;
        } else if (words[12] == selector_lamp11 || words[12] == selector_lamp1) {
            record->side_lamp_word = 0;
            value[2] = 0;
            present[lamp11_key] = present[lamp1_key] = true;
            value[lamp11_key] = words[12] == selector_lamp11 ? 1 : 0;
            value[lamp1_key] = words[12] == selector_lamp1 ? 1 : 0;
        }

        std::vector<tft::LampRequest> requests;
        bool changed = false;
        for (unsigned key = 0; key < key_count; ++key) {
            std::uint32_t& slot = ui_state[slot_of_key[key]];
            if (!present[key] || slot == value[key]) continue;
            append_lamp_requests(requests, key, value[key]);
            slot = value[key];
            changed = true;
        }
        // Keep the first of every repeated (lamp, state) pair.
        std::vector<tft::LampRequest> unique;
        for (const tft::LampRequest& request : requests)
            if (std::find(unique.begin(), unique.end(), request) == unique.end()) unique.push_back(request);

        tft::TFTManagerClass::get_instance()->set_ihm_request(handle, unique, tft::TFT_BUZZER_OFF, 0, -1);
        if (changed) {
            CallbackSlot<UICallBack>::Pair registered = ui_callback.load();
            if (registered.callback != nullptr) registered.callback(registered.context);
        }
        return KOVA_OK;
    });
}

KovaStatus vantorquadrelv3_manager::set_buzzer(unsigned int handle, unsigned int pattern)
{
    static const char* const name = "set_buzzer";
    return run_operation(name, [&] {
        struct Setting {
            tft::TFT_BuzzerMode mode;
            std::uint16_t duration;
            int repeat;
        };
        static const Setting settings[3] = {{tft::TFT_BUZZER_CONTINUOUS, 100, -1},
                                            {tft::TFT_BUZZER_PULSE, 100, 200},
                                            {tft::TFT_BUZZER_PULSE, 100, 100}};
        if (pattern > 2) return refuse(name, KOVA_BAD_PARAMETER);
        std::vector<tft::LampRequest> none;
        const Setting& setting = settings[pattern];
        tft::TFTManagerClass::get_instance()->set_ihm_request(handle, none, setting.mode, setting.duration,
                                                              setting.repeat);
        return KOVA_OK;
    });
}

} // namespace nvr::vantorquadrelv3
