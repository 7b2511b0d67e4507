// The four ways a 3D printer's firmware switches the laser, as whole lines of a small job: the
// header's last lines and every line after "BEGIN IMAGE".
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "JobTestSupport.h"
#include "common/Error.h"
#include "gcode/JobChecks.h"

namespace pyrolith {
namespace {

using test::ExampleSettings;
using test::JobLines;
using test::Greys;
using test::Picture;
using Lines = std::vector<std::string>;

// The lines after the flavor line of the header up to its empty line, then the lines after
// "BEGIN IMAGE".
template <typename Pic> Lines HeaderTailAndPass(const JobSettings& settings, const Pic& picture)
{
    StringJobSink sink;
    WriteJob(sink, MakeJobContext(settings, picture, '.'), settings, picture,
             test::Environment());
    const Lines lines = JobLines(sink.text());
    const auto flavor = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.rfind("; Using ", 0) == 0 && line.find(" flavor") != std::string::npos;
    });
    Lines result(flavor + 1, std::find(flavor, lines.end(), ""));
    const auto image = std::find(lines.begin(), lines.end(), "; BEGIN IMAGE");
    result.insert(result.end(), image + 1, lines.end());
    return result;
}

void MarlinLaser(JobSettings& s)
{
    s.PrinterLaserMode = "3";
    s.LaserOnCommand = "M3 S200";
    s.LaserOffCommand = "M5";
}

struct ModeCase {
    const char* name;
    std::function<void(JobSettings&)> change;
    std::string grey;  // a row of power levels, or empty for the picture "#.#"
    Lines expected;
};

void PrintTo(const ModeCase& c, std::ostream* os)
{
    *os << c.name;
}

class PrinterLaserModes : public testing::TestWithParam<ModeCase> {};

TEST_P(PrinterLaserModes, WriteTheirLines)
{
    JobSettings settings = ExampleSettings();
    settings.PowerLevels = "4";
    GetParam().change(settings);
    const Lines lines = GetParam().grey.empty()
                            ? HeaderTailAndPass(settings, Picture({"#.#"}))
                            : HeaderTailAndPass(settings, Greys({GetParam().grey}));
    EXPECT_EQ(lines, GetParam().expected);
}

const char* const kInlineHeader = "; Marlin laser, inline power (M3 I)";
const char* const kGreyHeader = "; Grayscale with 4 power levels, minimum power 0";

INSTANTIATE_TEST_SUITE_P(
    Modes, PrinterLaserModes,
    testing::Values(
        ModeCase{"WaitForMoves", [](JobSettings& s) { s.PrinterLaserMode = "1"; }, "",
                 {"; Waiting for moves before switching the laser (M400)", "M400", "M107",
                  "G1 X0.5 Y0 F1500 ", "M400", "M106 S255", "G1 X1 Y0 F500 ", "M400", "M107",
                  "G1 X1.5 Y0 F1500 ", "M400", "M106 S255", "G1 X2 Y0 F500 ", "M400",
                  "M107"}},
        // The old key alone is the same choice.
        ModeCase{"OldKeyWaitsForMoves", [](JobSettings& s) { s.SyncLaserCommands = true; },
                 "1.3",
                 {kGreyHeader, "; Waiting for moves before switching the laser (M400)", "M400",
                  "M107", "G1 X0.5 Y0 F1500 ", "M400", "M106 S85", "G1 X1 Y0 F500 ", "M400",
                  "M107", "G1 X1.5 Y0 F1500 ", "M400", "M106 S255", "G1 X2 Y0 F500 ", "M400",
                  "M107"}},
        // The lines of fan commands as they are.
        ModeCase{"SynchronousFanKeepsTheLines",
                 [](JobSettings& s) { s.PrinterLaserMode = "2"; }, "",
                 {"; Firmware applies fan commands in step (synchronous fan)", "M107",
                  "G1 X0.5 Y0 F1500 ", "M106 S255", "G1 X1 Y0 F500 ", "M107",
                  "G1 X1.5 Y0 F1500 ", "M106 S255", "G1 X2 Y0 F500 ", "M107"}},
        ModeCase{"MarlinInline", MarlinLaser, "",
                 {kInlineHeader, "M3 I", "G1 X0.5 Y0 F1500 S0", "G1 X1 Y0 F500 S200",
                  "G1 X1.5 Y0 F1500 S0", "G1 X2 Y0 F500 S200", "M5 I"}},
        ModeCase{"MarlinInlineGrey", MarlinLaser, "12.3",
                 {kGreyHeader, kInlineHeader, "M3 I", "G1 X0.5 Y0 F1500 S0",
                  "G1 X1 Y0 F500 S66.6666666667", "G1 X1.5 Y0 F500 S133.333333333", "G1 X2 Y0 F1500 S0",
                  "G1 X2.5 Y0 F500 S200", "M5 I"}},
        // G0 burns nothing in the inline mode: the burn moves stay G1.
        ModeCase{"MarlinInlineG0Travel",
                 [](JobSettings& s) {
                     MarlinLaser(s);
                     s.UseG0 = true;
                     s.FakeExtrusion = true;
                 },
                 "",
                 {kInlineHeader, "M3 I", "G0 X0.5 Y0 F1500 S0", "G1 X1 Y0 F500 E1 S200",
                  "G0 X1.5 Y0 F1500 S0", "G1 X2 Y0 F500 E1 S200", "M5 I"}},
        // The overscan runs on at the burn feed with power 0.
        ModeCase{"MarlinInlineOverscan",
                 [](JobSettings& s) {
                     MarlinLaser(s);
                     s.Overscan = "0.5";
                 },
                 "",
                 {"; Overscan of 0.5 mm", kInlineHeader, "M3 I", "G1 X0 Y0 F1500 S0",
                  "G1 X0.5 Y0 F500 S0", "G1 X1 Y0 F500 S200", "G1 X1.5 Y0 F500 S0",
                  "G1 X2 Y0 F500 S200", "G1 X2.5 Y0 F500 S0", "M5 I"}},
        // The choice is the 3D printer's: GRBL keeps its own lines.
        ModeCase{"GrblIgnoresTheChoice",
                 [](JobSettings& s) {
                     MarlinLaser(s);
                     s.GRBL = true;
                 },
                 "",
                 {"G1 X0.5 Y0 F1500 M5", "G1 X1 Y0 F500 M3 S200", "G1 X1.5 Y0 F1500 M5",
                  "G1 X2 Y0 F500 M3 S200", "M5"}}),
    [](const testing::TestParamInfo<ModeCase>& info) { return info.param.name; });

TEST(PrinterLaserModes, InlinePowerNeedsTheOnCommandsSNumber)
{
    JobSettings settings = ExampleSettings();
    MarlinLaser(settings);
    settings.LaserOnCommand = "M3";
    try {
        CheckJobNumbers(settings, Picture({"#"}), '.');
        FAIL() << "a job without a power was written";
    } catch (const Error& error) {
        EXPECT_STREQ(error.what(), "Laser Commands, On: 'M3' has no S number to set the power "
                                   "of Marlin's inline laser mode with (for example 'M3 S255')");
        EXPECT_EQ(error.fieldKey(), "LaserOnCommand");
    }
}

} // namespace
} // namespace pyrolith
