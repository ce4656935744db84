// SPDX-License-Identifier: MIT
// The names of the device library's TFT_Status values, each its enumerator's own.
#pragma once

namespace Celdra::TFTManager {

inline constexpr const char* tft_status_names[21] = {
    "TFT_ERR_OK",           "TFT_ERR_FAILED",          "TFT_ERR_ALREADY_OPEN",   "TFT_ERR_NOT_CONNECTED",
    "TFT_ERR_BAD_STATE",    "TFT_ERR_BAD_PARAMETERS",  "TFT_ERR_OUTOFRESOURCES", "TFT_ERR_UNPLUGGED",
    "TFT_ERR_NO_SCANNER",   "TFT_ERR_FILE",            "TFT_ERR_NOT_SUPPORTED",  "TFT_ERR_COM",
    "TFT_MUTEX_TIMEOUT",    "TFT_MISSING_DEPENDENCY",  "TFT_ERR_CRC",            "TFT_ERR_FILE_READ",
    "TFT_ERR_BROKEN_SCANNER", "TFT_ERR_NOT_INITIALIZED", "TFT_ERR_DIRTY_DEVICE", "TFT_ERR_BUSY_DEVICE",
    "TFT_ERR_TOO_BRIGHT"};

} // namespace Celdra::TFTManager
