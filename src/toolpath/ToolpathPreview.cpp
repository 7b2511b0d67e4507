#include "toolpath/ToolpathPreview.h"

#include "toolpath/StreamModel.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace pyrolith::toolpath {
namespace {

constexpr std::uint8_t kTravel[3] = {175, 200, 240};
constexpr std::uint8_t kBurned[3] = {150, 0, 0};
constexpr std::uint8_t kLate[3] = {250, 175, 60};
constexpr std::uint8_t kDwell[3] = {220, 30, 30};
constexpr std::uint8_t kAxisX[3] = {200, 80, 80};
constexpr std::uint8_t kAxisY[3] = {80, 170, 80};

void Extend(PreviewBounds& b, double x, double y)
{
    if (!std::isfinite(x) || !std::isfinite(y)) {
        return;  // a number too large for a double after G20
    }
    if (b.empty) {
        b = {x, y, x, y, false};
        return;
    }
    b.minX = std::min(b.minX, x);
    b.maxX = std::max(b.maxX, x);
    b.minY = std::min(b.minY, y);
    b.maxY = std::max(b.maxY, y);
}

class PreviewSink : public EventSink {
public:
    explicit PreviewSink(const MachineProfile& machine) : timer_(machine), late_(machine) {}

    void event(const Event& e) override
    {
        timer_.add(e);
        late_.add(e);
        switch (e.kind) {
        case EventKind::Move:
            job.segments.push_back({static_cast<float>(e.from.x), static_cast<float>(e.from.y),
                                    static_cast<float>(e.to.x), static_cast<float>(e.to.y),
                                    e.laserOn ? static_cast<float>(e.power) : -1.0f,
                                    static_cast<std::uint32_t>(std::min<std::uint64_t>(
                                        e.line, std::numeric_limits<std::uint32_t>::max()))});
            if (e.laserOn) {
                job.maxPower = std::max(job.maxPower, e.power);
                if (e.from.y == e.to.y && e.from.x != e.to.x) {
                    rowStep(e.to.y);
                }
            }
            Extend(job.bounds, e.from.x, e.from.y);
            Extend(job.bounds, e.to.x, e.to.y);
            break;
        case EventKind::Dwell:
            job.dwells.push_back(e.to);
            Extend(job.bounds, e.to.x, e.to.y);
            break;
        case EventKind::Mode:
            job.inches = e.inches;
            break;
        case EventKind::Home:
        case EventKind::Stop:
        case EventKind::Line:
            break;
        }
    }
    void problem(const Problem& p) override { job.estimate.add(p); }
    void note(std::uint64_t line, std::string_view text) override
    {
        if (text.find("Begin Perimeter Cut") != std::string_view::npos) {
            job.cutFirstLine = line;
            job.cutLastLine = std::numeric_limits<std::uint64_t>::max();
        } else if (text.find("End Perimeter Cut") != std::string_view::npos &&
                   job.cutFirstLine != 0) {
            job.cutLastLine = line;
        }
    }
    JobPreview finish()
    {
        if (rowStepSeen_ >= 2) {
            job.rowSpacing = rowStep_;
        }
        timer_.finish(job.estimate);
        job.estimate.lateBurn = late_.result();
        return std::move(job);
    }

    JobPreview job;

private:
    // A row of burns along X at y: the step from the previous row counts towards the width.
    void rowStep(double y)
    {
        if (hasRow_ && y != rowY_) {
            const double step = std::abs(y - rowY_);
            constexpr double kSame = 1e-6;
            if (step >= 1e-4 && step <= JobPreview::kMaxRowSpacing) {
                if (rowStepSeen_ == 0 || step < rowStep_ - kSame) {
                    rowStep_ = step;
                    rowStepSeen_ = 1;
                } else if (step <= rowStep_ + kSame) {
                    ++rowStepSeen_;
                }
            }
        }
        hasRow_ = true;
        rowY_ = y;
    }

    JobTimer timer_;
    LateBurnCounter late_;
    bool hasRow_ = false;
    double rowY_ = 0.0;
    double rowStep_ = 0.0;
    int rowStepSeen_ = 0;
};

// The burned share of each pixel's area, in 1/kFull of a pixel, saturating; and which pixels
// hold a burn the machine has taken.
class Coverage {
public:
    static constexpr double kFull = 32768.0;

    Coverage(int width, int height, bool marks)
        : width_(width), height_(height),
          share_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0),
          marked_(marks ? share_.size() : 0, 0)
    {
    }

