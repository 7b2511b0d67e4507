// Traces and offsets the outline of a 4000 x 3000 logo for the perimeter cut and compares the
// time with reading the logo's picture file into the job's black-and-white image, in the same
// run. Prints the times and their ratio.
//
//   bench_outline [folder]               default: the current folder (for the PNG written)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "BenchProcess.h"
#include "image/JobPicture.h"
#include "image/PngWriter.h"
#include "outline/CutOutline.h"
#include "settings/JobSettings.h"

namespace {

using bench::Clock;
using bench::Seconds;
namespace fs = std::filesystem;
using namespace pyrolith;

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// A logo of 4000 x 3000 pixels: a ring with a star inside and a wreath of dots, and a word
// of block letters with holes beside it.
void WriteLogo(const fs::path& path)
{
    static const char* const kLetters[5][7] = {
        {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."},
        {"#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."},
        {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"},
        {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."},
        {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}};
    RgbImage image;
    image.width = kWidth;
    image.height = kHeight;
    image.pixels.assign(static_cast<std::size_t>(kWidth) * kHeight * 3, 255);
    const double cx = 1300;
    const double cy = 1500;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const double dx = x - cx;
            const double dy = y - cy;
            const double r = std::hypot(dx, dy);
            const double a = std::atan2(dy, dx);
            bool black = r > 1000 && r < 1150;                     // the ring
            black = black || r < 500 + 250 * std::cos(5 * a);     // the star
            for (int k = 0; k < 16 && !black; ++k) {              // the wreath
                const double t = k * 2 * 3.14159265358979 / 16;
                black = std::hypot(x - (cx + 780 * std::cos(t)), y - (cy + 780 * std::sin(t))) <
                        90;
            }
            const int lx = (x - 2500) / 50; // five letters of 5 x 7 cells of 50 pixels
            const int ly = (y - 1325) / 50;
            if (!black && x >= 2500 && y >= 1325 && lx < 5 * 6 && ly < 7 && lx % 6 < 5) {
                black = kLetters[lx / 6][ly][lx % 6] == '#';
            }
            if (black) {
                std::uint8_t* p = image.at(x, y);
                p[0] = p[1] = p[2] = 0;
            }
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
    if (argc > 2) {
        return 0; // keep the picture to look at
    }
    fs::remove(png);
    std::printf("logo %d x %d: %zu shapes, %zu points\n", kWidth, kHeight, shapes, points);
    std::printf("read the picture:      %.3f s\n", read);
    std::printf("trace and offset:      %.3f s\n", trace);
    std::printf("ratio trace / read:    %.2f\n", trace / read);
    return 0;
}
