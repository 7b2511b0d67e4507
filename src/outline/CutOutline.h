#pragma once

// The path a perimeter cut follows: the rectangle of the print area, or the outermost
// outline of the burned pixels traced from the picture and moved outward so that the cut
// runs just outside them. Plain geometry, no G-code.

#include <array>
#include <cstdint>
#include <vector>

namespace pyrolith::outline {

struct Point {
    double x = 0.0;
    double y = 0.0;
    bool operator==(const Point&) const = default;
};

// A closed path: the cut runs through every point in order and back to the first.
using Shape = std::vector<Point>;

// Where the pixels of the picture lie in the job's coordinates, as the engraving burns them.
// Column c burns from X = xOffset + (c + 1) * pitch to xOffset + (c + 2) * pitch; the row r
// pixels from the bottom (r = 0 is the bottom row here) burns along Y = yOffset + r * pitch,
// and with half pixel height a second time half a pitch higher. A pixel covers one pitch
// around what it burns.
struct PixelGrid {
    std::int32_t width = 0;
    std::int32_t height = 0;
    double pitch = 1.0;
    double xOffset = 0.0;
    double yOffset = 0.0;
    bool halfStep = false;
};

// The burned pixels of a picture: `pixels` holds width * height bytes, the top row first, and
// a pixel burns when burns[its byte] is set.
struct BurnedPixels {
    std::int32_t width = 0;
    std::int32_t height = 0;
    const std::uint8_t* pixels = nullptr;
    std::array<bool, 256> burns{};
};

// The rectangle of the print area, from (xOffset, yOffset) to (xOffset + width * pitch,
// yOffset + height * pitch), run counter-clockwise from its origin: right, back, left, front.
Shape BoundaryOutline(const PixelGrid& grid);

// Whether this build traces pictures (PictureOutline works).
bool PictureOutlineAvailable();

// The outermost outline of every separate shape of burned pixels, traced on the pixel grid
// with its curves flattened to straight lines within a tenth of the pitch, then moved
// outward by half the pitch plus half `kerf` (corners stay sharp up to twice that distance);
// shapes that the move makes overlap become one. Where the tracer's smoothing cuts into a
// burned pixel's line, the pixel's own square is kept, so the cut goes around every burned
// pixel. Holes are left out, and so is a shape that lies inside another's outline. Each
// shape runs counter-clockwise. Throws pyrolith::Error when the build has no tracer.
std::vector<Shape> PictureOutline(const PixelGrid& grid, const BurnedPixels& burned, double kerf);

// Orders the shapes so that the head travels little: from `start`, each next shape is the one
// with the point nearest to where the head is, and starts at that point.
void OrderShapes(std::vector<Shape>& shapes, Point start);

} // namespace pyrolith::outline
