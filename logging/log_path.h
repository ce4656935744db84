// SPDX-License-Identifier: MIT
// Where the log file lies: the library writes there, and the capture tool tells its user so.
#pragma once

#include <string>

namespace nvr::vantorquadrelv3 {

// The machine-wide data folder (ProgramData); empty if unknown.
std::string get_program_data_folder();

// The log's folder, with its trailing separator.
std::string log_folder();

inline constexpr const char* log_file_name = "kovavantorquadrelv3.log";
inline constexpr const char* log_predecessor_name = "kovavantorquadrelv3_2.log";

} // namespace nvr::vantorquadrelv3
