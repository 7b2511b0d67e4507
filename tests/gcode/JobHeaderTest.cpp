#include "gcode/JobHeader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "JobTestSupport.h"

namespace pyrolith {
namespace {

using test::Environment;
using test::ExampleSettings;
using test::JobLines;
using Lines = std::vector<std::string>;

Lines Header(const JobSettings& settings, const JobEnvironment& environment = Environment(),
             char decimalSeparator = '.')
{
    const MonoBitmap picture = test::WhitePicture(4, 2);
    const JobContext context = MakeJobContext(settings, picture, decimalSeparator);
    StringJobSink sink;
    WriteHeader(sink, context, settings, environment);
    return JobLines(sink.text());
}

TEST(JobHeader, MillimetresWithEveryOptionOff)
{
    const Lines expected = {
        "; Black and White Bitmap",
        "; Original File: cat.bmp",
        "; 08/12/2026 at 17:40:41",
        "; Pyrolith v1.3.0.4",
        "; Base unit: mm",
        "; Pixel Resolution: 0.5mm",
        "; Using Full Pixel Height",
        "; Laser Off Command: M107",
        "; Laser Print Command: M106 S255",
        "; Laser Low Power Command: M106 S15",
        "; Laser Cut Power Command: M106 S255",
        "; Standard commands used for laser off moves",
        "; Laser Off Speed: 1500 mm/min",
        "; Laser On Speed: 500 mm/min",
        "; Laser Cut Speed: 100 mm/min",
        "; Laser Z-Axis Speed: 200 mm/min",
        "; Laser Trace Speed: 1200 mm/min",
        "; Using optimization",
        "; Do not home Laser at beginning of job",
        "; Do not set Initial Height",
        "; Do not pause at center/center",
        "; Do not pause at front/center",
        "; Do not trace boundary",
        "; Bitmap image will be printed",
        "; Not using X-offset",
        "; Not using Y-offset",
        "; Not repeating image",
        "; Using Precision Print Mode",
        "; Not using Fake Extrusion",
        "; Not using Backlash Correction",
        "; Perimeter cut not enabled",
        "; Using 3D Printer flavor",
        "",
    };
    EXPECT_EQ(Header(ExampleSettings()), expected);
}

TEST(JobHeader, InchesGrblWithEveryOptionOn)
{
    JobSettings s = ExampleSettings();
    s.StartComment = "(";
    s.EndComment = ")";
    s.UseInches = true;
    s.DistPerPixel = "0,1"; // read with either separator
    s.HalfStepHeight = true;
    s.LaserOffCommand = "M5";
    s.LaserOnCommand = "M3 S1000";
    s.LaserLowPower = "M3 S10";
    s.UseG0 = true;
    s.Optimize = false; // the summary says "Using optimization" all the same
    s.GoHome = true;
    s.GoStartHeight = true;
    s.StartHeight = "26";
    s.IndicateCenter = true; // no line at all
    s.IndicateFrontCenter = true;
    s.FrontCenterDwellTime = "2500";
    s.IndicateBoundary = true;
    s.SupressImage = true;
    s.UseXOffset = true;
    s.XOffset = "-10";
    s.UseYOffset = true;
    s.YOffset = "5";
    s.RepeatImage = true;
    s.RepeatImageTimes = "3";
    s.Precision = false;
    s.FakeExtrusion = true;
    s.Backlash = true;
    s.BacklashVal = "0.2";
    s.IncludeCut = true;
    s.Outline = true;
    s.NumRepeats = "6";
    s.InitialCutHeight = "26";
    s.DoAdvDown = false;
    s.GRBL = true;
    const Lines expected = {
        "(Black and White Bitmap)",
        "(Original File: cat.bmp)",
        "(08/12/2026 at 17:40:41)",
        "(Pyrolith v1.3.0.4)",
        "(Base unit: inches)",
        "(Pixel Resolution: 0.1in)",
        "(Using Half Pixel Height)",
        "(Laser Off Command: M5)",
        "(Laser On Command: M3 S1000)",
        "(Laser Low Power Command: M3 S10)",
        "(Laser Cut Power Command: M106 S255)",
        "(\"G0\" used for laser off moves)",
        "(Laser Off Speed: 1500 in/min)",
        "(Laser On Speed: 500 in/min)",
        "(Laser Cut Speed: 100 in/min)",
        "(Laser Z-Axis Speed: 200 in/min)",
        "(Laser Trace Speed: 1200 in/min)",
        "(Using optimization)",
        "(Home Laser at beginning of job)",
        "(Set Initial Height to 26 in)",
        "(Pause at front/center for 2.5 sec)",
        "(Trace boundary)",
        "(Bitmap image not being printed)",
        "(Using X-offset of -10 in)",
        "(Using Y-offset of 5 in)",
        "(Repeating image print 3 times)",
        "(Not using Precision Print Mode)",
        "(Using Fake Extrusion)",
        "(Backlash Correction enabled, 0.2 in)",
        "(Perimeter cut enabled)",
        "(Cutting outline of boundary)",
        "(Cut 6 repetitions)",
        "(Intial cut height of 26 in)",
        "(Do not advance down each repeat)",
        "(Using GRBL flavor)",
        "",
    };
    EXPECT_EQ(Header(s), expected);
}

// Returns the lines of the header from the one that starts with `first`, `count` of them.
Lines Excerpt(const Lines& header, const std::string& first, std::size_t count)
{
    for (std::size_t i = 0; i < header.size(); ++i) {
        if (header[i].rfind(first, 0) == 0) {
            return Lines(header.begin() + static_cast<std::ptrdiff_t>(i),
                         header.begin() +
                             static_cast<std::ptrdiff_t>(std::min(header.size(), i + count)));
        }
    }
    ADD_FAILURE() << "no line starts with " << first;
    return {};
}

TEST(JobHeader, PerimeterCutLinesInMillimetres)
{
    JobSettings s = ExampleSettings();
    s.IncludeCut = true;
    s.Outline = false;
    s.DoAdvDown = true;
    s.AdvDownAmount = "0.2";
    s.NumRepeats = "1";
    s.InitialCutHeight = "26";
    EXPECT_EQ(
        Excerpt(Header(s), "; Not using Backlash", 7),
        (Lines{"; Not using Backlash Correction", "; Perimeter cut enabled",
               "; Cutting outline of image", "; Cut 1 repetitions", "; Intial cut height of 26 mm",
               "; Advance down each repeat 0.2 mm", "; Using 3D Printer flavor"}));
}

TEST(JobHeader, FrontPauseFollowsTheStartHeightLineInTheFlavorsUnit)
{
    JobSettings s = ExampleSettings();
    s.IndicateCenter = true;
    s.IndicateFrontCenter = true;
    s.FrontCenterDwellTime = "5000";
    EXPECT_EQ(Excerpt(Header(s), "; Do not set Initial Height", 3),
              (Lines{"; Do not set Initial Height", "; Pause at front/center for 5000 msec",
                     "; Do not trace boundary"}));
    s.GRBL = true;
    EXPECT_EQ(Excerpt(Header(s), "; Do not set Initial Height", 2),
              (Lines{"; Do not set Initial Height", "; Pause at front/center for 5 sec"}));
}

struct RowCase {
    const char* name;
    void (*change)(JobSettings&);
    const char* line;
};

void PrintTo(const RowCase& c, std::ostream* os)
{
    *os << c.name;
}

class HeaderRow : public testing::TestWithParam<RowCase> {};

TEST_P(HeaderRow, ReadsExactly)
{
    JobSettings s = ExampleSettings();
    GetParam().change(s);
    const Lines header = Header(s);
    EXPECT_NE(std::find(header.begin(), header.end(), GetParam().line), header.end())
        << "missing line '" << GetParam().line << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HeaderRow,
    testing::Values(
        RowCase{"UnreadablePixelSize", [](JobSettings& s) { s.DistPerPixel = "abc"; },
                "; Pixel Resolution: 0mm"},
        // The summary keeps the G-code number form: it is a comment for people.
        RowCase{"TinyPixelSize", [](JobSettings& s) { s.DistPerPixel = "0.00005"; },
                "; Pixel Resolution: 5E-5mm"},
        RowCase{"CommaPixelSize", [](JobSettings& s) { s.DistPerPixel = "0,1"; },
                "; Pixel Resolution: 0.1mm"},
        RowCase{"EmptyLowPower", [](JobSettings& s) { s.LaserLowPower = ""; },
                "; Laser Low Power Command: "},
        RowCase{"SpeedAsTyped", [](JobSettings& s) { s.OffSpeed = " 1,500x"; },
                "; Laser Off Speed:  1,500x mm/min"},
        RowCase{"StartHeightMm",
                [](JobSettings& s) {
                    s.GoStartHeight = true;
                    s.StartHeight = "26";
                },
                "; Set Initial Height to 26 mm"},
        RowCase{"BacklashAsTyped",
                [](JobSettings& s) {
                    s.Backlash = true;
                    s.BacklashVal = "0.50";
                },
                "; Backlash Correction enabled, 0.50 mm"},
        // The kerf of a cut along the image, after the flavor line.
        RowCase{"CutKerfAsTyped",
                [](JobSettings& s) {
                    s.IncludeCut = true;
                    s.Outline = false;
                    s.NumRepeats = "1";
                    s.CutKerf = "0.20";
                },
                "; Cut kerf of 0.20 mm"},
        // Characters outside Windows-1252 become "?", the rest keep their code page byte.
        RowCase{"CodePage",
                [](JobSettings& s) { s.LaserOnCommand = "M3 \xE2\x82\xAC \xE6\x97\xA5"; },
                "; Laser Print Command: M3 \x80 ?"}),
    [](const testing::TestParamInfo<RowCase>& info) { return info.param.name; });

// What the picture became: the lines after the flavor line, one for each picture setting
// that is not at its default (a 4 x 2 picture read from one of 3600 x 1800 pixels).
struct PictureCase {
    const char* name;
    void (*change)(JobSettings&);
    Lines tail;
};

void PrintTo(const PictureCase& c, std::ostream* os)
{
    *os << c.name;
}

class HeaderPicture : public testing::TestWithParam<PictureCase> {};

TEST_P(HeaderPicture, EndsWithWhatThePictureBecame)
{
    JobSettings s = ExampleSettings();
    GetParam().change(s);
    JobEnvironment environment = Environment();
    environment.sourceWidth = 3600;
    environment.sourceHeight = 1800;
    const Lines header = Header(s, environment);
    const auto flavor = std::find(header.begin(), header.end(), "; Using 3D Printer flavor");
    ASSERT_NE(flavor, header.end());
    Lines expected = GetParam().tail;
    expected.push_back("");
    EXPECT_EQ(Lines(flavor + 1, header.end()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, HeaderPicture,
    testing::Values(
        PictureCase{"DefaultsAddNothing", [](JobSettings&) {}, {}},
        // Adjustments change nothing in the default mode, nor does an unknown mode's name.
        PictureCase{"AdjustmentsOfTheDefaultMode",
                    [](JobSettings& s) {
                        s.Brightness = "10";
                        s.Invert = true;
                        s.ImageMode = "NoSuchMode";
                    },
                    {}},
        PictureCase{"FloydSteinberg", [](JobSettings& s) { s.ImageMode = "floydsteinberg"; },
                    {"; Picture: Floyd-Steinberg dither"}},
        PictureCase{"ThresholdAsUsed",
                    [](JobSettings& s) {
                        s.ImageMode = "Threshold";
                        s.Threshold = "300";
                    },
                    {"; Picture: Threshold", "; Threshold: 255"}},
        PictureCase{"EveryAdjustment",
                    [](JobSettings& s) {
                        s.ImageMode = "Atkinson";
                        s.Brightness = "10";
                        s.Contrast = "-20";
                        s.Gamma = "1,5";
                        s.Invert = true;
                    },
                    {"; Picture: Atkinson dither",
                     "; Adjustments: brightness 10, contrast -20, gamma 1.5, inverted"}},
        PictureCase{"OneAdjustment",
                    [](JobSettings& s) {
                        s.ImageMode = "Bayer";
                        s.Contrast = "35";
                    },
                    {"; Picture: Ordered dither (Bayer 8 x 8)", "; Adjustments: contrast 35"}},
        PictureCase{"Resized",
                    [](JobSettings& s) {
                        s.ImageMode = "Stucki";
                        s.ResizeWidth = "2";
                    },
                    {"; Picture: Stucki dither",
                     "; Resized to 4 x 2 pixels for a width of 2 mm",
                     "; Source picture: 3600 x 1800 pixels"}},
        PictureCase{"ResizedInInches",
                    [](JobSettings& s) {
                        s.UseInches = true;
                        s.ResizeWidth = "2.0";
                    },
                    {"; Resized to 4 x 2 pixels for a width of 2.0 in",
                     "; Source picture: 3600 x 1800 pixels"}},
        // A width too small for one column keeps the picture's pixels.
        PictureCase{"ResizeThatAsksForNoColumns",
                    [](JobSettings& s) { s.ResizeWidth = "0.1"; },
                    {}}),
    [](const testing::TestParamInfo<PictureCase>& info) { return info.param.name; });

// The flavor a job's header names, as the command line's check reads it back.
struct NamedFlavorCase {
    const char* name;
    std::string text;
    std::optional<GcodeFlavor> flavor;
};

void PrintTo(const NamedFlavorCase& c, std::ostream* os)
{
    *os << c.name;
}

class NamedFlavor : public testing::TestWithParam<NamedFlavorCase> {};

TEST_P(NamedFlavor, IsReadFromOurHeaderOnly)
{
    EXPECT_EQ(FlavorNamedInHeader(GetParam().text), GetParam().flavor);
}

std::string HeaderText(const JobSettings& settings)
{
    std::string text;
    for (const std::string& line : Header(settings)) {
        text += line + "\r\n";
    }
    return text + "G90\r\n; Using GRBL flavor\r\n";
}

JobSettings GrblInParentheses()
{
    JobSettings s = ExampleSettings();
    s.GRBL = true;
    s.StartComment = "(";
    s.EndComment = ")";
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, NamedFlavor,
    testing::Values(
        NamedFlavorCase{"PrinterJob", HeaderText(ExampleSettings()), GcodeFlavor::Printer3D},
        NamedFlavorCase{"GrblJobInParentheses", HeaderText(GrblInParentheses()),
                        GcodeFlavor::Grbl},
        NamedFlavorCase{"LineFeedsOnly",
                        "; Black and White Bitmap\n; Original File: a.bmp\n; today\n"
                        "; Pyrolith v1.3.0.4\n; Using GRBL flavor\n",
                        GcodeFlavor::Grbl},
        NamedFlavorCase{"AnotherProgramsFile", "; made by hand\n; Using GRBL flavor\nG1 X1\n",
                        std::nullopt},
        NamedFlavorCase{"FlavorAfterTheHeader",
                        "; Pyrolith v1.3.0.4\r\n\r\n; Using GRBL flavor\r\n", std::nullopt},
        NamedFlavorCase{"NameTooLate",
                        "G21\nG90\nG28\nM107\n; Pyrolith v1.3.0.4\n; Using GRBL flavor\n",
                        std::nullopt},
        NamedFlavorCase{"Empty", "", std::nullopt}),
    [](const testing::TestParamInfo<NamedFlavorCase>& info) { return info.param.name; });

TEST(JobHeader, FileNameDateAndTimeInTheJobsCodePage)
{
    JobEnvironment environment = Environment();
    environment.imageFileName = "caf\xC3\xA9.bmp";
    environment.date = "8.12.2026";
    environment.time = "17:40";
    const Lines header = Header(ExampleSettings(), environment);
    ASSERT_GE(header.size(), 3u);
    EXPECT_EQ(header[1], "; Original File: caf\xE9.bmp");
    EXPECT_EQ(header[2], "; 8.12.2026 at 17:40");
}

TEST(JobHeader, OffsetLinesOnceEach)
{
    const Lines header = Header(ExampleSettings());
    EXPECT_EQ(std::count(header.begin(), header.end(), "; Not using X-offset"), 1);
    EXPECT_EQ(std::count(header.begin(), header.end(), "; Not using Y-offset"), 1);
    EXPECT_EQ(Excerpt(header, "; Not using X-offset", 2),
              (Lines{"; Not using X-offset", "; Not using Y-offset"}));
}

} // namespace
} // namespace pyrolith
