// SPDX-License-Identifier: MIT
// Shared by the benchmarks that go through the public interface: the stand-in with one scanner,
// the library initialised (log level 0: no file I/O) and the scanner open.
#pragma once

#include <cstdint>

#include "kova_status.h"
#include "kovavantorquadrelv3.h"
#include "simulator/vqsim.h"

// The open handle, or 0 when the scanner could not be opened.
inline std::uint32_t open_stand_in_scanner()
{
    vqsim_reset();
    vqsim_add_sensor("QV3-0001", "QV3-5A1C0042");
    std::uint32_t handle = 0;
    if (KovaInitialize_N(nullptr, 0, 0) != KOVA_OK || KovaOpenDevice("QV3-0001", &handle) != KOVA_OK) return 0;
    return handle;
}
