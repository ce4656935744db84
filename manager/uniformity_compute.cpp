// SPDX-License-Identifier: MIT
// The uniformity tables at memory speed, bit for bit those of straight_uniformity_tables.
// Built with -ffp-contract=off: a fused multiply-add would change the tables' bits.
//
// Why the shortcuts keep every bit:
// - Sums of 16-bit samples over the image stay far below 2^53, so a double sum is exact in any
//   order and equals the 64-bit integer sum.
// - mean_black - b > 150.0 can only turn false as b grows (rounding is monotone), so the repair
//   is "b below a threshold", found once by asking the same question in double.
// - The divisor takes only the values 5..1023, so g = m / d is tabled per divisor with the same
//   expression (the AVX-512 kernel divides per entry instead, which is the same division).
//   white * g stays one rounded product of the same two doubles per entry.
// - Scaling by a power of two commutes with rounding (nothing here comes near overflow or the
//   subnormals), so the table holds g * 64 and the entry computes 64 * mean_white - white * (g * 64),
//   which is x * 64 to the bit; the gain's g * 1024 is (g * 64) * 16.
// - floor(v) + 32768.0 limited to 0..65535 is floor(v) saturated to -32768..32767 plus 32768, and
//   floor(g * 1024) limited to 0..65535 is the truncation of max(g * 1024, 0) saturated at 65535. Every
//   operand is finite, so the straight code's rule for a NaN is never reached.
#define KOVA_VECTOR_INTRINSICS
#include "platform/compiler.h"

#include <algorithm>
#include <cmath>

#include "manager/uniformity.h"

