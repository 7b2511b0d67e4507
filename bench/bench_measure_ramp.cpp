// Measuring the tone ramp in a 12-megapixel phone photo (4000 x 3000 JPEG), side by side with
// reading that photo in the same run: the measurement should take well under a second, a
// small multiple of the reading at most.
//
//   bench_measure_ramp [folder]   prints the times and their ratio
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "../tests/support/SyntheticRamp.h"
#include "common/Error.h"
#include "image/PictureReader.h"
#include "material/RampMeasure.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;
using namespace pyrolith;

double Seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The photo as a grey PGM, turned into a JPEG by ImageMagick, as a phone would store it.
bool WritePhoto(const GrayRaster& photo, const fs::path& jpeg)
{
    const fs::path pgm = fs::path(jpeg).replace_extension(".pgm");
    std::FILE* file = std::fopen(pgm.string().c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const std::string header =
        "P5 " + std::to_string(photo.width) + " " + std::to_string(photo.height) + " 255\n";
    std::fwrite(header.data(), 1, header.size(), file);
    std::fwrite(photo.pixels.data(), 1, photo.pixels.size(), file);
    std::fclose(file);
    const std::string command =
        "/usr/bin/convert '" + pgm.string() + "' -quality 90 '" + jpeg.string() + "'";
    const bool made = std::system(command.c_str()) == 0;
    fs::remove(pgm);
    return made;
}

} // namespace

int main(int argc, char** argv)
{
    const fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
    const fs::path jpeg = folder / "bench-ramp-photo.jpg";
    test::RampPhoto photo;
    photo.width = 4000;
    photo.height = 3000;
    photo.pixelsPerMm = 28;
    photo.degrees = 7;
    photo.tiltX = 0.00004;
    photo.tiltY = -0.00003;
    for (std::size_t k = 0; k < photo.powers.size(); ++k) {
        photo.powers[k] = static_cast<double>(k) / 15;
    }
    photo.response = [](double u) { return 1 / (1 + std::exp((u - 0.4) / 0.06)); };
    if (!WritePhoto(photo.render(), jpeg)) {
        std::fprintf(stderr, "could not write %s (ImageMagick's convert is needed)\n",
                     jpeg.string().c_str());
        return 1;
    }
    double read = 1e9;
    double measure = 1e9;
    try {
        for (int round = 0; round < 3; ++round) {
            Clock::time_point start = Clock::now();
            const GrayRaster grey = ReadPictureGrayLevels(jpeg);
            read = std::min(read, Seconds(start));
            start = Clock::now();
            const RampReading reading = MeasureRamp(grey, photo.powers);
            measure = std::min(measure, Seconds(start));
            if (reading.curve.size() < 2) {
                std::fprintf(stderr, "no curve\n");
                return 1;
            }
        }
    } catch (const Error& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    fs::remove(jpeg);
    std::printf("read the 4000 x 3000 JPEG:   %.3f s\n", read);
    std::printf("measure the ramp in it:      %.3f s\n", measure);
    std::printf("measure / read:              %.2f\n", measure / read);
    std::printf("read + measure:              %.3f s (target under 1 s)\n", read + measure);
    return 0;
}
