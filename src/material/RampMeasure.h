#pragma once

#include <array>
#include <filesystem>
#include <vector>

#include "image/GrayLevels.h"
#include "image/ToneCurve.h"
#include "material/ToneRamp.h"
#include "settings/JobSettings.h"

namespace pyrolith {

// What a photo of a burned tone ramp says.
struct RampReading {
    // The share of the power range each patch was burned with (RampPatchPowers).
    std::array<double, ramp::kPatches> powers{};
    // Each patch's tone: 255 the unburned patch, 0 the darkest.
    std::array<double, ramp::kPatches> tones{};
    // The curve from the picture's grey to the power that burns it.
    std::vector<TonePoint> curve;
};

// The messages of a photo that cannot be read.
inline constexpr const char* kRampFrameNotFound =
    "The ramp's frame was not found: photograph the whole card, flat, in even light";
inline constexpr const char* kRampTooDark =
    "The photo is too dark to read the ramp: photograph the card in brighter, even light";
inline constexpr const char* kRampNotBurned =
    "The ramp's patches do not darken: the laser did not burn them (check the power)";

// Reads the ramp in a photo or scan of any size, at any rotation and moderate perspective:
// finds the frame and its corner marker, maps the card onto the photo, takes a robust mean
// of each patch's inner 60 %, normalises to the unburned patch (white) and the darkest
// patch (black) and builds the curve (ToneCurveFromTones). Throws pyrolith::Error with one
// of the messages above when the photo cannot be read; never fails otherwise, whatever the
// picture holds.
RampReading MeasureRamp(const GrayRaster& photo,
                        const std::array<double, ramp::kPatches>& powers);

// The picture file read (any format this build reads) and measured with the patch powers
// of the settings.
RampReading MeasureRampFile(const std::filesystem::path& photo, const JobSettings& settings);

// The monotone curve from grey to power of the measured tones: the tones up to the darkest
// patch made non-increasing (pooled where they rise), the power of a grey g the least power
// whose tone, linear between the patches, is g or darker; the greys where that changes
// course, flat parts merged, white (255) at no power.
std::vector<TonePoint> ToneCurveFromTones(const std::array<double, ramp::kPatches>& powers,
                                          const std::array<double, ramp::kPatches>& tones);

} // namespace pyrolith
