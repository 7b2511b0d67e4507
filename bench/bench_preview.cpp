// Drawing the toolpath of a job with 10 million moves into a window-sized image, and the
// same job at one pixel per pixel pitch (the longer side capped at 8000 pixels), and the
// burned mark drawn over a drawing as a streamed job advances.
#include <benchmark/benchmark.h>

#include "toolpath/ToolpathPreview.h"

namespace {

using namespace pyrolith::toolpath;

// A raster of 2500 rows at 0.1 mm, 4000 runs a row: burn and laser-off moves alternate.
const JobPreview& TenMillionMoves()
{
    static const JobPreview job = [] {
        JobPreview j;
        for (int row = 0; row < 2500; ++row) {
            const auto y = static_cast<float>(row * 0.1);
            for (int run = 0; run < 2000; ++run) {
                const auto x = static_cast<float>(run * 0.2);
                const auto line = static_cast<std::uint32_t>(row * 2000 + run + 1);
                j.segments.push_back({x, y, x + 0.1f, y, static_cast<float>(run % 256), line});
                j.segments.push_back({x + 0.1f, y, x + 0.2f, y, -1.0f, line});
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

// The burned mark of a quarter second while a job streams, a row of 2000 lines taken, over
// the window-sized drawing: the part to compare with BM_WindowSized.
void BM_BurnedStep(benchmark::State& state)
{
    const JobPreview& job = TenMillionMoves();
    const PreviewView view = FitView(job.bounds, 1e9, 1200);
    pyrolith::RgbImage image = RenderPreview(job, view);
    std::uint64_t step = 0;
    for (auto _ : state) {
        // Rows along the middle of the job, over and over.
        const std::uint64_t taken = 2'000'000 + (step++ % 1000) * 2000;
        DrawBurned(job, view, image, SegmentsThrough(job, taken),
                   SegmentsThrough(job, taken + 2000));
        benchmark::DoNotOptimize(image.pixels.data());
    }
}
BENCHMARK(BM_BurnedStep)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