namespace nvr::vantorquadrelv3 {

namespace {

constexpr std::size_t n = uniformity_entries;
constexpr unsigned min_divisor = 5;
constexpr unsigned max_divisor = 1023;

// g * 64 for every divisor; the entries below min_divisor are never read.
struct divisor_table {
    double scaled_g[max_divisor + 1];
};

// The smallest black sample that the repair leaves alone (65536 when it repairs every value).
unsigned repair_threshold(double mean_black)
{
    auto repaired = [&](unsigned b) { return mean_black - b > 150.0; };
    unsigned low = 0, high = 65536; // repaired(b) for b < low; not repaired for b >= high
    while (low < high) {
        unsigned mid = low + (high - low) / 2;
        if (repaired(mid)) low = mid + 1;
        else high = mid;
    }
    return low;
}

// Sum of the black samples after the repair: only blocks whose lowest sample is repaired change.
std::uint64_t repaired_black_sum(const calibration_scan& scan, const std::uint16_t* black, unsigned threshold)
{
    std::uint64_t removed = 0, added = 0;
    for (std::size_t k = 0; k < scan.blocks; ++k) {
        if (scan.black_min[k] >= threshold) continue;
        const std::size_t begin = k * scan.block, end = std::min(begin + scan.block, n);
        std::uint32_t block_removed = 0, block_added = 0;
        for (std::size_t i = begin; i < end; ++i) {
            const unsigned b = black[i];
            const bool repair = b < threshold;
            block_removed += repair ? b : 0u;
            block_added += repair ? (b + 255u) & 0xFFFFu : 0u;
        }
        removed += block_removed;
        added += block_added;
    }
    return scan.black_sum - removed + added;
}

struct table_inputs {
    const std::uint16_t* white;
    const std::uint16_t* black;
    std::uint16_t* gain;
    std::uint16_t* offset;
    const double* scaled_g;
    double m;
    unsigned threshold;
    double scaled_mean_white; // 64 * mean_white
};

std::uint16_t limit(double value)
{
    if (value < 0.0) return 0;
    if (!(value < 65535.0)) return 65535;
    return static_cast<std::uint16_t>(value);
}

void table_entries(const table_inputs& in)
{
    for (std::size_t j = 0; j < n; ++j) {
        const unsigned black = in.black[j] < in.threshold ? (in.black[j] + 255u) & 0xFFFFu : in.black[j];
        const unsigned difference = (in.white[j] - black) & 0xFFFFu;
        const double scaled_g = in.scaled_g[std::max(std::min(difference, max_divisor), min_divisor)];
        in.gain[j] = limit(std::floor(scaled_g * 16.0));
        in.offset[j] = limit(std::floor(in.scaled_mean_white - in.white[j] * scaled_g) + 32768.0);
    }
}

// Eight entries a step.
KOVA_TARGET("avx2") void table_entries_avx2(const table_inputs& in)
{
    static_assert(n % 8 == 0, "whole steps");
    const __m256i threshold = _mm256_set1_epi32(static_cast<int>(in.threshold));
    const __m256i repair_step = _mm256_set1_epi32(255), low16 = _mm256_set1_epi32(0xFFFF);
    const __m256i top_divisor = _mm256_set1_epi32(max_divisor), bottom_divisor = _mm256_set1_epi32(min_divisor);
    const __m256d scaled_mean_white = _mm256_set1_pd(in.scaled_mean_white);
    const __m256d sixteen = _mm256_set1_pd(16.0), gain_top = _mm256_set1_pd(65535.0), zero = _mm256_setzero_pd();
    const __m256d offset_top = _mm256_set1_pd(32767.0), offset_bottom = _mm256_set1_pd(-32768.0);
    const __m128i bias = _mm_set1_epi32(32768);

    for (std::size_t j = 0; j < n; j += 8) {
        const __m256i white = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in.white + j)));
        __m256i black = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in.black + j)));
        const __m256i repair = _mm256_and_si256(_mm256_cmpgt_epi32(threshold, black), repair_step);
        black = _mm256_and_si256(_mm256_add_epi32(black, repair), low16);
        __m256i d = _mm256_and_si256(_mm256_sub_epi32(white, black), low16);
        d = _mm256_max_epi32(_mm256_min_epi32(d, top_divisor), bottom_divisor);

        __m128i gains[2], offsets[2];
        for (int half = 0; half < 2; ++half) {
            const __m128i index = half ? _mm256_extracti128_si256(d, 1) : _mm256_castsi256_si128(d);
            const __m128i white_half = half ? _mm256_extracti128_si256(white, 1) : _mm256_castsi256_si128(white);
            const __m256d scaled_g = _mm256_i32gather_pd(in.scaled_g, index, 8);

            const __m256d gain = _mm256_max_pd(_mm256_min_pd(_mm256_mul_pd(scaled_g, sixteen), gain_top), zero);
            gains[half] = _mm256_cvttpd_epi32(gain);

            __m256d offset = _mm256_sub_pd(scaled_mean_white, _mm256_mul_pd(_mm256_cvtepi32_pd(white_half), scaled_g));
            offset = _mm256_floor_pd(_mm256_max_pd(_mm256_min_pd(offset, offset_top), offset_bottom));
            offsets[half] = _mm_add_epi32(_mm256_cvttpd_epi32(offset), bias);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(in.gain + j), _mm_packus_epi32(gains[0], gains[1]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(in.offset + j), _mm_packus_epi32(offsets[0], offsets[1]));
    }
}

struct quarter_inputs {
    __m512i d, white;
    __m512d m, sixty_four, sixteen, scaled_mean_white, zero;
    __m128i bias;
};

