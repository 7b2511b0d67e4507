#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "common/Error.h"
#include "machine/ByteTransport.h"
#include "machine/Connector.h"
#include "machine/GrblSession.h"
#include "machine/GrblText.h"
#include "machine/JobTimeline.h"
#include "machine/SendLine.h"
#include "machine/FakeMachines.h"

namespace pyrolith::machine {
namespace {

using testing::FakeGrbl;
using testing::FakePrinter;
using namespace std::chrono_literals;

ConnectOptions TestOptions(Firmware fallback)
{
    ConnectOptions options;
    options.fallback = fallback;
    options.laserOffCommand = "M106 S0";
    options.timings.greetingWait = 300ms;
    options.timings.answerTimeout = 700ms;
    options.timings.statusInterval = 40ms;
    options.timings.holdTimeout = 700ms;
    return options;
}

// A job with comments, blank lines, laser commands and a dwell, as a job file holds them.
std::vector<std::string> TestJob()
{
    std::vector<std::string> lines = {"; a comment line", "G90\t(absolute)", "G4 P20"};
    for (int i = 1; i <= 150; ++i) {
        const std::string n = std::to_string(i);
        lines.push_back(i % 10 == 0 ? (i % 20 == 0 ? "M107" : "M106 S200") : "");
        lines.push_back("G1 X" + n + ".25 Y" + std::to_string(i % 7) + " F1200 ; run " + n);
    }
    lines.push_back("M107");
    return lines;
}

std::vector<std::string> Cleaned(const std::vector<std::string>& lines, bool compact)
{
    std::vector<std::string> cleaned;
    for (const auto& line : lines) {
        if (auto text = CleanLine(line, compact); !text.empty()) {
            cleaned.push_back(std::move(text));
        }
    }
    return cleaned;
}

// The program's side: the slave of the pseudo-terminal, a Connector, then the session. The
// session's clock is the host's own: it moves on a millisecond only while the peer is quiet
// (it has handled everything sent to it and has nothing to answer), so a peer's thread that
// the system schedules late never looks like a silent machine.
struct Host {
    Host(const std::string& port, const ConnectOptions& options, testing::FakeMachine& peer)
        : transport(OpenSerialPort(port, 115200)), peer(peer)
    {
        Connector connector(options, now);
        for (const TimePoint end = now + 10s; !session && now < end;) {
            const std::string bytes = transport->read(1ms);
            session = connector.receive(bytes, now);
            if (const std::string wake = connector.takeOutput(); !wake.empty()) {
                transport->write(wake);
                continue;
            }
            if (bytes.empty() && !session && peer.quiet()) {
                now += 1ms;
            }
        }
        if (session) {
            runUntil([&] { return session->ready() || failed; });
        }
    }
    // Runs the conversation until `done`, at most `limit` of the session's time.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 60s)
    {
        for (const TimePoint end = now + limit; now < end;) {
            if (done()) {
                return true;
            }
            std::string bytes;
            try {
                bytes = transport->read(1ms);
                session->receive(bytes, now);
                session->tick(now);
                if (const std::string output = session->takeOutput(); !output.empty()) {
                    transport->write(output);
                    bytes += output;
                }
            } catch (const Error& error) {
                session->connectionLost(error.what());
            }
            for (auto& message : session->takeMessages()) {
                failed = failed || message.kind == SessionMessage::Kind::Error;
                messages.push_back(std::move(message.text));
            }
            if (bytes.empty() && peer.quiet()) {
                now += 1ms;
            }
        }
        return done();
    }
    bool ended() const
    {
        return session->jobState() != JobState::Running && !session->jobActive();
    }

