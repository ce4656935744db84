// SPDX-License-Identifier: MIT
// Shared by the fuzz targets: a fresh library and stand-in for each input, and the check that every
// answer is a code of the status table.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "kova_status.h"
#include "kovavantorquadrelv3.h"
#include "simulator/vqsim.h"
#include "tests/support/status_table.h"

namespace kova_fuzz {

constexpr const char* sensor = "QV3-0001";
constexpr const char* serial = "QV3-5A1C0042";

inline void check(const char* call, KovaStatus code)
{
    if (!kova_test::documented_status(code)) {
        std::fprintf(stderr, "%s returned %lu, outside the status table\n", call, static_cast<unsigned long>(code));
        std::abort();
    }
}

// The log goes to memory-backed storage where there is some: every line is flushed to the disk.
inline void set_up_process()
{
    static bool done = false;
    if (done) return;
    done = true;
    const char* folder = std::getenv("KOVA_FUZZ_PROGRAMDATA");
    setenv("PROGRAMDATA", folder != nullptr ? folder : "/dev/shm/kova-fuzz", 1);
}

// One scanner attached, the library initialised at the given level with a small log limit, so that
// rotation happens too. Frames come every millisecond: often enough to race every call, and a
// capture thread rendering without pause would take the core the input runs on.
inline void fresh_library(unsigned level)
{
    set_up_process();
    vqsim_reset();
    vqsim_add_sensor(sensor, serial);
    vqsim_set_frame_interval_us(1000);
    check("KovaInitialize_N", KovaInitialize_N(nullptr, level, 1 << 16));
}

// Terminates and empties the stand-in: whatever the input made is freed within the input, so
// libFuzzer's malloc and free counts agree and it reruns no input to look for a leak.
inline void finish()
{
    check("KovaTerminate", KovaTerminate());
    vqsim_reset();
}

// A string of the input: any bytes but NUL, up to max_length.
inline std::string text(FuzzedDataProvider& input, std::size_t max_length)
{
    std::string bytes = input.ConsumeRandomLengthString(max_length);
    return bytes.substr(0, bytes.find('\0'));
}

} // namespace kova_fuzz
