// The perimeter cut and repeated engraving, whole lines.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "JobTestSupport.h"
#include "gcode/CutPass.h"
#include "outline/CutOutline.h"
#include "toolpath/GcodeReader.h"
#include "toolpath/JobReadback.h"

namespace pyrolith {
namespace {

using test::ExampleSettings;
using test::JobLines;
using test::Picture;
using Lines = std::vector<std::string>;

Lines Job(const JobSettings& settings, const MonoBitmap& picture)
{
    StringJobSink sink;
    WriteJob(sink, MakeJobContext(settings, picture, '.'), settings, picture, test::Environment());
    return JobLines(sink.text());
}

Lines From(const Lines& lines, const std::string& marker)
{
    const auto at = std::find(lines.begin(), lines.end(), marker);
    EXPECT_NE(at, lines.end()) << "no line " << marker;
    return at == lines.end() ? Lines{} : Lines(at, lines.end());
}

// The worked example's picture, 4 x 2 pixels at 0.5 mm: the print area runs from X0 Y0 to
// X2 Y1.
MonoBitmap Example()
{
    return Picture({"#..#", ".##."});
}

void Cut(JobSettings& s)
{
    s.IncludeCut = true;
    s.Outline = true;
    s.NumRepeats = "2";
    s.DoAdvDown = true;
    s.InitialCutHeight = "26";
    s.AdvDownAmount = "0.5";
    s.CutSpeed = "250";
    s.ZSpeed = "200";
    s.LaserCutPower = "M106 S255";
}

struct CutCase {
    const char* name;
    std::function<void(JobSettings&)> change;
    Lines expected;               // from "Begin Perimeter Cut" to the end of the job
    std::vector<std::string> picture = {"#..#", ".##."};
    int scale = 1; // each pixel of `picture` becomes scale x scale pixels
};

std::vector<std::string> Scaled(const std::vector<std::string>& rows, int scale)
{
    std::vector<std::string> out;
    for (const std::string& row : rows) {
        std::string wide;
        for (const char c : row) {
            wide.append(static_cast<std::size_t>(scale), c);
        }
        out.insert(out.end(), static_cast<std::size_t>(scale), wide);
    }
    return out;
}

void PrintTo(const CutCase& c, std::ostream* os)
{
    *os << c.name;
}

class CutBlock : public testing::TestWithParam<CutCase> {};

TEST_P(CutBlock, FollowsTheEngraving)
{
    JobSettings s = ExampleSettings();
    Cut(s);
    GetParam().change(s);
    if (!s.Outline && !outline::PictureOutlineAvailable()) {
        GTEST_SKIP() << "this build does not trace pictures";
    }
    const Lines job = Job(s, Picture(Scaled(GetParam().picture, GetParam().scale)));
    EXPECT_EQ(From(job, "; Begin Perimeter Cut"), GetParam().expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Boundary, CutBlock, testing::Values(
    CutCase{"PrinterTwoPassesStepDown", [](JobSettings&) {}, {
        "; Begin Perimeter Cut",
        "; Cut pass 1 of 2",
        "G1 Z26 F200",
        "G1 X0 Y0 F1500 ",
        "M106 S255",
        "G1 X2 Y0 F250 ", "G1 X2 Y1 F250 ", "G1 X0 Y1 F250 ", "G1 X0 Y0 F250 ",
        "M107",
        "G1 Z25.5 F200",
        "; Cut pass 2 of 2",
        "G1 X0 Y0 F1500 ",
        "M106 S255",
        "G1 X2 Y0 F250 ", "G1 X2 Y1 F250 ", "G1 X0 Y1 F250 ", "G1 X0 Y0 F250 ",
        "M107",
        "; End Perimeter Cut",
        ""}},
    CutCase{"GrblTwoPassesStepDown", [](JobSettings& s) {
        s.GRBL = true;
        s.LaserOffCommand = "M5";
        s.LaserOnCommand = "M3 S1000";
        s.LaserCutPower = "M3 S1000";
        s.UseEndOfCode = true;
        s.EndOfCode = "G0 X0 Y0";
    }, {
        "; Begin Perimeter Cut",
        "; Cut pass 1 of 2",
        "G1 Z26 F200",
        "G1 X0 Y0 F1500 M5",
        "G1 X2 Y0 F250 M3 S1000", "G1 X2 Y1 F250 ", "G1 X0 Y1 F250 ", "G1 X0 Y0 F250 ",
        "M5",
        "G1 Z25.5 F200",
        "; Cut pass 2 of 2",
        "G1 X0 Y0 F1500 M5",
        "G1 X2 Y0 F250 M3 S1000", "G1 X2 Y1 F250 ", "G1 X0 Y1 F250 ", "G1 X0 Y0 F250 ",
        "M5",
        "; End Perimeter Cut",
        "",
        "G0 X0 Y0"}},
    // Most laser machines have no Z: without the step down no line moves it. The travel
    // takes G0, the cut never does; the offsets move the rectangle.
    CutCase{"NoZWithG0AndOffsets", [](JobSettings& s) {
        s.DoAdvDown = false;
        s.NumRepeats = "1";
        s.UseG0 = true;
        s.UseXOffset = true;
        s.XOffset = "10";
        s.UseYOffset = true;
        s.YOffset = "-1";
        s.SyncLaserCommands = true;
    }, {
        "; Begin Perimeter Cut",
        "; Cut pass 1 of 1",
        "G0 X10 Y-1 F1500 ",
        "M400", "M106 S255",
        "G1 X12 Y-1 F250 ", "G1 X12 Y0 F250 ", "G1 X10 Y0 F250 ", "G1 X10 Y-1 F250 ",
        "M400", "M107",
        "; End Perimeter Cut",
        ""}}),
    [](const testing::TestParamInfo<CutCase>& info) { return info.param.name; });
// clang-format on

// The outline of the burned pixels, at 1 mm a pixel without offsets: column c burns from
// X c + 1 to c + 2, the row r pixels from the bottom along Y r, so a pixel's square reaches
// half a pitch around that. Half a pitch farther out runs the cut; holes and what lies in
// them are not cut.
void ImageCut(JobSettings& s)
{
    s.DistPerPixel = "1";
    s.Outline = false;
    s.NumRepeats = "1";
    s.DoAdvDown = false;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Image, CutBlock, testing::Values(
    CutCase{"LShape", ImageCut, {
        "; Begin Perimeter Cut",
        "; Cut pass 1 of 1",
        "G1 X0.5 Y-1 F1500 ",
        "M106 S255",
        "G1 X19.5 Y-1 F250 ", "G1 X19.5 Y6 F250 ", "G1 X7.5 Y6 F250 ", "G1 X7.5 Y18 F250 ",
        "G1 X0.5 Y18 F250 ", "G1 X0.5 Y-1 F250 ",
        "M107",
        "; End Perimeter Cut",
        ""}, {
        "##....",
        "##....",
        "##....",
        "##....",
        "######",
        "######"}, 3},
    // A ring with a dot in its hole, and a square beside it whose outline the cut reaches
    // first from the origin; the kerf moves the cut out by half of it.
    CutCase{"RingDotAndSquareWithKerf", [](JobSettings& s) {
        ImageCut(s);
        s.CutKerf = "1";
    }, {
        "; Begin Perimeter Cut",
        "; Cut pass 1 of 1",
        "G1 X0 Y-1.5 F1500 ",
        "M106 S255",
        "G1 X14 Y-1.5 F250 ", "G1 X14 Y12.5 F250 ", "G1 X0 Y12.5 F250 ", "G1 X0 Y-1.5 F250 ",
        "M107",
        "G1 X24 Y-1.5 F1500 ",
        "M106 S255",
        "G1 X50 Y-1.5 F250 ", "G1 X50 Y24.5 F250 ", "G1 X24 Y24.5 F250 ", "G1 X24 Y-1.5 F250 ",
        "M107",
        "; End Perimeter Cut",
        ""}, {
        "........########",
        "........########",
        "........##....##",
        "........##.##.##",
        "####....##.##.##",
        "####....##....##",
        "####....########",
        "####....########"}, 3}),
    [](const testing::TestParamInfo<CutCase>& info) { return info.param.name; });
// clang-format on

struct PassesCase {
    const char* name;
    std::function<void(JobSettings&)> change;
    Lines expected; // after "BEGIN IMAGE"
};

void PrintTo(const PassesCase& c, std::ostream* os)
{
    *os << c.name;
}

class EngravingPasses : public testing::TestWithParam<PassesCase> {};

TEST_P(EngravingPasses, RunFromTheBottomRowUpEachTime)
{
    JobSettings s = ExampleSettings();
    GetParam().change(s);
    Lines body = From(Job(s, Example()), "; BEGIN IMAGE");
    body.erase(body.begin());
    EXPECT_EQ(body, GetParam().expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Repeats, EngravingPasses, testing::Values(
    PassesCase{"Twice", [](JobSettings& s) {
        s.RepeatImage = true;
        s.RepeatImageTimes = "2";
    }, {
        "M107", "G1 X1 Y0 F1500 ", "M106 S255", "G1 X2 Y0 F500 ",
        "M107", "G1 X0.5 Y0.5 F1500 ", "M106 S255", "G1 X1 Y0.5 F500 ",
        "M107", "G1 X2 Y0.5 F1500 ", "M106 S255", "G1 X2.5 Y0.5 F500 ",
        "; Image pass 2 of 2",
        "M107", "G1 X1 Y0 F1500 ", "M106 S255", "G1 X2 Y0 F500 ",
        "M107", "G1 X0.5 Y0.5 F1500 ", "M106 S255", "G1 X1 Y0.5 F500 ",
        "M107", "G1 X2 Y0.5 F1500 ", "M106 S255", "G1 X2.5 Y0.5 F500 ",
        "M107"}},
    // The repeat count is not read when the image is left out.
    PassesCase{"LeftOut", [](JobSettings& s) {
        s.SupressImage = true;
        s.RepeatImageTimes = "x";
    }, {"M107"}}),
    [](const testing::TestParamInfo<PassesCase>& info) { return info.param.name; });
// clang-format on

// The cut moves of a job as the firmware reads them: the burning moves after the comment
// that opens the cut, one closed path per run of them.
std::vector<outline::Shape> CutReadBack(const JobSettings& settings, const MonoBitmap& picture)
{
    StringJobSink sink;
    WriteJob(sink, MakeJobContext(settings, picture, '.'), settings, picture, test::Environment());
    struct Moves : toolpath::EventSink {
        void event(const toolpath::Event& e) override
        {
            if (!cutting || e.kind != toolpath::EventKind::Move) {
                return;
            }
            if (!e.laserOn) {
                open = false;
                return;
            }
            if (!open) {
                shapes.push_back({{e.from.x, e.from.y}});
                open = true;
            }
            shapes.back().push_back({e.to.x, e.to.y});
        }
        void note(std::uint64_t, std::string_view text) override
        {
            cutting = cutting || text.find("Begin Perimeter Cut") != std::string_view::npos;
        }
        bool cutting = false;
        bool open = false;
        std::vector<outline::Shape> shapes;
    } moves;
    toolpath::ReaderOptions options;
    options.flavor = FlavorOf(settings);
    toolpath::GcodeReader reader(options, moves);
    reader.feed(sink.text());
    reader.finish();
    return moves.shapes;
}

bool Inside(const std::vector<outline::Shape>& shapes, outline::Point p)
{
    bool inside = false;
    for (const outline::Shape& shape : shapes) {
        for (std::size_t i = 0, j = shape.size() - 1; i < shape.size(); j = i++) {
            const outline::Point a = shape[i];
            const outline::Point b = shape[j];
            if ((a.y > p.y) != (b.y > p.y) &&
                p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) {
                inside = !inside;
            }
        }
    }
    return inside;
}

struct ReadBackCase {
    const char* name;
    const char* pitch;
    const char* kerf;
    bool grbl;
    std::vector<std::string> picture;
};

void PrintTo(const ReadBackCase& c, std::ostream* os)
{
    *os << c.name;
}

class CutReadsBack : public testing::TestWithParam<ReadBackCase> {};

// Whatever the shapes, the cut goes around every burned pixel and never strays farther than
// one pitch plus the kerf from the nearest: checked on the job the firmware reads, so the
// tracing, the offset, the coordinates and the line forms are checked together.
TEST_P(CutReadsBack, EnclosesEveryBurnedPixelAndStaysNearThem)
{
    if (!outline::PictureOutlineAvailable()) {
        GTEST_SKIP() << "this build does not trace pictures";
    }
    const ReadBackCase& c = GetParam();
    JobSettings s = ExampleSettings();
    Cut(s);
    s.Outline = false;
    s.NumRepeats = "1";
    s.DoAdvDown = false;
    s.DistPerPixel = c.pitch;
    s.CutKerf = c.kerf;
    s.UseXOffset = true;
    s.XOffset = "20";
    s.UseYOffset = true;
    s.YOffset = "-7.5";
    if (c.grbl) {
        s.GRBL = true;
        s.LaserOffCommand = "M5";
        s.LaserOnCommand = "M3 S1000";
        s.LaserCutPower = "M3 S1000";
    }
    const MonoBitmap picture = Picture(c.picture);
    const std::vector<outline::Shape> cut = CutReadBack(s, picture);
    ASSERT_FALSE(cut.empty());
    for (const outline::Shape& shape : cut) {
        EXPECT_EQ(shape.front(), shape.back()) << "every path is closed";
    }

    const double d = std::stod(c.pitch);
    const double reach = d + std::stod(c.kerf);
    // Each burned pixel as the engraving burns it: the line from X xo + (c + 1) d to
    // xo + (c + 2) d at Y yo + (h - 1 - r) d.
    struct Burn {
        double x0, x1, y;
    };
    std::vector<Burn> burns;
    for (std::int32_t r = 0; r < picture.height(); ++r) {
        for (std::int32_t col = 0; col < picture.width(); ++col) {
            if (picture.black(col, r)) {
                burns.push_back({20 + (col + 1) * d, 20 + (col + 2) * d,
                                 -7.5 + (picture.height() - 1 - r) * d});
            }
        }
    }
    for (const Burn& b : burns) {
        for (const double x : {b.x0, (b.x0 + b.x1) / 2, b.x1}) {
            EXPECT_TRUE(Inside(cut, {x, b.y})) << "burned point X" << x << " Y" << b.y;
        }
    }
    // Every point of the path, sampled at a tenth of a pitch, lies within the reach of a
    // burned pixel's square (half a pitch around its line).
    for (const outline::Shape& shape : cut) {
        for (std::size_t i = 1; i < shape.size(); ++i) {
            const double length = std::hypot(shape[i].x - shape[i - 1].x,
                                             shape[i].y - shape[i - 1].y);
            const int steps = std::max(1, static_cast<int>(length / (d / 10)));
            for (int k = 0; k <= steps; ++k) {
                const double t = static_cast<double>(k) / steps;
                const double x = shape[i - 1].x + t * (shape[i].x - shape[i - 1].x);
                const double y = shape[i - 1].y + t * (shape[i].y - shape[i - 1].y);
                double nearest = INFINITY;
                for (const Burn& b : burns) {
                    const double dx = std::max({b.x0 - x, 0.0, x - b.x1});
                    const double dy = std::max(std::fabs(y - b.y) - d / 2, 0.0);
                    nearest = std::min(nearest, std::hypot(dx, dy));
                }
                EXPECT_LE(nearest, reach + 1e-9) << "cut point X" << x << " Y" << y;
            }
        }
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Shapes, CutReadsBack, testing::Values(
    ReadBackCase{"DiscAndDots", "0.1", "0", false, {
        "......###.......",
        "....#######.....",
        "...#########....",
        "..###########...",
        "..###########..#",
        "..###########...",
        "...#########....",
        "....#######.....",
        "......###.......",
        "#..............#"}},
    ReadBackCase{"DiagonalStairsAndRingInGrblWithKerf", "0.25", "0.15", true, {
        "#.........######",
        "##........#....#",
        ".##.......#.##.#",
        "..##......#....#",
        "...##.....######",
        "....##..........",
        ".....##.....#.#.",
        "......##.....#..",
        ".......##...#.#."}}),
    [](const testing::TestParamInfo<ReadBackCase>& info) { return info.param.name; });
// clang-format on

// The Job view and the command line's preview tell the cut's moves from the engraving's and
// draw them in the cut's colour.
TEST(CutPreview, DrawsTheCutMovesInTheCutsColour)
{
    JobSettings s = ExampleSettings();
    Cut(s);
    s.DoAdvDown = false;
    s.NumRepeats = "1";
    const toolpath::JobPreview job = toolpath::PreviewJob(s, Example(), test::Environment());
    std::vector<std::vector<float>> cut;
    for (const toolpath::PreviewSegment& m : job.segments) {
        if (job.cuts(m)) {
            cut.push_back({m.x0, m.y0, m.x1, m.y1});
        }
    }
    EXPECT_EQ(cut, (std::vector<std::vector<float>>{
                       {0, 0, 2, 0}, {2, 0, 2, 1}, {2, 1, 0, 1}, {0, 1, 0, 0}}));
    const RgbImage image = toolpath::RenderPreview(job, toolpath::FitView(job.bounds, 20, 400));
    int coloured = 0;
    for (std::size_t i = 0; i + 2 < image.pixels.size(); i += 3) {
        coloured += std::equal(image.pixels.begin() + static_cast<std::ptrdiff_t>(i),
                               image.pixels.begin() + static_cast<std::ptrdiff_t>(i + 3),
                               std::begin(toolpath::kCutColour));
    }
    // The rectangle's four sides of 40 and 20 pixels; a line leaves out the pixel of its
    // larger end, so the back right corner, the larger end of both sides that meet there,
    // stays out.
    EXPECT_EQ(coloured, 2 * 40 + 2 * 20 - 1);
}

} // namespace
} // namespace pyrolith
