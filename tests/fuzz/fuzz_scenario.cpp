// SPDX-License-Identifier: MIT
// Fuzzing of the stand-in's scenario files: any bytes as a scenario (and their first line as one
// added timeline event) are either refused with TFT_ERR_FILE's code or simulated, and a session on
// top of them answers only codes of the status table.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using kova_fuzz::check;
    kova_fuzz::set_up_process();
    static const std::string file = [] {
        const char* folder = std::getenv("PROGRAMDATA");
        const std::string name = folder != nullptr ? folder : "/tmp";
        std::filesystem::create_directories(name);
        return name + "/scenario.json";
    }();
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (out == nullptr) std::abort();
    if (size != 0 && std::fwrite(data, 1, size, out) != size) std::abort();
    std::fclose(out);

    vqsim_reset();
    vqsim_add_sensor(kova_fuzz::sensor, kova_fuzz::serial);
    // The added event is the input's first line, and at most its first KB: an event is one small
    // object, and the whole input read a second time doubled the cost of every large scenario.
    const char* text = reinterpret_cast<const char*>(data);
    const char* end = text + std::min<std::size_t>(size, 1024);
    const std::string event(text, std::find_if(text, end, [](char c) { return c == '\0' || c == '\n'; }));
    vqsim_add_timeline_event(event.c_str());
    vqsim_use_scenario(file.c_str());
    const KovaStatus started = KovaInitialize_N(nullptr, 0, 0);
    if (started != KOVA_OK && started != KOVA_INTERNAL) {
        std::fprintf(stderr, "initialize with a scenario answered %lu\n", static_cast<unsigned long>(started));
        std::abort();
    }
    if (started == KOVA_OK) {
        // The first listed scanner, opened, captured from and read, whatever the scenario made of it.
        KovaDeviceEntry entries[4];
        std::memset(entries, 0, sizeof entries);
        std::uint32_t count = 4;
        check("KovaGetDeviceList_N", KovaGetDeviceList_N(&count, entries));
        if (count > 0) {
            std::uint32_t handle = 0;
            const KovaStatus opened = KovaOpenDevice(entries[0].sensor_id, &handle);
            check("KovaOpenDevice", opened);
            if (opened == KOVA_OK || opened == KOVA_DIRTY_DEVICE) {
                check("KovaVantorStartVideo", KovaVantorStartVideo(handle));
                KovaDeviceInfo info;
                check("KovaVantorGetDeviceInfo", KovaVantorGetDeviceInfo(handle, &info));
                check("KovaStopVideo", KovaStopVideo(handle));
                check("KovaCloseDevice_N", KovaCloseDevice_N(handle));
            }
        }
    }
    kova_fuzz::finish(); // also forgets the scenario and the added event
    return 0;
}
