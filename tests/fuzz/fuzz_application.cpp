// SPDX-License-Identifier: MIT
// Fuzzes what the system reads from the application: lamp record words, parameter identifiers and
// values, sensor ids and device names, capture types, buzzer patterns, counts and handles, in any
// order against one attached scanner.
#include <cstdint>
#include <vector>

#include "tests/fuzz/fuzz_support.h"

using kova_fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    kova_fuzz::fresh_library(3);
    std::uint32_t handle = 0;
    check("KovaOpenDevice", KovaOpenDevice(kova_fuzz::sensor, &handle));

    while (input.remaining_bytes() > 0) {
        // The handle that was opened, or any other.
        const std::uint32_t target = input.ConsumeBool() ? handle : input.ConsumeIntegral<std::uint32_t>();
        switch (input.ConsumeIntegralInRange(0, 11)) {
        case 0: {
            DevUIRecord record;
            for (auto& word : record.zone_word) word = input.ConsumeIntegral<std::uint32_t>();
            record.lamp3_word = input.ConsumeIntegral<std::uint32_t>();
            record.lamp5_word = input.ConsumeIntegral<std::uint32_t>();
            record.side_lamp_word = input.ConsumeIntegral<std::uint32_t>();
            check("KovaVantorSetDevUI", KovaVantorSetDevUI(target, input.ConsumeBool() ? &record : nullptr));
            check("KovaVantorGetDevUI", KovaVantorGetDevUI(target, input.ConsumeBool() ? &record : nullptr));
            break;
        }
        case 1: {
            std::uint32_t value = 0;
            const auto id = input.ConsumeIntegral<std::uint8_t>();
            check("KovaVantorQuadrelGetParameters", KovaVantorQuadrelGetParameters(target, id, input.ConsumeBool() ? &value : nullptr));
            check("KovaVantorQuadrelSetParameters",
                  KovaVantorQuadrelSetParameters(target, input.ConsumeIntegral<std::uint8_t>(), input.ConsumeIntegral<std::uint32_t>()));
            break;
        }
        case 2: {
            std::uint32_t opened = 0;
            const std::string id = kova_fuzz::text(input, 300);
            check("KovaOpenDevice_N", KovaOpenDevice_N(id.c_str(), nullptr, input.ConsumeBool() ? &opened : nullptr));
            if (opened != 0) handle = opened;
            break;
        }
        case 3: {
            KovaCapabilities caps;
            check("KovaVantorGetCapabilities",
                  KovaVantorGetCapabilities(target, input.ConsumeIntegral<std::uint32_t>(), input.ConsumeBool() ? &caps : nullptr));
            break;
        }
        case 4:
            check("KovaVantorSetBuzzer", KovaVantorSetBuzzer(target, input.ConsumeIntegral<std::uint32_t>()));
            break;
        case 5: {
            // A capacity, and room for at least that many entries.
            std::uint32_t count = input.ConsumeIntegralInRange<std::uint32_t>(0, 8);
            std::vector<KovaDeviceEntry> entries(8);
            std::vector<char> ids(8 * 255);
            check("KovaGetDeviceList_N", KovaGetDeviceList_N(input.ConsumeBool() ? &count : nullptr, entries.data()));
            count = input.ConsumeIntegralInRange<std::uint32_t>(0, 8);
            check("KovaGetDeviceList", KovaGetDeviceList(&count, input.ConsumeBool() ? ids.data() : nullptr));
            break;
        }
        case 6: {
            KovaDeviceInfo info;
            const std::string name = kova_fuzz::text(input, 300);
            check("KovaVantorMGGetDeviceInfo", KovaVantorMGGetDeviceInfo(name.c_str(), nullptr, &info));
            check("KovaVantorGetDeviceInfo", KovaVantorGetDeviceInfo(target, input.ConsumeBool() ? &info : nullptr));
            break;
        }
        case 7: {
            std::uint8_t roll = 0;
            std::uint32_t port = 0;
            check("KovaVantorQuadrelIsRollSupported", KovaVantorQuadrelIsRollSupported(target, input.ConsumeBool() ? &roll : nullptr));
            check("KovaVantorQuadrelGetPortType", KovaVantorQuadrelGetPortType(target, input.ConsumeBool() ? &port : nullptr));
            break;
        }
        case 8:
            check("KovaVantorStartVideo", KovaVantorStartVideo(target));
            check("KovaStopVideo", KovaStopVideo(input.ConsumeBool() ? target : handle));
            break;
        case 9:
            check("KovaBusReset_N", KovaBusReset_N(target));
            break;
        case 10:
            check("KovaCloseDevice_N", KovaCloseDevice_N(target));
            break;
        default:
            check("KovaInitialize_N", KovaInitialize_N(nullptr, input.ConsumeIntegral<std::uint32_t>(), input.ConsumeIntegral<std::int32_t>()));
            check("KovaOpenDevice", KovaOpenDevice(kova_fuzz::sensor, &handle));
            break;
        }
    }
    kova_fuzz::finish();
    return 0;
}
