// Writes the job of a large dithered picture and compares the time with a plain copy of the
// resulting file into the same folder, and the save with its check (the job read and timed in
// the same pass) with a durable copy of the same bytes (dd conv=fsync). Prints MB/s and the
// ratios; run it under /usr/bin/time -v (bench/bench_job.sh) for the peak memory.
//
//   bench_job [folder] [width] [height]   defaults: the current folder, 10000 x width pixels
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchProcess.h"
#include "CountingSink.h"
#include "gcode/JobContext.h"
#include "gcode/JobSink.h"
#include "gcode/JobWriter.h"
#include "toolpath/JobReadback.h"

namespace {

using bench::Clock;
using bench::Seconds;
namespace fs = std::filesystem;

// Runs of 1 to 4 pixels, black and white in turn: a fine dither with many short runs.
pyrolith::MonoBitmap DitheredPicture(std::int32_t width, std::int32_t height)
{
    // Palette indices straight away (0 black, 15 white), so that the picture is the only
    // large allocation besides the writer's.
    std::vector<std::uint8_t> indices(static_cast<std::size_t>(width) *
                                      static_cast<std::size_t>(height));
    std::uint32_t state = 2463534242u;
    bool black = false;
    std::size_t i = 0;
    while (i < indices.size()) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const std::size_t run = 1 + (state & 3);
        for (std::size_t k = 0; k < run && i < indices.size(); ++k) {
            indices[i++] = black ? 0 : 15;
        }
        black = !black;
    }
    const auto& palette = pyrolith::StandardPalette();
    return pyrolith::MonoBitmap(
        width, height, std::vector<pyrolith::Rgb>(palette.begin(), palette.end()), std::move(indices));
}

pyrolith::JobSettings BenchSettings()
{
    pyrolith::JobSettings s;
    s.UseInches = false;
    s.DistPerPixel = "0.1";
    s.HalfStepHeight = false;
    s.Precision = false;
    s.LaserOffCommand = "M107";
    s.LaserOnCommand = "M106 S255";
    s.LaserLowPower = "M106 S15";
    s.StartComment = "; ";
    s.OffSpeed = "3000";
    s.OnSpeed = "1200";
    s.Backlash = true;
    s.BacklashVal = "0.1";
    return s;
}

} // namespace

int main(int argc, char** argv)
{
    const fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::current_path();
    const std::int32_t width = argc > 2 ? std::atoi(argv[2]) : 10000;
    const std::int32_t height = argc > 3 ? std::atoi(argv[3]) : width;
    const fs::path job = folder / "bench_job.gcode";
    const fs::path copy = folder / "bench_job_copy.gcode";

    const auto pictureStart = Clock::now();
    const pyrolith::MonoBitmap picture = DitheredPicture(width, height);
    std::printf("picture %d x %d made in %.2f s, peak memory %ld kB\n", width, height,
                Seconds(pictureStart), bench::PeakKilobytes());
    const pyrolith::JobSettings settings = BenchSettings();
    pyrolith::JobEnvironment environment;
    environment.versionText = "1.3.0.4";
    environment.imageFileName = "bench.bmp";

    const auto textStart = Clock::now();
    bench::CountingSink counter;
    const pyrolith::JobContext context = pyrolith::MakeJobContext(settings, picture, '.');
    pyrolith::WriteJob(counter, context, settings, picture, environment);
    counter.drain();
    const double textSeconds = Seconds(textStart);
    const double megabytes = static_cast<double>(counter.bytes()) / 1e6;

    const auto jobStart = Clock::now();
    pyrolith::WriteJobFile(job, settings, picture, environment);
    const double jobSeconds = Seconds(jobStart);
    const double copySeconds = bench::TimedRun({"cp", job.string(), copy.string()});
    fs::remove(copy);

    // The save as the command line and the window make it, side by side with dd writing the
    // same bytes durably.
    const auto savedStart = Clock::now();
    const pyrolith::toolpath::SavedJob saved =
        pyrolith::toolpath::SaveJob(job, settings, picture, environment);
    const double savedSeconds = Seconds(savedStart);
    const double ddSeconds = bench::TimedRun(
        {"dd", "if=" + job.string(), "of=" + copy.string(), "bs=1M", "conv=fsync", "status=none"});

    std::printf("job size           %.1f MB\n", megabytes);
    std::printf("text only          %.2f s  %.0f MB/s\n", textSeconds, megabytes / textSeconds);
    std::printf("job file           %.2f s  %.0f MB/s (written, synced, renamed)\n", jobSeconds,
                megabytes / jobSeconds);
    std::printf("cp of the job      %.2f s  %.0f MB/s\n", copySeconds, megabytes / copySeconds);
    std::printf("job file / cp      %.2f\n", jobSeconds / copySeconds);
    std::printf("save with check    %.2f s  %.0f MB/s (estimate %s, %llu refused lines)\n",
                savedSeconds, megabytes / savedSeconds,
                pyrolith::toolpath::DurationText(saved.estimate.times.seconds).c_str(),
                static_cast<unsigned long long>(saved.estimate.problemCount));
    std::printf("dd conv=fsync      %.2f s  %.0f MB/s\n", ddSeconds, megabytes / ddSeconds);
    std::printf("save / dd          %.2f\n", savedSeconds / ddSeconds);
    std::printf("peak memory        %ld kB (picture included)\n", bench::PeakKilobytes());
    fs::remove(job);
    fs::remove(copy);
    return 0;
}