    std::unique_ptr<ByteTransport> transport;
    testing::FakeMachine& peer;
    static constexpr TimePoint kStart{std::chrono::hours(1)};
    TimePoint now = kStart;
    std::unique_ptr<MachineSession> session;
    std::vector<std::string> messages;
    bool failed = false;  // the session reported an error
};

enum class Act { None, Stop, PauseResume, Silence };

// Drives the job, acting once `at` lines are acknowledged, until it ends.
void RunJob(Host& host, testing::FakeMachine& peer, Act act, std::size_t at)
{
    ASSERT_TRUE(host.session && host.session->ready()) << "no greeting handled";
    ASSERT_TRUE(host.session->startJob(TestJob(), host.now));
    if (act != Act::None) {
        host.runUntil([&] { return host.session->progress().acknowledged >= at; });
        switch (act) {
        case Act::Stop: host.session->stop(host.now); break;
        case Act::Silence: peer.silenceAfter(peer.log().size()); break;
        case Act::PauseResume:
            host.session->pause(host.now);
            ASSERT_TRUE(host.runUntil([&] { return host.session->jobState() == JobState::Paused; }));
            host.runUntil([] { return false; }, 100ms);
            host.session->resume(host.now);
            break;
        case Act::None: break;
        }
    }
    ASSERT_TRUE(host.runUntil([&] { return host.ended(); })) << "the job never ended";
    peer.drain();  // the peer has read the last bytes
}

struct GrblCase {
    const char* name;
    bool greets;
    Act act;
    bool error;  // the 51st line is answered "error:22"
    JobState end;
    std::vector<std::string> realTime;  // the real-time bytes the controller got, in order
    std::vector<std::string> lastMessages;
};

void PrintTo(const GrblCase& c, std::ostream* os)
{
    *os << c.name;
}

class GrblStreaming : public ::testing::TestWithParam<GrblCase> {};

TEST_P(GrblStreaming, KeepsTheBufferAndStopsSafely)
{
    const GrblCase& c = GetParam();
    FakeGrbl grbl(c.greets);
    const auto lines = Cleaned(TestJob(), true);
    if (c.error) {
        grbl.errorOn(lines[50], 22);
    }
    // A greeting decides over the flavour setting; without one, the setting decides.
    Host host(grbl.port(), TestOptions(c.greets ? Firmware::Printer : Firmware::Grbl), grbl);
    host.messages.clear();
    RunJob(host, grbl, c.act, 40);

    EXPECT_EQ(grbl.failure(), "");
    EXPECT_GT(grbl.mostBuffered(), 100u) << "the receive buffer is kept full";
    EXPECT_EQ(host.session->jobState(), c.end);
    std::vector<std::string> realTime;
    std::vector<std::string> sent;
    auto log = grbl.log();
    if (!c.greets) {
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.front(), "") << "a silent controller is first sent a blank line";
        log.erase(log.begin());
    }
    for (const auto& entry : log) {
        (entry == "!" || entry == "~" || entry == "^X" ? realTime : sent).push_back(entry);
    }
    if (!c.greets) {
        ASSERT_FALSE(realTime.empty());
        EXPECT_EQ(realTime.front(), "^X") << "then woken with a reset";
        realTime.erase(realTime.begin());
    }
    EXPECT_EQ(realTime, c.realTime);
    // Lines arrive in order, each once; none after a stop's feed hold.
    ASSERT_LE(sent.size(), lines.size());
    EXPECT_TRUE(std::equal(sent.begin(), sent.end(), lines.begin()));
    if (c.end == JobState::Finished) {
        EXPECT_EQ(sent.size(), lines.size());
        EXPECT_EQ(host.session->progress().acknowledged, TestJob().size());
    } else {
        const auto hold = std::find(log.begin(), log.end(), "!");
        EXPECT_TRUE(std::all_of(hold, log.end(), [](const std::string& e) {
            return e == "!" || e == "^X";
        }));
    }
    ASSERT_GE(host.messages.size(), c.lastMessages.size());
    EXPECT_EQ(std::vector<std::string>(host.messages.end() - static_cast<std::ptrdiff_t>(
                                                                 c.lastMessages.size()),
                                       host.messages.end()),
              c.lastMessages);
}

const std::string kGrblStopped = "Stopped: feed hold, then soft reset; the laser is off.";
INSTANTIATE_TEST_SUITE_P(
    Jobs, GrblStreaming,
    ::testing::Values(
        GrblCase{"Whole", true, Act::None, false, JobState::Finished, {},
                 {"Job finished: the controller took every line and is idle."}},
        GrblCase{"WokenWithReset", false, Act::None, false, JobState::Finished, {},
                 {"Job finished: the controller took every line and is idle."}},
        GrblCase{"PauseResume", true, Act::PauseResume, false, JobState::Finished, {"!", "~"},
                 {"Resumed.", "Job finished: the controller took every line and is idle."}},
        GrblCase{"Stop", true, Act::Stop, false, JobState::Stopped, {"!", "^X"},
                 {"Grbl 1.1h ['$' for help]", kGrblStopped}},
        GrblCase{"ErrorMidJob", true, Act::None, true, JobState::Failed, {"!", "^X"},
                 {"Line 93 (G1X45.25Y3F1200): error:22 (Undefined feed rate: feed rate has not "
                  "yet been set or is undefined.)",
                  "Grbl 1.1h ['$' for help]",
                  "The job was stopped: feed hold, then soft reset; the laser is off."}},
        GrblCase{"Silence", true, Act::Silence, false, JobState::Failed, {"!", "^X"},
                 {"The controller stopped answering. The job is stopped; if the laser is still "
                  "on, switch the machine off."}}),
    [](const auto& info) { return std::string(info.param.name); });

struct PrinterCase {
    const char* name;
    std::int64_t garble;
    std::string errorText;  // the answer to the 40th job line
    Act act;
    JobState end;
    std::vector<std::string> extra;  // what the printer got beside the job lines, in order
    std::string lastMessage;
};

void PrintTo(const PrinterCase& c, std::ostream* os)
{
    *os << c.name;
}

class PrinterStreaming : public ::testing::TestWithParam<PrinterCase> {};

TEST_P(PrinterStreaming, NumberedLinesAndSafeStop)
{
    const PrinterCase& c = GetParam();
    const auto lines = Cleaned(TestJob(), false);
    FakePrinter printer(c.garble, c.errorText.empty() ? "" : lines[39], c.errorText);
    Host host(printer.port(), TestOptions(Firmware::Grbl), printer);
    RunJob(host, printer, c.act, 50);

    EXPECT_EQ(host.session->jobState(), c.end);
    EXPECT_EQ(printer.resendsAsked(), c.garble >= 0 ? 1 : 0);
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.back(), c.lastMessage);

