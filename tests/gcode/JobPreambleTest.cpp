#include "gcode/JobPreamble.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "JobTestSupport.h"

namespace pyrolith {
namespace {

using test::JobLines;
using Lines = std::vector<std::string>;

// The alignment examples: "; " comments, off speed 1500, trace speed 1200, "M107",
// "M106 S15", W = 100, H = 50, d = 0.1, no offsets, millimetres, every block off.
JobSettings AlignmentSettings()
{
    JobSettings s = test::ExampleSettings();
    s.DistPerPixel = "0.1";
    return s;
}

Lines Preamble(const JobSettings& settings, std::int32_t width = 100, std::int32_t height = 50)
{
    const MonoBitmap picture = test::WhitePicture(width, height);
    const JobContext context = MakeJobContext(settings, picture, '.');
    StringJobSink sink;
    WritePreamble(sink, context, settings);
    return JobLines(sink.text());
}

TEST(JobPreamble, EveryOptionalBlockOff)
{
    EXPECT_EQ(Preamble(AlignmentSettings()),
              (Lines{"M107\t; Laser Off", "G90 \t; Absolute Positioning", "G21 \t; Set to mm", "",
                     "G1 F1500 \t; Set Laser Off speed", "", "; BEGIN IMAGE"}));
}

TEST(JobPreamble, EveryBlockWithG1OnA3DPrinter)
{
    JobSettings s = AlignmentSettings();
    s.UseStartOfCode = true;
    s.StartOfCode = "G28\r\nM3 S0\r\n;start";
    s.GoHome = true;
    s.HomeCommand = "G28";
    s.GoStartHeight = true;
    s.StartHeight = "26";
    s.IndicateCenter = true;
    s.DwellTime = "5000";
    s.IndicateFrontCenter = true;
    s.FrontCenterDwellTime = "3000";
    s.IndicateLeftCenter = true;
    s.LeftCenterDwellTime = "2000";
    s.IndicateBoundary = true;
    s.HalfStepHeight = true; // changes neither the points nor the box
    const Lines expected = {
        "G28",
        "M3 S0",
        ";start",
        "",
        "M107\t; Laser Off",
        "G90 \t; Absolute Positioning",
        "G21 \t; Set to mm",
        "",
        "G1 F1500 ",
        "G28\t; Home Command",
        "",
        "G1 Z26\t\t; Move Z to starting height",
        "",
        "G1 F1500 \t; Set Laser Off speed",
        "",
        "G1 X5 Y2.5 F1500 \t; Goto center/center",
        "M106 S15\t; Laser on at Low power",
        "G4 P5000\t; Pause for 5000",
        "M107",
        "",
        "G1 X5 Y0 F1500 \t; Goto front/center",
        "M106 S15\t; Laser on at Low power",
        "G4 P3000\t; Pause for 3000",
        "M107",
        "",
        "G1 X0 Y2.5 F1500 \t; Goto left/center",
        "M106 S15\t; Laser on at Low power",
        "G4 P2000\t; Pause for 2000",
        "M107",
        "",
        "; Begin Boundary Box",
        "M107\t\t; Laser Off",
        "M106 S15\t; Laser on at Low power",
        "G1 X0 Y0 F1200 \t; Goto origin",
        "G1 X10 F1200 \t; Move X to 100",
        "G1 Y5 F1200 \t; Move Y to 50",
        "G1 X0 F1200 \t\t; Move X to 0",
        "G1 Y0 F1200 \t\t; Move to origin",
        "M107",
        "; End Boundary Box",
        "",
        "; BEGIN IMAGE",
    };
    EXPECT_EQ(Preamble(s), expected);
}

TEST(JobPreamble, EveryBlockWithG0InGrblInchesWithOffsets)
{
    JobSettings s = AlignmentSettings();
    s.StartComment = "(";
    s.EndComment = ")";
    s.GRBL = true;
    s.UseG0 = true;
    s.UseInches = true;
    s.FakeExtrusion = true;
    s.UseXOffset = true;
    s.XOffset = "10";
    s.UseYOffset = true;
    s.YOffset = "20";
    s.GoHome = true;
    s.HomeCommand = "$H";
    s.GoStartHeight = true;
    s.StartHeight = "2,5"; // as typed
    s.IndicateCenter = true;
    s.DwellTime = "2500";
    s.IndicateFrontCenter = true;
    s.FrontCenterDwellTime = "5000";
    s.IndicateLeftCenter = true;
    s.LeftCenterDwellTime = "1";
    s.IndicateBoundary = true;
    // W = 101 and H = 51 share the center of 100 x 50; the box uses the whole size.
    const Lines expected = {
        "M107\t(Laser Off)",
        "G90 \t(Absolute Positioning)",
        "M83 \t((use relative distances for FAKE extrusion))",
        "G20 \t(Set to inches)",
        "",
        "G0 F1500 ",
        "$H\t(Home Command)",
        "",
        "G0 Z2,5\t\t(Move Z to starting height)",
        "",
        "G0 F1500 \t(Set Laser Off speed)",
        "",
        "G0 X15 Y22.5\t(Goto center/center)",
        "M106 S15\t(Laser on at Low power)",
        "G4 P2.5\t(Pause for 2.5)",
        "M107",
        "",
        "G0 X15 Y20\t(Goto front/center)",
        "M106 S15\t(Laser on at Low power)",
        "G4 P5\t(Pause for 5)",
        "M107",
        "",
        "G0 X10 Y22.5\t(Goto left/center)",
        "M106 S15\t(Laser on at Low power)",
        "G4 P0.001\t(Pause for 0.001)",
        "M107",
        "",
        "(Begin Boundary Box)",
        "M107\t\t(Laser Off)",
        "M106 S15\t(Laser on at Low power)",
        "G0 F1200 ",
        "G0 X10 Y20\t(Goto origin)",
        "G0 X20.1\t(Move X to 101)",
        "G0 Y25.1\t(Move Y to 51)",
        "G0 X10\t\t(Move X to 0)",
        "G0 Y20\t\t(Move to origin)",
        "M107",
        "(End Boundary Box)",
        "",
        "(BEGIN IMAGE)",
    };
    EXPECT_EQ(Preamble(s, 101, 51), expected);
}

struct FarEdgeCase {
    const char* xOffset;
    const char* pixelSize;
    std::int32_t width;
    const char* line;
};

void PrintTo(const FarEdgeCase& c, std::ostream* os)
{
    *os << "XOffset " << c.xOffset << ", d " << c.pixelSize << ", W " << c.width;
}

class BoxFarEdge : public testing::TestWithParam<FarEdgeCase> {};

// The far X of the box is never scientific: a remainder is "0" whatever its sign.
TEST_P(BoxFarEdge, IsCleaned)
{
    JobSettings s = AlignmentSettings();
    s.IndicateBoundary = true;
    s.UseXOffset = true;
    s.XOffset = GetParam().xOffset;
    s.DistPerPixel = GetParam().pixelSize;
    const Lines lines = Preamble(s, GetParam().width, 50);
    EXPECT_NE(std::find(lines.begin(), lines.end(), GetParam().line), lines.end())
        << "missing '" << GetParam().line << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Remainders, BoxFarEdge,
    testing::Values(FarEdgeCase{"-10", "0.1", 100, "G1 X0 F1200 \t; Move X to 100"},
                    FarEdgeCase{"-0.3", "0.1", 3, "G1 X0 F1200 \t; Move X to 3"},
                    FarEdgeCase{"-0.9", "0.3", 3, "G1 X0 F1200 \t; Move X to 3"},
                    FarEdgeCase{"-0.99995", "1", 1, "G1 X0.00005 F1200 \t; Move X to 1"}));

TEST(JobPreamble, StartOfCodeLinesComeFirstAsStored)
{
    JobSettings s = AlignmentSettings();
    s.UseStartOfCode = true;
    s.StartOfCode = "  G21 ; keep blanks \r\n\r\nM84\r\n";
    Lines lines = Preamble(s);
    lines.resize(5);
    EXPECT_EQ(lines, (Lines{"  G21 ; keep blanks ", "", "M84", "", "M107\t; Laser Off"}));
    s.StartOfCode = "";
    lines = Preamble(s);
    lines.resize(2);
    EXPECT_EQ(lines, (Lines{"", "M107\t; Laser Off"}));
}

TEST(JobPreamble, EmptyCommandsGiveLinesThatBeginWithTheTab)
{
    JobSettings s = AlignmentSettings();
    s.LaserOffCommand = "";
    s.StartComment = "";
    Lines lines = Preamble(s);
    lines.resize(1);
    EXPECT_EQ(lines, Lines{"\tLaser Off"});
}

} // namespace
} // namespace pyrolith
