// The planner model against cases with closed answers, from G-code through the reader.
// Machine of every case: 100 mm/s^2 on each axis, rates far above the feeds, d = 0.01 mm.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "toolpath/MotionPlanner.h"
#include "toolpath/PrinterPlanner.h"

namespace {

using namespace pyrolith;
using namespace pyrolith::toolpath;

constexpr double kA = 100.0;      // mm/s^2
constexpr double kDelta = 0.01;   // mm
constexpr double kV = 50.0;       // mm/s: F3000

// A move of d mm from rest to rest: a trapezoid d/v + v/a, or a triangle 2 sqrt(d/a).
double RestToRest(double d, double v = kV)
{
    return d >= v * v / kA ? d / v + v / kA : 2.0 * std::sqrt(d / kA);
}

MachineProfile Machine(int blocks = 15, bool laserMode = true,
                       GcodeFlavor flavor = GcodeFlavor::Grbl)
{
    MachineProfile machine;
    machine.flavor = flavor;
    for (int axis = 0; axis < 3; ++axis) {
        machine.maxRate[axis] = 60000.0;
        machine.acceleration[axis] = kA;
    }
    machine.junctionDeviation = kDelta;
    machine.plannerBlocks = blocks;
    machine.laserMode = laserMode;
    return machine;
}

// A printer's stepper starts and stops no slower than its slowest step rate, vs.
double PrinterRestToRest(double d)
{
    const double vs = PrinterPlanner::kSlowestSpeed;
    return 2.0 * (kV - vs) / kA + (d - (kV * kV - vs * vs) / kA) / kV;
}

MachineProfile Printer()
{
    MachineProfile machine = Machine(15, true, GcodeFlavor::Printer3D);
    machine.baudRate = 1e15;
    return machine;
}

JobTimes Time(const std::string& gcode, const MachineProfile& machine)
{
    struct Sink : EventSink {
        MotionPlanner planner;
        explicit Sink(const MachineProfile& m) : planner(m) {}
        void event(const Event& e) override { planner.add(e); }
    } sink(machine);
    GcodeReader reader(machine.readerOptions(), sink);
    reader.feed(gcode);
    reader.finish();
    sink.planner.finish();
    return sink.planner.times();
}

// N collinear short moves of length d at a high feed: with a window of B blocks each block
// may enter and leave at no more than vs = sqrt(2 a (B - 1) d), since the newest block must
// be able to stop. The first B - 1 blocks speed up to vs (vs/a), the last B - 1 slow down
// (vs/a), and each block between speeds up from vs and back: a triangle with peak
// sqrt(vs^2 + a d).
double BufferLimited(int moves, double d, int blocks)
{
    const double vs = std::sqrt(2.0 * kA * (blocks - 1) * d);
    const double between = 2.0 * (std::sqrt(vs * vs + kA * d) - vs) / kA;
    return 2.0 * vs / kA + (moves - 2.0 * (blocks - 1)) * between;
}

std::string Raster(int moves, double d, const std::string& feedWords)
{
    std::string gcode = "G1 " + feedWords + "\n";
    for (int i = 1; i <= moves; ++i) {
        gcode += "X" + std::to_string(i * d) + "\n";
    }
    return gcode;
}

struct PlannerCase {
    const char* name;
    std::string gcode;
    MachineProfile machine;
    double seconds;
};

void PrintTo(const PlannerCase& c, std::ostream* os)
{
    *os << c.name;
}

class PlannerTimes : public testing::TestWithParam<PlannerCase> {};

TEST_P(PlannerTimes, MatchTheClosedAnswer)
{
    const PlannerCase& c = GetParam();
    EXPECT_NEAR(Time(c.gcode, c.machine).seconds, c.seconds, 1e-9 * c.seconds + 1e-9);
}

// A 90 degree corner between long moves: the junction acceleration along (-1, 1)/sqrt(2) is
// a sqrt(2), so v^2 = a sqrt(2) d sin45 / (1 - sin45) = a d / (1 - sin45). A trapezoid
// entered at u and left at w lasts d/v + (v - u)^2 / (2 a v) + (v - w)^2 / (2 a v).
const double kCornerSpeed = std::sqrt(kA * kDelta / (1.0 - std::sqrt(0.5)));
const double kCorner = 2.0 * (100.0 / kV) + kV / kA + std::pow(kV - kCornerSpeed, 2) / (kA * kV);

INSTANTIATE_TEST_SUITE_P(
    Cases, PlannerTimes,
    testing::Values(
        PlannerCase{"Trapezoid", "G1 X100 F3000\n", Machine(), RestToRest(100.0)},
        PlannerCase{"Triangle", "G1 X10 F3000\n", Machine(), RestToRest(10.0)},
        // Along (0.6, 0.8) each axis allows a / 0.6 and a / 0.8: the move gets a / 0.8.
        PlannerCase{"DiagonalTakesTheAxisLimits", "G1 X60 Y80 F3000\n", Machine(),
                    100.0 / kV + kV / (kA / 0.8)},
        PlannerCase{"CollinearPiecesRunAsOneLine", "G1 X25 F3000\nX50\nX75\nX100\n", Machine(),
                    RestToRest(100.0)},
        PlannerCase{"CornerAtTheJunctionSpeed", "G1 X100 F3000\nY100\n", Machine(), kCorner},
        PlannerCase{"ReversalStops", "G1 X100 F3000\nX0\n", Machine(), 2.0 * RestToRest(100.0)},
        PlannerCase{"SlowerBlockCapsTheJunction", "G1 X100 F3000\nX200 F1500\n", Machine(),
                    100.0 / kV + kV / (2 * kA) + std::pow(kV - 25.0, 2) / (2 * kA * kV) +
                        100.0 / 25.0 + 25.0 / (2 * kA)},
        PlannerCase{"ShortMovesLimitedByTheBuffer", Raster(1000, 0.1, "F3000"), Machine(15),
                    BufferLimited(1000, 0.1, 15)},
        PlannerCase{"SmallerBufferIsSlower", Raster(200, 0.1, "F3000"), Machine(4),
                    BufferLimited(200, 0.1, 4)},
        PlannerCase{"LargeBufferReachesTheFeed", Raster(1000, 0.1, "F3000"), Machine(100000),
                    RestToRest(100.0)},
        PlannerCase{"OneBlockStopsEveryMove", Raster(10, 1.0, "F3000"), Machine(1),
                    10 * RestToRest(1.0)},
        // Stops: each splits a straight line into two moves from rest to rest.
        PlannerCase{"DwellStopsAndWaits", "G1 X50 F3000\nG4 P1.5\nX100\n", Machine(),
                    2 * RestToRest(50.0) + 1.5},
        PlannerCase{"GrblSpindleChangeStopsInLaserMode", "M3 S1000 G1 X50 F3000\nM5 X100\n",
                    Machine(), 2 * RestToRest(50.0)},
        PlannerCase{"GrblPowerOnTheMoveKeepsGoing", "M4 S1000 G1 X50 F3000\nX100 S0\n",
                    Machine(), RestToRest(100.0)},
        PlannerCase{"GrblPowerChangeStopsWithoutLaserMode", "M4 S1000 G1 X50 F3000\nX100 S0\n",
                    Machine(15, false), 2 * RestToRest(50.0)},
        // A printer's stepper waits 100 ms before the first move after its queue ran empty
        // (the serial line of these machines takes no time).
        PlannerCase{"PrinterFanCommandsKeepGoing", "G1 X50 F3000\nM106 S255\nX100\nM107\n",
                    Printer(), 0.1 + PrinterRestToRest(100.0)},
        PlannerCase{"PrinterWaitStops", "G1 X50 F3000\nM400\nX100\n", Printer(),
                    2 * (0.1 + PrinterRestToRest(50.0))},
        PlannerCase{"HomingStops", "G1 X50 F3000\nG28\nG1 X50\n", Printer(),
                    2 * (0.1 + PrinterRestToRest(50.0))}),
    [](const testing::TestParamInfo<PlannerCase>& info) { return std::string(info.param.name); });

TEST(JobTimes, SplitBurningFromMoving)
{
    const JobTimes times = Time("G0 X10\nM4 S500\nG1 X110 F3000\nG0 X0\n", Machine());
    EXPECT_NEAR(times.burnSeconds, RestToRest(100.0), 1e-9);
    EXPECT_NEAR(times.burnDistance, 100.0, 1e-9);
    EXPECT_NEAR(times.travelDistance, 120.0, 1e-9);
    EXPECT_NEAR(times.moveSeconds + times.burnSeconds, times.seconds, 1e-9);
}

// What a sender needs for progress: each line's end on the job's clock, in order.
TEST(JobTimes, EachBlockReportsItsLineAndTheTimeAtItsEnd)
{
    const MachineProfile machine = Machine();
    MotionPlanner planner(machine);
    std::vector<std::pair<std::uint64_t, double>> done;
    planner.onDone = [&](std::uint64_t line, double seconds) { done.emplace_back(line, seconds); };
    struct Sink : EventSink {
        MotionPlanner* planner;
        void event(const Event& e) override { planner->add(e); }
    } sink;
    sink.planner = &planner;
    GcodeReader reader(machine.readerOptions(), sink);
    reader.feed("G1 X100 F3000\nG4 P1\nX200\n");
    reader.finish();
    planner.finish();
    const double move = RestToRest(100.0);
    const std::vector<std::pair<std::uint64_t, double>> expected = {
        {1, move}, {2, move + 1.0}, {3, 2 * move + 1.0}};
    ASSERT_EQ(done.size(), expected.size());
    for (std::size_t i = 0; i < done.size(); ++i) {
        EXPECT_EQ(done[i].first, expected[i].first);
        EXPECT_NEAR(done[i].second, expected[i].second, 1e-9);
    }
}

TEST(DurationText, HoursUnpaddedMinutesAndSecondsTwoDigits)
{
    const std::pair<double, const char*> cases[] = {
        {0.0, "0:00:00"}, {59.5, "0:01:00"}, {3599.4, "0:59:59"}, {36000.0 + 62.0, "10:01:02"}};
    for (const auto& [seconds, text] : cases) {
        EXPECT_EQ(DurationText(seconds), text) << seconds;
    }
}

}  // namespace
