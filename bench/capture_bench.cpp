// SPDX-License-Identifier: MIT
// Cost of delivering one good image through the capture callback, against calling the
// application's callback directly. Prints the added nanoseconds and the ratio.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "interface/kovavantorquadrelv3.h"
#include "interface/shared_manager.h"
#include "manager/vantorquadrelv3_manager.h"

namespace {

using nvr::vantorquadrelv3::vantorquadrelv3_manager;
namespace tft = Celdra::TFTManager;

unsigned char frame[3200];

[[gnu::noinline]] void application_callback(unsigned char* pixels, void* context)
{
    benchmark::DoNotOptimize(pixels);
    benchmark::DoNotOptimize(context);
}

void direct_call(benchmark::State& state)
{
    void (*volatile callback)(unsigned char*, void*) = application_callback;
    int context = 0;
    for (auto _ : state) callback(frame, &context);
}
BENCHMARK(direct_call);

void through_command_callback(benchmark::State& state)
{
    auto manager = nvr::vantorquadrelv3::get_shared_manager();
    int context = 0;
    KovaRegisterQuadV3CaptureCallback(0, application_callback, &context);
    tft::TFT_ImageClass image; // the pixel pointer is read, never dereferenced
    tft::TFT_ImageInfoStructure info{};
    void (*volatile deliver)(tft::TFT_ImageClass&, const tft::TFT_ImageInfoStructure*, tft::TFT_Status, void*) =
        vantorquadrelv3_manager::CommandCallback;
    for (auto _ : state) deliver(image, &info, tft::TFT_ERR_OK, manager.get());
    KovaUnRegisterQuadV3CaptureCallback();
}
BENCHMARK(through_command_callback);

// Keeps each benchmark's time per iteration to compare them in the same run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration)
                nanoseconds[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    std::map<std::string, double> nanoseconds;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto direct = reporter.nanoseconds.find("direct_call");
    auto delivered = reporter.nanoseconds.find("through_command_callback");
    if (direct != reporter.nanoseconds.end() && delivered != reporter.nanoseconds.end())
        std::printf("good-image delivery: %.2f ns added per image, %.2fx a direct call\n",
                    delivered->second - direct->second, delivered->second / direct->second);
    benchmark::Shutdown();
    return 0;
}
