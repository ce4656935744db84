// SPDX-License-Identifier: MIT
// The picture output: PNG files of frames and tables.
#include <png.h>

#include <algorithm>
#include <cstdio>

#include "kova_tool.h"

namespace kova_tool {

// PNG output. The caller prepares rows in file order (16-bit samples big-endian); the setjmp frame
// holds nothing that needs destroying.
bool write_png(const char* path, const unsigned char* data, unsigned width, unsigned height, int bit_depth,
               int significant_bits)
{
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_compression_level(png, 3);
    png_set_IHDR(png, info, width, height, bit_depth, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (significant_bits < bit_depth) {
        png_color_8 bits{};
        bits.gray = static_cast<png_byte>(significant_bits);
        png_set_sBIT(png, info, &bits);
    }
    png_write_info(png, info);
    const std::size_t row_bytes = std::size_t{width} * static_cast<unsigned>(bit_depth / 8);
    for (unsigned y = 0; y < height; ++y) png_write_row(png, data + y * row_bytes);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

unsigned sample_at(const unsigned char* frame, std::size_t index)
{
    return static_cast<unsigned>(frame[2 * index]) | static_cast<unsigned>(frame[2 * index + 1]) << 8;
}

// 8 bits from a value of 0 to 1023, rounded.
unsigned char to_8bit(double value)
{
    value = std::clamp(value, 0.0, double{sample_max});
    return static_cast<unsigned char>(value * 255.0 / sample_max + 0.5);
}

// A table's values from its low to its high percentile stretched over 0..255, so that single
// extreme entries (dead pixels) do not flatten the picture. Returns the bounds used.
std::pair<unsigned, unsigned> stretch_table(const std::uint16_t* table, std::vector<unsigned char>& out)
{
    std::vector<std::size_t> histogram(65536, 0);
    for (std::size_t i = 0; i < frame_samples; ++i) ++histogram[table[i]];
    const std::size_t cut = frame_samples / 1000; // 0.1 % at each end
    unsigned low = 0, high = 65535;
    for (std::size_t seen = 0; low < 65535 && seen + histogram[low] <= cut; ++low) seen += histogram[low];
    for (std::size_t seen = 0; high > low && seen + histogram[high] <= cut; --high) seen += histogram[high];
    out.assign(frame_samples, 128); // a table of one value shows as mid grey
    if (high == low) return {low, high};
    const double span = double(high - low);
    for (std::size_t i = 0; i < frame_samples; ++i) {
        double v = (double(table[i]) - low) / span * 255.0;
        out[i] = static_cast<unsigned char>(std::clamp(v, 0.0, 255.0) + 0.5);
    }
    return {low, high};
}

} // namespace kova_tool
