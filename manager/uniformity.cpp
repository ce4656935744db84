// SPDX-License-Identifier: MIT
// Uniformity tables from the calibration images. Runs outside method_mutex, beside any operation.
#include <cstdlib>

#include "manager/uniformity.h"
#include "interface/status.h"
#include "logging/log.h"
#include "manager/vantorquadrelv3_manager.h"

namespace nvr::vantorquadrelv3 {

namespace {

constexpr std::size_t table_bytes = uniformity_entries * sizeof(std::uint16_t);

std::uint16_t* samples(const tft::TFT_ImageClass& image)
{
    return reinterpret_cast<std::uint16_t*>(image.get_image_data_pointer());
}

std::uint64_t true_bytes(const tft::TFT_ImageClass& image)
{
    return std::uint64_t{image.get_image_stride()} * image.get_image_height();
}

} // namespace

KovaStatus vantorquadrelv3_manager::read_uniformity_buffers(std::uint32_t handle, std::uint16_t** gain_ptr,
                                                            std::uint16_t** offset_ptr)
{
    static const char* const name = "read_uniformity_buffers";
    if (!initialized.load()) return KOVA_NOT_INITIALIZED;
    if (gain_ptr == nullptr || offset_ptr == nullptr) return refuse(name, KOVA_BAD_PARAMETER);

    tft::TFT_ImageClass black;
    tft::TFT_ImageClass white;
    tft::TFT_Status status = tft::TFTManagerClass::get_instance()->read_fpn_data(handle, tft::SLAP_IMAGE_BLACK, black);
    if (status != tft::TFT_ERR_OK) {
        log_print(3, "read_uniformity_buffers TFTManager read_fpn_data SLAP_IMAGE_BLACK:    Error=%d\r\n",
                  static_cast<int>(status));
        return map_tft_status(status);
    }
    status = tft::TFTManagerClass::get_instance()->read_fpn_data(handle, tft::SLAP_IMAGE_WHITE, white);
    if (status != tft::TFT_ERR_OK) {
        std::free(black.get_image_data_pointer());
        log_print(3, "read_uniformity_buffers TFTManager read_fpn_data SLAP_IMAGE_WHITE :    Error=%d\r\n",
                  static_cast<int>(status));
        return map_tft_status(status);
    }
    auto release_images = [&] {
        std::free(black.get_image_data_pointer());
        std::free(white.get_image_data_pointer());
    };
    // The tables have a fixed size and the computation assumes it; whole 16-bit samples per row. The
    // size is taken in 64 bits: a geometry whose 32-bit product only wraps to the right size is refused.
    if (true_bytes(white) != table_bytes || true_bytes(black) != table_bytes || white.get_image_stride() % 2 != 0 ||
        black.get_image_stride() % 2 != 0 || samples(white) == nullptr || samples(black) == nullptr) {
        release_images();
        return refuse(name, KOVA_INTERNAL);
    }
    const std::uint16_t* w = samples(white);
    const std::uint16_t* b = samples(black);
    const calibration_scan scan = scan_calibration(w, b);
    if (scan.above_limit) {
        for (std::size_t i = count_samples_above_limit(w, b); i > 0; --i)
            log_print(3, "read_uniformity_buffers image value corrupted > 0x3FF \r\n");
    }

    // The third buffer is the plain computation's room for the differences. The tables no longer
    // need it, but the operation keeps its memory demand, and so where 9001 can arise, unchanged.
    auto* gain = static_cast<std::uint16_t*>(std::malloc(table_bytes));
    auto* offset = static_cast<std::uint16_t*>(std::malloc(table_bytes));
    auto* work = static_cast<std::uint16_t*>(std::malloc(table_bytes));
    if (gain == nullptr || offset == nullptr || work == nullptr) {
        std::free(gain);
        std::free(offset);
        std::free(work);
        release_images();
        return KOVA_OUT_OF_RESOURCE; // like every code that comes from outside, written without a text
    }
    compute_uniformity_tables(scan, w, b, gain, offset);
    *gain_ptr = gain;
    *offset_ptr = offset;
    release_images();
    std::free(work);
    return KOVA_OK;
}

void vantorquadrelv3_manager::free_uniformity_buffers(std::uint16_t** gain_ptr, std::uint16_t** offset_ptr)
{
    for (std::uint16_t** table : {gain_ptr, offset_ptr}) {
        if (table != nullptr && *table != nullptr) {
            std::free(*table);
            *table = nullptr;
        }
    }
}

} // namespace nvr::vantorquadrelv3
