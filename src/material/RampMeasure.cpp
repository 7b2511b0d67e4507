#include "material/RampMeasure.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

#include "common/Error.h"
#include "image/PictureReader.h"

namespace pyrolith {
namespace {

// The photo is searched at this many pixels across at most: enough for the frame's corners
// and every patch, and the work stays the same for photos of any size.
constexpr int kWorkingSide = 1200;

struct Point {
    double x = 0;
    double y = 0;
};

Point operator-(Point a, Point b)
{
    return {a.x - b.x, a.y - b.y};
}

double Cross(Point a, Point b)
{
    return a.x * b.y - a.y * b.x;
}

double Distance(Point a, Point b)
{
    return std::hypot(a.x - b.x, a.y - b.y);
}

// The photo reduced by whole blocks of pixels, each the mean of its block.
struct Working {
    int width = 0;
    int height = 0;
    std::vector<float> pixels;

    float at(int x, int y) const
    {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
    // Bilinear between the pixel centres; nothing outside the pixels' centres.
    std::optional<double> sample(Point p) const
    {
        const double x = p.x - 0.5;
        const double y = p.y - 0.5;
        if (!(x >= 0 && y >= 0 && x <= width - 1 && y <= height - 1)) {
            return std::nullopt;
        }
        const int x0 = std::min(static_cast<int>(x), width - 2 < 0 ? 0 : width - 2);
        const int y0 = std::min(static_cast<int>(y), height - 2 < 0 ? 0 : height - 2);
        const int x1 = std::min(x0 + 1, width - 1);
        const int y1 = std::min(y0 + 1, height - 1);
        const double fx = x - x0;
        const double fy = y - y0;
        const double top = at(x0, y0) + (at(x1, y0) - at(x0, y0)) * fx;
        const double bottom = at(x0, y1) + (at(x1, y1) - at(x0, y1)) * fx;
        return top + (bottom - top) * fy;
    }
};

Working Reduce(const GrayRaster& photo)
{
    const int longer = std::max(photo.width, photo.height);
    const int factor = std::max(1, (longer + kWorkingSide - 1) / kWorkingSide);
    Working image;
    image.width = photo.width / factor;
    image.height = photo.height / factor;
    image.pixels.assign(static_cast<std::size_t>(image.width) *
                            static_cast<std::size_t>(image.height),
                        0.0f);
    std::vector<std::uint32_t> sums(static_cast<std::size_t>(image.width));
    const float scale = 1.0f / static_cast<float>(factor * factor);
    for (int oy = 0; oy < image.height; ++oy) {
        std::fill(sums.begin(), sums.end(), 0u);
        for (int i = 0; i < factor; ++i) {
            const std::uint8_t* row =
                photo.pixels.data() + static_cast<std::size_t>(oy * factor + i) *
                                          static_cast<std::size_t>(photo.width);
            for (int ox = 0; ox < image.width; ++ox) {
                std::uint32_t sum = 0;
                const std::uint8_t* block = row + static_cast<std::size_t>(ox) * factor;
                for (int j = 0; j < factor; ++j) {
                    sum += block[j];
                }
                sums[static_cast<std::size_t>(ox)] += sum;
            }
        }
        float* target = image.pixels.data() +
                        static_cast<std::size_t>(oy) * static_cast<std::size_t>(image.width);
        for (int ox = 0; ox < image.width; ++ox) {
            target[ox] = static_cast<float>(sums[static_cast<std::size_t>(ox)]) * scale;
        }
    }
    return image;
}

using Histogram = std::array<double, 256>;

Histogram HistogramOf(const Working& image)
{
    Histogram histogram{};
    for (const float v : image.pixels) {
        histogram[static_cast<std::size_t>(std::clamp(static_cast<int>(v + 0.5f), 0, 255))] += 1;
    }
    return histogram;
}

// The grey below which `share` of the pixels lie.
int Percentile(const Histogram& histogram, double share)
{
    double total = 0;
    for (const double n : histogram) {
        total += n;
    }
    double seen = 0;
    for (int g = 0; g < 256; ++g) {
        seen += histogram[static_cast<std::size_t>(g)];
        if (seen >= share * total) {
            return g;
        }
    }
    return 255;
}

// Otsu's threshold over the greys [from, to): the split that best separates two classes.
// Dark is below the result; nothing when the range holds one grey only.
std::optional<int> Otsu(const Histogram& histogram, int from, int to)
{
    double total = 0;
    double sum = 0;
    for (int g = from; g < to; ++g) {
        total += histogram[static_cast<std::size_t>(g)];
        sum += g * histogram[static_cast<std::size_t>(g)];
    }
    double below = 0;
    double belowSum = 0;
    double best = 0;
    std::optional<int> threshold;
    for (int g = from; g < to - 1; ++g) {
        below += histogram[static_cast<std::size_t>(g)];
        belowSum += g * histogram[static_cast<std::size_t>(g)];
        const double above = total - below;
        if (below == 0 || above == 0) {
            continue;
        }
        const double difference = belowSum / below - (sum - belowSum) / above;
        const double between = below * above * difference * difference;
        if (between > best) {
            best = between;
            threshold = g + 1;
        }
    }
    return threshold;
}

struct Component {
    int label = 0;
    std::int64_t count = 0;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0; // bounding box, inclusive
    bool touchesEdge = false;
};

// The dark regions (8-connected pixels below the threshold) that lie wholly inside the photo.
std::vector<Component> DarkRegions(const Working& image, float threshold, std::vector<int>& labels)
{
    const int w = image.width;
    const int h = image.height;
    labels.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0);
    std::vector<Component> regions;
    std::vector<int> stack;
    int next = 0;
    for (int start = 0; start < w * h; ++start) {
        if (labels[static_cast<std::size_t>(start)] != 0 ||
            !(image.pixels[static_cast<std::size_t>(start)] < threshold)) {
            continue;
        }
        Component region;
        region.label = ++next;
        region.x0 = region.x1 = start % w;
        region.y0 = region.y1 = start / w;
        labels[static_cast<std::size_t>(start)] = region.label;
        stack.assign(1, start);
        while (!stack.empty()) {
            const int at = stack.back();
            stack.pop_back();
            const int x = at % w;
            const int y = at / w;
            ++region.count;
            region.x0 = std::min(region.x0, x);
            region.x1 = std::max(region.x1, x);
            region.y0 = std::min(region.y0, y);
            region.y1 = std::max(region.y1, y);
            region.touchesEdge |= x == 0 || y == 0 || x == w - 1 || y == h - 1;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx;
                    const int ny = y + dy;
                    if (nx < 0 || ny < 0 || nx >= w || ny >= h) {
                        continue;
                    }
                    const int n = ny * w + nx;
                    if (labels[static_cast<std::size_t>(n)] == 0 &&
                        image.pixels[static_cast<std::size_t>(n)] < threshold) {
                        labels[static_cast<std::size_t>(n)] = region.label;
                        stack.push_back(n);
                    }
                }
            }
        }
        if (!region.touchesEdge && region.count >= 64 && region.x1 - region.x0 >= 16 &&
            region.y1 - region.y0 >= 4) {
            regions.push_back(region);
        }
    }
    return regions;
}

