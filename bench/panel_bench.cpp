// SPDX-License-Identifier: MIT
// The stand-in's live frames with the panel open and a page-like client fetching its state and
// frame pictures all the time, against the same frames with no panel, alternately in one run.
// Counter x_without_panel: the time per frame with the panel over the time without it.
#include <benchmark/benchmark.h>

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "bench/bench_support.h"

namespace {

struct Counter {
    std::mutex mutex;
    std::condition_variable changed;
    unsigned long long frames = 0;
    static void deliver(unsigned char*, void* context)
    {
        auto& self = *static_cast<Counter*>(context);
        std::lock_guard<std::mutex> guard(self.mutex);
        ++self.frames;
        self.changed.notify_all();
    }
};

constexpr unsigned long long frames_per_run = 60;

// Seconds per frame over one run of capture at full speed.
double capture_run(std::uint32_t handle, Counter& counter)
{
    std::unique_lock<std::mutex> lock(counter.mutex);
    const unsigned long long start = counter.frames;
    lock.unlock();
    const auto started = std::chrono::steady_clock::now();
    KovaVantorStartVideo(handle);
    lock.lock();
    counter.changed.wait(lock, [&] { return counter.frames >= start + frames_per_run; });
    lock.unlock();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    KovaStopVideo(handle);
    return seconds / frames_per_run;
}

void frames_with_and_without_panel(benchmark::State& state)
{
    const std::uint32_t handle = open_stand_in_scanner();
    if (handle == 0) return state.SkipWithError("no scanner");
    vqsim_set_frame_interval_us(0);
    Counter counter;
    KovaRegisterQuadV3CaptureCallback(handle, Counter::deliver, &counter);
    double with_panel = 0, without_panel = 0;
    bool panel_first = false;
    for (auto _ : state) {
        // Alternately first and second, so that neither gains from the order.
        if (!panel_first) without_panel += capture_run(handle, counter);
        const int port = vqsim_start_panel("127.0.0.1:0");
        if (port < 0) return state.SkipWithError("no panel");
        std::atomic<bool> done{false};
        std::thread page([&] {
            httplib::Client client("127.0.0.1", port);
            while (!done.load()) {
                client.Get("/state");
                client.Get("/frame?sensor=QV3-0001");
            }
        });
        with_panel += capture_run(handle, counter);
        done = true;
        page.join();
        vqsim_stop_panel();
        if (panel_first) without_panel += capture_run(handle, counter);
        panel_first = !panel_first;
    }
    KovaUnRegisterQuadV3CaptureCallback();
    KovaCloseDevice_N(handle);
    KovaTerminate();
    const double runs = static_cast<double>(state.iterations());
    state.counters["ms_per_frame_without_panel"] = without_panel / runs * 1e3;
    state.counters["ms_per_frame_with_panel"] = with_panel / runs * 1e3;
    state.counters["x_without_panel"] = with_panel / without_panel;
}
BENCHMARK(frames_with_and_without_panel)->Iterations(6)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
