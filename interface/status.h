/* SPDX-License-Identifier: MIT */
// Declarations: the device library's statuses mapped to the interface's codes, and the texts error lines carry.
#pragma once

#include "devicelib/TFTManager.h"
#include "interface/kova_status.h"

namespace nvr::vantorquadrelv3 {

KovaStatus map_tft_status(Celdra::TFTManager::TFT_Status status);

// The text an error line carries for a code; 9109 is written as "Error 9109" in the caller's buffer.
struct ErrorText {
    char buffer[32];
    const char* text;
    explicit ErrorText(KovaStatus code);
    ErrorText(const ErrorText&) = delete;
    ErrorText& operator=(const ErrorText&) = delete;
};

} // namespace nvr::vantorquadrelv3
