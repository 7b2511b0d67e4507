#include "toolpath/SpeedLimits.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pyrolith::toolpath {
namespace {

// Speeds the machine cannot reach are named, each with the rate it runs at instead.
struct SpeedCase {
    const char* name;
    void (*change)(JobSettings&);
    std::vector<std::string> expected;
};

void PrintTo(const SpeedCase& c, std::ostream* os)
{
    *os << c.name;
}

class FastSpeeds : public testing::TestWithParam<SpeedCase> {};

TEST_P(FastSpeeds, AreNamedWithTheRateTheMachineRunsAt)
{
    JobSettings settings;
    settings.UseInches = false;
    settings.OffSpeed = "6000";
    settings.OnSpeed = "1000";
    settings.TraceSpeed = "9000";
    settings.IndicateBoundary = false;
    GetParam().change(settings);
    EXPECT_EQ(SpeedsAboveMaxRate(settings), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Speeds, FastSpeeds,
    testing::Values(
        SpeedCase{"AtTheRateIsFine", [](JobSettings&) {}, {}},
        SpeedCase{"AppendedDigits", [](JobSettings& s) { s.OffSpeed = "15003000"; },
                  {"Speeds, Laser Off: 15003000 mm/min is above the machine's maximum rate of "
                   "6000 mm/min (Machine page, Max rate X)"}},
        SpeedCase{"SlowerYAxisAndTheTrace",
                  [](JobSettings& s) {
                      s.MaxRateY = "3000";
                      s.OnSpeed = "3000.5";
                      s.IndicateBoundary = true;
                  },
                  {"Speeds, Laser Off: 6000 mm/min is above the machine's maximum rate of 3000 "
                   "mm/min (Machine page, Max rate Y)",
                   "Speeds, Laser On: 3000.5 mm/min is above the machine's maximum rate of 3000 "
                   "mm/min (Machine page, Max rate Y)",
                   "Speeds, Trace: 9000 mm/min is above the machine's maximum rate of 3000 "
                   "mm/min (Machine page, Max rate Y)"}},
        SpeedCase{"InchesPerMinute",
                  [](JobSettings& s) {
                      s.UseInches = true;
                      s.OffSpeed = "200";
                      s.OnSpeed = "250";
                  },
                  {"Speeds, Laser On: 250 in/min (6350 mm/min) is above the machine's maximum "
                   "rate of 6000 mm/min (Machine page, Max rate X)"}},
        SpeedCase{"CommaAndUnreadable",
                  [](JobSettings& s) {
                      s.OffSpeed = "6000,5";
                      s.OnSpeed = "fast";
                  },
                  {"Speeds, Laser Off: 6000,5 mm/min is above the machine's maximum rate of "
                   "6000 mm/min (Machine page, Max rate X)"}}),
    [](const testing::TestParamInfo<SpeedCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pyrolith::toolpath