    // A burn move from (x0, y0) to (x1, y1), in pixels, covering a strip `width` pixels wide,
    // weighted by its share of full power. A move along an axis is one box; any other is cut
    // into pieces of half a pixel, each a box around its piece of the strip holding the
    // piece's area.
    void strip(double x0, double y0, double x1, double y1, double width, double weight,
               bool marked)
    {
        const double dx = x1 - x0;
        const double dy = y1 - y0;
        const double length = std::hypot(dx, dy);
        if (!(length > 0.0) || !std::isfinite(length) || !(weight > 0.0)) {
            return;
        }
        const double ux = std::abs(dx) / length;
        const double uy = std::abs(dy) / length;
        const int pieces = ux < 1e-9 || uy < 1e-9
                               ? 1
                               : static_cast<int>(std::min(std::ceil(length / 0.5), 1e7));
        const double halfX = (std::abs(dx) / pieces + width * uy) / 2.0;
        const double halfY = (std::abs(dy) / pieces + width * ux) / 2.0;
        const double scale = weight * (length / pieces) * width / (4.0 * halfX * halfY);
        for (int i = 0; i < pieces; ++i) {
            const double cx = x0 + dx * (i + 0.5) / pieces;
            const double cy = y0 + dy * (i + 0.5) / pieces;
            box(cx - halfX, cy - halfY, cx + halfX, cy + halfY, scale, marked);
        }
    }

    // The share of pixel i covered, at most 1.
    double share(std::size_t i) const { return std::min(1.0, share_[i] / kFull); }
    bool marked(std::size_t i) const { return !marked_.empty() && marked_[i] != 0; }
    bool touched(std::size_t i) const { return share_[i] != 0; }

private:
    void box(double left, double top, double right, double bottom, double weight, bool marked)
    {
        left = std::max(left, 0.0);
        top = std::max(top, 0.0);
        right = std::min(right, static_cast<double>(width_));
        bottom = std::min(bottom, static_cast<double>(height_));
        if (!(left < right && top < bottom)) {
            return;
        }
        const auto x0 = static_cast<int>(left);
        const auto y0 = static_cast<int>(top);
        const int x1 = std::min(width_ - 1, static_cast<int>(std::ceil(right)) - 1);
        const int y1 = std::min(height_ - 1, static_cast<int>(std::ceil(bottom)) - 1);
        for (int y = y0; y <= y1; ++y) {
            const double h = std::min(bottom, y + 1.0) - std::max(top, static_cast<double>(y));
            const std::size_t row = static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
            for (int x = x0; x <= x1; ++x) {
                const double w = std::min(right, x + 1.0) - std::max(left, static_cast<double>(x));
                const std::size_t i = row + static_cast<std::size_t>(x);
                const double sum = share_[i] + std::round(weight * w * h * kFull);
                share_[i] = static_cast<std::uint16_t>(std::min(sum, 65535.0));
                if (marked) {
                    marked_[i] = 1;
                }
            }
        }
    }

    int width_;
    int height_;
    std::vector<std::uint16_t> share_;
    std::vector<std::uint8_t> marked_;
};

// The width in pixels of the strip a burn move covers (see ToolpathPreview.h).
double StripWidth(const JobPreview& job, const PreviewSegment& s, double pixelsPerMm)
{
    if (job.rowSpacing > 0.0 && s.y0 == s.y1) {
        return job.rowSpacing * pixelsPerMm;
    }
    return std::max(JobPreview::kSpotWidth * pixelsPerMm, 1.0);
}

// Darkens each pixel by its burned share: toward black, or toward the burned red where the
// machine has taken a burn in it.
void Compose(RgbImage& image, const Coverage& coverage)
{
    const std::size_t count =
        static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
    for (std::size_t i = 0; i < count; ++i) {
        if (!coverage.touched(i)) {
            continue;
        }
        const double t = coverage.share(i);
        std::uint8_t* p = image.pixels.data() + i * 3;
        for (int c = 0; c < 3; ++c) {
            const double ink = coverage.marked(i) ? kBurned[c] : 0.0;
            p[c] = static_cast<std::uint8_t>(std::lround(p[c] * (1.0 - t) + ink * t));
        }
    }
}

class Canvas {
public:
    Canvas(RgbImage& image, const PreviewView& view) : image_(image), view_(view) {}

    double px(double x) const { return (x - view_.left) * view_.pixelsPerMm; }
    double py(double y) const { return (view_.top - y) * view_.pixelsPerMm; }

