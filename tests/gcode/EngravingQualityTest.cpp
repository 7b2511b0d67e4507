#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "JobTestSupport.h"
#include "common/Error.h"
#include "gcode/ImagePass.h"
#include "gcode/JobChecks.h"
#include "gcode/LaserPower.h"
#include "support/Printable.h"

namespace pyrolith {
namespace {

using test::ExampleSettings;
using test::JobLines;
using test::Greys;
using test::Picture;
using Lines = std::vector<std::string>;

template <typename Pic> Lines Pass(const JobSettings& settings, const Pic& picture)
{
    const JobContext context = MakeJobContext(settings, picture, '.');
    StringJobSink sink;
    WriteImagePass(sink, context, settings, picture);
    return JobLines(sink.text());
}

struct PassCase {
    const char* name;
    std::function<void(JobSettings&)> change;
    std::vector<std::string> mono; // a black-and-white picture, or else
    std::vector<std::string> grey; // a grey picture of 4 levels
    Lines expected;
};

void PrintTo(const PassCase& c, std::ostream* os)
{
    *os << c.name;
}

class QualityPass : public testing::TestWithParam<PassCase> {};

TEST_P(QualityPass, WritesTheLines)
{
    JobSettings settings = ExampleSettings();
    settings.PowerLevels = "4";
    GetParam().change(settings);
    const Lines lines = GetParam().mono.empty() ? Pass(settings, Greys(GetParam().grey))
                                                : Pass(settings, Picture(GetParam().mono));
    EXPECT_EQ(lines, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, QualityPass,
    testing::Values(
        // Three levels; where only the level changes the next burn follows with no travel.
        PassCase{"GreyPrinter3D",
                 [](JobSettings&) {},
                 {},
                 {"12.3"},
                 {"M107", "G1 X0.5 Y0 F1500 ", "M106 S85", "G1 X1 Y0 F500 ", "M106 S170",
                  "G1 X1.5 Y0 F500 ", "M107", "G1 X2 Y0 F1500 ", "M106 S255", "G1 X2.5 Y0 F500 ",
                  "M107"}},
        PassCase{"GreyGrblReverseWithMinimumPower",
                 [](JobSettings& s) {
                     s.GRBL = true;
                     s.Precision = false;
                     s.MinPower = "30";
                 },
                 {},
                 {"12.3", "...."},
                 {"G1 X2.5 Y0.5 F1500 M107", "G1 X2 Y0.5 F500 M106 S255", "G1 X1.5 Y0.5 F1500 M107",
                  "G1 X1 Y0.5 F500 M106 S180", "G1 X0.5 Y0.5 F500 M106 S105", "M107"}},
        // Overscan after the backlash approach, laser-off moves at the burn feed between
        // and after the runs, on a forward and a reverse line.
        PassCase{"OverscanWithBacklashPrinter3D",
                 [](JobSettings& s) {
                     s.Precision = false;
                     s.Overscan = "1";
                     s.Backlash = true;
                     s.BacklashVal = "0.2";
                 },
                 {"#..#", ".##."},
                 {},
                 {"M107",
                  "G1 X-0.2 Y0 F1500 ",
                  "G1 X0 Y0 F1500 ",
                  "G1 X1 Y0 F500 ",
                  "M106 S255",
                  "G1 X2 Y0 F500 ",
                  "M107",
                  "G1 X3 Y0 F500 ",
                  "M107",
                  "G1 X3.7 Y0.5 F1500 ",
                  "G1 X3.5 Y0.5 F1500 ",
                  "G1 X2.5 Y0.5 F500 ",
                  "M106 S255",
                  "G1 X2 Y0.5 F500 ",
                  "M107",
                  "G1 X1 Y0.5 F500 ",
                  "M106 S255",
                  "G1 X0.5 Y0.5 F500 ",
                  "M107",
                  "G1 X-0.5 Y0.5 F500 ",
                  "M107"}},
        // The laser-off moves carry no E even with fake extrusion.
        PassCase{"OverscanGrblFakeExtrusion",
                 [](JobSettings& s) {
                     s.GRBL = true;
                     s.FakeExtrusion = true;
                     s.Overscan = "0,25";
                 },
                 {"#."},
                 {},
                 {"G1 X0.25 Y0 F1500 M107", "G1 X0.5 Y0 F500 M107", "G1 X1 Y0 F500 E1 M106 S255",
                  "G1 X1.25 Y0 F500 M107", "M107"}},
        PassCase{"SyncBeforeEveryLaserCommandLine",
                 [](JobSettings& s) { s.SyncLaserCommands = true; },
                 {},
                 {"2.3"},
                 {"M400", "M107", "G1 X0.5 Y0 F1500 ", "M400", "M106 S170", "G1 X1 Y0 F500 ",
                  "M400", "M107", "G1 X1.5 Y0 F1500 ", "M400", "M106 S255", "G1 X2 Y0 F500 ",
                  "M400", "M107"}},
        PassCase{"SyncChangesNothingForGrbl",
                 [](JobSettings& s) {
                     s.GRBL = true;
                     s.SyncLaserCommands = true;
                 },
                 {".#"},
                 {},
                 {"G1 X1 Y0 F1500 M107", "G1 X1.5 Y0 F500 M106 S255", "M107"}}),
    [](const testing::TestParamInfo<PassCase>& info) { return info.param.name; });

struct PowerCase {
    const char* onCommand;
    const char* levels;
    const char* minPower;
    Lines expected; // levels 1 and up
};

void PrintTo(const PowerCase& c, std::ostream* os)
{
    *os << "'" << c.onCommand << "', " << c.levels << " levels from '" << c.minPower << "'";
}

class PowerCommandTexts : public testing::TestWithParam<PowerCase> {};

TEST_P(PowerCommandTexts, ReplaceTheSNumber)
{
    JobSettings settings;
    settings.LaserOnCommand = GetParam().onCommand;
    settings.PowerLevels = GetParam().levels;
    settings.MinPower = GetParam().minPower;
    const std::vector<std::string> commands = PowerCommands(settings, GetParam().onCommand, '.');
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands[0], "");
    EXPECT_EQ(Lines(commands.begin() + 1, commands.end()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, PowerCommandTexts,
    testing::Values(PowerCase{"M3 S1000", "3", "100", {"M3 S550", "M3 S1000"}},
                    PowerCase{"S1000", "4", "0,5", {"S333.666666667", "S666.833333333", "S1000"}},
                    PowerCase{"m106s255.0 ; fan", "2", "255", {"m106s255 ; fan"}},
                    // The top level is the full power as typed, not one rounding step off it.
                    PowerCase{"S63333333333050",
                              "4",
                              "0.3",
                              {"S21111111111000", "S42222222222000", "S63333333333000"}},
                    PowerCase{"(S9) M106 P1 S 2 S255",
                              "4",
                              " 0 ",
                              {"(S9) M106 P1 S 2 S85", "(S9) M106 P1 S 2 S170",
                               "(S9) M106 P1 S 2 S255"}}),
    [](const testing::TestParamInfo<PowerCase>& info) {
        return pyrolith::test::CaseName(std::string(info.param.onCommand) + " " +
                                        info.param.levels + " levels");
    });

struct RefusalCase {
    const char* name;
    std::function<void(JobSettings&)> change;
    bool grey;
    const char* key;
    const char* message;
};

void PrintTo(const RefusalCase& c, std::ostream* os)
{
    *os << c.name;
}

class Refusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(Refusal, StopsTheJobWithTheMessage)
{
    JobSettings settings = ExampleSettings();
    GetParam().change(settings);
    try {
        if (GetParam().grey) {
            CheckJobNumbers(settings, Greys({"1"}), '.');
        } else {
            CheckJobNumbers(settings, Picture({"#"}), '.');
        }
        FAIL() << "no error";
    } catch (const Error& error) {
        EXPECT_STREQ(error.what(), GetParam().message);
        EXPECT_EQ(error.fieldKey(), GetParam().key);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Settings, Refusal,
    testing::Values(
        RefusalCase{"NoSNumber", [](JobSettings& s) { s.LaserOnCommand = "M106 (S255)"; }, true,
                    "LaserOnCommand",
                    "Laser Commands, On: 'M106 (S255)' has no S number to set the power levels "
                    "with (for example 'M106 S255')"},
        RefusalCase{"TooManyLevels", [](JobSettings& s) { s.PowerLevels = "257"; }, true,
                    "PowerLevels",
                    "Engraving, Power levels: '257' is not a whole number from 2 to 256"},
        RefusalCase{
            "MinimumAboveFull", [](JobSettings& s) { s.MinPower = "255.5"; }, true, "MinPower",
            "Engraving, Minimum power: '255.5' is not a number from 0 to the full power 255"},
        RefusalCase{"NegativeOverscan", [](JobSettings& s) { s.Overscan = "-1"; }, false,
                    "Overscan", "Engraving, Overscan: '-1' is not a distance of 0 or more"}),
    [](const testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

TEST(GreyLevels, BoundariesOfTheLevels)
{
    // L = floor((255 - g) * levels / 256)
    const auto table16 = GreyLevelTable(16);
    EXPECT_EQ((Lines{std::to_string(table16[0]), std::to_string(table16[15]),
                     std::to_string(table16[16]), std::to_string(table16[239]),
                     std::to_string(table16[240]), std::to_string(table16[255])}),
              (Lines{"15", "15", "14", "1", "0", "0"}));
    const auto table256 = GreyLevelTable(256);
    EXPECT_EQ(table256[0], 255);
    EXPECT_EQ(table256[200], 55);
}

TEST(GreyLevels, TwoLevelsBurnLikeTheBlackAndWhitePass)
{
    // With two levels and no minimum the one power is the on command's own S number, so a
    // picture of black and white engraves the same either way, at every position of a word.
    std::mt19937 random(4711);
    for (int round = 0; round < 60; ++round) {
        const auto width = static_cast<std::int32_t>(1 + random() % 41);
        const auto height = static_cast<std::int32_t>(1 + random() % 4);
        std::vector<std::uint8_t> mask(static_cast<std::size_t>(width * height));
        GrayRaster grey;
        grey.width = width;
        grey.height = height;
        for (std::uint8_t& black : mask) {
            black = random() % 3 == 0 ? 1 : 0;
            grey.pixels.push_back(black ? static_cast<std::uint8_t>(random() % 128) : 255);
        }
        JobSettings settings = ExampleSettings();
        settings.PowerLevels = "2";
        settings.Precision = round % 2 == 0;
        settings.HalfStepHeight = round % 3 == 0;
        settings.Overscan = round % 4 == 0 ? "0.7" : "";
        EXPECT_EQ(Pass(settings, grey),
                  Pass(settings, MonoBitmap::FromBlackMask(width, height, mask)))
            << "round " << round;
    }
}

TEST(EngravingOptions, HeaderLinesFollowTheFlavorLineOnlyWhenOn)
{
    JobSettings settings = ExampleSettings();
    const auto headerTail = [&](bool grey) {
        StringJobSink sink;
        if (grey) {
            WriteJob(sink, MakeJobContext(settings, Greys({"1"}), '.'), settings, Greys({"1"}),
                     test::Environment());
        } else {
            WriteJob(sink, MakeJobContext(settings, Picture({"#"}), '.'), settings, Picture({"#"}),
                     test::Environment());
        }
        const Lines lines = JobLines(sink.text());
        const auto flavor = std::find(lines.begin(), lines.end(), "; Using 3D Printer flavor");
        return Lines(flavor + 1, std::find(flavor, lines.end(), ""));
    };
    settings.Overscan = "0";
    EXPECT_EQ(headerTail(false), Lines{});
    settings.Overscan = "2.5";
    settings.SyncLaserCommands = true;
    settings.MinPower = "10";
    EXPECT_EQ(headerTail(true),
              (Lines{"; Grayscale with 16 power levels, minimum power 10", "; Overscan of 2.5 mm",
                     "; Waiting for moves before switching the laser (M400)"}));
}

TEST(EngravingOptions, SyncPrecedesEveryLaserCommandLineOfTheJob)
{
    JobSettings settings = ExampleSettings();
    settings.IndicateCenter = true;
    settings.IndicateBoundary = true;
    const auto job = [&] {
        StringJobSink sink;
        WriteJob(sink, MakeJobContext(settings, Picture({"#.#"}), '.'), settings, Picture({"#.#"}),
                 test::Environment());
        return JobLines(sink.text());
    };
    const Lines plain = job();
    settings.SyncLaserCommands = true;
    const Lines synced = job();
    // The synced job is the plain one with "M400" before each line that starts with a laser
    // command, and the header line.
    Lines expected;
    for (const std::string& line : plain) {
        if (line.rfind("M10", 0) == 0) {
            expected.push_back("M400");
        }
        expected.push_back(line);
        if (line == "; Using 3D Printer flavor") {
            expected.push_back("; Waiting for moves before switching the laser (M400)");
        }
    }
    EXPECT_EQ(synced, expected);
    EXPECT_EQ(std::count(synced.begin(), synced.end(), "M400"), 11);
}

} // namespace
} // namespace pyrolith