    // The printer's log is the job's lines in order with the extra commands at one place.
    auto log = printer.log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), "M110 N0");
    log.erase(log.begin());
    std::vector<std::string> expected = lines;
    std::size_t at = lines.size();
    if (!c.extra.empty()) {
        at = static_cast<std::size_t>(std::find(log.begin(), log.end(), c.extra.front()) -
                                      log.begin());
        ASSERT_LE(at, lines.size());
    }
    std::vector<std::string> extra = c.extra;
    if (c.act == Act::PauseResume) {
        const auto laser = std::find_if(lines.rbegin() + static_cast<std::ptrdiff_t>(lines.size() - at),
                                        lines.rend(), [](const std::string& line) {
                                            return line.rfind("M10", 0) == 0;
                                        });
        ASSERT_NE(laser, lines.rend());
        extra.push_back(*laser);  // resuming restores the laser command in force
    }
    expected.insert(expected.begin() + static_cast<std::ptrdiff_t>(at), extra.begin(), extra.end());
    if (c.end == JobState::Finished) {
        expected.push_back("M400");  // the job is done when the moves are
    } else {
        expected.resize(std::min(expected.size(), log.size()));
    }
    EXPECT_EQ(log, expected);
}

const std::string kPrinterStopped =
    "quick stop (M410), laser off (M106 S0), moves finished (M400); the laser is off.";
INSTANTIATE_TEST_SUITE_P(
    Jobs, PrinterStreaming,
    ::testing::Values(
        PrinterCase{"WholeWithResend", 30, "", Act::None, JobState::Finished, {},
                    "Job finished: the printer took every line and finished its moves."},
        PrinterCase{"PauseResume", -1, "", Act::PauseResume, JobState::Finished,
                    {"M400", "M106 S0"},
                    "Job finished: the printer took every line and finished its moves."},
        PrinterCase{"Stop", -1, "", Act::Stop, JobState::Stopped, {"M410", "M106 S0", "M400"},
                    "Stopped: " + kPrinterStopped},
        PrinterCase{"ErrorMidJob", -1, "Error:Unknown command", Act::None, JobState::Failed,
                    {"M410", "M106 S0", "M400"}, "The job was stopped: " + kPrinterStopped},
        PrinterCase{"Halted", -1, "Error:Printer halted. kill() called!", Act::None,
                    JobState::Failed, {},
                    "The printer halted; it must be reset before it runs again. The job is "
                    "stopped; if the laser is still on, switch the machine off."},
        PrinterCase{"Silence", -1, "", Act::Silence, JobState::Failed, {},
                    "The printer stopped answering. The job is stopped; if the laser is still "
                    "on, switch the machine off."}),
    [](const auto& info) { return std::string(info.param.name); });

// Which firmware is on the line, whatever it was doing when the port opened, and the first
// guess: recognised within 3 s, and a GRBL is never sent a printer's line.
struct DetectCase {
    const char* name;
    bool grbl;      // the machine
    bool greets;    // it greets when the port opens
    bool alarm;     // GRBL in alarm, silent
    Firmware guess;
    bool ready;     // a session for the right firmware is ready
    std::vector<std::string> received;  // what the machine got before its session's lines
};

class Detection : public ::testing::TestWithParam<DetectCase> {};