    void put(long x, long y, const std::uint8_t* rgb)
    {
        if (x >= 0 && y >= 0 && x < image_.width && y < image_.height) {
            std::uint8_t* p = image_.at(static_cast<int>(x), static_cast<int>(y));
            p[0] = rgb[0];
            p[1] = rgb[1];
            p[2] = rgb[2];
        }
    }

    // The pixels whose centres the segment passes, stepping along its longer direction;
    // the end pixel is left out, so joined moves draw each pixel once and a run of n pixels
    // at one pixel per pixel pitch draws exactly n.
    void line(double x0, double y0, double x1, double y1, const std::uint8_t* rgb)
    {
        const double dx = x1 - x0;
        const double dy = y1 - y0;
        if (!std::isfinite(dx) || !std::isfinite(dy)) {
            return;
        }
        const bool alongX = std::abs(dx) >= std::abs(dy);
        double a0 = alongX ? x0 : y0;
        double a1 = alongX ? x1 : y1;
        double b0 = alongX ? y0 : x0;
        double b1 = alongX ? y1 : x1;
        if (a1 < a0) {
            std::swap(a0, a1);
            std::swap(b0, b1);
        }
        const double limit = alongX ? image_.width : image_.height;
        const double first = std::max(std::ceil(a0 - 0.5), 0.0);
        const double last = std::min(std::ceil(a1 - 0.5) - 1.0, limit - 1.0);
        if (a1 == a0) {
            return;
        }
        const double slope = (b1 - b0) / (a1 - a0);
        const double across = alongX ? image_.height : image_.width;
        for (double a = first; a <= last; a += 1.0) {
            const double b = std::floor(b0 + (a + 0.5 - a0) * slope);
            if (!(b >= 0.0 && b < across)) {
                continue;
            }
            const auto ia = static_cast<long>(a);
            const auto ib = static_cast<long>(b);
            if (alongX) {
                put(ia, ib, rgb);
            } else {
                put(ib, ia, rgb);
            }
        }
    }

private:
    RgbImage& image_;
    const PreviewView& view_;
};

constexpr std::size_t kCancelEvery = 1 << 16;

}  // namespace

JobPreview ReadJobPreview(const std::function<void(GcodeReader&)>& feed,
                          const MachineProfile& machine)
{
    PreviewSink sink(machine);
    GcodeReader reader(machine.readerOptions(), sink);
    feed(reader);
    reader.finish();
    return sink.finish();
}

JobPreview ReadJobPreview(std::string_view text, const MachineProfile& machine,
                          const std::atomic<bool>* cancel)
{
    return ReadJobPreview(
        [&](GcodeReader& reader) {
            constexpr std::size_t kPiece = std::size_t{1} << 20;
            for (std::size_t at = 0; at < text.size(); at += kPiece) {
                if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
                    return;
                }
                reader.feed(text.substr(at, kPiece));
            }
        },
        machine);
}

JobPreview ReadJobPreviewFile(const std::filesystem::path& path, const MachineProfile& machine,
                              const std::atomic<bool>* cancel)
{
    return ReadJobPreview(
        [&](GcodeReader& reader) {
            ReadGcodeFile(path, reader, [cancel](std::uint64_t) {
                return cancel == nullptr || !cancel->load(std::memory_order_relaxed);
            });
        },
        machine);
}

PreviewView FitView(const PreviewBounds& bounds, double pixelsPerMm, int maxSide)
{
    constexpr double kMargin = 8.0;
    PreviewView view;
    const double w = bounds.empty ? 0.0 : bounds.maxX - bounds.minX;
    const double h = bounds.empty ? 0.0 : bounds.maxY - bounds.minY;
    double scale = pixelsPerMm > 0.0 && std::isfinite(pixelsPerMm) ? pixelsPerMm : 1.0;
    const double room = std::max(1.0, maxSide - 2.0 * kMargin - 1.0);
    if (std::max(w, h) * scale > room) {
        scale = room / std::max(w, h);
    }
    view.pixelsPerMm = scale;
    view.left = (bounds.empty ? 0.0 : bounds.minX) - kMargin / scale;
    // Lines along X fall on the middle of a pixel row, ends of moves on pixel edges: a raster
    // row then fills exactly one row of pixels, without rounding jitter.
    view.top = (bounds.empty ? 0.0 : bounds.maxY) + (kMargin - 0.5) / scale;
    view.width = static_cast<int>(std::ceil(w * scale + 2.0 * kMargin)) + 1;
    view.height = static_cast<int>(std::ceil(h * scale + 2.0 * kMargin)) + 1;
    view.width = std::clamp(view.width, 1, maxSide);
    view.height = std::clamp(view.height, 1, maxSide);
    return view;
}

