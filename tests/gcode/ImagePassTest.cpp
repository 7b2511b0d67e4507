#include "gcode/ImagePass.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "JobTestSupport.h"

namespace pyrolith {
namespace {

using test::ExampleSettings;
using test::JobLines;
using test::Picture;
using Lines = std::vector<std::string>;

Lines Pass(const JobSettings& settings, const MonoBitmap& picture)
{
    const JobContext context = MakeJobContext(settings, picture, '.');
    StringJobSink sink;
    WriteImagePass(sink, context, settings, picture);
    return JobLines(sink.text());
}

// The worked example: bottom row white, black, black, white; top row black, white, white,
// black.
MonoBitmap ExamplePicture()
{
    return Picture({"#..#", ".##."});
}

TEST(ImagePass, WorkedExampleWithPrecision)
{
    const Lines expected = {
        "M107", "G1 X1 Y0 F1500 ",     "M106 S255", "G1 X2 Y0 F500 ",
        "M107", "G1 X0.5 Y0.5 F1500 ", "M106 S255", "G1 X1 Y0.5 F500 ",
        "M107", "G1 X2 Y0.5 F1500 ",   "M106 S255", "G1 X2.5 Y0.5 F500 ",
        "M107",
    };
    EXPECT_EQ(Pass(ExampleSettings(), ExamplePicture()), expected);
}

TEST(ImagePass, WorkedExampleAlternatingDirections)
{
    JobSettings settings = ExampleSettings();
    settings.Precision = false;
    const Lines expected = {
        "M107",
        "G1 X1 Y0 F1500 ",
        "M106 S255",
        "G1 X2 Y0 F500 ",
        // the top row runs right to left, one pitch higher
        "M107",
        "G1 X2.5 Y0.5 F1500 ",
        "M106 S255",
        "G1 X2 Y0.5 F500 ",
        "M107",
        "G1 X1 Y0.5 F1500 ",
        "M106 S255",
        "G1 X0.5 Y0.5 F500 ",
        "M107",
    };
    EXPECT_EQ(Pass(settings, ExamplePicture()), expected);
}

TEST(ImagePass, WorkedExampleWithBacklashApproachesOnlyTheFirstRunOfALine)
{
    JobSettings settings = ExampleSettings();
    settings.Backlash = true;
    settings.BacklashVal = "0.2";
    const Lines expected = {
        "M107",
        "G1 X0.8 Y0 F1500 ",
        "G1 X1 Y0 F1500 ",
        "M106 S255",
        "G1 X2 Y0 F500 ",
        "M107",
        "G1 X0.3 Y0.5 F1500 ",
        "G1 X0.5 Y0.5 F1500 ",
        "M106 S255",
        "G1 X1 Y0.5 F500 ",
        "M107",
        "G1 X2 Y0.5 F1500 ",
        "M106 S255",
        "G1 X2.5 Y0.5 F500 ",
        "M107",
    };
    EXPECT_EQ(Pass(settings, ExamplePicture()), expected);
}

TEST(ImagePass, GrblPutsTheLaserCommandsOnTheMoveLines)
{
    JobSettings settings = ExampleSettings();
    settings.GRBL = true;
    const Lines expected = {
        "G1 X1 Y0 F1500 M107",
        "G1 X2 Y0 F500 M106 S255",
        "G1 X0.5 Y0.5 F1500 M107",
        "G1 X1 Y0.5 F500 M106 S255",
        "G1 X2 Y0.5 F1500 M107",
        "G1 X2.5 Y0.5 F500 M106 S255",
        "M107",
    };
    EXPECT_EQ(Pass(settings, ExamplePicture()), expected);
}

TEST(ImagePass, GrblBacklashG0AndFakeExtrusion)
{
    JobSettings settings = ExampleSettings();
    settings.GRBL = true;
    settings.UseG0 = true;
    settings.FakeExtrusion = true;
    settings.Backlash = true;
    settings.BacklashVal = "0.2";
    settings.Precision = false;
    // Burn moves begin with G0 too; E1 only on burn moves; the approach point of a reverse
    // line lies to the right of the run.
    const Lines expected = {
        "G0 X0.8 Y0 F1500 M107",
        "G0 X1 Y0 F1500 M107",
        "G0 X2 Y0 F500 E1 M106 S255",
        "G0 X2.7 Y0.5 F1500 M107",
        "G0 X2.5 Y0.5 F1500 M107",
        "G0 X2 Y0.5 F500 E1 M106 S255",
        "G0 X1 Y0.5 F1500 M107",
        "G0 X0.5 Y0.5 F500 E1 M106 S255",
        "M107",
    };
    EXPECT_EQ(Pass(settings, ExamplePicture()), expected);
}

TEST(ImagePass, BacklashOfEitherSignOnBothDirections)
{
    JobSettings settings = ExampleSettings();
    settings.DistPerPixel = "1";
    settings.Backlash = true;
    settings.Precision = false;
    settings.GRBL = true;
    // Row 1 (bottom) is read forward at Y 0, row 0 in reverse at Y 1.
    const MonoBitmap picture = Picture({".#.#", ".#.#"});
    settings.BacklashVal = "0.5";
    EXPECT_EQ(Pass(settings, picture), (Lines{
                                           "G1 X1.5 Y0 F1500 M107",
                                           "G1 X2 Y0 F1500 M107",
                                           "G1 X3 Y0 F500 M106 S255",
                                           "G1 X4 Y0 F1500 M107",
                                           "G1 X5 Y0 F500 M106 S255",
                                           "G1 X5.5 Y1 F1500 M107",
                                           "G1 X5 Y1 F1500 M107",
                                           "G1 X4 Y1 F500 M106 S255",
                                           "G1 X3 Y1 F1500 M107",
                                           "G1 X2 Y1 F500 M106 S255",
                                           "M107",
                                       }));
    settings.BacklashVal = "-0.5";
    EXPECT_EQ(Pass(settings, picture), (Lines{
                                           "G1 X2.5 Y0 F1500 M107",
                                           "G1 X2 Y0 F1500 M107",
                                           "G1 X3 Y0 F500 M106 S255",
                                           "G1 X4 Y0 F1500 M107",
                                           "G1 X5 Y0 F500 M106 S255",
                                           "G1 X4.5 Y1 F1500 M107",
                                           "G1 X5 Y1 F1500 M107",
                                           "G1 X4 Y1 F500 M106 S255",
                                           "G1 X3 Y1 F1500 M107",
                                           "G1 X2 Y1 F500 M106 S255",
                                           "M107",
                                       }));
}

TEST(ImagePass, Printer3DBacklashWritesTheOffCommandOnceBeforeBothMoves)
{
    JobSettings settings = ExampleSettings();
    settings.DistPerPixel = "1";
    settings.Backlash = true;
    settings.BacklashVal = "-0.5";
    EXPECT_EQ(Pass(settings, Picture({"##"})),
              (Lines{"M107", "G1 X1.5 Y0 F1500 ", "G1 X1 Y0 F1500 ", "M106 S255", "G1 X3 Y0 F500 ",
                     "M107"}));
}

struct LineOrderCase {
    const char* name;
    bool halfStep;
    bool precision;
    std::vector<std::string> picture;
    Lines expected;
};

void PrintTo(const LineOrderCase& c, std::ostream* os)
{
    *os << c.name;
}

class LineOrder : public testing::TestWithParam<LineOrderCase> {};

TEST_P(LineOrder, ReadsRowsUpwardAtTheirHeights)
{
    JobSettings settings = ExampleSettings();
    settings.GRBL = true;
    settings.DistPerPixel = "1";
    settings.HalfStepHeight = GetParam().halfStep;
    settings.Precision = GetParam().precision;
    EXPECT_EQ(Pass(settings, Picture(GetParam().picture)), GetParam().expected);
}

// A diagonal: the bottom row is black in its last column, the top row in its first.
const std::vector<std::string> kDiagonal3 = {"#..", ".#.", "..#"};

INSTANTIATE_TEST_SUITE_P(
    Heights, LineOrder,
    testing::Values(
        LineOrderCase{"FullPrecisionOddH",
                      false,
                      true,
                      kDiagonal3,
                      {"G1 X3 Y0 F1500 M107", "G1 X4 Y0 F500 M106 S255", //
                       "G1 X2 Y1 F1500 M107", "G1 X3 Y1 F500 M106 S255", //
                       "G1 X1 Y2 F1500 M107", "G1 X2 Y2 F500 M106 S255", "M107"}},
        // Alternating with odd H: an extra reverse line for row -1 writes nothing.
        LineOrderCase{"FullAlternatingOddH",
                      false,
                      false,
                      kDiagonal3,
                      {"G1 X3 Y0 F1500 M107", "G1 X4 Y0 F500 M106 S255", //
                       "G1 X3 Y1 F1500 M107", "G1 X2 Y1 F500 M106 S255", //
                       "G1 X1 Y2 F1500 M107", "G1 X2 Y2 F500 M106 S255", "M107"}},
        // Half height, precision, even H: rows 1, 1, 0 at 0, 0.5, 1.
        LineOrderCase{"HalfPrecisionEvenH",
                      true,
                      true,
                      {"#.", ".#"},
                      {"G1 X2 Y0 F1500 M107", "G1 X3 Y0 F500 M106 S255",     //
                       "G1 X2 Y0.5 F1500 M107", "G1 X3 Y0.5 F500 M106 S255", //
                       "G1 X1 Y1 F1500 M107", "G1 X2 Y1 F500 M106 S255", "M107"}},
        // Half height, precision, odd H: 2H - 1 lines, the top row once.
        LineOrderCase{"HalfPrecisionOddH",
                      true,
                      true,
                      kDiagonal3,
                      {"G1 X3 Y0 F1500 M107", "G1 X4 Y0 F500 M106 S255",     //
                       "G1 X3 Y0.5 F1500 M107", "G1 X4 Y0.5 F500 M106 S255", //
                       "G1 X2 Y1 F1500 M107", "G1 X3 Y1 F500 M106 S255",     //
                       "G1 X2 Y1.5 F1500 M107", "G1 X3 Y1.5 F500 M106 S255", //
                       "G1 X1 Y2 F1500 M107", "G1 X2 Y2 F500 M106 S255", "M107"}},
        // Half height, alternating, even H: each row forward, then reverse half a pitch up.
        LineOrderCase{"HalfAlternatingEvenH",
                      true,
                      false,
                      {"#.", ".#"},
                      {"G1 X2 Y0 F1500 M107", "G1 X3 Y0 F500 M106 S255",     //
                       "G1 X3 Y0.5 F1500 M107", "G1 X2 Y0.5 F500 M106 S255", //
                       "G1 X1 Y1 F1500 M107", "G1 X2 Y1 F500 M106 S255",     //
                       "G1 X2 Y1.5 F1500 M107", "G1 X1 Y1.5 F500 M106 S255", "M107"}},
        LineOrderCase{"HalfAlternatingOddH",
                      true,
                      false,
                      kDiagonal3,
                      {"G1 X3 Y0 F1500 M107", "G1 X4 Y0 F500 M106 S255",     //
                       "G1 X4 Y0.5 F1500 M107", "G1 X3 Y0.5 F500 M106 S255", //
                       "G1 X2 Y1 F1500 M107", "G1 X3 Y1 F500 M106 S255",     //
                       "G1 X3 Y1.5 F1500 M107", "G1 X2 Y1.5 F500 M106 S255", //
                       "G1 X1 Y2 F1500 M107", "G1 X2 Y2 F500 M106 S255",     //
                       "G1 X2 Y2.5 F1500 M107", "G1 X1 Y2.5 F500 M106 S255", "M107"}},
        // A full black line and a single pixel at the edges, both directions.
        LineOrderCase{"FullRowAndEdgePixels",
                      false,
                      false,
                      {"...#", "####", "#..."},
                      {"G1 X1 Y0 F1500 M107", "G1 X2 Y0 F500 M106 S255", //
                       "G1 X5 Y1 F1500 M107", "G1 X1 Y1 F500 M106 S255", //
                       "G1 X4 Y2 F1500 M107", "G1 X5 Y2 F500 M106 S255", "M107"}},
        // Lines without black write nothing, not even a move to their Y.
        LineOrderCase{"EmptyLinesWriteNothing",
                      false,
                      true,
                      {"..", "#.", ".."},
                      {"G1 X1 Y1 F1500 M107", "G1 X2 Y1 F500 M106 S255", "M107"}}),
    [](const testing::TestParamInfo<LineOrderCase>& info) { return info.param.name; });

TEST(ImagePass, AllWhitePictureWritesOnlyTheFinalOffCommand)
{
    for (const bool grbl : {false, true}) {
        JobSettings settings = ExampleSettings();
        settings.GRBL = grbl;
        settings.Precision = false;
        EXPECT_EQ(Pass(settings, test::WhitePicture(37, 5)), Lines{"M107"});
    }
}

TEST(ImagePass, OffsetsMoveEveryCoordinate)
{
    JobSettings settings = ExampleSettings();
    settings.GRBL = true;
    settings.DistPerPixel = "0.1";
    settings.UseXOffset = true;
    settings.XOffset = "abc"; // not a number: 0, no message
    settings.UseYOffset = true;
    settings.YOffset = "100";
    EXPECT_EQ(Pass(settings, Picture({"#", "#"})),
              (Lines{"G1 X0.1 Y100 F1500 M107", "G1 X0.2 Y100 F500 M106 S255",
                     "G1 X0.1 Y100.1 F1500 M107", "G1 X0.2 Y100.1 F500 M106 S255", "M107"}));
}

struct CoordinateCase {
    const char* xOffset;
    const char* pixelSize;
    const char* row;
    const char* travelX;
    const char* burnX;
};

void PrintTo(const CoordinateCase& c, std::ostream* os)
{
    *os << "XOffset " << c.xOffset << ", d " << c.pixelSize << ", row " << c.row;
}

class TinyCoordinates : public testing::TestWithParam<CoordinateCase> {};

// The rounding remainders of an offset never reach the machine in scientific notation.
TEST_P(TinyCoordinates, AreWrittenPlain)
{
    JobSettings settings = ExampleSettings();
    settings.GRBL = true;
    settings.UseXOffset = true;
    settings.XOffset = GetParam().xOffset;
    settings.DistPerPixel = GetParam().pixelSize;
    EXPECT_EQ(Pass(settings, Picture({GetParam().row})),
              (Lines{std::string("G1 X") + GetParam().travelX + " Y0 F1500 M107",
                     std::string("G1 X") + GetParam().burnX + " Y0 F500 M106 S255", "M107"}));
}

INSTANTIATE_TEST_SUITE_P(Remainders, TinyCoordinates,
                         testing::Values(
                             // -0.3 + 3 * 0.1 = 5.55E-17
                             CoordinateCase{"-0.3", "0.1", "..#.", "0", "0.1"},
                             // -0.9 + 3 * 0.3 = -1.11E-16: zero as well, whatever the sign
                             CoordinateCase{"-0.9", "0.3", "..#.", "0", "0.3"},
                             // -1.00000000001 + 1 = -1.00000008274E-11
                             CoordinateCase{"-1.00000000001", "1", "#", "0", "0.99999999999"},
                             // above 1E-10 the digits stay, in plain notation
                             CoordinateCase{"-0.99995", "1", "#.", "0.00005", "1.00005"},
                             CoordinateCase{"-1.000000125", "1", "#", "-0.000000124999999906",
                                            "0.999999875"}));

TEST(ImagePass, TinyYIsZero)
{
    JobSettings settings = ExampleSettings();
    settings.GRBL = true;
    settings.UseYOffset = true;
    settings.YOffset = "-0.9";
    settings.DistPerPixel = "0.3";
    // The line at A = 3 reads the top row at -0.9 + 3 * 0.3 = -1.11E-16.
    EXPECT_EQ(Pass(settings, Picture({"#", ".", ".", "."})),
              (Lines{"G1 X0.3 Y0 F1500 M107", "G1 X0.6 Y0 F500 M106 S255", "M107"}));
}

TEST(ImagePass, WordSearchAgreesWithPixelByPixelReading)
{
    // Two black palette entries make the pass read pixel by pixel; one black entry lets it
    // compare whole words. Both must find the same runs, at every position within a word.
    std::mt19937 random(12345);
    std::vector<Rgb> palette(StandardPalette().begin(), StandardPalette().end());
    palette[5] = Rgb{0, 0, 0};
    for (int round = 0; round < 60; ++round) {
        const std::int32_t width = 1 + static_cast<std::int32_t>(random() % 41);
        const std::int32_t height = 1 + static_cast<std::int32_t>(random() % 4);
        const unsigned density = random() % 5;
        std::vector<std::uint8_t> mask(static_cast<std::size_t>(width * height));
        std::vector<std::uint8_t> indices(mask.size());
        for (std::size_t i = 0; i < mask.size(); ++i) {
            mask[i] = random() % 5 < density ? 1 : 0;
            indices[i] = mask[i] ? (random() % 2 ? 0 : 5) : (random() % 2 ? 15 : 7);
        }
        const MonoBitmap words = MonoBitmap::FromBlackMask(width, height, mask);
        const MonoBitmap pixels(width, height, palette, indices);
        JobSettings settings = ExampleSettings();
        settings.Precision = round % 2 == 0;
        settings.HalfStepHeight = round % 3 == 0;
        settings.Backlash = round % 4 == 0;
        const Lines expected = Pass(settings, pixels);
        EXPECT_EQ(Pass(settings, words), expected) << "round " << round;
        EXPECT_EQ(expected.back(), "M107");
    }
}

TEST(ImagePass, VeryWidePictureFormatsItsColumnEdgesAsNeeded)
{
    // Too wide to keep the texts of all column edges.
    const std::int32_t width = (1 << 22) - 1;
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(width));
    mask[0] = mask[5] = mask[static_cast<std::size_t>(width) - 1] = 1;
    JobSettings settings = ExampleSettings();
    settings.GRBL = true;
    settings.DistPerPixel = "1";
    settings.Precision = false;
    EXPECT_EQ(Pass(settings, MonoBitmap::FromBlackMask(width, 1, mask)),
              (Lines{"G1 X1 Y0 F1500 M107", "G1 X2 Y0 F500 M106 S255", "G1 X6 Y0 F1500 M107",
                     "G1 X7 Y0 F500 M106 S255", "G1 X4194303 Y0 F1500 M107",
                     "G1 X4194304 Y0 F500 M106 S255", "M107"}));
}

TEST(ImagePass, RefusesAPictureOfAnotherSize)
{
    const JobSettings settings = ExampleSettings();
    const JobContext context = MakeJobContext(settings, ExamplePicture(), '.');
    StringJobSink sink;
    EXPECT_THROW(WriteImagePass(sink, context, settings, Picture({"#"})), std::invalid_argument);
}

TEST(JobEnd, WritesTheEndOfCodeLinesOnlyWhenAsked)
{
    JobSettings settings = ExampleSettings();
    settings.EndOfCode = "M107\r\n\r\nG28 X\xC3\xA9\r\n";
    StringJobSink sink;
    WriteJobEnd(sink, settings);
    EXPECT_EQ(sink.text(), "");
    settings.UseEndOfCode = true;
    WriteJobEnd(sink, settings);
    // an empty line stays, the trailing break adds none, the text is Windows-1252
    EXPECT_EQ(sink.text(), "M107\r\n\r\nG28 X\xE9\r\n");
}

} // namespace
} // namespace pyrolith