TEST_P(Detection, FindsTheFirmwareWithinThreeSeconds)
{
    const DetectCase& c = GetParam();
    std::unique_ptr<testing::FakeMachine> peer;
    if (c.grbl) {
        peer = std::make_unique<FakeGrbl>(c.greets, 300us, c.alarm);
    } else {
        peer = std::make_unique<FakePrinter>(-1, "", "", c.greets);
    }
    ConnectOptions options = TestOptions(c.guess);
    options.timings.greetingWait = 2s;
    options.timings.answerTimeout = 2s;
    Host host(peer->port(), options, *peer);
    ASSERT_TRUE(host.session);
    EXPECT_EQ(host.session->ready(), c.ready);
    if (c.ready) {
        EXPECT_LE(host.now - Host::kStart, 3s);
        EXPECT_EQ(dynamic_cast<GrblSession*>(host.session.get()) != nullptr, c.grbl);
    }
    peer->drain();
    const auto log = peer->log();
    ASSERT_GE(log.size(), c.received.size());
    EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(
                                                                    c.received.size())),
              c.received);
    if (c.grbl) {
        EXPECT_TRUE(std::none_of(log.begin(), log.end(), [](const std::string& line) {
            return line.rfind("N", 0) == 0 || line.rfind("M110", 0) == 0;
        })) << "a printer line sent to GRBL";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Machines, Detection,
    ::testing::Values(
        DetectCase{"GrblGreets", true, true, false, Firmware::Printer, true, {}},
        DetectCase{"GrblSilentGuessPrinter", true, false, false, Firmware::Printer, true, {"", "^X"}},
        DetectCase{"GrblSilentGuessGrbl", true, false, false, Firmware::Grbl, true, {"", "^X"}},
        DetectCase{"GrblInAlarm", true, false, true, Firmware::Printer, true, {"", "^X"}},
        DetectCase{"PrinterGreets", false, true, false, Firmware::Grbl, true, {"M110 N0"}},
        DetectCase{"PrinterSilentGuessPrinter", false, false, false, Firmware::Printer, true,
                   {"M110", "M115", "M110 N0"}},
        // The wrong guess: the printer ignores the blank line and GRBL's reset; nothing says
        // which firmware it is.
        DetectCase{"PrinterSilentGuessGrbl", false, false, false, Firmware::Grbl, false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// The texts on the wire and the reports read back.
TEST(SendLineText, CleaningNumberingAndReports)
{
    EXPECT_EQ(CleanLine("  G1 X1.5\tY2 ; burn (x)", true), "G1X1.5Y2");
    EXPECT_EQ(CleanLine("M117 (note) Hello  world ;x\r\n", false), "M117  Hello  world");
    EXPECT_EQ(CleanLine("(only a comment)", false), "");
    EXPECT_EQ(NumberedLine(0, "M110 N0"), "N0 M110 N0*125");
    EXPECT_EQ(NumberedLine(12, "G1 X5"), "N12 G1 X5*86");
    EXPECT_EQ(NumberedLine(123456, "G1 X20.4 Y20 F6000 S7.8431372549"),
              "N123456 G1 X20.4 Y20 F6000 S7.8431372549*14");
    EXPECT_EQ(DwellMilliseconds("G4 P250"), 250.0);
    EXPECT_EQ(DwellMilliseconds("G04 S2"), 2000.0);
    EXPECT_EQ(DwellMilliseconds("G40"), std::nullopt);

    const auto report = ParseGrblStatus("<Hold:0|MPos:1.500,-2.000,0.250|Bf:15,127|FS:0,0>");
    ASSERT_TRUE(report);
    EXPECT_EQ(report->status.state, "Hold:0");
    EXPECT_EQ((std::vector<double>{report->status.x, report->status.y, report->status.z}),
              (std::vector<double>{1.5, -2.0, 0.25}));
    EXPECT_EQ(report->freeRxBytes, 127);
    EXPECT_FALSE(ParseGrblStatus("<Idle|MPos:1,2>"));
    EXPECT_EQ(ExplainGrblAnswer("ALARM:1"),
              "ALARM:1 (Hard limit triggered. Machine position is likely lost due to sudden and "
              "immediate halt. Re-homing is highly recommended.)");
    EXPECT_EQ(ExplainGrblAnswer("error:99"), "error:99");
}

}  // namespace
}  // namespace pyrolith::machine

namespace pyrolith::machine {
namespace {

// The time at the end of each line: a long move takes d/v + v/a, a dwell its pause, a
// reversal stops; lines without motion end with the line before them.
TEST(JobTimelineTest, TimeAtTheEndOfEachLine)
{
    toolpath::MachineProfile machine;  // 100 mm/s, 500 mm/s^2
    const JobTimeline timeline({"G21", "G90", "G1 X100 F6000", "; c", "G4 P0.5", "G1 X0"}, machine);
    std::vector<double> through;
    for (std::size_t lines = 0; lines <= 7; ++lines) {
        through.push_back(timeline.secondsThrough(lines));
    }
    const std::vector<double> expected{0, 0, 0, 1.2, 1.2, 1.7, 2.9, 2.9};
    ASSERT_EQ(through.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(through[i], expected[i], 1e-9) << "after " << i << " lines";
    }
    EXPECT_NEAR(timeline.totalSeconds(), 2.9, 1e-9);
}

}  // namespace
}  // namespace pyrolith::machine
