// SPDX-License-Identifier: MIT
// What a QUADRELV3 is, as the stand-in, its scenarios and the recorder know it: the frame it sends
// and its capture parameters (listed in vqsim.h) with their ids, scenario names, starting values and
// ranges.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vqsim {

constexpr std::uint32_t image_width = 1600;
constexpr std::uint32_t image_height = 1500;
constexpr std::uint32_t image_stride_bytes = image_width * 2;
constexpr std::size_t image_samples = std::size_t{image_width} * image_height;

struct ParameterSpec {
    std::uint32_t id;
    const char* name;
    std::uint32_t start, low, high;
};
inline constexpr ParameterSpec parameter_specs[] = {
    {1, "exposure_us", 10000, 100, 100000}, {2, "analog_gain", 16, 1, 64},    {3, "frame_rate_fps", 15, 1, 30},
    {4, "led_intensity", 128, 0, 255},      {5, "black_level", 32, 0, 1023}, {6, "auto_capture", 1, 0, 1},
    {7, "finger_threshold", 300, 0, 1023}};

// The parameter with this id, or null.
inline const ParameterSpec* parameter_spec(std::uint32_t id)
{
    for (const ParameterSpec& spec : parameter_specs)
        if (spec.id == id) return &spec;
    return nullptr;
}

} // namespace vqsim
