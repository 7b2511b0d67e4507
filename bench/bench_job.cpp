// Writes the job of a large dithered picture and compares the time with a plain copy of the
// resulting file into the same folder. Prints MB/s and the ratio; run it under
// /usr/bin/time -v (bench/bench_job.sh) for the peak memory.
//
//   bench_job [folder] [size]      defaults: the current folder, 10000 (x 10000 pixels)
#include <sys/resource.h>
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

namespace {

using bench::Clock;
using bench::Seconds;
namespace fs = std::filesystem;

// Runs of 1 to 4 pixels, black and white in turn: a fine dither with many short runs.
pyrolith::MonoBitmap DitheredPicture(std::int32_t size)
{
    // Palette indices straight away (0 black, 15 white), so that the picture is the only
    // large allocation besides the writer's.
    std::vector<std::uint8_t> indices(static_cast<std::size_t>(size) *
                                      static_cast<std::size_t>(size));
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
        size, size, std::vector<pyrolith::Rgb>(palette.begin(), palette.end()), std::move(indices));
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

long PeakKilobytes()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv)
{
    const fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::current_path();
    const std::int32_t size = argc > 2 ? std::atoi(argv[2]) : 10000;
    const fs::path job = folder / "bench_job.gcode";
    const fs::path copy = folder / "bench_job_copy.gcode";

    const auto pictureStart = Clock::now();
    const pyrolith::MonoBitmap picture = DitheredPicture(size);
    std::printf("picture %d x %d made in %.2f s, peak memory %ld kB\n", size, size,
                Seconds(pictureStart), PeakKilobytes());
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

    std::printf("job size           %.1f MB\n", megabytes);
    std::printf("text only          %.2f s  %.0f MB/s\n", textSeconds, megabytes / textSeconds);
    std::printf("job file           %.2f s  %.0f MB/s (written, synced, renamed)\n", jobSeconds,
                megabytes / jobSeconds);
    std::printf("cp of the job      %.2f s  %.0f MB/s\n", copySeconds, megabytes / copySeconds);
    std::printf("job file / cp      %.2f\n", jobSeconds / copySeconds);
    std::printf("peak memory        %ld kB (picture included)\n", PeakKilobytes());
    fs::remove(job);
    fs::remove(copy);
    return 0;
}
