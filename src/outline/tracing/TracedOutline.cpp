// The picture's outline traced with potrace and moved outward with Clipper.

#include <potracelib.h>
#include <polyclipping/clipper.hpp>

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <vector>

#include "common/Error.h"
#include "outline/CutOutline.h"

namespace pyrolith::outline {
namespace {

constexpr int kWordBits = static_cast<int>(sizeof(potrace_word) * CHAR_BIT);

// The burned pixels as potrace reads them: scanline y is the picture's row height - 1 - y,
// so that y grows upward like the job's Y; the leftmost pixel is the highest bit.
struct TraceBitmap {
    std::vector<potrace_word> words;
    potrace_bitmap_t bitmap{};

    explicit TraceBitmap(const BurnedPixels& burned)
    {
        const int perLine = (burned.width + kWordBits - 1) / kWordBits;
        words.assign(static_cast<std::size_t>(perLine) * static_cast<std::size_t>(burned.height),
                     0);
        for (std::int32_t r = 0; r < burned.height; ++r) {
            const std::uint8_t* row =
                burned.pixels + static_cast<std::size_t>(r) * static_cast<std::size_t>(burned.width);
            potrace_word* line =
                words.data() + static_cast<std::size_t>(burned.height - 1 - r) *
                                   static_cast<std::size_t>(perLine);
            for (std::int32_t c = 0; c < burned.width; ++c) {
                if (burned.burns[row[c]]) {
                    line[c / kWordBits] |= potrace_word{1} << (kWordBits - 1 - c % kWordBits);
                }
            }
        }
        bitmap.w = burned.width;
        bitmap.h = burned.height;
        bitmap.dy = perLine;
        bitmap.map = words.data();
    }
};

struct ParamDeleter {
    void operator()(potrace_param_t* p) const { potrace_param_free(p); }
};
struct StateDeleter {
    void operator()(potrace_state_t* s) const { potrace_state_free(s); }
};

// Turns the tracer's curves, in pixels, into integer points of the offsetting, in units of
// `unit` of the job's length measured from the grid's offsets.
class Flattener {
public:
    Flattener(const PixelGrid& grid, double unit)
        : pitch_(grid.pitch), unit_(unit), yShift_(grid.halfStep ? 0.25 : 0.5)
    {
    }

    ClipperLib::Path path(const potrace_curve_t& curve) const
    {
        ClipperLib::Path out;
        if (curve.n <= 0) {
            return out;
        }
        potrace_dpoint_t at = curve.c[curve.n - 1][2];
        for (int i = 0; i < curve.n; ++i) {
            const potrace_dpoint_t* c = curve.c[i];
            if (curve.tag[i] == POTRACE_CORNER) {
                add(out, c[1]);
                add(out, c[2]);
            } else {
                bezier(out, at, c[0], c[1], c[2]);
            }
            at = c[2];
        }
        return out;
    }

    // The offsetting's coordinates of pixel-grid X and Y.
    double u(double x) const { return (x + 1.0) * pitch_ / unit_; }
    double v(double y) const { return (y - yShift_) * pitch_ / unit_; }
    // The pixel-grid Y of the offsetting's v.
    double y(double v) const { return v * unit_ / pitch_ + yShift_; }

private:
    // A tenth of a pixel: the largest distance of the straight moves from the curve.
    static constexpr double kTolerance = 0.1;

    void add(ClipperLib::Path& out, potrace_dpoint_t p) const
    {
        // Column c spans X edges c + 1 to c + 2; the pixel square [y, y + 1] is centred on the
        // line that burns it.
        const ClipperLib::IntPoint point(static_cast<ClipperLib::cInt>(std::llround(u(p.x))),
                                         static_cast<ClipperLib::cInt>(std::llround(v(p.y))));
        if (out.empty() || !(out.back() == point)) {
            out.push_back(point);
        }
    }

