// Writes the Grayscale job of a large grey picture with 256 power levels and compares the
// time with a durable copy of the resulting file (dd conv=fsync) into the same folder, in the
// same run. Prints the times and their ratio.
//
//   bench_grayscale [folder] [size]      defaults: the current folder, 10000 (x 10000 pixels)
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "BenchProcess.h"
#include "CountingSink.h"
#include "gcode/JobContext.h"
#include "gcode/JobSink.h"
#include "gcode/JobWriter.h"
#include "image/GrayLevels.h"

namespace {

using bench::Clock;
using bench::Seconds;
namespace fs = std::filesystem;

// Soft hills of grey with white between them, like a shaded photo: runs of one level from
// a single pixel on the slopes to long ones on the tops and in the white.
pyrolith::GrayRaster GreyPicture(std::int32_t size)
{
    pyrolith::GrayRaster picture;
    picture.width = size;
    picture.height = size;
    picture.pixels.resize(static_cast<std::size_t>(size) * static_cast<std::size_t>(size));
    for (std::int32_t y = 0; y < size; ++y) {
        std::uint8_t* row = picture.pixels.data() + static_cast<std::size_t>(y) * size;
        const double cy = std::cos(y / 53.0);
        for (std::int32_t x = 0; x < size; ++x) {
            const double g = 160 + 140 * std::sin(x / 37.0) * cy;
            row[x] = static_cast<std::uint8_t>(std::fmin(255, std::fmax(0, g)));
        }
    }
    return picture;
}

pyrolith::JobSettings BenchSettings()
{
    // The GRBL example: dynamic power, the power on the move lines.
    pyrolith::JobSettings s;
    s.UseInches = false;
    s.DistPerPixel = "0.1";
    s.HalfStepHeight = false;
    s.Precision = false;
    s.GRBL = true;
    s.LaserOffCommand = "S0";
    s.LaserOnCommand = "S1000";
    s.LaserLowPower = "S10";
    s.StartComment = "; ";
    s.OffSpeed = "3000";
    s.OnSpeed = "1200";
    s.UseXOffset = false;
    s.UseYOffset = false;
    s.Backlash = false;
    s.ImageMode = "Grayscale";
    s.PowerLevels = "256";
    s.Overscan = "2";
    return s;
}

} // namespace

int main(int argc, char** argv)
{
    const fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::current_path();
    const std::int32_t size = argc > 2 ? std::atoi(argv[2]) : 10000;
    const fs::path job = folder / "bench_grayscale.gcode";
    const fs::path copy = folder / "bench_grayscale_copy.gcode";

    const pyrolith::GrayRaster picture = GreyPicture(size);
    const pyrolith::JobSettings settings = BenchSettings();
    pyrolith::JobEnvironment environment;
    environment.versionText = "1.3.0.4";
    environment.imageFileName = "bench.png";

    const auto textStart = Clock::now();
    bench::CountingSink counter;
    pyrolith::WriteJob(counter, pyrolith::MakeJobContext(settings, picture, '.'), settings, picture,
                       environment);
    counter.drain();
    const double textSeconds = Seconds(textStart);

    const auto jobStart = Clock::now();
    pyrolith::WriteJobFile(job, settings, picture, environment);
    const double jobSeconds = Seconds(jobStart);
    const double copySeconds = bench::TimedRun(
        {"dd", "if=" + job.string(), "of=" + copy.string(), "bs=1M", "conv=fsync", "status=none"});
    const double megabytes = static_cast<double>(fs::file_size(job)) / 1e6;

    std::printf("grey picture       %d x %d, 256 power levels\n", size, size);
    std::printf("job size           %.1f MB\n", megabytes);
    std::printf("text only          %.2f s  %.0f MB/s\n", textSeconds, megabytes / textSeconds);
    std::printf("job file           %.2f s  %.0f MB/s\n", jobSeconds, megabytes / jobSeconds);
    std::printf("dd conv=fsync      %.2f s  %.0f MB/s\n", copySeconds, megabytes / copySeconds);
    std::printf("job file / dd      %.2f\n", jobSeconds / copySeconds);
    fs::remove(job);
    fs::remove(copy);
    return 0;
}