// The convex hull of the region's pixels (their outer corners), counter-clockwise on the
// screen.
std::vector<Point> Hull(const Working& image, const std::vector<int>& labels, const Component& c)
{
    std::vector<Point> points;
    for (int y = c.y0; y <= c.y1; ++y) {
        const int* row = labels.data() + static_cast<std::size_t>(y) * image.width;
        int left = c.x0;
        while (left <= c.x1 && row[left] != c.label) {
            ++left;
        }
        if (left > c.x1) {
            continue;
        }
        int right = c.x1;
        while (row[right] != c.label) {
            --right;
        }
        points.push_back({static_cast<double>(left), static_cast<double>(y)});
        points.push_back({static_cast<double>(left), y + 1.0});
        points.push_back({right + 1.0, static_cast<double>(y)});
        points.push_back({right + 1.0, y + 1.0});
    }
    std::sort(points.begin(), points.end(),
              [](Point a, Point b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
    if (points.size() < 3) {
        return points;
    }
    std::vector<Point> hull(2 * points.size());
    std::size_t k = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        while (k >= 2 && Cross(hull[k - 1] - hull[k - 2], points[i] - hull[k - 2]) <= 0) {
            --k;
        }
        hull[k++] = points[i];
    }
    for (std::size_t i = points.size() - 1, lower = k + 1; i > 0; --i) {
        while (k >= lower && Cross(hull[k - 1] - hull[k - 2], points[i - 1] - hull[k - 2]) <= 0) {
            --k;
        }
        hull[k++] = points[i - 1];
    }
    hull.resize(k - 1);
    return hull;
}

// The four corners of a quadrilateral hull: the farthest pair is one diagonal, the points
// farthest from it on either side the other. In the order of the card's corners on the
// screen (top left, top right, bottom right, bottom left for an upright card).
std::optional<std::array<Point, 4>> Corners(const std::vector<Point>& hull)
{
    if (hull.size() < 4) {
        return std::nullopt;
    }
    Point centre;
    for (const Point& p : hull) {
        centre.x += p.x / static_cast<double>(hull.size());
        centre.y += p.y / static_cast<double>(hull.size());
    }
    const auto farthestFrom = [&](Point from) {
        return *std::max_element(hull.begin(), hull.end(), [&](Point a, Point b) {
            return Distance(a, from) < Distance(b, from);
        });
    };
    const Point a = farthestFrom(centre);
    const Point c = farthestFrom(a);
    const double diagonal = Distance(a, c);
    if (!(diagonal > 8)) {
        return std::nullopt;
    }
    Point b = a;
    Point d = a;
    double most = 0;
    double least = 0;
    for (const Point& p : hull) {
        const double side = Cross(c - a, p - a) / diagonal;
        if (side > most) {
            most = side;
            b = p;
        }
        if (side < least) {
            least = side;
            d = p;
        }
    }
    if (most < 2 || least > -2) {
        return std::nullopt;
    }
    // A positive area in screen coordinates (y down) runs the way the card's corners do.
    std::array<Point, 4> corners = {a, b, c, d};
    double area = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        area += Cross(corners[i], corners[(i + 1) % 4]);
    }
    if (area < 0) {
        std::swap(corners[1], corners[3]);
    }
    return corners;
}

