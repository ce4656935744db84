// SPDX-License-Identifier: MIT
// Capture parameters, one identifier at a time; the device library keeps them.
#include "interface/status.h"
#include "logging/log.h"
#include "manager/vantorquadrelv3_manager.h"

namespace nvr::vantorquadrelv3 {

KovaStatus vantorquadrelv3_manager::get_cmd_parameter(std::uint32_t handle, std::uint8_t parameter_id,
                                                      std::uint32_t* value)
{
    static const char* const name = "get_cmd_parameter";
    return run_operation(name, [&] {
        if (value == nullptr) return refuse(name, KOVA_BAD_PARAMETER);
        tft::ParameterPair parameter(parameter_id, 0);
        tft::TFT_Status status = tft::TFTManagerClass::get_instance()->get_capture_param(handle, parameter);
        if (status == tft::TFT_ERR_OK)
            *value = parameter.second;
        else
            log_print(3, "get_cmd_parameter TFTManager get_capture_param:    Error=%d\r\n", static_cast<int>(status));
        return map_tft_status(status);
    });
}

KovaStatus vantorquadrelv3_manager::set_cmd_parameter(std::uint32_t handle, std::uint8_t parameter_id,
                                                      std::uint32_t value)
{
    return run_operation("set_cmd_parameter", [&] {
        std::vector<tft::ParameterPair> parameters{tft::ParameterPair(parameter_id, value)};
        tft::TFT_Status status = tft::TFTManagerClass::get_instance()->set_capture_params(handle, parameters);
        if (status != tft::TFT_ERR_OK)
            log_print(3, "set_cmd_parameter TFTManager set_capture_params:    Error=%d\r\n",
                      static_cast<int>(status));
        return map_tft_status(status);
    });
}

} // namespace nvr::vantorquadrelv3
