#include "material/ToneRamp.h"

#include <cmath>
#include <string>

#include "common/Error.h"
#include "common/NumberText.h"
#include "common/TextEncoding.h"
#include "gcode/JobChecks.h"
#include "gcode/JobContext.h"
#include "gcode/JobSink.h"
#include "gcode/LaserPower.h"

namespace pyrolith {
namespace {

// The ramp is made for grey engraving: its settings without the tone curve it measures.
JobSettings RampSettings(const JobSettings& settings)
{
    JobSettings ramp = settings;
    ramp.ToneCurve.clear();
    ramp.IncludeCut = false; // a card is burned once, and not cut out
    ramp.RepeatImage = false;
    return ramp;
}

JobEnvironment RampEnvironment(const JobEnvironment& environment)
{
    JobEnvironment ramp = environment;
    ramp.imageFileName = "Tone ramp";
    ramp.jobNote = "Tone ramp: 16 patches from no power to full power in a frame, for "
                   "Measure tone";
    return ramp;
}

} // namespace

std::array<double, ramp::kPatches> RampPatchPowers(const JobSettings& settings)
{
    // The levels as the grey engraving takes them; the commands themselves are not needed.
    JobSettings levelsOnly = settings;
    levelsOnly.MinPower = "0";
    const std::vector<std::string> commands = PowerCommands(levelsOnly, "M3 S1", '.');
    const int levels = static_cast<int>(commands.size());
    const auto table = GreyLevelTable(levels);
    std::array<double, ramp::kPatches> powers{};
    for (int k = 0; k < ramp::kPatches; ++k) {
        powers[static_cast<std::size_t>(k)] =
            table[static_cast<std::size_t>(ramp::PatchGrey(k))] / static_cast<double>(levels - 1);
    }
    return powers;
}

GrayRaster ToneRampPicture(const JobSettings& settings, char decimalSeparator)
{
    const double pitch = MyStrtoFloat(settings.DistPerPixel, decimalSeparator);
    const double pitchMm = pitch * (settings.UseInches ? 25.4 : 1.0);
    // The frame needs two pixels at least, and a picture of more than 5000 pixels across is
    // a typing error.
    if (!(pitchMm > 0) || pitchMm > ramp::kFrame / 2 || ramp::kWidth / pitchMm > 5000) {
        throw Error("Tone ramp: the distance per pixel must lie between 0.0232 mm and 1 mm",
                    "DistPerPixel");
    }
    GrayRaster picture;
    picture.width = static_cast<std::int32_t>(std::lround(ramp::kWidth / pitchMm));
    picture.height = static_cast<std::int32_t>(std::lround(ramp::kHeight / pitchMm));
    picture.pixels = PixelBuffer(static_cast<std::size_t>(picture.width) *
                                 static_cast<std::size_t>(picture.height));
    const auto inside = [](double v, double from, double to) { return v >= from && v < to; };
    for (std::int32_t r = 0; r < picture.height; ++r) {
        const double y = (r + 0.5) * pitchMm;
        for (std::int32_t c = 0; c < picture.width; ++c) {
            const double x = (c + 0.5) * pitchMm;
            int grey = 255;
            const bool frame = !inside(x, ramp::kFrame, ramp::kWidth - ramp::kFrame) ||
                               !inside(y, ramp::kFrame, ramp::kHeight - ramp::kFrame);
            const bool marker = inside(x, ramp::kFrame, ramp::kFrame + ramp::kMarker) &&
                                inside(y, ramp::kFrame, ramp::kFrame + ramp::kMarker);
            if (frame || marker) {
                grey = 0;
            } else if (inside(y, ramp::kPatchTop, ramp::kPatchTop + ramp::kPatchHeight) &&
                       inside(x, ramp::kPatchLeft,
                              ramp::kPatchLeft + ramp::kPatches * ramp::kPatchWidth)) {
                grey = ramp::PatchGrey(
                    static_cast<int>((x - ramp::kPatchLeft) / ramp::kPatchWidth));
            }
            picture.pixels[static_cast<std::size_t>(r) * static_cast<std::size_t>(picture.width) +
                           static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(grey);
        }
    }
    return picture;
}

void WriteToneRampJob(JobSink& sink, const JobSettings& settings,
                      const JobEnvironment& environment)
{
    const JobSettings ramp = RampSettings(settings);
    const GrayRaster picture = ToneRampPicture(ramp, environment.decimalSeparator);
    CheckJobNumbers(ramp, picture, environment.decimalSeparator);
    const JobContext context = MakeJobContext(ramp, picture, environment.decimalSeparator);
    WriteJob(sink, context, ramp, picture, RampEnvironment(environment));
}

JobFileSummary WriteToneRampFile(const std::filesystem::path& output, const JobSettings& settings,
                                 const JobEnvironment& environment)
{
    const JobSettings ramp = RampSettings(settings);
    return WriteJobFile(output, ramp, ToneRampPicture(ramp, environment.decimalSeparator),
                        RampEnvironment(environment));
}

} // namespace pyrolith
