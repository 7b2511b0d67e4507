#include "image/ToneCurve.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "common/NumberText.h"

namespace pyrolith {
namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::optional<TonePoint> ParsePair(std::string_view pair)
{
    const std::size_t colon = pair.find(':');
    if (colon == std::string_view::npos || colon == 0) {
        return std::nullopt;
    }
    TonePoint point;
    const std::string_view grey = pair.substr(0, colon);
    const auto [greyEnd, greyError] =
        std::from_chars(grey.data(), grey.data() + grey.size(), point.grey);
    if (greyError != std::errc() || greyEnd != grey.data() + grey.size() || point.grey < 0 ||
        point.grey > 255) {
        return std::nullopt;
    }
    // The power: digits with at most one "." (no sign, no exponent).
    const std::string_view power = pair.substr(colon + 1);
    if (power.empty() || power.find_first_not_of("0123456789.") != std::string_view::npos ||
        power.find_first_of("0123456789") == std::string_view::npos ||
        std::count(power.begin(), power.end(), '.') > 1) {
        return std::nullopt;
    }
    std::from_chars(power.data(), power.data() + power.size(), point.power);
    if (!(point.power >= 0 && point.power <= 1)) {
        return std::nullopt;
    }
    return point;
}

} // namespace

bool HasToneCurve(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), [](char c) { return !IsBlank(c); });
}

std::optional<std::vector<TonePoint>> ParseToneCurve(std::string_view text)
{
    std::vector<TonePoint> points;
    std::size_t i = 0;
    while (i < text.size()) {
        if (IsBlank(text[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && !IsBlank(text[end])) {
            ++end;
        }
        const std::optional<TonePoint> point = ParsePair(text.substr(i, end - i));
        if (!point) {
            return std::nullopt;
        }
        points.push_back(*point);
        i = end;
    }
    std::sort(points.begin(), points.end(),
              [](const TonePoint& a, const TonePoint& b) { return a.grey < b.grey; });
    for (std::size_t k = 1; k < points.size(); ++k) {
        if (points[k].grey == points[k - 1].grey) {
            return std::nullopt;
        }
    }
    if (points.size() < 2) {
        return std::nullopt;
    }
    return points;
}

std::string ToneCurveText(const std::vector<TonePoint>& points)
{
    std::vector<TonePoint> sorted = points;
    std::sort(sorted.begin(), sorted.end(),
              [](const TonePoint& a, const TonePoint& b) { return a.grey < b.grey; });
    std::string text;
    for (const TonePoint& point : sorted) {
        if (!text.empty()) {
            text += ' ';
        }
        text += std::to_string(point.grey);
        text += ':';
        text += FloattoStrFDelim(std::clamp(point.power, 0.0, 1.0), FloatFormat::Fixed, 12, 3);
    }
    return text;
}

double TonePower(const std::vector<TonePoint>& points, double grey)
{
    if (grey <= points.front().grey) {
        return points.front().power;
    }
    for (std::size_t k = 1; k < points.size(); ++k) {
        if (grey <= points[k].grey) {
            const TonePoint& a = points[k - 1];
            const TonePoint& b = points[k];
            const double t = (grey - a.grey) / static_cast<double>(b.grey - a.grey);
            return a.power + t * (b.power - a.power);
        }
    }
    return points.back().power;
}

std::array<std::uint8_t, 256> ToneTable(const std::vector<TonePoint>& points)
{
    std::array<std::uint8_t, 256> table{};
    for (int g = 0; g < 256; ++g) {
        const double power = std::clamp(TonePower(points, g), 0.0, 1.0);
        table[static_cast<std::size_t>(g)] =
            static_cast<std::uint8_t>(std::lround(255.0 * (1.0 - power)));
    }
    return table;
}

} // namespace pyrolith