    // A cubic whose second derivative stays below 6 L lies within L * 6 / (8 n^2) of the n
    // chords through n + 1 evenly spaced points.
    void bezier(ClipperLib::Path& out, potrace_dpoint_t p0, potrace_dpoint_t p1,
                potrace_dpoint_t p2, potrace_dpoint_t p3) const
    {
        const double l = std::max(std::hypot(p0.x - 2 * p1.x + p2.x, p0.y - 2 * p1.y + p2.y),
                                  std::hypot(p1.x - 2 * p2.x + p3.x, p1.y - 2 * p2.y + p3.y));
        const int n = std::clamp(static_cast<int>(std::ceil(std::sqrt(0.75 * l / kTolerance))), 1,
                                 1000);
        for (int k = 1; k <= n; ++k) {
            const double t = static_cast<double>(k) / n;
            const double u = 1.0 - t;
            const double a = u * u * u;
            const double b = 3 * u * u * t;
            const double c = 3 * u * t * t;
            const double d = t * t * t;
            add(out, {a * p0.x + b * p1.x + c * p2.x + d * p3.x,
                      a * p0.y + b * p1.y + c * p2.y + d * p3.y});
        }
    }

    double pitch_;
    double unit_;
    double yShift_;
};

ClipperLib::Path Rectangle(double u0, double v0, double u1, double v1)
{
    const auto at = [](double u, double v) {
        return ClipperLib::IntPoint(static_cast<ClipperLib::cInt>(std::llround(u)),
                                    static_cast<ClipperLib::cInt>(std::llround(v)));
    };
    return {at(u0, v0), at(u1, v0), at(u1, v1), at(u0, v1)};
}

// The tracer smooths the pixels' staircase and may cut a corner pixel's end by up to about two
// thirds of a pixel. Each part of a burned run that the traced outlines leave out along the
// row's middle line, where the laser burns it, comes back as a rectangle one row high, so the
// cut goes around every burned pixel.
ClipperLib::Paths Uncovered(const BurnedPixels& burned, const ClipperLib::Paths& outers,
                            const Flattener& at)
{
    const std::int32_t height = burned.height;
    // Where the outlines cross each row's middle line, with their direction.
    std::vector<std::vector<std::pair<double, int>>> crossings(static_cast<std::size_t>(height));
    for (const ClipperLib::Path& path : outers) {
        for (std::size_t i = 0; i < path.size(); ++i) {
            const ClipperLib::IntPoint& p = path[i];
            const ClipperLib::IntPoint& q = path[(i + 1) % path.size()];
            if (p.Y == q.Y) {
                continue;
            }
            const double low = static_cast<double>(std::min(p.Y, q.Y));
            const double high = static_cast<double>(std::max(p.Y, q.Y));
            // Rows whose middle v lies in [low, high).
            const auto first = std::max<std::int64_t>(
                0, static_cast<std::int64_t>(std::ceil(at.y(low) - 0.5)));
            const auto last = std::min<std::int64_t>(
                height - 1, static_cast<std::int64_t>(std::ceil(at.y(high) - 0.5)) - 1);
            for (std::int64_t row = first; row <= last; ++row) {
                const double v = at.v(static_cast<double>(row) + 0.5);
                if (v < low || v >= high) {
                    continue;
                }
                const double x = static_cast<double>(p.X) + (v - static_cast<double>(p.Y)) *
                                                                static_cast<double>(q.X - p.X) /
                                                                static_cast<double>(q.Y - p.Y);
                crossings[static_cast<std::size_t>(row)].emplace_back(x, q.Y > p.Y ? 1 : -1);
            }
        }
    }

    ClipperLib::Paths patches;
    std::vector<std::pair<double, double>> inside;
    for (std::int32_t y = 0; y < height; ++y) {
        auto& row = crossings[static_cast<std::size_t>(y)];
        std::sort(row.begin(), row.end());
        inside.clear();
        int winding = 0;
        for (const auto& [x, direction] : row) {
            if (winding == 0) {
                inside.emplace_back(x, x);
            }
            winding += direction;
            if (winding == 0) {
                inside.back().second = x;
            }
        }
        const std::uint8_t* pixels =
            burned.pixels + static_cast<std::size_t>(height - 1 - y) *
                                static_cast<std::size_t>(burned.width);
        std::size_t next = 0; // the first interval that may still meet a run
        for (std::int32_t c = 0; c < burned.width;) {
            if (!burned.burns[pixels[c]]) {
                ++c;
                continue;
            }
            std::int32_t e = c;
            while (e < burned.width && burned.burns[pixels[e]]) {
                ++e;
            }
            double from = at.u(c);
            const double to = at.u(e);
            while (next < inside.size() && inside[next].second <= from) {
                ++next;
            }
            for (std::size_t k = next; k < inside.size() && from < to; ++k) {
                if (inside[k].first > from) {
                    patches.push_back(Rectangle(from, at.v(y), std::min(inside[k].first, to),
                                                at.v(y + 1.0)));
                }
                from = std::max(from, inside[k].second);
                if (inside[k].first >= to) {
                    break;
                }
            }
            if (from < to) {
                patches.push_back(Rectangle(from, at.v(y), to, at.v(y + 1.0)));
            }
            c = e;
        }
    }
    return patches;
}

} // namespace

bool PictureOutlineAvailable()
{
    return true;
}

std::vector<Shape> PictureOutline(const PixelGrid& grid, const BurnedPixels& burned, double kerf)
{
    std::vector<Shape> shapes;
    if (burned.width <= 0 || burned.height <= 0 || !(grid.pitch > 0.0)) {
        return shapes;
    }
    const TraceBitmap bitmap(burned);
    const std::unique_ptr<potrace_param_t, ParamDeleter> param(potrace_param_default());
    if (!param) {
        throw Error("Out of memory");
    }
    param->turdsize = 0; // a single burned pixel is cut around too
    const std::unique_ptr<potrace_state_t, StateDeleter> state(
        potrace_trace(param.get(), &bitmap.bitmap));
    if (!state || state->status != POTRACE_STATUS_OK) {
        throw Error("The outline of the picture could not be traced (out of memory)");
    }

    // Integer points a power of ten of the job's unit apart, at least 200 to a pixel: the
    // coordinates stay short decimals and lose nothing that matters.
    const int exponent = static_cast<int>(std::floor(std::log10(grid.pitch / 200.0)));
    const double unit = std::pow(10.0, exponent);
    const Flattener flattener(grid, unit);

    // The outermost shapes are the top of the tracer's tree; their holes and whatever lies
    // inside those are its children, which the cut leaves alone.
    ClipperLib::Paths outers;
    for (const potrace_path_t* p = state->plist; p != nullptr; p = p->sibling) {
        ClipperLib::Path path = flattener.path(p->curve);
        if (path.size() < 3) {
            continue;
        }
        if (!ClipperLib::Orientation(path)) {
            ClipperLib::ReversePath(path);
        }
        outers.push_back(std::move(path));
    }

    ClipperLib::Paths patches = Uncovered(burned, outers, flattener);
    // Pieces narrower than a hundredth of a pixel are rounding, not pixels left out.
    const double least = 0.01 * grid.pitch / unit;
    std::erase_if(patches, [least](const ClipperLib::Path& r) {
        return static_cast<double>(r[1].X - r[0].X) < least;
    });
    outers.insert(outers.end(), patches.begin(), patches.end());

    ClipperLib::ClipperOffset offset;
    offset.ArcTolerance = 0.1 * grid.pitch / unit;
    offset.MiterLimit = 2.0;
    offset.AddPaths(outers, ClipperLib::jtMiter, ClipperLib::etClosedPolygon);
    ClipperLib::PolyTree merged;
    offset.Execute(merged, (grid.pitch + kerf) / 2.0 / unit);

    for (const ClipperLib::PolyNode* node : merged.Childs) {
        if (node->IsHole() || node->Contour.size() < 3) {
            continue;
        }
        ClipperLib::Path contour = node->Contour;
        if (!ClipperLib::Orientation(contour)) {
            ClipperLib::ReversePath(contour);
        }
        Shape shape;
        shape.reserve(contour.size());
        // Dividing by the exact power of ten keeps the decimals short.
        const double perUnit = std::pow(10.0, -exponent);
        for (const ClipperLib::IntPoint& point : contour) {
            const double x = exponent < 0 ? static_cast<double>(point.X) / perUnit
                                          : static_cast<double>(point.X) * unit;
            const double y = exponent < 0 ? static_cast<double>(point.Y) / perUnit
                                          : static_cast<double>(point.Y) * unit;
            shape.push_back({grid.xOffset + x, grid.yOffset + y});
        }
        shapes.push_back(std::move(shape));
    }
    return shapes;
}

} // namespace pyrolith::outline
