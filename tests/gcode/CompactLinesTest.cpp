// Compact GRBL lines: each rule on whole lines in, whole lines out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gcode/CompactLines.h"
#include "gcode/JobTestSupport.h"

namespace {

using namespace pyrolith;

struct CompactCase {
    const char* name;
    bool wholePower;
    std::vector<std::string> in;
    std::vector<std::string> out;
};

class CompactLines : public ::testing::TestWithParam<CompactCase> {};

TEST_P(CompactLines, WriteEachLineAsShortAsGrblReadsItAlike)
{
    const CompactCase& c = GetParam();
    StringJobSink target;
    CompactJobSink compact(target, c.wholePower);
    for (const std::string& line : c.in) {
        compact.line(line);
    }
    compact.finish();
    EXPECT_EQ(test::JobLines(target.text()), c.out);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, CompactLines,
    ::testing::Values(
        // Grey pixels: Y and F repeat, S rounds to the whole units of "S1000".
        CompactCase{"GreyRow", true,
                    {"G1 F6000 \t; Set Laser Off speed", "G1 X-1.8 Y20 F6000 S0",
                     "G1 X20.3 Y20 F6000 S7.8431372549", "G1 X20.4 Y20 F6000 S992.156862745",
                     "G1 X20.5 Y20.1 F6000 S0.4"},
                    {"G1F6000", "X-1.8Y20S0", "X20.3S8", "X20.4S992", "X20.5Y20.1S0"}},
        // The motion word and F come back when they change; an S of a fraction stays when
        // the full power is not whole.
        CompactCase{"ChangesAreWritten", false,
                    {"G0 X1 Y2", "G1 X2 Y2 F3000 S2.5", "G1 X3 Y2 F1500 S2.5", "G0 X4 Y2"},
                    {"G0X1Y2", "G1X2F3000S2.5", "X3F1500S2.5", "G0X4"}},
        // A Y that is the only axis word stays, or the move would go nowhere.
        CompactCase{"LoneYStays", true, {"G1 X5 Y20 F600", "G1 Y20 F600", "G1 Y21"},
                    {"G1X5Y20F600", "Y20", "Y21"}},
        // A line of only S rides on the next move; a move with its own S makes it moot;
        // before a dwell or a laser command it stays alone.
        CompactCase{"LoneSRidesOnTheNextMove", true,
                    {"S10\t; Laser on at Low power", "G4 P0.7\t; Pause for 0.7", "S0",
                     "G1 X1 Y0 F6000", "S0", "G1 X2 Y0 F6000 S500", "S0", "M5", "S0"},
                    {"S10", "G4P0.7", "G1X1Y0F6000S0", "X2S500", "S0", "M5", "S0"}},
        // Comments and blank lines go, but for the marks of the cut; a line the rules do not
        // follow ends what is known, so the next move writes its words again.
        CompactCase{"UnitsAndSystemLinesForgetTheWords", true,
                    {"; BEGIN IMAGE", "", "G1 X1 Y1 F1000", "G90 \t; Absolute Positioning",
                     "G1 X2 Y1 F1000", "$H", "G1 X3 Y1 F1000", "(note) G1 X4 Y1 F1000",
                     "; Begin Perimeter Cut"},
                    {"G1X1Y1F1000", "G90", "G1X2Y1F1000", "$H", "G1X3Y1F1000", "X4",
                     "; Begin Perimeter Cut"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