// The projective map from the card's millimetres to the photo's pixels.
class CardMap {
public:
    static std::optional<CardMap> FromCorners(const std::array<Point, 4>& card,
                                              const std::array<Point, 4>& photo)
    {
        double m[8][9] = {};
        for (std::size_t i = 0; i < 4; ++i) {
            const double x = card[i].x, y = card[i].y, u = photo[i].x, v = photo[i].y;
            const double rowU[9] = {x, y, 1, 0, 0, 0, -x * u, -y * u, u};
            const double rowV[9] = {0, 0, 0, x, y, 1, -x * v, -y * v, v};
            std::copy(rowU, rowU + 9, m[2 * i]);
            std::copy(rowV, rowV + 9, m[2 * i + 1]);
        }
        for (int col = 0; col < 8; ++col) {
            int pivot = col;
            for (int r = col + 1; r < 8; ++r) {
                if (std::fabs(m[r][col]) > std::fabs(m[pivot][col])) {
                    pivot = r;
                }
            }
            if (!(std::fabs(m[pivot][col]) > 1e-12)) {
                return std::nullopt;
            }
            std::swap(m[pivot], m[col]);
            for (int r = 0; r < 8; ++r) {
                if (r == col) {
                    continue;
                }
                const double f = m[r][col] / m[col][col];
                for (int k = col; k < 9; ++k) {
                    m[r][k] -= f * m[col][k];
                }
            }
        }
        CardMap map;
        for (int i = 0; i < 8; ++i) {
            map.h_[i] = m[i][8] / m[i][i];
            if (!std::isfinite(map.h_[i])) {
                return std::nullopt;
            }
        }
        map.h_[8] = 1;
        return map;
    }

    std::optional<Point> operator()(Point p) const
    {
        const double w = h_[6] * p.x + h_[7] * p.y + h_[8];
        if (!(std::fabs(w) > 1e-9)) {
            return std::nullopt;
        }
        const Point mapped{(h_[0] * p.x + h_[1] * p.y + h_[2]) / w,
                           (h_[3] * p.x + h_[4] * p.y + h_[5]) / w};
        if (!std::isfinite(mapped.x) || !std::isfinite(mapped.y)) {
            return std::nullopt;
        }
        return mapped;
    }

private:
    double h_[9] = {};
};

