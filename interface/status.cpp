// SPDX-License-Identifier: MIT
// The device library's statuses mapped to the interface's codes, and the texts error lines carry.
#include "interface/status.h"

#include <cstdio>

namespace nvr::vantorquadrelv3 {

KovaStatus map_tft_status(Celdra::TFTManager::TFT_Status status)
{
    static const KovaStatus table[21] = {
        KOVA_OK,           KOVA_INTERNAL,      KOVA_BUSY_DEVICE,        KOVA_DEVICE_UNAVAILABLE,
        KOVA_BAD_STATE,    KOVA_BAD_PARAMETER, KOVA_OUT_OF_RESOURCE,    KOVA_UNPLUGGED,
        KOVA_DEVICE_UNAVAILABLE, KOVA_INTERNAL, KOVA_NOT_SUPPORTED,     KOVA_ASYNC_READ,
        KOVA_INTERNAL,     KOVA_INTERNAL,      KOVA_INTERNAL,           KOVA_INTERNAL,
        KOVA_BROKEN_SCANNER, KOVA_NOT_INITIALIZED, KOVA_DIRTY_DEVICE,   KOVA_BUSY_DEVICE,
        KOVA_INTERNAL};
    auto value = static_cast<std::uint32_t>(status);
    return value <= 20 ? table[value] : KOVA_INTERNAL;
}

ErrorText::ErrorText(KovaStatus code) : buffer{}, text(kova_status_text(code))
{
    if (code == KOVA_BAD_PARAMETER || text == nullptr) {
        std::snprintf(buffer, sizeof buffer, "Error %ld", static_cast<long>(code));
        text = buffer;
    }
}

} // namespace nvr::vantorquadrelv3
