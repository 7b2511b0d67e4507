// A 10000 x 8000 JPEG to a Floyd-Steinberg black-and-white bitmap, side by side with
// ImageMagick doing the same in the same run:
//   convert IN.jpg -colorspace Gray -dither FloydSteinberg -monochrome OUT.bmp
// and the core of a threshold change in the window on a 4000 x 3000 picture (the grey levels
// kept, the threshold applied again).
//
//   bench_pictures [folder]              prints the times and their ratio
//   bench_pictures --once IN OUT.bmp MODE   one conversion, for /usr/bin/time -v
//                                           (bench/bench_pictures.sh compares peak memory)
#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "image/Bitmap.h"
#include "image/GrayLevels.h"
#include "image/JobPicture.h"
#include "image/PictureReader.h"
#include "settings/JobSettings.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;
using namespace pyrolith;

double Seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Processor seconds (user and system, every thread) of this process or of its finished
// children: on a busy machine a fairer figure than the wall time.
double ProcessorSeconds(int who)
{
    rusage usage{};
    ::getrusage(who, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

const std::string kConvert = "/usr/bin/convert ";

// Debian's ImageMagick policy refuses a picture of this size (256 MiB of memory); the
// comparison gives it the memory it needs through a policy of its own, as a user with such
// pictures would.
void AllowImageMagickLargePictures(const fs::path& folder)
{
    std::FILE* policy = std::fopen((folder / "policy.xml").string().c_str(), "w");
    if (policy == nullptr) {
        return;
    }
    std::fputs("<policymap>\n"
               "  <policy domain=\"resource\" name=\"memory\" value=\"8GiB\"/>\n"
               "  <policy domain=\"resource\" name=\"map\" value=\"8GiB\"/>\n"
               "  <policy domain=\"resource\" name=\"area\" value=\"4GP\"/>\n"
               "  <policy domain=\"resource\" name=\"disk\" value=\"16GiB\"/>\n"
               "</policymap>\n",
               policy);
    std::fclose(policy);
    ::setenv("MAGICK_CONFIGURE_PATH", folder.string().c_str(), 1);
}

int Run(const std::string& command)
{
    return std::system(command.c_str());
}

// What pyrolith-cli does before it writes the job.
void Convert(const fs::path& in, const fs::path& out, ImageMode mode)
{
    JobSettings settings;
    settings.ImageMode = std::string(ImageModeText(mode));
    WriteBitmap(out, ReadJobPicture(in, settings).picture);
}

} // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc == 5 && std::string(argv[1]) == "--once") {
        Convert(argv[2], argv[3], ParseImageMode(argv[4]).value_or(ImageMode::Palette));
        return 0;
    }
    const fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
    AllowImageMagickLargePictures(folder);
    const fs::path jpeg = folder / "bench-10000x8000.jpg";
    if (!fs::exists(jpeg)) {
        std::printf("making %s ...\n", jpeg.string().c_str());
        if (Run(kConvert +
                "-size 1000x800 plasma:fractal -seed 7 -resize 10000x8000! "
                "-quality 90 '" +
                jpeg.string() + "'") != 0) {
            return 1;
        }
    }

    double loads[3] = {0, 0, 0};
    ::getloadavg(loads, 3);
    auto start = Clock::now();
    const double ourStart = ProcessorSeconds(RUSAGE_SELF);
    Convert(jpeg, folder / "ours.bmp", ImageMode::FloydSteinberg);
    const double ours = Seconds(start);
    const double ourProcessor = ProcessorSeconds(RUSAGE_SELF) - ourStart;

    start = Clock::now();
    const double theirStart = ProcessorSeconds(RUSAGE_CHILDREN);
    if (Run(kConvert + "'" + jpeg.string() +
            "' -colorspace Gray -dither FloydSteinberg -monochrome '" +
            (folder / "imagemagick.bmp").string() + "'") != 0) {
        return 1;
    }
    const double theirs = Seconds(start);
    const double theirProcessor = ProcessorSeconds(RUSAGE_CHILDREN) - theirStart;
    std::printf("JPEG 10000 x 8000 to Floyd-Steinberg bitmap: Pyrolith %.2f s, ImageMagick "
                "%.2f s, ratio %.1f\n",
                ours, theirs, theirs / ours);
    std::printf("  processor time: Pyrolith %.2f s, ImageMagick %.2f s, ratio %.1f "
                "(load average %.2f %.2f %.2f)\n",
                ourProcessor, theirProcessor, theirProcessor / ourProcessor, loads[0], loads[1],
                loads[2]);

    // The window keeps the grey levels of the picture; a new threshold runs only this.
    GrayRaster gray;
    gray.width = 4000;
    gray.height = 3000;
    gray.pixels = PixelBuffer(12'000'000);
    for (std::size_t i = 0; i < gray.pixels.size(); ++i) {
        gray.pixels[i] = static_cast<std::uint8_t>((i * 7 + i / 4000) & 0xFF);
    }
    double best = 1e9;
    for (int threshold = 100; threshold < 110; ++threshold) {
        start = Clock::now();
        const MonoBitmap mono = MonoFromGray(gray, ImageMode::Threshold, threshold);
        best = std::min(best, Seconds(start));
        if (mono.empty()) {
            return 1;
        }
    }
    std::printf("Threshold change on 4000 x 3000 (core part): %.1f ms\n", best * 1000);
    fs::remove(folder / "ours.bmp");
    fs::remove(folder / "imagemagick.bmp");
    return 0;
}
