// SPDX-License-Identifier: MIT
// Uniformity tables from the calibration images: their size, the scan of both images and the kernels.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace nvr::vantorquadrelv3 {

constexpr std::size_t uniformity_entries = 2400000;
constexpr std::uint16_t calibration_sample_limit = 0x3FF;

// What one read of both calibration images yields before the tables can start: the exact sums,
// whether any sample exceeds calibration_sample_limit, and the lowest black sample of each block,
// so that the repair count only revisits blocks that can hold a repaired sample.
struct calibration_scan {
    static constexpr std::size_t block = 4096;
    static constexpr std::size_t blocks = (uniformity_entries + block - 1) / block;
    std::uint64_t white_sum = 0;
    std::uint64_t black_sum = 0;
    bool above_limit = false;
    std::array<std::uint16_t, blocks> black_min{};
};

// The code that computes: the widest vector unit the processor has, or one named (tests and
// benchmarks compare them; a named one must be supported).
enum class uniformity_kernel { best, avx512, avx2, portable };
bool uniformity_kernel_supported(uniformity_kernel kernel);

// Both images hold uniformity_entries samples.
calibration_scan scan_calibration(const std::uint16_t* white, const std::uint16_t* black,
                                  uniformity_kernel kernel = uniformity_kernel::best);

// How many positions hold a sample above calibration_sample_limit in either image: each one is a
// log line of its own.
std::size_t count_samples_above_limit(const std::uint16_t* white, const std::uint16_t* black);

// Gain (1/1024) and offset (1/64, biased by 32768) tables from the calibration images and their scan.
// Neither image is changed.
void compute_uniformity_tables(const calibration_scan& scan, const std::uint16_t* white, const std::uint16_t* black,
                               std::uint16_t* gain, std::uint16_t* offset,
                               uniformity_kernel kernel = uniformity_kernel::best);

inline void compute_uniformity_tables(const std::uint16_t* white, const std::uint16_t* black, std::uint16_t* gain,
                                      std::uint16_t* offset)
{
    compute_uniformity_tables(scan_calibration(white, black), white, black, gain, offset);
}

// The computation written plainly, one step after the other: what the tests hold the tables to and
// what the benchmark measures them against. Not used by the library. black is repaired in place;
// work receives the differences.
inline void straight_uniformity_tables(const std::uint16_t* white, std::uint16_t* black, std::uint16_t* work,
                                       std::uint16_t* gain, std::uint16_t* offset)
{
    auto limit = [](double value) -> std::uint16_t {
        if (value < 0.0) return 0;
        if (!(value < 65535.0)) return 65535;
        return static_cast<std::uint16_t>(value);
    };
    const std::size_t n = uniformity_entries;
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) sum += black[i];
    const double mean_black = sum / static_cast<double>(n);
    for (std::size_t i = 0; i < n; ++i)
        if (mean_black - black[i] > 150.0) black[i] = static_cast<std::uint16_t>(black[i] + 255);
    double sum_white = 0.0, sum_black = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        work[i] = static_cast<std::uint16_t>(white[i] - black[i]);
        sum_white += white[i];
        sum_black += black[i];
    }
    const double mean_white = sum_white / static_cast<double>(n);
    const double m = mean_white - sum_black / static_cast<double>(n);
    for (std::size_t j = 0; j < n; ++j) {
        std::uint16_t d = work[j] < 1023 ? work[j] : 1023;
        if (d < 5) d = 5;
        const double g = m / d;
        const double x = mean_white - white[j] * g;
        gain[j] = limit(std::floor(g * 1024.0));
        offset[j] = limit(std::floor(x * 64.0) + 32768.0);
    }
}

} // namespace nvr::vantorquadrelv3
