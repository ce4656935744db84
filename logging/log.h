// SPDX-License-Identifier: MIT
// The one rotating log file: <ProgramData>/Celdra/Nivora SDK/kovavantorquadrelv3.log
#pragma once

#include <string>

#include "logging/log_path.h"
#include "platform/compiler.h"

namespace nvr::vantorquadrelv3 {

// Writes a line when level is not above the manager's log_level. printf conventions.
// Never throws: a line that cannot be written is dropped.
void log_print(int level, const char* format, ...) noexcept KOVA_PRINTF_FORMAT(2, 3);

int log_write_line(const char* text);
int log_open();
void log_rotate(const char* folder);
void log_close();

} // namespace nvr::vantorquadrelv3
