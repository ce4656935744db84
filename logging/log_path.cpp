// SPDX-License-Identifier: MIT
// The log's folder under ProgramData, spelled once for the library and its tools.
#include "logging/log_path.h"

#include "platform/platform.h"

namespace nvr::vantorquadrelv3 {

std::string get_program_data_folder()
{
    return platform::program_data_folder();
}

std::string log_folder()
{
    std::string folder = get_program_data_folder();
    folder += platform::path_separator;
    folder += "Celdra";
    folder += platform::path_separator;
    folder += "Nivora SDK";
    folder += platform::path_separator;
    return folder;
}

} // namespace nvr::vantorquadrelv3
