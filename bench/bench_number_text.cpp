// ns per number of the G-code number form, which runs for every coordinate of a job.
#include <benchmark/benchmark.h>

#include <charconv>
#include <vector>

#include "common/NumberText.h"

namespace {

std::vector<double> Coordinates()
{
    std::vector<double> values;
    for (int i = 0; i < 4096; ++i) {
        values.push_back(100.0 + i * 0.1);  // offset + count x pitch, as the raster pass makes
    }
    return values;
}

void BM_GcodeNumber(benchmark::State& state)
{
    const auto values = Coordinates();
    char buffer[pyrolith::kNumberBufferSize];
    std::size_t i = 0;
    for (auto _ : state) {
        char* end = pyrolith::WriteGcodeNumber(buffer, values[i++ & 4095]);
        benchmark::DoNotOptimize(end);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<long>(state.iterations()));
}
BENCHMARK(BM_GcodeNumber);

void BM_PlainNumber(benchmark::State& state)
{
    const auto values = Coordinates();
    char buffer[pyrolith::kNumberBufferSize];
    std::size_t i = 0;
    for (auto _ : state) {
        char* end = pyrolith::WritePlainNumber(buffer, values[i++ & 4095], 12);
        benchmark::DoNotOptimize(end);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<long>(state.iterations()));
}
BENCHMARK(BM_PlainNumber);

// For scale: the shortest round-trip text of the same values, no rounding work.
void BM_ToCharsShortest(benchmark::State& state)
{
    const auto values = Coordinates();
    char buffer[64];
    std::size_t i = 0;
    for (auto _ : state) {
        auto result = std::to_chars(buffer, buffer + sizeof buffer, values[i++ & 4095]);
        benchmark::DoNotOptimize(result.ptr);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ToCharsShortest);

}  // namespace

BENCHMARK_MAIN();
