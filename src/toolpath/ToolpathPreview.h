#pragma once

// The picture of a job as the machine will run it, drawn into a plain pixel buffer so that
// the window's Job view and "pyrolith-cli --preview" draw the very same thing. Each pixel
// shows the share of its area the laser burns, weighted by power: a burn move along a row of
// a raster covers a strip as wide as the rows are apart, so a dithered photo seen whole
// looks like its picture scaled down and, zoomed in, each row is a band. Other burn moves (a
// frame, a cut, a job without rows) cover the laser's spot, but at least one pixel, so that
// they show at any size. Laser-off moves are thin light blue lines under the burns (when
// shown), dwells red crosses, the axes go through the origin with a tick at every
// ScaleStep(), the moves of the perimeter cut are lines in the cut's colour (kCutColour) over
// the rest. With fan commands taken late (LateBurn) an orange band follows each run: where
// the laser may still burn. While a job is sent, the pixels the machine has burned in are
// drawn in dark red instead of grey.

#include <atomic>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <string_view>
#include <vector>

#include "image/PngWriter.h"
#include "toolpath/MachineProfile.h"
#include "toolpath/MotionPlanner.h"

namespace pyrolith::toolpath {

// The strong colour the cut path is drawn in, here and over the picture in the B+W+Cut view.
inline constexpr std::uint8_t kCutColour[3] = {255, 0, 160};

struct PreviewSegment {
    float x0, y0, x1, y1;  // mm
    float power;           // S of a burn move; negative for a laser-off move
    std::uint32_t line;    // the move's line of the job (1-based; the largest stands for more)
};

struct PreviewBounds {
    double minX = 0.0, minY = 0.0, maxX = 0.0, maxY = 0.0;
    bool empty = true;
};

// A job read for the preview and timed in the same pass.
struct JobPreview {
    // In pieces, not one block: a photo's job has tens of millions of moves, and a block
    // that grows by doubling holds the old block and the new one at once.
    std::deque<PreviewSegment> segments;
    std::vector<Point> dwells;
    PreviewBounds bounds;      // every move and dwell
    double maxPower = 0.0;     // the strongest burn
    bool inches = false;       // the job's unit at its end (G20)
    // The spacing of the rows of a raster in mm: the smallest step between rows of burns
    // along X, once seen twice; 0 for a job without rows.
    double rowSpacing = 0.0;
    static constexpr double kMaxRowSpacing = 1.0;
    static constexpr double kSpotWidth = 0.1;
    FileEstimate estimate;
    // The lines of the perimeter cut, between the comments "Begin Perimeter Cut" and "End
    // Perimeter Cut": the burn moves of these lines are drawn in the cut's colour. 0: none.
    std::uint64_t cutFirstLine = 0;
    std::uint64_t cutLastLine = 0;

    bool cuts(const PreviewSegment& s) const
    {
        return s.power >= 0.0f && s.line > cutFirstLine && s.line < cutLastLine;
    }
};

// Reads G-code text or a file. `cancel` (may be null) is polled now and then; once it is set
// the read stops and returns what it has. Reading a file throws pyrolith::Error when it
// cannot be read.
JobPreview ReadJobPreview(std::string_view text, const MachineProfile& machine,
                          const std::atomic<bool>* cancel = nullptr);
// The same for text that `feed` hands to the reader.
JobPreview ReadJobPreview(const std::function<void(GcodeReader& reader)>& feed,
                          const MachineProfile& machine);
JobPreview ReadJobPreviewFile(const std::filesystem::path& path, const MachineProfile& machine,
                              const std::atomic<bool>* cancel = nullptr);

// What part of the plane an image shows.
struct PreviewView {
    double left = 0.0;         // mm at the left edge of the image
    double top = 0.0;          // mm at the top edge (y grows upwards)
    double pixelsPerMm = 1.0;
    int width = 1;
    int height = 1;
    bool showTravel = true;
};

// The whole job at `pixelsPerMm` with a margin of 8 pixels, the longer side of the image
// at most `maxSide` pixels (the scale shrinks to fit).
PreviewView FitView(const PreviewBounds& bounds, double pixelsPerMm, int maxSide);

// The distance between two ticks of the axes, in mm: 1, 2 or 5 times a power of ten of the
// job's unit, the smallest that puts ticks at least `minPixels` apart.
double ScaleStep(double pixelsPerMm, bool inches, double minPixels = 40.0);

// The first `burned` segments' burn moves are drawn as burned.
RgbImage RenderPreview(const JobPreview& job, const PreviewView& view,
                       const std::atomic<bool>* cancel = nullptr, std::size_t burned = 0);

// How many segments belong to lines 1 to `line`: the segments come in line order.
std::size_t SegmentsThrough(const JobPreview& job, std::uint64_t line);

// Draws the burn moves of segments `from` to `to` (not included) as burned, over an image
// RenderPreview drew of `view`.
void DrawBurned(const JobPreview& job, const PreviewView& view, RgbImage& image,
                std::size_t from, std::size_t to);

}  // namespace pyrolith::toolpath
