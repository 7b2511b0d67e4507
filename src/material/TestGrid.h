#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gcode/JobWriter.h"
#include "image/GrayLevels.h"
#include "material/LabelFont.h"
#include "settings/JobSettings.h"

namespace pyrolith {

class JobSink;

// Values from `first` to `last` in `count` equal steps ("A:B:N" on the command line).
struct GridRange {
    double first = 0;
    double last = 0;
    int count = 1;

    bool operator==(const GridRange&) const = default;
    double at(int i) const
    {
        return count <= 1 ? first : first + (last - first) * i / (count - 1);
    }
};

// "A:B:N": two numbers with "." or "," and a whole count from 1; nothing when it does not read.
std::optional<GridRange> ParseGridRange(std::string_view text);

// What the material test grid burns.
struct TestGridOptions {
    // Percent of the on command's S number, one column each.
    GridRange powers{10, 100, 10};
    // Speed in the settings' unit per minute, one row each, top row first; empty: from the
    // Laser On speed / 4 to the Laser On speed in 5 rows.
    std::optional<GridRange> speeds;
    double squareMm = 5; // side of a square
    double gapMm = 2;    // between squares
    std::string title;   // the title line: the profile's name and the date
};

// The grid as the job burns it: a picture of power levels (level 1 + row * columns + column
// is the square of that row and column; 0 is not burned), the on command and the feed part of
// each level, and the labels as strokes in the job's coordinates.
struct TestGrid {
    GrayRaster levels;
    std::vector<std::string> powerCommands; // by level, index 0 empty; UTF-8
    std::vector<std::string> burnFeeds;     // by level: " F" + speed + " " (" E1 " with fake extrusion)
    std::vector<Stroke> labels;             // empty in a build without the label font
    std::string labelCommand;               // the on command at the grid's lowest power
    std::string note;                       // the summary line describing the grid
};

// Lays out the grid at the settings' distance per pixel and unit. Throws pyrolith::Error with
// the user's text when an option or the on command cannot make a grid.
TestGrid MakeTestGrid(const JobSettings& settings, const TestGridOptions& options,
                      char decimalSeparator);

// The whole job: the settings summary (with the grid's line), the preamble and alignment aids,
// the squares, each at its own power and feed, the labels burned as lines at the lowest power,
// and the job end. Numbers are checked first, as for a picture's job.
void WriteTestGridJob(JobSink& sink, const JobSettings& settings, const TestGridOptions& options,
                      const JobEnvironment& environment);
JobFileSummary WriteTestGridFile(const std::filesystem::path& output, const JobSettings& settings,
                                 const TestGridOptions& options,
                                 const JobEnvironment& environment);

} // namespace pyrolith
