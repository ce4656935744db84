// SPDX-License-Identifier: MIT
// The whole public call that reads the uniformity tables from the stand-in, against a pass that
// allocates, writes and frees the same bytes (two images handed over, two tables handed out), timed
// back to back in each iteration. Counter x_allocating_pass: the call's time over the pass's.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/bench_support.h"

namespace {

constexpr std::size_t table_bytes = KOVA_UNIFORMITY_TABLE_ENTRIES * sizeof(std::uint16_t);

void allocating_pass()
{
    void* blocks[4];
    for (int i = 0; i < 4; ++i) {
        blocks[i] = std::malloc(table_bytes);
        std::memset(blocks[i], i + 1, table_bytes);
    }
    benchmark::DoNotOptimize(blocks);
    benchmark::ClobberMemory();
    for (void* block : blocks) std::free(block);
}

template <class Run>
double seconds(Run run)
{
    auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void read_tables(benchmark::State& state)
{
    const std::uint32_t handle = open_stand_in_scanner();
    if (handle == 0) return state.SkipWithError("no scanner");
    std::uint16_t *gain = nullptr, *offset = nullptr;
    auto call = [&] {
        if (KovaVantorQuadrelReadUniformityBuffers(handle, &gain, &offset) != KOVA_OK) std::abort();
        KovaQuadV3FreeUniformityBuffers(handle, &gain, &offset);
    };
    call(); // the stand-in makes the sensor's images once
    double call_total = 0, pass_total = 0;
    for (auto _ : state) {
        pass_total += seconds(allocating_pass);
        const double elapsed = seconds(call);
        call_total += elapsed;
        state.SetIterationTime(elapsed);
    }
    state.counters["x_allocating_pass"] = call_total / pass_total;
    KovaCloseDevice_N(handle);
    KovaTerminate();
}

BENCHMARK(read_tables)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
