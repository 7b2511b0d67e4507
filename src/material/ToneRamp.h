#pragma once

#include <array>
#include <filesystem>

#include "gcode/JobWriter.h"
#include "image/GrayLevels.h"
#include "settings/JobSettings.h"

namespace pyrolith {

class JobSink;

// The tone ramp card, in millimetres from the top left corner of its frame's outer edge, y
// down: a burned frame with a filled square in its top left inner corner, and inside it one
// row of 16 patches, patch k burned as the grey 255 - 17 k of a grey engraving (patch 0 not
// burned, patch 15 at full power).
namespace ramp {
constexpr int kPatches = 16;
constexpr double kWidth = 116;    // the frame's outer edge
constexpr double kHeight = 22;
constexpr double kFrame = 2;      // the frame's thickness
constexpr double kMarker = 4;     // the corner marker's side, inside the frame's corner
constexpr double kPatchLeft = 10; // the first patch's left edge
constexpr double kPatchTop = 5;
constexpr double kPatchWidth = 6;
constexpr double kPatchHeight = 12;

// The grey patch k is engraved as.
constexpr int PatchGrey(int k)
{
    return 255 - 17 * k;
}
} // namespace ramp

// The share of the grey engraving's power range, from the minimum power (0) to the on
// command's full power (1), each patch burns with the settings' power levels. Throws
// pyrolith::Error when PowerLevels does not read.
std::array<double, ramp::kPatches> RampPatchPowers(const JobSettings& settings);

// The card as a grey picture at the settings' distance per pixel and unit: frame and marker
// black, patches their greys, the rest white. Throws pyrolith::Error when the distance per
// pixel cannot draw it.
GrayRaster ToneRampPicture(const JobSettings& settings, char decimalSeparator);

// The ramp's job: the grey engraving of the card with the settings' power levels, minimum
// power and Laser On speed, whatever their picture mode and without their tone curve.
void WriteToneRampJob(JobSink& sink, const JobSettings& settings,
                      const JobEnvironment& environment);
JobFileSummary WriteToneRampFile(const std::filesystem::path& output, const JobSettings& settings,
                                 const JobEnvironment& environment);

} // namespace pyrolith
