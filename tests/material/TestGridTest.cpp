#include "material/TestGrid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/Error.h"
#include "gcode/JobSink.h"
#include "gcode/JobTestSupport.h"

namespace pyrolith {
namespace {

using Lines = std::vector<std::string>;

// Two powers (1 % and 100 % of S255) by two speeds (100 and 200 mm/min), squares of two
// pixels two pixels apart at 0.5 mm per pixel, no title. The labels are 1.26 pixels tall,
// so that "100" (60 font units) fills nine tenths of a column's four pixels; the speed
// labels' column, as wide as "mm/min" (139 units, 8.34 pixels) and 0.6 of a label height,
// puts the squares at columns 10 and 14; the title and the power labels put them at rows 5
// and 9 of a picture 11 rows high.
TestGridOptions SmallGrid()
{
    TestGridOptions options;
    options.powers = {1, 100, 2};
    options.speeds = GridRange{100, 200, 2};
    options.squareMm = 1;
    options.gapMm = 1;
    return options;
}

Lines GridJob(const JobSettings& settings, const TestGridOptions& options)
{
    StringJobSink sink;
    WriteTestGridJob(sink, settings, options, test::Environment());
    return test::JobLines(sink.text());
}

struct Flavour {
    std::string name;
    bool grbl;
    Lines squares; // from "BEGIN IMAGE" to the end of the squares
    Lines label;   // the first stroke of the first label, "1" above the first column
};

class TestGridJob : public ::testing::TestWithParam<Flavour> {};

TEST_P(TestGridJob, EachSquareAtItsPowerAndFeedThenTheLabels)
{
    if (!LabelFontAvailable()) {
        GTEST_SKIP() << "this build has no label font";
    }
    JobSettings settings = test::ExampleSettings();
    settings.GRBL = GetParam().grbl;
    const Lines job = GridJob(settings, SmallGrid());

    const auto begin = std::find(job.begin(), job.end(), "; BEGIN IMAGE");
    ASSERT_NE(begin, job.end());
    const auto squaresEnd = begin + static_cast<std::ptrdiff_t>(GetParam().squares.size());
    ASSERT_LE(squaresEnd + static_cast<std::ptrdiff_t>(GetParam().label.size()), job.end());
    EXPECT_EQ(Lines(begin, squaresEnd), GetParam().squares);
    EXPECT_EQ(Lines(squaresEnd, squaresEnd + static_cast<std::ptrdiff_t>(GetParam().label.size())),
              GetParam().label);

    // The labels: "1", "100", "%", "mm/min", "100", "200" are 27 strokes of the font, each
    // a travel with the laser off, then burns at the lowest power and the Laser On speed;
    // the job ends with the laser off.
    const Lines labels(squaresEnd, job.end());
    const auto travels = std::count_if(labels.begin(), labels.end(), [](const std::string& l) {
        return l.find(" F1500 ") != std::string::npos;
    });
    EXPECT_EQ(travels, 27);
    for (const std::string& line : labels) {
        if (line.find(" F500 ") != std::string::npos) {
            EXPECT_EQ(line.rfind("G1 X", 0), 0u) << line;
            EXPECT_EQ(line.substr(line.find(" F500 ")), GetParam().grbl ? " F500 M106 S2.55" : " F500 ")
                << line;
        }
    }
    EXPECT_EQ(job.back(), "M107");
    EXPECT_NE(std::find(job.begin(), begin,
                        "; Material test: powers 1 to 100% in 2 steps, speeds 100 to 200 mm/min "
                        "in 2 steps, 1 mm squares 1 mm apart"),
              begin);
}

Lines PrinterRow(const std::string& y, const std::string& feed, const std::string& firstPower)
{
    return {"M107", "G1 X5.5 Y" + y + " F1500 ", "M106 S" + firstPower, "G1 X6.5 Y" + y + feed,
            "M107", "G1 X7.5 Y" + y + " F1500 ", "M106 S255",           "G1 X8.5 Y" + y + feed};
}

Lines GrblRow(const std::string& y, const std::string& feed, const std::string& firstPower)
{
    return {"G1 X5.5 Y" + y + " F1500 M107", "G1 X6.5 Y" + y + feed + "M106 S" + firstPower,
            "G1 X7.5 Y" + y + " F1500 M107", "G1 X8.5 Y" + y + feed + "M106 S255"};
}

Lines Joined(std::initializer_list<Lines> parts)
{
    Lines lines;
    for (const Lines& part : parts) {
        lines.insert(lines.end(), part.begin(), part.end());
    }
    return lines;
}

// Bottom up: the 200 mm/min row at Y 0 and 0.5, the 100 mm/min row at Y 2 and 2.5.
INSTANTIATE_TEST_SUITE_P(
    Flavours, TestGridJob,
    ::testing::Values(
        Flavour{"Printer",
                false,
                Joined({{"; BEGIN IMAGE"},
                        PrinterRow("0", " F200 ", "2.55"),
                        PrinterRow("0.5", " F200 ", "2.55"),
                        PrinterRow("2", " F100 ", "2.55"),
                        PrinterRow("2.5", " F100 ", "2.55"),
                        {"M107"}}),
                {"M107", "G1 X5.88 Y3.638 F1500 ", "M106 S2.55", "G1 X5.94 Y3.668 F500 ",
                 "G1 X6.03 Y3.758 F500 ", "G1 X6.03 Y3.128 F500 "}},
        Flavour{"Grbl",
                true,
                Joined({{"; BEGIN IMAGE"},
                        GrblRow("0", " F200 ", "2.55"),
                        GrblRow("0.5", " F200 ", "2.55"),
                        GrblRow("2", " F100 ", "2.55"),
                        GrblRow("2.5", " F100 ", "2.55"),
                        {"M107"}}),
                {"G1 X5.88 Y3.638 F1500 M107", "G1 X5.94 Y3.668 F500 M106 S2.55",
                 "G1 X6.03 Y3.758 F500 M106 S2.55", "G1 X6.03 Y3.128 F500 M106 S2.55"}}),
    [](const auto& info) { return info.param.name; });

// The default grid: 10 powers from 10 % to 100 % of the on command's S, 5 speeds from a
// quarter of the Laser On speed to all of it, top row first.
TEST(TestGrid, DefaultPowersAndFeeds)
{
    JobSettings settings = test::ExampleSettings();
    settings.DistPerPixel = "0.1";
    settings.FakeExtrusion = true;
    const TestGrid grid = MakeTestGrid(settings, TestGridOptions(), '.');
    ASSERT_EQ(grid.powerCommands.size(), 51u);
    const Lines powers = {"M106 S25.5",  "M106 S51",    "M106 S76.5",  "M106 S102", "M106 S127.5",
                          "M106 S153",   "M106 S178.5", "M106 S204",   "M106 S229.5", "M106 S255"};
    const Lines feeds = {" F125 E1 ", " F218.75 E1 ", " F312.5 E1 ", " F406.25 E1 ", " F500 E1 "};
    for (std::size_t row = 0; row < 5; ++row) {
        for (std::size_t column = 0; column < 10; ++column) {
            const std::size_t level = 1 + row * 10 + column;
            EXPECT_EQ(grid.powerCommands[level], powers[column]) << level;
            EXPECT_EQ(grid.burnFeeds[level], feeds[row]) << level;
        }
    }
    EXPECT_EQ(grid.labelCommand, "M106 S25.5");
    // 5 mm squares 2 mm apart: the first square's top left pixel and the one past its corner.
    const auto levelAt = [&](std::int32_t x, std::int32_t y) { return grid.levels.at(x, y); };
    std::int32_t left = 0;
    std::int32_t top = 0;
    while (levelAt(left, grid.levels.height - 1) == 0) {
        ++left;
    }
    while (levelAt(left, top) == 0) {
        ++top;
    }
    EXPECT_EQ(levelAt(left + 49, top + 49), 1);
    EXPECT_EQ(levelAt(left + 50, top), 0);
    EXPECT_EQ(levelAt(left + 70, top + 70), 12);
    EXPECT_EQ(grid.levels.height - top, 5 * 50 + 4 * 20);
}

struct Refusal {
    std::string name;
    std::function<void(JobSettings&, TestGridOptions&)> change;
    std::string message;
};

class TestGridRefuses : public ::testing::TestWithParam<Refusal> {};

TEST_P(TestGridRefuses, WithTheMessage)
{
    JobSettings settings = test::ExampleSettings();
    TestGridOptions options;
    GetParam().change(settings, options);
    try {
        MakeTestGrid(settings, options, '.');
        ADD_FAILURE() << "a grid was made";
    } catch (const Error& error) {
        EXPECT_EQ(std::string(error.what()), GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Options, TestGridRefuses,
    ::testing::Values(
        Refusal{"NoPowerNumber", [](JobSettings& s, TestGridOptions&) { s.LaserOnCommand = "M3"; },
                "Laser Commands, On: 'M3' has no S number to set the squares' powers with (for "
                "example 'M106 S255')"},
        Refusal{"PowerAboveFull", [](JobSettings&, TestGridOptions& o) { o.powers = {10, 120, 3}; },
                "Material test: the powers must lie above 0 and at most 100 percent"},
        Refusal{"NoSpeed",
                [](JobSettings&, TestGridOptions& o) { o.speeds = GridRange{0, 100, 3}; },
                "Material test: the speeds must be greater than 0"},
        Refusal{"TooManySquares",
                [](JobSettings&, TestGridOptions& o) {
                    o.powers = {10, 100, 16};
                    o.speeds = GridRange{10, 100, 16};
                },
                "Material test: a grid holds at most 255 squares"},
        Refusal{"SquaresBelowTwoPixels",
                [](JobSettings& s, TestGridOptions&) { s.DistPerPixel = "4"; },
                "Material test: squares of 5 mm are less than two pixels at this distance per "
                "pixel"}),
    [](const auto& info) { return info.param.name; });

TEST(TestGrid, RangeText)
{
    EXPECT_EQ(ParseGridRange("10:100:10"), (GridRange{10, 100, 10}));
    EXPECT_EQ(ParseGridRange("2,5:7.5:1"), (GridRange{2.5, 7.5, 1}));
    for (const char* bad : {"", "10:100", "10:100:0", "10:100:x", "a:100:3", "10:100:3:4", "1:2:3.5"}) {
        EXPECT_FALSE(ParseGridRange(bad)) << bad;
    }
}

} // namespace
} // namespace pyrolith
