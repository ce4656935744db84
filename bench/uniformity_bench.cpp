// SPDX-License-Identifier: MIT
// The uniformity tables against a plain streaming pass over the same bytes (two images read, two
// tables written), each iteration timing both back to back so that the ratio survives a noisy,
// shared machine. Counter x_streaming: the measured code's time over the streaming pass's time;
// x_shipped (straight only): the straight computation's time over the shipped one's.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <random>
#include <vector>

#include "manager/uniformity.h"
#include "platform/compiler.h"

namespace {

namespace uni = nvr::vantorquadrelv3;
using image = std::vector<std::uint16_t>;
constexpr std::size_t n = uni::uniformity_entries;

// Calibration images like a scanner's: an offset per pixel, a gain, a few dark defects.
struct workload {
    image white = image(n), black = image(n), repaired = image(n), work = image(n);
    image gain = image(n), offset = image(n);
    workload()
    {
        std::mt19937 random(42);
        std::normal_distribution<double> spread(0.0, 12.0);
        for (std::size_t j = 0; j < n; ++j) {
            const double level = 90.0 + spread(random);
            black[j] = static_cast<std::uint16_t>(level);
            white[j] = static_cast<std::uint16_t>(level + 780.0 + 2.0 * spread(random));
        }
        for (std::size_t j = 0; j < n; j += 4099) black[j] = 3;
    }
};

workload& data()
{
    static workload instance;
    return instance;
}

// Sixteen samples a step with the widest unit at hand, so that the baseline runs at memory speed
// whatever the optimiser makes of a plain loop.
using lanes = std::uint16_t __attribute__((vector_size(32)));

inline __attribute__((always_inline)) void stream(workload& w)
{
    for (std::size_t j = 0; j < n; j += 16) {
        lanes white, black;
        std::memcpy(&white, w.white.data() + j, sizeof white);
        std::memcpy(&black, w.black.data() + j, sizeof black);
        const lanes difference = white - black, mixed = white ^ black;
        std::memcpy(w.gain.data() + j, &difference, sizeof difference);
        std::memcpy(w.offset.data() + j, &mixed, sizeof mixed);
    }
    benchmark::ClobberMemory();
}

KOVA_TARGET("avx2") void stream_avx2(workload& w) { stream(w); }
void stream_plain(workload& w) { stream(w); }

void streaming_pass(workload& w)
{
    static const bool avx2 = uni::uniformity_kernel_supported(uni::uniformity_kernel::avx2);
    avx2 ? stream_avx2(w) : stream_plain(w);
}

void shipped(workload& w)
{
    uni::compute_uniformity_tables(w.white.data(), w.black.data(), w.gain.data(), w.offset.data());
    benchmark::ClobberMemory();
}

template <uni::uniformity_kernel kernel>
void named_kernel(workload& w)
{
    uni::compute_uniformity_tables(uni::scan_calibration(w.white.data(), w.black.data(), kernel), w.white.data(),
                                   w.black.data(), w.gain.data(), w.offset.data(), kernel);
    benchmark::ClobberMemory();
}

void straight(workload& w)
{
    uni::straight_uniformity_tables(w.white.data(), w.repaired.data(), w.work.data(), w.gain.data(),
                                    w.offset.data());
    benchmark::ClobberMemory();
}

template <class Run>
double seconds(Run run, workload& w)
{
    auto start = std::chrono::steady_clock::now();
    run(w);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Times `measured` per iteration, with the streaming pass (and, if given, a second code) run
// beside it on the same buffers for the ratios.
void compare(benchmark::State& state, void (*measured)(workload&), void (*also)(workload&))
{
    workload& w = data();
    double measured_total = 0, streaming_total = 0, also_total = 0;
    for (auto _ : state) {
        w.repaired = w.black; // the straight computation repairs in place
        streaming_total += seconds(streaming_pass, w);
        if (also) also_total += seconds(also, w);
        const double elapsed = seconds(measured, w);
        measured_total += elapsed;
        state.SetIterationTime(elapsed);
    }
    state.counters["x_streaming"] = measured_total / streaming_total;
    if (also) state.counters["x_shipped"] = measured_total / also_total;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * 4 * n * sizeof(std::uint16_t)));
}

void streaming(benchmark::State& state) { compare(state, streaming_pass, nullptr); }
void shipped_tables(benchmark::State& state) { compare(state, shipped, nullptr); }
void avx2_tables(benchmark::State& state)
{
    if (!uni::uniformity_kernel_supported(uni::uniformity_kernel::avx2)) return state.SkipWithError("no AVX2");
    compare(state, named_kernel<uni::uniformity_kernel::avx2>, nullptr);
}
void portable_tables(benchmark::State& state) { compare(state, named_kernel<uni::uniformity_kernel::portable>, nullptr); }
void straight_tables(benchmark::State& state) { compare(state, straight, shipped); }

BENCHMARK(streaming)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(shipped_tables)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(avx2_tables)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(portable_tables)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(straight_tables)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