double ScaleStep(double pixelsPerMm, bool inches, double minPixels)
{
    const double unit = inches ? 25.4 : 1.0;
    const double pixelsPerUnit = pixelsPerMm * unit;
    if (!(pixelsPerUnit > 0.0) || !std::isfinite(pixelsPerUnit)) {
        return unit;
    }
    double step = std::pow(10.0, std::floor(std::log10(minPixels / pixelsPerUnit)));
    for (int i = 0; i < 4 && step * pixelsPerUnit < minPixels; ++i) {
        step *= i % 3 == 1 ? 2.5 : 2.0;  // 1, 2, 5, 10
    }
    return step * unit;
}

RgbImage RenderPreview(const JobPreview& job, const PreviewView& view,
                       const std::atomic<bool>* cancel, std::size_t burned)
{
    RgbImage image;
    image.width = std::max(1, view.width);
    image.height = std::max(1, view.height);
    image.pixels.assign(static_cast<std::size_t>(image.width) *
                            static_cast<std::size_t>(image.height) * 3,
                        255);
    Canvas canvas(image, view);

    // The axes through the origin with ticks.
    const double ox = canvas.px(0.0);
    const double oy = canvas.py(0.0);
    canvas.line(0.0, std::floor(oy) + 0.5, image.width, std::floor(oy) + 0.5, kAxisX);
    canvas.line(std::floor(ox) + 0.5, 0.0, std::floor(ox) + 0.5, image.height, kAxisY);
    const double step = ScaleStep(view.pixelsPerMm, job.inches);
    const double stepPixels = step * view.pixelsPerMm;
    if (stepPixels >= 1.0) {
        const double firstX = std::ceil((view.left) / step) * step;
        for (double x = firstX; canvas.px(x) < image.width; x += step) {
            const double p = std::floor(canvas.px(x)) + 0.5;
            canvas.line(p, std::floor(oy) - 3.0, p, std::floor(oy) + 4.0, kAxisX);
        }
        const double firstY = std::floor(view.top / step) * step;
        for (double y = firstY; canvas.py(y) < image.height; y -= step) {
            const double p = std::floor(canvas.py(y)) + 0.5;
            canvas.line(std::floor(ox) - 3.0, p, std::floor(ox) + 4.0, p, kAxisY);
        }
    }

    // Laser-off moves under the burns, so a burn is never hidden by a move across it.
    const double maxPower = job.maxPower > 0.0 ? job.maxPower : 1.0;
    // Fan commands taken late: beyond the end of each run, the travel over which the laser
    // may still burn.
    const double late = job.estimate.lateBurn.runs > 0 ? job.estimate.lateBurn.millimetres : 0.0;
    for (std::size_t i = 0; late > 0.0 && i < job.segments.size(); ++i) {
        const PreviewSegment& s = job.segments[i];
        const bool runEnds = i + 1 == job.segments.size() || job.segments[i + 1].power < 0.0f;
        const double length = std::hypot(s.x1 - s.x0, s.y1 - s.y0);
        if (s.power < 0.0f || !runEnds || !(length > 0.0)) {
            continue;
        }
        const double x = s.x1 + (s.x1 - s.x0) / length * late;
        const double y = s.y1 + (s.y1 - s.y0) / length * late;
        canvas.line(canvas.px(s.x1), canvas.py(s.y1), canvas.px(x), canvas.py(y), kLate);
    }
    Coverage coverage(image.width, image.height, burned > 0);
    std::size_t n = 0;
    bool cut = false;
    for (const PreviewSegment& s : job.segments) {
        if (++n % kCancelEvery == 0 && cancel != nullptr &&
            cancel->load(std::memory_order_relaxed)) {
            return image;
        }
        if (job.cuts(s) && n > burned) {
            cut = true; // drawn over the rest below
        } else if (s.power >= 0.0f) {
            coverage.strip(canvas.px(s.x0), canvas.py(s.y0), canvas.px(s.x1), canvas.py(s.y1),
                           StripWidth(job, s, view.pixelsPerMm),
                           std::clamp(s.power / maxPower, 0.0, 1.0), n <= burned);
        } else if (view.showTravel) {
            canvas.line(canvas.px(s.x0), canvas.py(s.y0), canvas.px(s.x1), canvas.py(s.y1),
                        kTravel);
        }
    }
    Compose(image, coverage);
    n = 0;
    for (const PreviewSegment& s : job.segments) {
        if (cut && ++n > burned && job.cuts(s)) {
            canvas.line(canvas.px(s.x0), canvas.py(s.y0), canvas.px(s.x1), canvas.py(s.y1),
                        kCutColour);
        }
    }

    for (const Point& d : job.dwells) {
        const double x = std::floor(canvas.px(d.x));
        const double y = std::floor(canvas.py(d.y));
        if (!(x > -8.0 && y > -8.0 && x < image.width + 8.0 && y < image.height + 8.0)) {
            continue;
        }
        const auto cx = static_cast<long>(x);
        const auto cy = static_cast<long>(y);
        for (long k = -3; k <= 3; ++k) {
            canvas.put(cx + k, cy + k, kDwell);
            canvas.put(cx + k, cy - k, kDwell);
        }
    }
    return image;
}

