#include "outline/CutOutline.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace pyrolith::outline {

Shape BoundaryOutline(const PixelGrid& grid)
{
    // The same corners as the boundary trace of the preamble: its far values are computed as
    // width * pitch + xOffset there, which is the same sum.
    const double x0 = grid.xOffset;
    const double y0 = grid.yOffset;
    const double x1 = grid.width * grid.pitch + grid.xOffset;
    const double y1 = grid.height * grid.pitch + grid.yOffset;
    return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
}

namespace {

double Distance2(Point a, Point b)
{
    const double dx = a.x - b.x;
    const double dy = a.y - b.y;
    return dx * dx + dy * dy;
}

struct Box {
    double minX, minY, maxX, maxY;

    // The square of the shortest distance from p to the box; 0 inside.
    double distance2(Point p) const
    {
        const double dx = std::max({minX - p.x, 0.0, p.x - maxX});
        const double dy = std::max({minY - p.y, 0.0, p.y - maxY});
        return dx * dx + dy * dy;
    }
};

Box BoxOf(const Shape& shape)
{
    Box box{std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
            -std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
    for (const Point& p : shape) {
        box.minX = std::min(box.minX, p.x);
        box.minY = std::min(box.minY, p.y);
        box.maxX = std::max(box.maxX, p.x);
        box.maxY = std::max(box.maxY, p.y);
    }
    return box;
}

} // namespace

void OrderShapes(std::vector<Shape>& shapes, Point start)
{
    std::vector<Box> boxes;
    boxes.reserve(shapes.size());
    for (const Shape& shape : shapes) {
        boxes.push_back(BoxOf(shape));
    }
    Point head = start;
    for (std::size_t done = 0; done < shapes.size(); ++done) {
        // The nearest point of the shapes left; a shape whose box lies farther than the best
        // point found is not searched.
        double best = std::numeric_limits<double>::infinity();
        std::size_t bestShape = done;
        std::size_t bestPoint = 0;
        for (std::size_t s = done; s < shapes.size(); ++s) {
            if (boxes[s].distance2(head) >= best) {
                continue;
            }
            for (std::size_t i = 0; i < shapes[s].size(); ++i) {
                const double d = Distance2(shapes[s][i], head);
                if (d < best) {
                    best = d;
                    bestShape = s;
                    bestPoint = i;
                }
            }
        }
        std::swap(shapes[done], shapes[bestShape]);
        std::swap(boxes[done], boxes[bestShape]);
        Shape& next = shapes[done];
        std::rotate(next.begin(), next.begin() + static_cast<std::ptrdiff_t>(bestPoint),
                    next.end());
        if (!next.empty()) {
            head = next.front(); // a closed path ends where it starts
        }
    }
}

} // namespace pyrolith::outline
