#include "gcode/JobChecks.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>

#include "common/Error.h"
#include "common/NumberText.h"
#include "common/TextEncoding.h"
#include "gcode/CutPass.h"
#include "gcode/LaserPower.h"
#include "image/ToneCurve.h"
#include "outline/CutOutline.h"

namespace pyrolith {
namespace {

// No coordinate of a job reaches this size: it keeps every coordinate in plain notation
// with room to spare (a thousand kilometres in millimetres).
constexpr double kLargestCoordinate = 1e9;
// Neighbouring pixels must differ by this part of the largest coordinate, well inside the
// 12 significant digits a coordinate is written with; and by this much at least, since
// coordinates below 1e-10 are written as 0.
constexpr double kSmallestStep = 1e-9;

const char* const kPlainHint = " (digits with at most one \".\")";
const char* const kSignedHint = " (digits with at most one \".\", \"-\" in front when negative)";

// "<where the field is>: '<text>' <what is wrong>", the field named as the window labels it.
[[noreturn]] void Refuse(std::string_view key, std::string_view label, std::string_view text,
                         std::string_view problem)
{
    std::string message(label);
    message += ": '";
    message += text;
    message += "' ";
    message += problem;
    throw Error(message, std::string(key));
}

std::string_view TrimBlanks(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}


bool IsPositive(std::string_view text)
{
    return text.find_first_of("123456789") != std::string_view::npos;
}

void CheckOffset(std::string_view key, std::string_view label, const std::string& text,
                 char decimalSeparator)
{
    const auto value = ReadTypedNumber(text, decimalSeparator);
    if (!value) {
        Refuse(key, label, text, "is not a number");
    }
    if (!(std::fabs(*value) < kLargestCoordinate)) {
        Refuse(key, label, text, "is too large for a coordinate");
    }
}

void CheckSpeed(std::string_view key, std::string_view label, const std::string& text)
{
    const std::string_view trimmed = TrimBlanks(text);
    if (!IsPlainGcodeNumber(trimmed, false) || !IsPositive(trimmed)) {
        Refuse(key, label, text, std::string("is not a speed greater than 0") + kPlainHint);
    }
}

} // namespace

bool IsPlainGcodeNumber(std::string_view text, bool signedAllowed)
{
    if (signedAllowed && !text.empty() && text.front() == '-') {
        text.remove_prefix(1);
    }
    bool digit = false;
    bool point = false;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            digit = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digit;
}

void CheckJobNumbers(const JobSettings& settings, const MonoBitmap& picture,
                     char decimalSeparator)
{
    CheckJobNumbers(settings, picture.width(), picture.height(), decimalSeparator);
}

void CheckJobNumbers(const JobSettings& settings, const GrayRaster& picture,
                     char decimalSeparator)
{
    CheckJobNumbers(settings, picture.width, picture.height, decimalSeparator);
    // A grey engraving sets the power of each level through the on command's S number.
    PowerCommands(settings, Utf8ToCp1252(settings.LaserOnCommand), decimalSeparator);
}

void CheckJobNumbers(const JobSettings& settings, std::int32_t width, std::int32_t height,
                     char decimalSeparator)
{
    const auto strict = [&](std::string_view key, const std::string& text) {
        if (!StrictStrToFloat(text, decimalSeparator)) {
            throw Error(InvalidFloatMessage(text), std::string(key));
        }
    };
    if (settings.Backlash) {
        strict("BacklashVal", settings.BacklashVal);
    }
    strict("DwellTime", settings.DwellTime);
    strict("FrontCenterDwellTime", settings.FrontCenterDwellTime);
    strict("LeftCenterDwellTime", settings.LeftCenterDwellTime);

    // The pitch first: a job without a usable one is the worst of all, the laser switched on
    // and off over a single spot, thousands of times.
    const std::string_view pitchLabel = "Travel, per pixel";
    const auto pitch = ReadTypedNumber(settings.DistPerPixel, decimalSeparator);
    if (!pitch || !(*pitch > 0)) {
        Refuse("DistPerPixel", pitchLabel, settings.DistPerPixel, "is not a number greater than 0");
    }
    const double pixels = std::max(width, height) + 1.0;
    const double extent = *pitch * pixels;
    if (!(extent < kLargestCoordinate)) {
        Refuse("DistPerPixel", pitchLabel, settings.DistPerPixel,
               "is so large that the picture's coordinates cannot be written");
    }
    const auto offset = [&](bool used, const std::string& text) {
        const double value = used ? MyStrtoFloat(text, decimalSeparator) : 0.0;
        return std::fabs(value) < kLargestCoordinate ? std::fabs(value) : 0.0;
    };
    const double reach =
        std::max(offset(settings.UseXOffset, settings.XOffset),
                 offset(settings.UseYOffset, settings.YOffset)) + extent;
    if (*pitch < kSmallestStep * std::max(1.0, reach)) {
        Refuse("DistPerPixel", pitchLabel, settings.DistPerPixel,
               "is so small that neighbouring pixels would be burned at one spot");
    }

    if (settings.UseXOffset) {
        CheckOffset("XOffset", "Print Offset, X Offset", settings.XOffset, decimalSeparator);
    }
    if (settings.UseYOffset) {
        CheckOffset("YOffset", "Print Offset, Y Offset", settings.YOffset, decimalSeparator);
    }
    // The backlash read above moves the head past the picture's edges.
    if (settings.Backlash &&
        !(std::fabs(*StrictStrToFloat(settings.BacklashVal, decimalSeparator)) <
          kLargestCoordinate)) {
        Refuse("BacklashVal", "Miscellaneous, Backlash", settings.BacklashVal,
               "is too large for a coordinate");
    }

    CheckSpeed("OffSpeed", "Speeds, Laser Off", settings.OffSpeed);
    CheckSpeed("OnSpeed", "Speeds, Laser On", settings.OnSpeed);
    if (settings.IndicateBoundary) {
        CheckSpeed("TraceSpeed", "Speeds, Trace", settings.TraceSpeed);
    }

    if (settings.GoStartHeight &&
        !IsPlainGcodeNumber(TrimBlanks(settings.StartHeight), true)) {
        Refuse("StartHeight", "At start of job, Set height to", settings.StartHeight,
               std::string("is not a height") + kSignedHint);
    }

    ReadOverscan(settings, decimalSeparator);
    ReadCutNumbers(settings, decimalSeparator);
    if (settings.IncludeCut && !settings.Outline && !outline::PictureOutlineAvailable()) {
        outline::PictureOutline({}, {}, 0.0); // throws this build's own message
    }
    // Marlin's inline laser mode writes the on command's power on every burn move.
    if (FlavorOf(settings) == GcodeFlavor::Printer3D &&
        PrinterLaserOf(settings) == PrinterLaser::MarlinInline) {
        InlinePowers(settings, Utf8ToCp1252(settings.LaserOnCommand), {});
    }

    // A curve that does not read would leave the picture's tones as they are, unnoticed.
    if (HasToneCurve(settings.ToneCurve) && !ParseToneCurve(settings.ToneCurve)) {
        Refuse("ToneCurve", "Image, Tone curve", settings.ToneCurve,
               "is not a list of grey:power pairs (for example '0:1.000 128:0.400 255:0.000')");
    }
}

} // namespace pyrolith
