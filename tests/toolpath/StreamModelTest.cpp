// The stream model against cases with closed answers: the wire, the receive buffer, the
// controller's time per line and its waits, on moves too short to matter themselves.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "toolpath/StreamModel.h"

namespace {

using namespace pyrolith::toolpath;

// `count` lines "G1X0.00nF6000" of a few micrometres each: 14 bytes on the wire with the
// line end, 13 read, 3 words.
std::string TinyMoves(int count)
{
    std::string text;
    for (int i = 1; i <= count; ++i) {
        text += "G1X0.00" + std::to_string(i % 10) + "F6000\n";
    }
    return text;
}

MachineProfile Fast(double baud, std::size_t receiveBuffer = 127, double idleLock = 0.0)
{
    MachineProfile machine;
    for (int axis = 0; axis < 3; ++axis) {
        machine.maxRate[axis] = 60000.0;
        machine.acceleration[axis] = 1.0e9;
    }
    machine.baudRate = baud;
    machine.receiveBuffer = receiveBuffer;
    machine.stepperIdleLock = idleLock;
    return machine;
}

struct StreamCase {
    const char* name;
    std::string gcode;
    MachineProfile machine;
    ControllerTiming timing;
    double seconds;
};

class StreamTimes : public ::testing::TestWithParam<StreamCase> {};

TEST_P(StreamTimes, MatchTheClosedAnswer)
{
    const StreamCase& c = GetParam();
    const FileEstimate estimate = EstimateStream(
        [&](GcodeReader& reader) { reader.feed(c.gcode); }, c.machine, c.timing);
    EXPECT_NEAR(estimate.times.seconds, c.seconds, 1e-3) << c.name;
}

// The tenth line, "G1X0.000F6000", goes nowhere but is still sent and read.
constexpr double kBytes = 100 * 14.0;

INSTANTIATE_TEST_SUITE_P(
    Cases, StreamTimes,
    ::testing::Values(
        // The controller takes 10 ms a line, the wire is fast: the lines set the pace.
        StreamCase{"LineTimeSetsThePace", TinyMoves(100), Fast(1.0e9), {0.01, 0, 0, 0}, 1.0},
        // 1 ms a byte and 2 ms a word: "G1X0.00nF6000" has 13 bytes and 3 words.
        StreamCase{"LineTimeGrowsWithBytesAndWords", TinyMoves(10), Fast(1.0e9),
                   {0.0, 0.001, 0.002, 0}, 10 * (0.013 + 0.006)},
        // 1000 baud is 100 bytes a second; the controller takes no time.
        StreamCase{"WireSetsThePace", TinyMoves(100), Fast(1000), {0, 0, 0, 0}, kBytes / 100},
        // A buffer of one line: each line is sent only after the one before is answered, so
        // wire and reading add up; with room for nine lines they overlap.
        StreamCase{"OneLineAtATime", TinyMoves(100), Fast(1000, 14), {0.14, 0, 0, 0},
                   100 * (0.14 + 0.14)},
        StreamCase{"BufferOverlapsWireAndReading", TinyMoves(100), Fast(1000), {0.14, 0, 0, 0},
                   0.14 + 100 * 0.14},
        // A dwell is read while the machine comes to rest, waits the idle lock, then its
        // pause; the end of the job comes to rest once more.
        StreamCase{"DwellWaitsForRestAndIdleLock", TinyMoves(10) + "G4P0.5\n" + TinyMoves(10),
                   Fast(1.0e9, 127, 25), {0.01, 0, 0, 0}, 20 * 0.01 + 0.025 + 0.5 + 0.025},
        // The steps of a move (250 a millimetre) take the controller's time from the lines
        // after it: 1 mm, then ten short lines.
        StreamCase{"StepsDelayTheNextLines", "G1Y1F60000\n" + TinyMoves(10), Fast(1.0e9),
                   {0.01, 0, 0, 0.0001}, 11 * 0.01 + 250 * 0.0001}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// 100 moves of 0.1 mm, 10 ms a line: the head runs at 10 mm/s, 600 mm/min, and the job
// takes 0.9 s longer than its moves need.
TEST(LineRate, NoteAndWarningNameTheSpeedTheControllerKeepsUpWith)
{
    std::string job = "M4 S1000\n";
    for (int i = 1; i <= 100; ++i) {
        job += "G1X" + std::to_string(i / 10) + "." + std::to_string(i % 10) + "F6000\n";
    }
    const FileEstimate estimate =
        EstimateStream([&](GcodeReader& reader) { reader.feed(job); }, Fast(1.0e9), {0.01, 0, 0, 0});
    EXPECT_EQ(LineRateNote(estimate.stream),
              "the controller's line rate limits the speed to about 600 mm/min");
    EXPECT_EQ(LineRateNote(estimate.stream, true),
              "the controller's line rate limits the speed to about 24 in/min");
    EXPECT_EQ(LineRateWarning(estimate.stream),
              "The controller keeps up with this job's lines up to about 600 mm/min: at the speed "
              "chosen the job takes 0:00:01 longer than its moves need, and with dynamic power "
              "(M4) the burn gets lighter, with no time gained.");
    // Lines that come fast enough: nothing to say.
    const FileEstimate fast =
        EstimateStream([&](GcodeReader& reader) { reader.feed(job); }, Fast(1.0e9), {0.0001, 0, 0, 0});
    EXPECT_EQ(LineRateWarning(fast.stream), "");
}

}  // namespace

namespace {

// The reader hands its events to the planner's thread in batches, a line's Line event packed
// into the first event of the line; timed on one thread, the same job takes exactly as long.
TEST(StreamBatches, TimeTheJobAsReadingInline)
{
    const std::string grbl =
        "M4S0\nS0\nG1F3000\nX20.1Y20S0\nX20.7F1000S1000\nX21F3000S0\n; note\nG1F500\n"
        "G2X25Y20I2J0\nM5\nG4P0.2\nM3S500\nG1X30\nS0\nG0X0Y0\n";
    const std::string printer =
        "M106 S255\nG1 X10 F1200\nM107\nG1 X20\nG4 P100\nM400\nG0 X0\n; end\n";
    for (const auto& [flavor, text] :
         {std::pair{pyrolith::GcodeFlavor::Grbl, grbl},
          std::pair{pyrolith::GcodeFlavor::Printer3D, printer}}) {
        MachineProfile machine;
        machine.flavor = flavor;
        std::string job;
        for (int i = 0; i < 400; ++i) {
            job += text;  // several batches of events
        }
        const FileEstimate batched = EstimateText(job, machine);
        const FileEstimate inline_ = EstimateStream(
            [&](GcodeReader& reader) { reader.feed(job); }, machine,
            ControllerTimingOf(machine.controllerSpeed));
        EXPECT_EQ(batched.times.seconds, inline_.times.seconds);
        EXPECT_EQ(batched.times.burnSeconds, inline_.times.burnSeconds);
        EXPECT_EQ(batched.times.moveSeconds, inline_.times.moveSeconds);
        EXPECT_EQ(batched.times.burnDistance, inline_.times.burnDistance);
        EXPECT_EQ(batched.stream.plannerSeconds, inline_.stream.plannerSeconds);
        EXPECT_EQ(batched.stream.limitedSeconds, inline_.stream.limitedSeconds);
        EXPECT_GT(batched.times.seconds, 0.0);
    }
}

}  // namespace
