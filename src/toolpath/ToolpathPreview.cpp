#include "toolpath/ToolpathPreview.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace pyrolith::toolpath {
namespace {

constexpr std::uint8_t kTravel[3] = {90, 140, 230};
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
    explicit PreviewSink(const MachineProfile& machine) : planner_(machine), late_(machine) {}

    void event(const Event& e) override
    {
        planner_.add(e);
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
        planner_.finish();
        job.estimate.times = planner_.times();
        job.estimate.lateBurn = late_.result();
        return std::move(job);
    }

    JobPreview job;

private:
    MotionPlanner planner_;
    LateBurnCounter late_;
};

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
    for (int pass = view.showTravel ? 0 : 1; pass < 2; ++pass) {
        std::size_t n = 0;
        for (const PreviewSegment& s : job.segments) {
            if (++n % kCancelEvery == 0 && cancel != nullptr &&
                cancel->load(std::memory_order_relaxed)) {
                return image;
            }
            const bool burn = s.power >= 0.0f;
            if (burn != (pass == 1)) {
                continue;
            }
            std::uint8_t rgb[3];
            if (burn && n <= burned) {
                std::copy(std::begin(kBurned), std::end(kBurned), rgb);
            } else if (job.cuts(s)) {
                std::copy(std::begin(kCutColour), std::end(kCutColour), rgb);
            } else if (burn) {
                const double level = std::clamp(s.power / maxPower, 0.0, 1.0);
                // Even the weakest burn stays visible against the white.
                const auto grey = static_cast<std::uint8_t>(std::lround(200.0 * (1.0 - level)));
                rgb[0] = rgb[1] = rgb[2] = grey;
            } else {
                std::copy(std::begin(kTravel), std::end(kTravel), rgb);
            }
            canvas.line(canvas.px(s.x0), canvas.py(s.y0), canvas.px(s.x1), canvas.py(s.y1), rgb);
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
    Canvas canvas(image, view);
    to = std::min(to, job.segments.size());
    for (std::size_t i = from; i < to; ++i) {
        const PreviewSegment& s = job.segments[i];
        if (s.power >= 0.0f) {
            canvas.line(canvas.px(s.x0), canvas.py(s.y0), canvas.px(s.x1), canvas.py(s.y1),
                        kBurned);
        }
    }
}

}  // namespace pyrolith::toolpath
