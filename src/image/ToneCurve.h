#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pyrolith {

// One point of a tone curve: the picture's grey (0 black to 255 white) and the share of the
// grey engraving's power (0 none to 1 full) that burns that tone on the material.
struct TonePoint {
    int grey = 0;
    double power = 0;

    bool operator==(const TonePoint&) const = default;
};

// A tone curve as the settings keep it: blank-separated pairs "grey:power", grey a whole
// number from 0 to 255, power a number from 0 to 1 ("0:1.000 17:0.874 ... 255:0.000").
// Empty (or only blanks): no curve. Otherwise at least two pairs, each grey once. Returns the
// points sorted by grey, or nothing when the text is not such a list.
std::optional<std::vector<TonePoint>> ParseToneCurve(std::string_view text);

// Whether the text holds a curve (it is not blank).
bool HasToneCurve(std::string_view text);

// The settings text of a curve, greys ascending, powers with three decimals.
std::string ToneCurveText(const std::vector<TonePoint>& points);

// The power share the curve gives a grey: linear between neighbouring points, the nearest
// end's power outside them. `points` sorted by grey and not empty.
double TonePower(const std::vector<TonePoint>& points, double grey);

// What each grey becomes so that the grey engraving burns the curve's power for it:
// 255 * (1 - power), rounded. `points` sorted by grey and not empty.
std::array<std::uint8_t, 256> ToneTable(const std::vector<TonePoint>& points);

} // namespace pyrolith
