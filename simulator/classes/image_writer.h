// SPDX-License-Identifier: MIT
// The device library's own access to an image's storage (the image class has no public setters).
#pragma once

#include <cstdint>

#include "devicelib/TFTManager.h"

namespace Celdra::TFTManager {
struct ImageWriter {
    static void assign(TFT_ImageClass& image, std::uint8_t* data, std::uint32_t width, std::uint32_t height,
                       std::uint32_t stride)
    {
        image.data_ = data;
        image.width_ = width;
        image.height_ = height;
        image.stride_ = stride;
    }
};
} // namespace Celdra::TFTManager

