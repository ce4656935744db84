// SPDX-License-Identifier: MIT
// From a device event to the return of the status call that reports it, against a bare condition
// variable hand-off between two threads, sampled alternately in the same run. Counters: median and
// 99th percentile of each in microseconds, and x_handoff, the medians' ratio.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "bench/bench_support.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int samples = 2000;

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

// A waiter that records when it woke; the sender records when it sent.
struct Waiter {
    std::mutex mutex;
    std::condition_variable changed;
    bool pending = false;
    bool waiting = false;
    Clock::time_point woke;
    std::atomic<int> answers{0};
};

double bare_handoff(Waiter& w)
{
    {
        std::unique_lock<std::mutex> lock(w.mutex);
        w.changed.wait(lock, [&] { return w.waiting; });
    }
    const int before = w.answers.load();
    const Clock::time_point sent = Clock::now();
    {
        std::lock_guard<std::mutex> guard(w.mutex);
        w.pending = true;
    }
    w.changed.notify_one();
    while (w.answers.load() == before) std::this_thread::yield();
    std::lock_guard<std::mutex> guard(w.mutex);
    return std::chrono::duration<double, std::micro>(w.woke - sent).count();
}

void event_to_status(benchmark::State& state)
{
    const std::uint32_t handle = open_stand_in_scanner();
    if (handle == 0) return state.SkipWithError("no scanner");
    for (auto _ : state) {
        std::vector<double> library, bare;
        // The status thread of an application.
        Waiter status;
        std::atomic<bool> done{false};
        std::thread status_thread([&] {
            while (!done.load()) {
                {
                    std::lock_guard<std::mutex> guard(status.mutex);
                    status.waiting = true;
                }
                status.changed.notify_all();
                KovaGetStatus(handle);
                std::lock_guard<std::mutex> guard(status.mutex);
                status.waiting = false;
                status.woke = Clock::now();
                status.answers.fetch_add(1);
            }
        });
        // The same shape with nothing but a condition variable between the two threads.
        Waiter plain;
        std::thread plain_thread([&] {
            std::unique_lock<std::mutex> lock(plain.mutex);
            while (!done.load()) {
                plain.waiting = true;
                plain.changed.notify_all();
                plain.changed.wait(lock, [&] { return plain.pending || done.load(); });
                plain.pending = false;
                plain.waiting = false;
                plain.woke = Clock::now();
                plain.answers.fetch_add(1);
            }
        });
        for (int i = 0; i < samples; ++i) {
            {
                std::unique_lock<std::mutex> lock(status.mutex);
                status.changed.wait(lock, [&] { return status.waiting; });
            }
            // Give the status call time to reach its wait (the event is kept if it has not).
            std::this_thread::sleep_for(std::chrono::microseconds(50));
            const int before = status.answers.load();
            const Clock::time_point sent = Clock::now();
            vqsim_usb_event("QV3-5A1C0042", 0, 1); // plugged: the status call answers 0
            while (status.answers.load() == before) std::this_thread::yield();
            {
                std::lock_guard<std::mutex> guard(status.mutex);
                library.push_back(std::chrono::duration<double, std::micro>(status.woke - sent).count());
            }
            std::this_thread::sleep_for(std::chrono::microseconds(50));
            bare.push_back(bare_handoff(plain));
        }
        done = true;
        KovaCloseDevice_N(handle); // wakes the status call for good
        {
            std::lock_guard<std::mutex> guard(plain.mutex);
            plain.pending = true;
        }
        plain.changed.notify_all();
        status_thread.join();
        plain_thread.join();
        state.counters["library_median_us"] = percentile(library, 0.5);
        state.counters["library_p99_us"] = percentile(library, 0.99);
        state.counters["handoff_median_us"] = percentile(bare, 0.5);
        state.counters["handoff_p99_us"] = percentile(bare, 0.99);
        state.counters["x_handoff"] = percentile(library, 0.5) / percentile(bare, 0.5);
    }
    KovaTerminate();
}

BENCHMARK(event_to_status)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