// Eight of a step's thirty-two entries, those of 128-bit lane `quarter`.
template <int quarter>
KOVA_TARGET("avx512f,avx512bw,avx512dq,avx512vl")
KOVA_ALWAYS_INLINE void quarter_entries_avx512(const quarter_inputs& q, std::uint16_t* gain_table,
                                               std::uint16_t* offset_table)
{
    const __m512d d8 = _mm512_cvtepi32_pd(_mm256_cvtepu16_epi32(_mm512_extracti32x4_epi32(q.d, quarter)));
    const __m512d white8 = _mm512_cvtepi32_pd(_mm256_cvtepu16_epi32(_mm512_extracti32x4_epi32(q.white, quarter)));
    const __m512d scaled_g = _mm512_mul_pd(_mm512_div_pd(q.m, d8), q.sixty_four);

    const __m512d gain = _mm512_max_pd(q.zero, _mm512_mul_pd(scaled_g, q.sixteen));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(gain_table + 8 * quarter),
                     _mm512_cvtusepi64_epi16(_mm512_cvttpd_epu64(gain)));

    const __m512d offset = _mm512_sub_pd(q.scaled_mean_white, _mm512_mul_pd(white8, scaled_g));
    const __m512i whole = _mm512_cvt_roundpd_epi64(offset, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(offset_table + 8 * quarter),
                     _mm_xor_si128(_mm512_cvtsepi64_epi16(whole), q.bias));
}

// Thirty-two entries a step: the divisors in 16-bit lanes, then eight entries at a time in double;
// the conversions floor to 64 bits and saturate straight to 16. Dividing here is faster than
// gathering from the table on the processors measured, and gives the table's value: the same
// division of the same doubles.
KOVA_TARGET("avx512f,avx512bw,avx512dq,avx512vl") void table_entries_avx512(const table_inputs& in)
{
    static_assert(n % 32 == 0, "whole steps");
    // b < threshold as b <= threshold - 1; a threshold of 0 repairs nothing.
    const __m512i repair_last = _mm512_set1_epi16(static_cast<short>(in.threshold - 1));
    const __mmask32 repair_any = in.threshold > 0 ? ~__mmask32{0} : __mmask32{0};
    const __m512i repair_step = _mm512_set1_epi16(255);
    const __m512i top_divisor = _mm512_set1_epi16(max_divisor), bottom_divisor = _mm512_set1_epi16(min_divisor);
    const __m512d m = _mm512_set1_pd(in.m), sixty_four = _mm512_set1_pd(64.0), sixteen = _mm512_set1_pd(16.0);
    const __m512d scaled_mean_white = _mm512_set1_pd(in.scaled_mean_white), zero = _mm512_setzero_pd();
    const __m128i bias = _mm_set1_epi16(static_cast<short>(0x8000));
    // Locals: the stores may alias anything, which would reload every pointer of the inputs.
    const std::uint16_t* const white_samples = in.white;
    const std::uint16_t* const black_samples = in.black;
    std::uint16_t* const gain_table = in.gain;
    std::uint16_t* const offset_table = in.offset;

    for (std::size_t j = 0; j < n; j += 32) {
        const __m512i white = _mm512_loadu_si512(white_samples + j);
        __m512i black = _mm512_loadu_si512(black_samples + j);
        black = _mm512_mask_add_epi16(black, _mm512_cmple_epu16_mask(black, repair_last) & repair_any, black,
                                      repair_step);
        __m512i d = _mm512_sub_epi16(white, black);
        d = _mm512_max_epu16(_mm512_min_epu16(d, top_divisor), bottom_divisor);

        // The lane index of an extract must be a constant: one call per quarter.
        const quarter_inputs q{d, white, m, sixty_four, sixteen, scaled_mean_white, zero, bias};
        quarter_entries_avx512<0>(q, gain_table + j, offset_table + j);
        quarter_entries_avx512<1>(q, gain_table + j, offset_table + j);
        quarter_entries_avx512<2>(q, gain_table + j, offset_table + j);
        quarter_entries_avx512<3>(q, gain_table + j, offset_table + j);
    }
}

