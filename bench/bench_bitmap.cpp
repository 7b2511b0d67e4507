// Reading a 10000 x 8000 24-bit bitmap and making the black-and-white image, side by side
// with ImageMagick doing the same conversion in the same run:
//   convert IN.bmp -dither None -remap PALETTE16.bmp OUT.bmp
// The input is generated in a temporary folder (about 240 MB) and removed at the end.
// Usage: build/bench/bench_bitmap [--benchmark_repetitions=N]

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "image/Bitmap.h"

namespace {

namespace fs = std::filesystem;
using namespace pyrolith;

constexpr std::int32_t kWidth = 10000;
constexpr std::int32_t kHeight = 8000;

struct Files {
    fs::path folder;
    fs::path input;
    fs::path palette;
    fs::path output;
};

// A picture with dark and light regions, gradients and noise, so that neither the
// conversion nor a compressor sees one flat colour.
Files MakeFiles()
{
    Files files;
    files.folder = fs::temp_directory_path() / ("pyrolith-bench-" + std::to_string(::getpid()));
    fs::create_directories(files.folder);
    files.input = files.folder / "in.bmp";
    files.palette = files.folder / "palette16.bmp";
    files.output = files.folder / "out.bmp";

    Bitmap picture;
    picture.width = kWidth;
    picture.height = kHeight;
    picture.bitsPerPixel = 24;
    picture.layout = PixelLayout::Rgb888;
    picture.stride = BitmapRowBytes(kWidth, 24);
    picture.pixels.assign(picture.stride * kHeight, 0);
    std::uint32_t noise = 12345;
    for (std::size_t y = 0; y < kHeight; ++y) {
        std::uint8_t* row = picture.pixels.data() + y * picture.stride;
        for (std::size_t x = 0; x < kWidth; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const auto n = static_cast<int>(noise >> 27); // 0..31
            row[3 * x] = static_cast<std::uint8_t>((x * 255 / kWidth + n) & 0xFF);
            row[3 * x + 1] = static_cast<std::uint8_t>((y * 255 / kHeight + n) & 0xFF);
            row[3 * x + 2] = static_cast<std::uint8_t>(((x + y) / 40 % 2 == 0) ? n : 255 - n);
        }
    }
    WriteBitmap(files.input, picture);

    Bitmap palette;
    palette.width = 16;
    palette.height = 1;
    palette.bitsPerPixel = 24;
    palette.layout = PixelLayout::Rgb888;
    palette.stride = BitmapRowBytes(16, 24);
    palette.pixels.assign(palette.stride, 0);
    for (std::size_t i = 0; i < 16; ++i) {
        const Rgb colour = StandardPalette()[i];
        palette.pixels[3 * i] = colour.b;
        palette.pixels[3 * i + 1] = colour.g;
        palette.pixels[3 * i + 2] = colour.r;
    }
    WriteBitmap(files.palette, palette);

    // Debian's ImageMagick policy caps it at 256 MiB of memory and 1 GiB of disk, too little
    // for 80 million pixels; a policy of its own lets it work in memory like this program.
    const fs::path policy = files.folder / "policy.xml";
    std::FILE* out = std::fopen(policy.c_str(), "w");
    if (out != nullptr) {
        std::fputs("<policymap>\n"
                   "  <policy domain=\"resource\" name=\"memory\" value=\"8GiB\"/>\n"
                   "  <policy domain=\"resource\" name=\"map\" value=\"8GiB\"/>\n"
                   "  <policy domain=\"resource\" name=\"disk\" value=\"16GiB\"/>\n"
                   "  <policy domain=\"resource\" name=\"area\" value=\"1GP\"/>\n"
                   "</policymap>\n",
                   out);
        std::fclose(out);
        ::setenv("MAGICK_CONFIGURE_PATH", files.folder.c_str(), 1);
    }
    return files;
}

bool made = false;

const Files& TheFiles()
{
    static const Files files = MakeFiles();
    made = true;
    return files;
}

double bestOurs = 0;
double bestOursWithWrite = 0;
double bestImageMagick = 0;

void Keep(double& best, double seconds)
{
    if (best == 0 || seconds < best) {
        best = seconds;
    }
}

void BM_ReadAndMakeMonoBitmap(benchmark::State& state)
{
    const Files& files = TheFiles();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const Bitmap source = ReadBitmap(files.input);
        const MonoBitmap mono = MakeMonoBitmap(source);
        benchmark::DoNotOptimize(mono.indices().data());
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(elapsed.count());
        Keep(bestOurs, elapsed.count());
    }
}
BENCHMARK(BM_ReadAndMakeMonoBitmap)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// The same and writing the 4-bit result, as ImageMagick writes its output.
void BM_ReadMakeMonoBitmapAndWrite(benchmark::State& state)
{
    const Files& files = TheFiles();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        WriteBitmap(files.output, MakeMonoBitmap(ReadBitmap(files.input)));
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(elapsed.count());
        Keep(bestOursWithWrite, elapsed.count());
    }
}
BENCHMARK(BM_ReadMakeMonoBitmapAndWrite)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

void BM_ImageMagickRemap(benchmark::State& state)
{
    const Files& files = TheFiles();
    const std::string command = "convert '" + files.input.string() + "' -dither None -remap '" +
                                files.palette.string() + "' '" + files.output.string() + "'";
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int status = std::system(command.c_str());
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        if (status != 0) {
            state.SkipWithError("ImageMagick's convert failed or is missing");
            return;
        }
        state.SetIterationTime(elapsed.count());
        Keep(bestImageMagick, elapsed.count());
    }
}
BENCHMARK(BM_ImageMagickRemap)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (bestImageMagick > 0) {
        std::printf("ImageMagick remap (read, convert, write): %.3f s\n", bestImageMagick);
        if (bestOurs > 0) {
            std::printf("Read + black-and-white image:             %.3f s, ratio ImageMagick / "
                        "ours %.1f\n",
                        bestOurs, bestImageMagick / bestOurs);
        }
        if (bestOursWithWrite > 0) {
            std::printf("Read + black-and-white image + write:     %.3f s, ratio ImageMagick / "
                        "ours %.1f\n",
                        bestOursWithWrite, bestImageMagick / bestOursWithWrite);
        }
    }
    if (made) {
        std::error_code ignored;
        fs::remove_all(TheFiles().folder, ignored);
    }
    return 0;
}
