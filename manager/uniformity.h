#pragma once

#include <cstddef>
#include <cstdint>

namespace nvr::vantorquadrelv3 {

constexpr std::size_t uniformity_entries = 2400000;
constexpr std::uint16_t calibration_sample_limit = 0x3FF;

// Gain (1/1024) and offset (1/64, biased by 32768) tables from the white and black calibration
// images of uniformity_entries samples each. black is repaired in place; work holds the differences.
void compute_uniformity_tables(const std::uint16_t* white, std::uint16_t* black, std::uint16_t* work,
                               std::uint16_t* gain, std::uint16_t* offset);

} // namespace nvr::vantorquadrelv3