std::size_t SegmentsThrough(const JobPreview& job, std::uint64_t line)
{
    const auto end = std::upper_bound(
        job.segments.begin(), job.segments.end(), line,
        [](std::uint64_t l, const PreviewSegment& s) { return l < s.line; });
    return static_cast<std::size_t>(end - job.segments.begin());
}

void DrawBurned(const JobPreview& job, const PreviewView& view, RgbImage& image,
                std::size_t from, std::size_t to)
{
    // The pixels the newly burned moves cover turn from grey to red with the burned share
    // they already show; a pixel of another colour (a laser-off move, an axis) takes the red
    // of these moves' own share.
    Canvas canvas(image, view);
    to = std::min(to, job.segments.size());
    const double maxPower = job.maxPower > 0.0 ? job.maxPower : 1.0;
    int left = image.width, top = image.height, right = -1, bottom = -1;
    for (std::size_t i = from; i < to; ++i) {
        const PreviewSegment& s = job.segments[i];
        if (s.power < 0.0f) {
            continue;
        }
        const double margin = StripWidth(job, s, view.pixelsPerMm) / 2.0 + 1.0;
        const double x0 = std::min(canvas.px(s.x0), canvas.px(s.x1)) - margin;
        const double x1 = std::max(canvas.px(s.x0), canvas.px(s.x1)) + margin;
        const double y0 = std::min(canvas.py(s.y0), canvas.py(s.y1)) - margin;
        const double y1 = std::max(canvas.py(s.y0), canvas.py(s.y1)) + margin;
        left = std::min(left, static_cast<int>(std::clamp(std::floor(x0), 0.0, double(image.width))));
        top = std::min(top, static_cast<int>(std::clamp(std::floor(y0), 0.0, double(image.height))));
        right = std::max(right, static_cast<int>(std::clamp(std::ceil(x1), -1.0, image.width - 1.0)));
        bottom = std::max(bottom, static_cast<int>(std::clamp(std::ceil(y1), -1.0, image.height - 1.0)));
    }
    if (left > right || top > bottom) {
        return;
    }
    // The moves' coverage over the part of the image they touch.
    const int w = right - left + 1;
    const int h = bottom - top + 1;
    Coverage coverage(w, h, false);
    for (std::size_t i = from; i < to; ++i) {
        const PreviewSegment& s = job.segments[i];
        if (s.power >= 0.0f) {
            coverage.strip(canvas.px(s.x0) - left, canvas.py(s.y0) - top, canvas.px(s.x1) - left,
                           canvas.py(s.y1) - top, StripWidth(job, s, view.pixelsPerMm),
                           std::clamp(s.power / maxPower, 0.0, 1.0), false);
        }
    }
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(w) +
                                  static_cast<std::size_t>(x);
            if (!coverage.touched(i)) {
                continue;
            }
            std::uint8_t* p = image.at(left + x, top + y);
            const bool grey = p[0] == p[1] && p[1] == p[2];
            const double t = grey ? 1.0 - p[0] / 255.0 : coverage.share(i);
            for (int c = 0; c < 3; ++c) {
                const double base = grey ? 255.0 : p[c];
                p[c] = static_cast<std::uint8_t>(std::lround(base * (1.0 - t) + kBurned[c] * t));
            }
        }
    }
}

}  // namespace pyrolith::toolpath
