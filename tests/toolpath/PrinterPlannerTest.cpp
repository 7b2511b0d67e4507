// The 3D printer's machine model: a raster measured on the firmware itself, cases whose time
// follows from the model's rules, and the late-burn count of fan commands.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "machine/SendLine.h"
#include "toolpath/MotionPlanner.h"
#include "toolpath/PrinterPlanner.h"
#include "toolpath/ToolpathPreview.h"

namespace pyrolith::toolpath {
namespace {

MachineProfile Printer(PrinterLaser laser, double baud = 115200.0)
{
    MachineProfile machine;
    machine.flavor = GcodeFlavor::Printer3D;
    machine.printerLaser = laser;
    machine.baudRate = baud;
    return machine;
}

// 125 burns of 0.8 mm at 1000 mm/min, each after 0.8 mm with the laser off, streamed one line
// per "ok": 500 lines, or with M400 before each fan command 750.
std::string Raster(bool waitForMoves)
{
    std::string job = "G91\n";
    const std::string wait = waitForMoves ? "M400\n" : "";
    for (int group = 0; group < 125; ++group) {
        job += "G1 X0.8 F1000\n" + wait + "M106 S255\nG1 X0.8\n" + wait + "M107\n";
    }
    return job;
}

struct RasterCase {
    const char* name;
    PrinterLaser laser;
    double measured;  // seconds, on the firmware streamed at 115200 baud
};

class PrinterRaster : public testing::TestWithParam<RasterCase> {};

TEST_P(PrinterRaster, TakesTheMeasuredTime)
{
    const RasterCase& c = GetParam();
    const FileEstimate estimate =
        EstimateText(Raster(c.laser == PrinterLaser::WaitForMoves), Printer(c.laser));
    RecordProperty("estimate", std::to_string(estimate.times.seconds));
    EXPECT_NEAR(estimate.times.seconds, c.measured, 0.05 * c.measured);
    EXPECT_NEAR(estimate.times.burnDistance, 100.0, 1e-9);
    EXPECT_NEAR(estimate.times.travelDistance, 100.0, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    Measured, PrinterRaster,
    testing::Values(RasterCase{"FanCommands", PrinterLaser::FanCommands, 12.0},
                    RasterCase{"WaitForMoves", PrinterLaser::WaitForMoves, 42.9},
                    RasterCase{"SynchronousFan", PrinterLaser::SynchronousFan, 12.02}),
    [](const testing::TestParamInfo<RasterCase>& info) { return info.param.name; });

// A move of d mm at v mm/s with 500 mm/s^2, from and to the stepper's slowest speed vs: a
// trapezoid 2 (v - vs) / a + (d - (v^2 - vs^2) / a) / v.
double Trapezoid(double d, double v = 10.0)
{
    const double vs = PrinterPlanner::kSlowestSpeed;
    return 2.0 * (v - vs) / 500.0 + (d - (v * v - vs * vs) / 500.0) / v;
}

struct TimingCase {
    const char* name;
    std::string gcode;
    PrinterLaser laser;
    double seconds;
};

void PrintTo(const TimingCase& c, std::ostream* os)
{
    *os << c.name;
}

class PrinterTiming : public testing::TestWithParam<TimingCase> {};

TEST_P(PrinterTiming, FollowsTheRules)
{
    const TimingCase& c = GetParam();
    // A line as fast as light: the serial line takes no time.
    const FileEstimate estimate = EstimateText(c.gcode, Printer(c.laser, 1e15));
    EXPECT_NEAR(estimate.times.seconds, c.seconds, 1e-9);
}

const PrinterLaser kFan = PrinterLaser::FanCommands;
const PrinterLaser kMarlin = PrinterLaser::MarlinInline;

INSTANTIATE_TEST_SUITE_P(
    Rules, PrinterTiming,
    testing::Values(
        // The first move waits 100 ms for others.
        TimingCase{"FirstMoveWaits", "G1 X1 F600\n", kFan, 0.1 + Trapezoid(1.0)},
        // Three blocks queued start at once, and run as one line.
        TimingCase{"ThreeBlocksStartAtOnce", "G1 X1 F600\nG1 X2\nG1 X3\n", kFan, Trapezoid(3.0)},
        // The third 0.1 mm block (10 ms) is queued behind two: it is slowed to
        // 10 + 2 (20 - 10) / 2 = 20 ms, 5 mm/s. The first speeds up to 10 mm/s, the second
        // slows down to 5 mm/s in 0.01 s after 0.025 mm at 10 mm/s, the third runs at 5 mm/s
        // and slows down to the stop.
        TimingCase{"MinimumSegmentTime", "G1 X0.1 F600\nG1 X0.2\nG1 X0.3\n", kFan,
                   (10.0 - 1.5) / 500.0 + (0.1 - (100.0 - 2.25) / 1000.0) / 10.0 + 0.0125 +
                       (5.0 - 1.5) / 500.0 + (0.1 - (25.0 - 2.25) / 1000.0) / 5.0},
        // M400 and a dwell empty the queue: each move waits again.
        TimingCase{"StopsAtM400", "G1 X1 F600\nM400\nG1 X2\n", kFan, 2 * (0.1 + Trapezoid(1.0))},
        TimingCase{"StopsAtADwell", "G1 X1 F600\nG4 P500\nG1 X2\n", kFan,
                   2 * (0.1 + Trapezoid(1.0)) + 0.5},
        // A fan command does not stop the moves.
        TimingCase{"FanCommandsDoNotStop", "G1 X1 F600\nM106 S255\nG1 X2\nM107\nG1 X3\n", kFan,
                   Trapezoid(3.0)},
        // Marlin's laser: M3 and M5 wait for the moves, inline they do not.
        TimingCase{"MarlinStandardModeStops", "M3 S255\nG1 X1 F600\nM5\nG1 X2\nM3\nG1 X3\n",
                   kMarlin, 3 * (0.1 + Trapezoid(1.0))},
        TimingCase{"MarlinInlineKeepsMoving",
                   "M3 I\nG1 X1 F600 S0\nG1 X2 S255\nG1 X3 S0\nM5 I\n", kMarlin,
                   Trapezoid(3.0)}),
    [](const testing::TestParamInfo<TimingCase>& info) { return info.param.name; });

// Each line goes out as "N<n> <command>*<checksum>" and its line end; each "ok" comes back
// before the next line; ten bit times a byte.
TEST(PrinterTiming, CountsTheSerialLineBytes)
{
    const double baud = 9600.0;
    const std::string lines[] = {"G1 X1 F600", "M106 S255"};
    const FileEstimate estimate =
        EstimateText("; a comment\nG1 X1 F600 ; go\n\n  M106 S255  (on)\n", Printer(kFan, baud));
    double bytes = 0.0;
    for (int n = 1; n <= 2; ++n) {
        bytes += static_cast<double>(
            machine::NumberedLine(n, lines[n - 1]).size() + 1);  // and its line end
    }
    bytes += PrinterPlanner::kOkBytes;  // the "ok" of the first line
    const double sent = bytes * 10.0 / baud;
    // The move waits 100 ms from its arrival; M106 goes out meanwhile.
    const double firstSent = (machine::NumberedLine(1, lines[0]).size() + 1) * 10.0 / baud;
    EXPECT_NEAR(estimate.times.seconds, std::max(sent, firstSent + 0.1 + Trapezoid(1.0)), 1e-9);
}

// Line numbers of one to four digits, and checksums of one to three: a job without moves
// takes the time of its lines on the wire.
TEST(PrinterTiming, CountsTheDigitsOfEveryLineNumber)
{
    const double baud = 115200.0;
    std::string job;
    double bytes = 0.0;
    for (int n = 1; n <= 1200; ++n) {
        const std::string line = n % 2 == 0 ? "M106 S255" : "M107";
        job += line + "\n";
        bytes += static_cast<double>(machine::NumberedLine(n, line).size() + 1) +
                 (n > 1 ? PrinterPlanner::kOkBytes : 0);
    }
    EXPECT_NEAR(EstimateText(job, Printer(kFan, baud)).times.seconds, bytes * 10.0 / baud, 1e-9);
}

// Stock fan commands: 100 ms of travel at the burn feed, and the runs shorter than that.
TEST(LateBurns, CountTheRunsShorterThanTheLateTravel)
{
    const std::string job = "G1 X1 F1500\nM106 S255\nG1 X1.5 F1200\nM107\nG1 X3\nM106\n"
                            "G1 X4\nG1 X6\nM107\nG1 X7\nM106\nG1 X7.1 F600\nM107\n";
    const FileEstimate stock = EstimateText(job, Printer(kFan));
    EXPECT_EQ(stock.lateBurn.runs, 3u);
    EXPECT_EQ(stock.lateBurn.shortRuns, 2u) << "0.5 mm and 0.1 mm burns, not the 3 mm one";
    EXPECT_DOUBLE_EQ(stock.lateBurn.feed, 1200.0);
    EXPECT_EQ(LateBurnWarning(stock.lateBurn, false),
              "Fan commands may switch the laser up to 100 ms late: a burn may start and end up "
              "to 2.00 mm late at 1200 mm/min, and 2 of 3 runs are shorter than that (they may "
              "not burn at all). The other laser choices of the \"GCode Flavor\" page avoid "
              "this: M400 before each fan command, a synchronous fan, or Marlin's laser.");
    for (const PrinterLaser exact : {PrinterLaser::WaitForMoves, PrinterLaser::SynchronousFan}) {
        EXPECT_EQ(EstimateText(job, Printer(exact)).lateBurn.runs, 0u);
    }
}

// The Job view's band: beyond the end of the run, the 2 mm over which a fan command taken late
// may still burn; none where the firmware takes the commands exactly.
TEST(LateBurns, TheBandFollowsEachRun)
{
    const std::string job = "G1 X1 Y1 F3000\nM106 S255\nG1 X2 F1200\nM107\n";
    PreviewView view;
    view.left = -1.0;
    view.top = 3.05;  // the run lies across the middle of pixel row 20
    view.pixelsPerMm = 10.0;
    view.width = 60;
    view.height = 40;
    const auto pixel = [&](PrinterLaser laser, int x) {
        RgbImage image = RenderPreview(ReadJobPreview(job, Printer(laser)), view);
        const std::uint8_t* p = image.at(x, 20);
        return std::vector<int>{p[0], p[1], p[2]};
    };
    const std::vector<int> black = {0, 0, 0};
    const std::vector<int> band = {250, 175, 60};
    const std::vector<int> white = {255, 255, 255};
    // X 1.5 burns; X 2 to 4 is the band, to pixel 49; X 4.5 is clear.
    EXPECT_EQ((std::vector<std::vector<int>>{pixel(kFan, 25), pixel(kFan, 30), pixel(kFan, 49),
                                             pixel(kFan, 50)}),
              (std::vector<std::vector<int>>{black, band, band, white}));
    EXPECT_EQ(pixel(PrinterLaser::SynchronousFan, 40), white);
}

}  // namespace
}  // namespace pyrolith::toolpath
