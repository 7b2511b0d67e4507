// Traces and offsets the outline of a 4000 x 3000 logo for the perimeter cut and compares the
// time with reading the logo's picture file into the job's black-and-white image, in the same
// run. Prints the times and their ratio.
//
//   bench_outline [folder]               default: the current folder (for the PNG written)
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "BenchProcess.h"
#include "image/JobPicture.h"
#include "image/PictureReader.h"
#include "image/PngWriter.h"
#include "image/Resample.h"
#include "outline/CutOutline.h"
#include "settings/JobSettings.h"

namespace {

using bench::Clock;
using bench::Seconds;
namespace fs = std::filesystem;
using namespace pyrolith;

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// The program's own logo, smoothly enlarged to the width and centred on white.
void WriteLogo(const fs::path& path)
{
    const Bitmap logo = ResampleToWidth(
        ReadPicture(fs::path(PYROLITH_SOURCE_DIR) / "src/app/resources/logo.png"), kWidth);
    RgbImage image;
    image.width = kWidth;
    image.height = kHeight;
    image.pixels.assign(static_cast<std::size_t>(kWidth) * kHeight * 3, 255);
    const int top = (kHeight - logo.height) / 2;
    for (int y = 0; y < std::min(logo.height, kHeight); ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const Rgb c = logo.pixel(x, y);
            std::uint8_t* p = image.at(x, y + top);
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
        }
    }
    WritePng(path, image);
}

} // namespace

int main(int argc, char** argv)
{
    const fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::current_path();
    const fs::path png = folder / "bench_outline_logo.png";
    WriteLogo(png);

    JobSettings settings;
    settings.ImageMode = "Threshold";
    settings.Threshold = "128";

    constexpr int kRounds = 5;
    double read = 1e9;
    double trace = 1e9;
    std::size_t shapes = 0;
    std::size_t points = 0;
    for (int round = 0; round < kRounds; ++round) {
        auto start = Clock::now();
        const JobPicture job = ReadJobPicture(png, settings);
        read = std::min(read, Seconds(start));

        outline::BurnedPixels burned;
        burned.width = job.picture.width();
        burned.height = job.picture.height();
        burned.pixels = job.picture.indices().data();
        for (std::size_t i = 0; i < job.picture.palette().size(); ++i) {
            burned.burns[i] = job.picture.palette()[i] == Rgb{0, 0, 0};
        }
        outline::PixelGrid grid;
        grid.width = burned.width;
        grid.height = burned.height;
        grid.pitch = 0.1;
        start = Clock::now();
        const auto outline = outline::PictureOutline(grid, burned, 0.2);
        trace = std::min(trace, Seconds(start));
        shapes = outline.size();
        points = 0;
        for (const auto& shape : outline) {
            points += shape.size();
        }
    }
    fs::remove(png);
    std::printf("logo %d x %d: %zu shapes, %zu points\n", kWidth, kHeight, shapes, points);
    std::printf("read the picture:      %.3f s\n", read);
    std::printf("trace and offset:      %.3f s\n", trace);
    std::printf("ratio trace / read:    %.2f\n", trace / read);
    return 0;
}
