// Drawing the toolpath of a job with 10 million moves into a window-sized image, and the
// same job at one pixel per pixel pitch (the longer side capped at 8000 pixels).
#include <benchmark/benchmark.h>

#include "toolpath/ToolpathPreview.h"

namespace {

using namespace pyrolith::toolpath;

// A raster of 2500 rows at 0.1 mm, 4000 runs a row: burn and laser-off moves alternate.
const JobPreview& TenMillionMoves()
{
    static const JobPreview job = [] {
        JobPreview j;
        j.segments.reserve(10'000'000);
        for (int row = 0; row < 2500; ++row) {
            const auto y = static_cast<float>(row * 0.1);
            for (int run = 0; run < 2000; ++run) {
                const auto x = static_cast<float>(run * 0.2);
                j.segments.push_back({x, y, x + 0.1f, y, static_cast<float>(run % 256), 0});
                j.segments.push_back({x + 0.1f, y, x + 0.2f, y, -1.0f, 0});
            }
        }
        j.bounds = {0.0, 0.0, 400.0, 250.0, false};
        j.maxPower = 255.0;
        return j;
    }();
    return job;
}

void BM_WindowSized(benchmark::State& state)
{
    const JobPreview& job = TenMillionMoves();
    const PreviewView view = FitView(job.bounds, 1e9, 1200);
    for (auto _ : state) {
        benchmark::DoNotOptimize(RenderPreview(job, view).pixels.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long>(job.segments.size()));
}
BENCHMARK(BM_WindowSized)->Unit(benchmark::kMillisecond);

void BM_PixelPerPitch(benchmark::State& state)
{
    const JobPreview& job = TenMillionMoves();
    const PreviewView view = FitView(job.bounds, 10.0, 8000);
    for (auto _ : state) {
        benchmark::DoNotOptimize(RenderPreview(job, view).pixels.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long>(job.segments.size()));
}
BENCHMARK(BM_PixelPerPitch)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
