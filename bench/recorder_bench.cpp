// SPDX-License-Identifier: MIT
// What the recorder adds to a frame's delivery: the application's callback called through the
// recorder's frame path against the same callback called directly, alternately in the same run.
// Counters: the nanoseconds per frame of each, their difference (added_ns) and ratio (x_direct).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>

#include "simulator/recorder/frame_path.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace Celdra::TFTManager;

std::uint64_t delivered = 0;

void application(TFT_ImageClass&, const TFT_ImageInfoStructure* info, TFT_Status, void* context)
{
    delivered += info->frame_number + (context != nullptr ? 1u : 0u);
}

// The device library's side of one delivery: an indirect call it cannot see through.
CaptureCallback volatile direct = &application;
CaptureCallback volatile recorded = &vqrec::deliver;

void frame_delivery(benchmark::State& state)
{
    constexpr int frames = 100000;
    TFT_ImageClass image;
    TFT_ImageInfoStructure info{7, 1600, 1500, 3200, 4, {}};
    vqrec::Track track("QV3-0001");
    vqrec::Capture capture{&application, &track, &track};
    double direct_ns = 0, recorded_ns = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        for (int i = 0; i < frames; ++i) direct(image, &info, TFT_ERR_OK, &track);
        const auto middle = Clock::now();
        for (int i = 0; i < frames; ++i) recorded(image, &info, TFT_ERR_OK, &capture);
        const auto end = Clock::now();
        direct_ns += std::chrono::duration<double, std::nano>(middle - start).count() / frames;
        recorded_ns += std::chrono::duration<double, std::nano>(end - middle).count() / frames;
    }
    benchmark::DoNotOptimize(delivered);
    const double runs = static_cast<double>(state.iterations());
    state.counters["direct_ns"] = direct_ns / runs;
    state.counters["recorded_ns"] = recorded_ns / runs;
    state.counters["added_ns"] = (recorded_ns - direct_ns) / runs;
    state.counters["x_direct"] = recorded_ns / direct_ns;
}
BENCHMARK(frame_delivery)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
