#include "image/PictureOptions.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "common/AsciiCase.h"
#include "common/NumberText.h"
#include "image/ToneCurve.h"
#include "settings/JobSettings.h"

namespace pyrolith {
namespace {

constexpr std::array<std::string_view, 8> kModeTexts = {
    "Palette", "Threshold", "FloydSteinberg", "Atkinson", "Jarvis", "Stucki", "Bayer",
    "Grayscale"};

int WholeIn(const std::string& text, int lowest, int highest)
{
    const double value = std::round(MyStrtoFloat(text));
    return static_cast<int>(
        std::clamp(value, static_cast<double>(lowest), static_cast<double>(highest)));
}

} // namespace

std::string_view ImageModeText(ImageMode mode)
{
    return kModeTexts[static_cast<std::size_t>(mode)];
}

std::optional<ImageMode> ParseImageMode(std::string_view text)
{
    for (std::size_t i = 0; i < kModeTexts.size(); ++i) {
        if (EqualNoCase(kModeTexts[i], text)) {
            return static_cast<ImageMode>(i);
        }
    }
    return std::nullopt;
}

ConversionOptions ConversionOptionsOf(const JobSettings& settings)
{
    ConversionOptions options;
    options.mode = ParseImageMode(settings.ImageMode).value_or(ImageMode::Palette);
    options.threshold = WholeIn(settings.Threshold, 0, 255);
    options.adjustments.brightness = WholeIn(settings.Brightness, -100, 100);
    options.adjustments.contrast = WholeIn(settings.Contrast, -100, 100);
    const double gamma = MyStrtoFloat(settings.Gamma);
    options.adjustments.gamma = gamma > 0 ? std::clamp(gamma, 0.01, 100.0) : 1.0;
    options.adjustments.invert = settings.Invert;
    if (const auto curve = ParseToneCurve(settings.ToneCurve)) {
        options.adjustments.tone = ToneTable(*curve);
    }
    return options;
}

std::optional<std::int64_t> ResizeColumns(const JobSettings& settings)
{
    if (settings.ResizeWidth.empty()) {
        return std::nullopt;
    }
    const double width = MyStrtoFloat(settings.ResizeWidth);
    const double distance = MyStrtoFloat(settings.DistPerPixel);
    if (!(width > 0) || !(distance > 0)) {
        return std::nullopt;
    }
    const double columns = std::round(width / distance);
    if (!(columns >= 1)) {
        return std::nullopt;
    }
    // Beyond any pixel cap; the resampler refuses it with its own message.
    return static_cast<std::int64_t>(std::min(columns, 1e15));
}

} // namespace pyrolith