// The mean of the middle half of the values: a few stray pixels (dust, a glint, a speck of
// char) do not move it.
double RobustMean(std::vector<double>& values)
{
    std::sort(values.begin(), values.end());
    const std::size_t quarter = values.size() / 4;
    double sum = 0;
    for (std::size_t i = quarter; i < values.size() - quarter; ++i) {
        sum += values[i];
    }
    return sum / static_cast<double>(values.size() - 2 * quarter);
}

// Samples of the photo at card points; nothing when one falls outside the photo.
class CardSampler {
public:
    CardSampler(const Working& image, const CardMap& map) : image_(image), map_(map) {}

    bool add(Point card)
    {
        const std::optional<Point> at = map_(card);
        const std::optional<double> value = at ? image_.sample(*at) : std::nullopt;
        if (!value) {
            return false;
        }
        values_.push_back(*value);
        return true;
    }
    // A grid of about one sample per photo pixel over the card rectangle.
    bool addArea(double x0, double y0, double x1, double y1)
    {
        const std::optional<Point> a = map_({x0, y0});
        const std::optional<Point> b = map_({x1, y1});
        if (!a || !b) {
            return false;
        }
        const double across = std::clamp(Distance(*a, *b) / std::sqrt(2.0), 3.0, 48.0);
        const int n = static_cast<int>(across);
        for (int j = 0; j < n; ++j) {
            for (int i = 0; i < n; ++i) {
                if (!add({x0 + (x1 - x0) * (i + 0.5) / n, y0 + (y1 - y0) * (j + 0.5) / n})) {
                    return false;
                }
            }
        }
        return true;
    }
    // Samples every half millimetre along a card line.
    bool addLine(Point from, Point to)
    {
        const int n = std::max(2, static_cast<int>(Distance(from, to) * 2));
        for (int i = 0; i <= n; ++i) {
            if (!add({from.x + (to.x - from.x) * i / n, from.y + (to.y - from.y) * i / n})) {
                return false;
            }
        }
        return true;
    }
    std::optional<double> take()
    {
        if (values_.empty()) {
            return std::nullopt;
        }
        const double mean = RobustMean(values_);
        values_.clear();
        return mean;
    }

private:
    const Working& image_;
    const CardMap& map_;
    std::vector<double> values_;
};

struct Found {
    double contrast = 0; // the margin's grey less the frame's
    std::array<double, ramp::kPatches> patches{};
};

// The card read through one placement of its corners; nothing when the frame, its white
// margin and its marker are not where the placement puts them.
std::optional<Found> ReadCard(const Working& image, const CardMap& map)
{
    using namespace ramp;
    CardSampler sampler(image, map);
    const double mid = kFrame / 2;
    const bool frameSeen = sampler.addLine({mid, mid}, {kWidth - mid, mid}) &&
                           sampler.addLine({kWidth - mid, mid}, {kWidth - mid, kHeight - mid}) &&
                           sampler.addLine({kWidth - mid, kHeight - mid}, {mid, kHeight - mid}) &&
                           sampler.addLine({mid, kHeight - mid}, {mid, mid});
    const std::optional<double> frame = sampler.take();
    // The white between the frame and the patches.
    const double patchRight = kPatchLeft + kPatches * kPatchWidth;
    const double above = (kFrame + kPatchTop) / 2;
    const double below = (kPatchTop + kPatchHeight + kHeight - kFrame) / 2;
    const double beside = (kFrame + kMarker + kPatchLeft) / 2;
    const bool marginSeen =
        sampler.addLine({kPatchLeft, above}, {patchRight, above}) &&
        sampler.addLine({kPatchLeft, below}, {patchRight, below}) &&
        sampler.addLine({beside, kFrame + kMarker + 1}, {beside, below}) &&
        sampler.addLine({kWidth - beside, above}, {kWidth - beside, below});
    const std::optional<double> margin = sampler.take();
    if (!frameSeen || !marginSeen || !frame || !margin) {
        return std::nullopt;
    }
    Found found;
    found.contrast = *margin - *frame;
    if (found.contrast < 20) {
        return std::nullopt;
    }
    // The marker fills its corner; the opposite corner is white.
    const double inset = kMarker * 0.2;
    sampler.addArea(kFrame + inset, kFrame + inset, kFrame + kMarker - inset,
                    kFrame + kMarker - inset);
    const std::optional<double> marker = sampler.take();
    sampler.addArea(kWidth - kFrame - kMarker + inset, kHeight - kFrame - kMarker + inset,
                    kWidth - kFrame - inset, kHeight - kFrame - inset);
    const std::optional<double> opposite = sampler.take();
    if (!marker || !opposite || *marker > *frame + 0.4 * found.contrast ||
        *opposite < *frame + 0.6 * found.contrast) {
        return std::nullopt;
    }
    // Each patch's inner 60 %.
    for (int k = 0; k < kPatches; ++k) {
        const double x0 = kPatchLeft + k * kPatchWidth;
        if (!sampler.addArea(x0 + 0.2 * kPatchWidth, kPatchTop + 0.2 * kPatchHeight,
                             x0 + 0.8 * kPatchWidth, kPatchTop + 0.8 * kPatchHeight)) {
            return std::nullopt;
        }
        found.patches[static_cast<std::size_t>(k)] = *sampler.take();
    }
    return found;
}

