// SPDX-License-Identifier: MIT
// The C interface through RAII (kova.hpp): lists the scanners, opens the first, reads its tables,
// lights a lamp and captures N frames (default 5), printing each frame's mean corrected with the
// tables; any failure is an exception, and everything is undone on the way out.
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "kova.hpp"

int main(int argc, char** argv)
{
    const unsigned wanted = argc > 1 ? static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10)) : 5;
    try {
        kova::Library library;
        std::vector<std::string> ids = library.scanners();
        if (ids.empty()) {
            std::fprintf(stderr, "no scanner\n");
            return 1;
        }
        kova::Scanner scanner(ids.front(), [](KovaStatus code) { std::printf("device event: %lu\n", (unsigned long)code); });
        KovaDeviceInfo info = scanner.info();
        std::printf("%s %s, serial number %s%s\n", kova::field(info.manufacturer).c_str(), kova::field(info.model).c_str(),
                    kova::field(info.serial_number).c_str(), scanner.dirty() ? " (dirty)" : "");

        kova::UniformityTables tables(scanner.handle());
        DevUIRecord lamps{};
        lamps.lamp3_word = 1;
        scanner.lamps(lamps);

        std::mutex mutex;
        std::condition_variable done;
        std::vector<double> means;
        {
            kova::Capture capture(scanner, [&](const std::uint16_t* samples) {
                double sum = 0;
                for (std::size_t i = 0; i < kova::UniformityTables::entries; ++i) {
                    // Gain in 1/1024, offset in 1/64 of a grey level with a bias of 32768.
                    sum += double(samples[i] & 0x3FF) * tables.gain()[i] / 1024.0 +
                           (double(tables.offset()[i]) - 32768.0) / 64.0;
                }
                std::lock_guard<std::mutex> guard(mutex);
                if (means.size() < wanted) means.push_back(sum / kova::UniformityTables::entries);
                done.notify_one();
            });
            std::unique_lock<std::mutex> lock(mutex);
            done.wait(lock, [&] { return means.size() >= wanted; });
        } // capture stopped here, before what the callback uses goes away
        for (std::size_t i = 0; i < means.size(); ++i) std::printf("frame %zu: corrected mean %.1f\n", i + 1, means[i]);
        return 0;
    } catch (const kova::Error& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