// One pass over both images; the body is compiled once per vector unit.
KOVA_ALWAYS_INLINE calibration_scan scan_images(const std::uint16_t* white,
                                                                  const std::uint16_t* black)
{
    calibration_scan scan;
    unsigned bits = 0;
    for (std::size_t k = 0; k < scan.blocks; ++k) {
        const std::size_t begin = k * scan.block, end = std::min(begin + scan.block, n);
        // A block's sums fit 32 bits: 4096 samples of at most 65535.
        std::uint32_t white_sum = 0, black_sum = 0;
        std::uint16_t lowest = 0xFFFF, block_bits = 0;
        for (std::size_t i = begin; i < end; ++i) {
            white_sum += white[i];
            black_sum += black[i];
            lowest = std::min(lowest, black[i]);
            block_bits = static_cast<std::uint16_t>(block_bits | white[i] | black[i]);
        }
        scan.white_sum += white_sum;
        scan.black_sum += black_sum;
        scan.black_min[k] = lowest;
        bits |= block_bits;
    }
    scan.above_limit = (bits & ~unsigned{calibration_sample_limit}) != 0;
    return scan;
}

KOVA_TARGET("avx512f,avx512bw") calibration_scan scan_images_avx512(const std::uint16_t* white,
                                                                                const std::uint16_t* black)
{
    return scan_images(white, black);
}

KOVA_TARGET("avx2") calibration_scan scan_images_avx2(const std::uint16_t* white,
                                                                 const std::uint16_t* black)
{
    return scan_images(white, black);
}

uniformity_kernel resolve(uniformity_kernel kernel)
{
    if (kernel != uniformity_kernel::best) return kernel;
    if (uniformity_kernel_supported(uniformity_kernel::avx512)) return uniformity_kernel::avx512;
    if (uniformity_kernel_supported(uniformity_kernel::avx2)) return uniformity_kernel::avx2;
    return uniformity_kernel::portable;
}

} // namespace

bool uniformity_kernel_supported(uniformity_kernel kernel)
{
    switch (kernel) {
    case uniformity_kernel::avx512:
        return KOVA_CPU_SUPPORTS("avx512f") && KOVA_CPU_SUPPORTS("avx512bw") &&
               KOVA_CPU_SUPPORTS("avx512dq") && KOVA_CPU_SUPPORTS("avx512vl");
    case uniformity_kernel::avx2:
        return KOVA_CPU_SUPPORTS("avx2");
    default:
        return true;
    }
}

calibration_scan scan_calibration(const std::uint16_t* white, const std::uint16_t* black, uniformity_kernel kernel)
{
    switch (resolve(kernel)) {
    case uniformity_kernel::avx512:
        return scan_images_avx512(white, black);
    case uniformity_kernel::avx2:
        return scan_images_avx2(white, black);
    default:
        return scan_images(white, black);
    }
}

std::size_t count_samples_above_limit(const std::uint16_t* white, const std::uint16_t* black)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < n; ++i)
        count += (white[i] > calibration_sample_limit) | (black[i] > calibration_sample_limit);
    return count;
}

void compute_uniformity_tables(const calibration_scan& scan, const std::uint16_t* white, const std::uint16_t* black,
                               std::uint16_t* gain, std::uint16_t* offset, uniformity_kernel kernel)
{
    const double count = static_cast<double>(n);
    const double mean_black = static_cast<double>(scan.black_sum) / count;
    const unsigned threshold = repair_threshold(mean_black);
    const double mean_white = static_cast<double>(scan.white_sum) / count;
    const double m = mean_white - static_cast<double>(repaired_black_sum(scan, black, threshold)) / count;

    divisor_table table{};
    for (unsigned d = min_divisor; d <= max_divisor; ++d) table.scaled_g[d] = (m / d) * 64.0;

    const table_inputs inputs{white, black, gain, offset, table.scaled_g, m, threshold, mean_white * 64.0};
    switch (resolve(kernel)) {
    case uniformity_kernel::avx512:
        return table_entries_avx512(inputs);
    case uniformity_kernel::avx2:
        return table_entries_avx2(inputs);
    default:
        return table_entries(inputs);
    }
}

} // namespace nvr::vantorquadrelv3
