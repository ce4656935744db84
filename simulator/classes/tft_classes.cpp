// SPDX-License-Identifier: MIT
// The device library's value classes and the manager's construction: the same in the stand-in and
// in the recorder, whose application builds and copies sensors with them.
#include "devicelib/TFTManager.h"

namespace Celdra::TFTManager {

TFTSensorClass::TFTSensorClass() = default;
TFTSensorClass::~TFTSensorClass() = default;
TFTSensorClass::TFTSensorClass(const TFTSensorClass&) = default;
TFTSensorClass& TFTSensorClass::operator=(const TFTSensorClass&) = default;

void TFTSensorClass::set_sensor_id(const std::string& id)
{
    sensor_id_ = id;
}

std::string TFTSensorClass::get_sensor_id() const
{
    return sensor_id_;
}

TFT_ImageClass::TFT_ImageClass() = default;

std::uint8_t* TFT_ImageClass::get_image_data_pointer() const
{
    return data_;
}

std::uint32_t TFT_ImageClass::get_image_height() const
{
    return height_;
}

std::uint32_t TFT_ImageClass::get_image_stride() const
{
    return stride_;
}

TFTManagerClass::TFTManagerClass() = default;
TFTManagerClass::~TFTManagerClass() = default;

} // namespace Celdra::TFTManager
