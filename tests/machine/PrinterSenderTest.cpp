// The printer sender against the printer stand-in, on the code's own clock: one line per "ok",
// or a window of lines with the advanced "ok"; resends in the window; a safe stop.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "machine/MarlinStandIn.h"
#include "machine/PrinterSession.h"
#include "machine/SendLine.h"

namespace pyrolith::machine {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> Job()
{
    std::vector<std::string> lines = {"; raster", "G90", ""};
    for (int i = 1; i <= 120; ++i) {
        lines.push_back(i % 2 == 0 ? "M106 S255" : "M107");
        lines.push_back("G1 X" + std::to_string(i) + ".8 Y3 F1000 ; run");
    }
    lines.push_back("M107");
    return lines;
}

struct Outcome {
    JobState end = JobState::None;
    std::vector<std::string> messages;
};

// Sender and stand-in take turns, a millisecond of the session's clock each, until the job
// ends; `stopAt` job lines acknowledged, the job is stopped.
Outcome Drive(PrinterSession& session, testing::MarlinStandIn& printer,
          std::size_t stopAt = SIZE_MAX)
{
    Outcome run;
    TimePoint now{};
    session.open(now, false);
    bool started = false;
    bool stopped = false;
    for (int turn = 0; turn < 200000; ++turn) {
        printer.receive(session.takeOutput());
        session.receive(printer.step(), now);
        now += 1ms;
        session.tick(now);
        if (session.ready() && !started) {
            started = session.startJob(Job(), now);
        }
        if (started && !stopped && session.progress().acknowledged >= stopAt) {
            session.stop(now);
            stopped = true;
        }
        if (started && !session.jobActive()) {
            break;
        }
    }
    for (auto& message : session.takeMessages()) {
        run.messages.push_back(std::move(message.text));
    }
    run.end = session.jobState();
    return run;
}

std::vector<std::string> JobCommands()
{
    std::vector<std::string> commands;
    for (const std::string& line : Job()) {
        if (std::string text = CleanLine(line, false); !text.empty()) {
            commands.push_back(std::move(text));
        }
    }
    return commands;
}

struct SenderCase {
    const char* name;
    bool advancedOk;
    std::int64_t garble;     // the line number damaged once on the wire, or -1
    std::size_t inFlight;    // the most lines under way at once
};

class PrinterSender : public ::testing::TestWithParam<SenderCase> {};

TEST_P(PrinterSender, RunsEveryLineOnceInOrder)
{
    const SenderCase& c = GetParam();
    testing::MarlinStandIn printer(c.advancedOk, c.garble);
    PrinterSession session(SessionTimings{}, "M107");
    const Outcome run = Drive(session, printer);

    EXPECT_EQ(run.end, JobState::Finished);
    std::vector<std::string> expected = {"M110 N0"};
    const std::vector<std::string> job = JobCommands();
    expected.insert(expected.end(), job.begin(), job.end());
    expected.push_back("M400");
    EXPECT_EQ(printer.ran(), expected);
    EXPECT_EQ(printer.mostHeld(), c.inFlight);
    EXPECT_EQ(printer.lostBytes(), 0u) << "the receive buffer overflowed";
    EXPECT_EQ(printer.dropped(), 0) << "a line the printer had taken was sent again";
    EXPECT_EQ(printer.refused() > 0, c.garble >= 0);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, PrinterSender,
    ::testing::Values(SenderCase{"OneLinePerOk", false, -1, 1},
                      SenderCase{"OneLinePerOkWithResend", false, 40, 1},
                      // Four commands of room, and five lines would not fit 127 bytes.
                      SenderCase{"AdvancedOkWindow", true, -1, 4},
                      // The lines after the damaged one are refused too; each asks for it.
                      SenderCase{"AdvancedOkResendInTheWindow", true, 40, 4},
                      SenderCase{"AdvancedOkResendNearTheEnd", true, 241, 4}),
    [](const auto& info) { return std::string(info.param.name); });

// A stop in the window: the lines under way still run, then the stop's own lines.
TEST(PrinterSender, SafeStopInTheWindow)
{
    testing::MarlinStandIn printer(true);
    PrinterSession session(SessionTimings{}, "M107");
    const Outcome run = Drive(session, printer, 30);

    EXPECT_EQ(run.end, JobState::Stopped);
    const std::vector<std::string>& ran = printer.ran();
    const auto stop = std::find(ran.begin(), ran.end(), "M410");
    ASSERT_NE(stop, ran.end());
    EXPECT_EQ(std::vector<std::string>(stop, ran.end()),
              (std::vector<std::string>{"M410", "M107", "M400"}));
    const std::vector<std::string> job = JobCommands();
    const auto runBefore = static_cast<std::size_t>(stop - ran.begin()) - 1;  // M110 N0
    EXPECT_TRUE(std::equal(ran.begin() + 1, stop, job.begin()));
    EXPECT_LE(runBefore, 30u + 4u) << "only the lines under way run after the stop";
    ASSERT_FALSE(run.messages.empty());
    EXPECT_EQ(run.messages.back(), "Stopped: quick stop (M410), laser off (M107), moves finished "
                                   "(M400); the laser is off.");
}

}  // namespace
}  // namespace pyrolith::machine