// The card placed on a dark region's outline: of the four ways its corners can lie on the
// outline's, those that fit the card's long sides, and of those the one that finds the
// marker.
std::optional<Found> ReadRegion(const Working& image, const std::vector<int>& labels,
                                const Component& region)
{
    const std::optional<std::array<Point, 4>> corners = Corners(Hull(image, labels, region));
    if (!corners) {
        return std::nullopt;
    }
    const std::array<Point, 4> card = {
        Point{0, 0}, Point{ramp::kWidth, 0}, Point{ramp::kWidth, ramp::kHeight},
        Point{0, ramp::kHeight}};
    std::optional<Found> best;
    for (std::size_t turn = 0; turn < 4; ++turn) {
        std::array<Point, 4> photo;
        for (std::size_t i = 0; i < 4; ++i) {
            photo[i] = (*corners)[(i + turn) % 4];
        }
        const double longSides = Distance(photo[0], photo[1]) + Distance(photo[2], photo[3]);
        const double shortSides = Distance(photo[1], photo[2]) + Distance(photo[3], photo[0]);
        const double aspect = longSides / shortSides;
        if (!(aspect > 2.5 && aspect < 12)) {
            continue;
        }
        const std::optional<CardMap> map = CardMap::FromCorners(card, photo);
        if (!map) {
            continue;
        }
        std::optional<Found> found = ReadCard(image, *map);
        if (found && (!best || found->contrast > best->contrast)) {
            best = found;
        }
    }
    return best;
}

} // namespace

std::vector<TonePoint> ToneCurveFromTones(const std::array<double, ramp::kPatches>& powers,
                                          const std::array<double, ramp::kPatches>& tones)
{
    // Up to the first darkest patch; more power than that burns no darker.
    std::size_t darkest = 0;
    for (std::size_t k = 1; k < tones.size(); ++k) {
        if (tones[k] < tones[darkest]) {
            darkest = k;
        }
    }
    // Pool adjacent patches whose tones rise with the power, so the tones never lighten.
    struct Block {
        double sum;
        double count;
        std::size_t last;
    };
    std::vector<Block> blocks;
    for (std::size_t k = 0; k <= darkest; ++k) {
        blocks.push_back({std::clamp(tones[k], 0.0, 255.0), 1, k});
        while (blocks.size() >= 2 && blocks[blocks.size() - 2].sum / blocks[blocks.size() - 2].count <
                                         blocks.back().sum / blocks.back().count) {
            Block top = blocks.back();
            blocks.pop_back();
            blocks.back().sum += top.sum;
            blocks.back().count += top.count;
            blocks.back().last = top.last;
        }
    }
    std::vector<double> fitted;
    for (const Block& block : blocks) {
        fitted.resize(block.last + 1, block.sum / block.count);
    }
    // The least power whose tone is g or darker: on the first segment that reaches g.
    const auto powerFor = [&](double g) {
        if (g >= fitted[0]) {
            return powers[0];
        }
        for (std::size_t k = 0; k + 1 < fitted.size(); ++k) {
            if (fitted[k + 1] <= g) {
                const double t = (fitted[k] - g) / (fitted[k] - fitted[k + 1]);
                return powers[k] + t * (powers[k + 1] - powers[k]);
            }
        }
        return powers[fitted.size() - 1];
    };
    std::vector<int> greys = {255};
    if (fitted.size() > 1 && fitted[1] > 254) {
        greys.push_back(254); // the power where darkening starts, just below white
    }
    for (const double tone : fitted) {
        greys.push_back(static_cast<int>(std::lround(tone)));
    }
    std::sort(greys.begin(), greys.end());
    greys.erase(std::unique(greys.begin(), greys.end()), greys.end());
    std::vector<TonePoint> curve;
    for (const int g : greys) {
        const double power = g == 255 ? 0.0 : powerFor(g);
        curve.push_back({g, std::round(power * 1000) / 1000});
    }
    return curve;
}

