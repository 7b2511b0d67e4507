// `pyrolith-cli send` against firmware peers on pseudo-terminals: exit statuses, what the
// machine received, and the texts the user reads.
// The serial peers are POSIX pseudo-terminals: these tests run on Linux only.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include <sys/wait.h>

#include "cli/CliProcess.h"
#include "machine/FakeMachines.h"

namespace {

using namespace std::chrono_literals;

constexpr int kJobLines = 200;

// `laserOn`: the job's second line, which switches the laser on.
std::string WriteJob(const char* laserOn)
{
    const auto path = fs::temp_directory_path() / ("send-job-" + std::to_string(::getpid()) + ".gcode");
    std::ofstream out(path, std::ios::binary);
    out << "; job\r\n" << laserOn << "\r\n";
    for (int i = 2; i < kJobLines; ++i) {
        out << "G1 X" << i << " Y1 F3000\r\n";
    }
    return path.string();
}

std::string Progress(const char* finalLines)
{
    std::string text;
    for (int tenth = 1; tenth <= 10; ++tenth) {
        text += "Progress: " + std::to_string(tenth * 10) + "% of 200 lines\n";
    }
    return text + finalLines;
}

struct SendCase {
    const char* name;
    bool grbl;
    bool interrupt;       // Ctrl+C once the machine has 50 lines
    bool silent;          // the machine stops answering after 50 lines
    bool hangUp;          // the line is gone after 50 lines
    int status;
    std::vector<std::string> tail;  // the last things the machine received
    std::string out;                // standard output, whole when not empty
    std::string errEnd;             // the end of standard error
    bool greets = true;             // the machine greets when the port opens
    const char* laserOn = "M106 S255";
};

void PrintTo(const SendCase& c, std::ostream* os)
{
    *os << c.name;
}

class CliSend : public ::testing::TestWithParam<SendCase> {};

TEST_P(CliSend, StreamsAndStopsSafely)
{
    const SendCase& c = GetParam();
    std::unique_ptr<pyrolith::testing::FakeMachine> peer;
    if (c.grbl) {
        peer = std::make_unique<pyrolith::testing::FakeGrbl>(c.greets);
    } else {
        peer = std::make_unique<pyrolith::testing::FakePrinter>();
    }
    const std::string job = WriteJob(c.laserOn);
    const bool acts = c.interrupt || c.silent || c.hangUp;
    if (acts) {
        peer->holdAfter(50);  // busy from the 50th line on, until the test has acted
    }
    // Only the silent machine's case waits for the time-out; elsewhere it is long enough
    // that no scheduling delay of the machine's thread can reach it.
    const auto running = StartCli(
        {"send", "--port", peer->port(), "--timeout", c.silent ? "2" : "60", job});
    if (acts) {
        int status = 0;
        bool exited = false;
        while (!peer->holding() && !(exited = ::waitpid(running.pid, &status, WNOHANG) != 0)) {
            std::this_thread::sleep_for(1ms);
        }
        ASSERT_FALSE(exited) << "the sender ended before the machine had 50 lines";
        if (c.interrupt) {
            ::kill(running.pid, SIGINT);
        } else if (c.silent) {
            peer->silenceAfter(0);
        } else {
            peer.reset();
        }
    }
    const CliRun run = FinishCli(running);
    if (!peer) {
        EXPECT_EQ(run.status, c.status);
        EXPECT_TRUE(run.err.ends_with(c.errEnd)) << run.err;
        return;
    }
    peer->drain();
    fs::remove(job);

    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(peer->failure(), "");
    const auto log = peer->log();
    ASSERT_GE(log.size(), c.tail.size());
    EXPECT_EQ(std::vector<std::string>(log.end() - static_cast<std::ptrdiff_t>(c.tail.size()),
                                       log.end()),
              c.tail);
    if (!c.greets) {
        // Woken by a blank line, then the controller's own reset: nothing else before the job.
        EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 3),
                  (std::vector<std::string>{"", "^X", "M106S255"}));
    }
    if (!c.out.empty()) {
        EXPECT_EQ(run.out, c.out);
    }
    EXPECT_TRUE(run.err.ends_with(c.errEnd)) << run.err;
}

const char* const kGrblFinished =
    "Job finished: the controller took every line and is idle.\n";
const char* const kPrinterFinished =
    "Job finished: the printer took every line and finished its moves.\n";
INSTANTIATE_TEST_SUITE_P(
    Machines, CliSend,
    ::testing::Values(
        SendCase{"GrblWhole", true, false, false, false, 0, {"G1X198Y1F3000", "G1X199Y1F3000"},
                 "machine: Grbl 1.1h ['$' for help]\n" + Progress(kGrblFinished), ""},
        // Already running: silent until the blank line, which it answers; the job names no
        // flavour, so the printer was the guess, and no printer line reaches it.
        SendCase{"GrblSilentUntilWoken", true, false, false, false, 0,
                 {"G1X198Y1F3000", "G1X199Y1F3000"}, "machine: Grbl 1.1h ['$' for help]\n" +
                 Progress(kGrblFinished), "", false},
        SendCase{"PrinterWhole", false, false, false, false, 0, {"G1 X199 Y1 F3000", "M400"},
                 "machine: start\n" + Progress(kPrinterFinished), ""},
        SendCase{"GrblCtrlC", true, true, false, false, 1, {"!", "^X"}, "",
                 "Ctrl+C: stopping the machine safely (Ctrl+C again to leave at once).\n"},
        SendCase{"PrinterCtrlC", false, true, false, false, 1, {"M410", "M107", "M400"}, "",
                 "Ctrl+C: stopping the machine safely (Ctrl+C again to leave at once).\n"},
        // Marlin's laser (M3) is switched off with M5: M107 would stop only a fan.
        SendCase{"MarlinLaserCtrlC", false, true, false, false, 1, {"M410", "M5", "M400"}, "",
                 "Ctrl+C: stopping the machine safely (Ctrl+C again to leave at once).\n", true,
                 "M3 I S255"},
        SendCase{"GrblSilent", true, false, true, false, 1, {"!", "^X"}, "",
                 "pyrolith-cli: The controller stopped answering. The job is stopped; if the "
                 "laser is still on, switch the machine off.\n"},
        SendCase{"PrinterHungUp", false, false, false, true, 1, {}, "",
                 ": the device is gone. The job is stopped; if the laser is still on, switch "
                 "the machine off.\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CliSendUsage, ExitsWithTwo)
{
    EXPECT_EQ(RunCli({"send", "job.gcode"}).status, 2);
    EXPECT_EQ(RunCli({"send", "--port", "/dev/null", "--flavor", "marlin", "job.gcode"}).status, 2);
    const CliRun notPort = RunCli({"send", "--port", "/dev/null", PYROLITH_SOURCE_DIR "/README.md"});
    EXPECT_EQ(notPort.status, 1);
    EXPECT_EQ(notPort.err,
              "pyrolith-cli: /dev/null is not a serial port: Inappropriate ioctl for device.\n");
}

}  // namespace

#endif  // _WIN32
