// SPDX-License-Identifier: MIT
// The simulated capture parameters (listed in vqsim.h): their ids, scenario names, starting values
// and ranges. The recorder names the parameters it sees by the same table.
#pragma once

#include <cstdint>

namespace vqsim {

struct ParameterSpec {
    std::uint32_t id;
    const char* name;
    std::uint32_t start, low, high;
};
inline constexpr ParameterSpec parameter_specs[] = {
    {1, "exposure_us", 10000, 100, 100000}, {2, "analog_gain", 16, 1, 64},    {3, "frame_rate_fps", 15, 1, 30},
    {4, "led_intensity", 128, 0, 255},      {5, "black_level", 32, 0, 1023}, {6, "auto_capture", 1, 0, 1},
    {7, "finger_threshold", 300, 0, 1023}};

} // namespace vqsim