RampReading MeasureRamp(const GrayRaster& photo, const std::array<double, ramp::kPatches>& powers)
{
    if (photo.width < 16 || photo.height < 16 ||
        photo.pixels.size() <
            static_cast<std::size_t>(photo.width) * static_cast<std::size_t>(photo.height)) {
        throw Error(kRampFrameNotFound);
    }
    const Working image = Reduce(photo);
    if (image.width < 16 || image.height < 16) {
        throw Error(kRampFrameNotFound);
    }
    const Histogram histogram = HistogramOf(image);
    if (Percentile(histogram, 0.95) < 40) {
        throw Error(kRampTooDark);
    }
    // The frame is among the dark regions at one of three thresholds: between the dark and
    // the light of the whole photo, and within each of them (a card on a light table, or on
    // a dark one).
    std::vector<int> thresholds;
    if (const std::optional<int> split = Otsu(histogram, 0, 256)) {
        thresholds.push_back(*split);
        if (const std::optional<int> darker = Otsu(histogram, 0, *split)) {
            thresholds.push_back(*darker);
        }
        if (const std::optional<int> lighter = Otsu(histogram, *split, 256)) {
            thresholds.push_back(*lighter);
        }
    }
    std::optional<Found> best;
    std::vector<int> labels;
    for (const int threshold : thresholds) {
        std::vector<Component> regions =
            DarkRegions(image, static_cast<float>(threshold), labels);
        std::sort(regions.begin(), regions.end(), [](const Component& a, const Component& b) {
            return static_cast<std::int64_t>(a.x1 - a.x0) * (a.y1 - a.y0) >
                   static_cast<std::int64_t>(b.x1 - b.x0) * (b.y1 - b.y0);
        });
        if (regions.size() > 8) {
            regions.resize(8);
        }
        for (const Component& region : regions) {
            std::optional<Found> found = ReadRegion(image, labels, region);
            if (found && (!best || found->contrast > best->contrast)) {
                best = found;
            }
        }
    }
    if (!best) {
        throw Error(kRampFrameNotFound);
    }
    const double white = best->patches[0];
    if (white < 40) {
        throw Error(kRampTooDark);
    }
    const double dark = *std::min_element(best->patches.begin(), best->patches.end());
    if (white - dark < std::max(12.0, 0.25 * best->contrast)) {
        throw Error(kRampNotBurned);
    }
    RampReading reading;
    reading.powers = powers;
    for (std::size_t k = 0; k < reading.tones.size(); ++k) {
        reading.tones[k] = std::clamp(255 * (best->patches[k] - dark) / (white - dark), 0.0, 255.0);
    }
    reading.curve = ToneCurveFromTones(powers, reading.tones);
    return reading;
}

RampReading MeasureRampFile(const std::filesystem::path& photo, const JobSettings& settings)
{
    const std::array<double, ramp::kPatches> powers = RampPatchPowers(settings);
    return MeasureRamp(ReadPictureGrayLevels(photo), powers);
}

} // namespace pyrolith
