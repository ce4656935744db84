// SPDX-License-Identifier: MIT
// Fuzzes what the system reads from the device library but does not control, given through the
// stand-in's controls: serial numbers and descriptor strings, PIA blocks, calibration geometry and
// samples, forwarded log texts, and the serial numbers of plug and power events.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "tests/fuzz/fuzz_support.h"

using kova_fuzz::check;
using kova_fuzz::sensor;

namespace {

// Full-size tables move about 30 MB through the library: the cost of some hundred inputs of
// everything else. They are read for one input in 64, picked by a hash of the whole input, which the
// fuzzer cannot steer towards as it would towards a byte it compares.
bool full_size_allowed(const std::uint8_t* data, std::size_t size)
{
    std::uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 1099511628211ull;
    return hash % 64 == 0;
}

// Smaller images stay within 64 KB each: AddressSanitizer maps every block above 128 KB afresh, and
// its page faults cost more than the input's whole run.
constexpr std::uint32_t small_samples = 32768;

void read_calibration(FuzzedDataProvider& input, std::uint32_t handle, bool full_size)
{
    // The size the tables are made for, or any other geometry of a smaller image.
    std::uint32_t stride = 3200, height = 1500;
    if (!full_size || input.ConsumeBool()) {
        stride = input.ConsumeIntegralInRange<std::uint32_t>(0, 6400);
        height = input.ConsumeIntegralInRange<std::uint32_t>(0, 3000);
        if (std::uint64_t{stride / 2} * height > small_samples) height = small_samples / (stride / 2 + 1);
    }
    const std::size_t samples = std::size_t{stride / 2} * height;
    // Made once at full size: a resize of millions of samples is a loop of coverage probes.
    static std::vector<std::uint16_t> black(2400000), white(2400000);
    // A short pattern from the input, repeated: one period written, then doubled by block copies (a
    // loop over millions of samples would cost most of the input's time in coverage callbacks).
    std::vector<std::uint16_t> pattern;
    for (int i = input.ConsumeIntegralInRange(1, 16); i > 0; --i) pattern.push_back(input.ConsumeIntegral<std::uint16_t>());
    const std::size_t period = std::min(pattern.size(), samples);
    for (std::size_t i = 0; i < period; ++i) {
        black[i] = static_cast<std::uint16_t>(pattern[i % pattern.size()] & 0x3FF);
        white[i] = static_cast<std::uint16_t>(pattern[(i * 7 + 3) % pattern.size()] & 0x3FF);
    }
    for (std::size_t done = period; done > 0 && done < samples; done *= 2)
        for (auto* image : {&black, &white})
            std::memcpy(image->data() + done, image->data(), std::min(done, samples - done) * sizeof(std::uint16_t));
    // A few samples above 0x3FF: each position is a log line of its own, flushed to the disk, so
    // a whole image of them would be millions of lines.
    for (int corrupt = input.ConsumeIntegralInRange(0, 4); corrupt > 0 && samples > 0; --corrupt) {
        auto& image = input.ConsumeBool() ? white : black;
        image[input.ConsumeIntegralInRange<std::size_t>(0, samples - 1)] = input.ConsumeIntegral<std::uint16_t>();
    }
    vqsim_set_calibration(sensor, black.data(), white.data(), stride, height);
    std::uint16_t *gain = nullptr, *offset = nullptr;
    check("KovaVantorQuadrelReadUniformityBuffers", KovaVantorQuadrelReadUniformityBuffers(handle, &gain, &offset));
    check("KovaQuadV3FreeUniformityBuffers", KovaQuadV3FreeUniformityBuffers(handle, &gain, &offset));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const bool full_size = full_size_allowed(data, size);
    FuzzedDataProvider input(data, size);
    kova_fuzz::fresh_library(input.ConsumeIntegralInRange<unsigned>(0, 4));

    // The device as it describes itself.
    vqsim_set_serial_number(sensor, kova_fuzz::text(input, 300).c_str());
    const std::string first = kova_fuzz::text(input, 64), second = kova_fuzz::text(input, 64),
                      third = kova_fuzz::text(input, 300);
    vqsim_set_descriptor(sensor, first.c_str(), second.c_str(), third.c_str());
    for (int blocks = input.ConsumeIntegralInRange(0, 3); blocks > 0; --blocks) {
        const auto block = input.ConsumeIntegral<std::uint16_t>();
        std::vector<std::uint8_t> bytes = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange(0, 64));
        vqsim_set_pia(sensor, block, bytes.data(), static_cast<unsigned>(bytes.size()));
    }
    vqsim_set_dirty(sensor, input.ConsumeBool());

    std::uint32_t handle = 0;
    check("KovaOpenDevice", KovaOpenDevice(sensor, &handle));
    KovaDeviceInfo info;
    check("KovaVantorGetDeviceInfo", KovaVantorGetDeviceInfo(handle, &info));
    check("KovaVantorMGGetDeviceInfo", KovaVantorMGGetDeviceInfo(sensor, nullptr, &info));
    KovaCapabilities caps;
    for (std::uint32_t type = 0; type < 6; ++type)
        check("KovaVantorGetCapabilities", KovaVantorGetCapabilities(handle, type, &caps));
    std::uint8_t roll = 0;
    check("KovaVantorQuadrelIsRollSupported", KovaVantorQuadrelIsRollSupported(handle, &roll));

    // What arrives on the device library's threads.
    bool tables_read = false;
    while (input.remaining_bytes() > 0) {
        switch (input.ConsumeIntegralInRange(0, 3)) {
        case 0:
            vqsim_log_text(kova_fuzz::text(input, 1500).c_str());
            break;
        case 1:
            vqsim_usb_event(kova_fuzz::text(input, 300).c_str(), input.ConsumeIntegralInRange(-1, 4), input.ConsumeBool());
            check("KovaGetStatus", KovaGetStatus(handle)); // an event is pending: answers at once
            break;
        case 2:
            vqsim_power_event(kova_fuzz::text(input, 300).c_str(), input.ConsumeIntegralInRange(-1, 4), input.ConsumeBool());
            check("KovaGetStatus", KovaGetStatus(handle));
            break;
        default:
            if (!tables_read) {
                read_calibration(input, handle, full_size);
                tables_read = true;
            }
            break;
        }
    }
    check("KovaCloseDevice_N", KovaCloseDevice_N(handle));
    kova_fuzz::finish();
    return 0;
}
