// Built with -ffp-contract=off: a fused multiply-add would change the tables' bits.
#include <cmath>

#include "manager/uniformity.h"

namespace nvr::vantorquadrelv3 {

namespace {
std::uint16_t limit(double value)
{
    if (value < 0.0) return 0;
    if (!(value < 65535.0)) return 65535;
    return static_cast<std::uint16_t>(value);
}
} // namespace

void compute_uniformity_tables(const std::uint16_t* white, std::uint16_t* black, std::uint16_t* work,
                               std::uint16_t* gain, std::uint16_t* offset)
{
    const std::size_t n = uniformity_entries;
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) sum += black[i];
    double mean_black = sum / static_cast<double>(n);
    for (std::size_t i = 0; i < n; ++i)
        if (mean_black - black[i] > 150.0) black[i] = static_cast<std::uint16_t>(black[i] + 255);
    double sum_white = 0.0, sum_black = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        work[i] = static_cast<std::uint16_t>(white[i] - black[i]);
        sum_white += white[i];
        sum_black += black[i];
    }
    double mean_white = sum_white / static_cast<double>(n);
    double m = mean_white - sum_black / static_cast<double>(n);
    for (std::size_t j = 0; j < n; ++j) {
        std::uint16_t d = work[j] < 1023 ? work[j] : 1023;
        if (d < 5) d = 5;
        double g = m / d;
        double x = mean_white - white[j] * g;
        gain[j] = limit(std::floor(g * 1024.0));
        offset[j] = limit(std::floor(x * 64.0) + 32768.0);
    }
}

} // namespace nvr::vantorquadrelv3
