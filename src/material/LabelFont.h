#pragma once

#include <string_view>
#include <vector>

namespace pyrolith {

// A point of a stroke; y grows upward.
struct StrokePoint {
    double x = 0;
    double y = 0;

    bool operator==(const StrokePoint&) const = default;
};

// A polyline burned in one go.
using Stroke = std::vector<StrokePoint>;

// Whether this build burns labels: it has the single-stroke label font (Hershey "futural").
bool LabelFontAvailable();

// The strokes of `text` in the label font: the left end of its baseline at (x, y), `height`
// the height of a capital. A character outside printable ASCII is drawn as "?". Throws
// pyrolith::Error when the font cannot be loaded.
std::vector<Stroke> LabelStrokes(std::string_view text, double x, double y, double height);

// The width `text` takes at that height (0 in a build without the font).
double LabelWidth(std::string_view text, double height);

} // namespace pyrolith
