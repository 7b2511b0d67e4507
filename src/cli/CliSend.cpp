#include "cli/CliSend.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "common/Error.h"
#include "common/NumberText.h"
#include "machine/ByteTransport.h"
#include "machine/Connector.h"
#include "machine/GrblSession.h"
#include "machine/JobTimeline.h"
#include "machine/MachineJob.h"
#include "toolpath/MotionPlanner.h"

namespace pyrolith::cli {

namespace {

namespace fs = std::filesystem;
using namespace machine;

volatile std::sig_atomic_t interrupts = 0;

extern "C" void OnInterrupt(int)
{
    interrupts = interrupts + 1;
    std::signal(SIGINT, OnInterrupt);
}

bool IsTerminal(std::FILE* stream)
{
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return ::isatty(::fileno(stream)) != 0;
#endif
}

std::vector<std::string> ReadJobLines(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw Error("Cannot read " + file.string() + ".");
    }
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return JobLines(text);
}

// The flavour our job's header names ("Using GRBL flavor"), else a printer.
Firmware JobFlavorGuess(const std::vector<std::string>& lines)
{
    for (const std::string& line : lines) {
        if (line.find("Using GRBL flavor") != std::string::npos) {
            return Firmware::Grbl;
        }
        if (line.find("Using 3D Printer flavor") != std::string::npos) {
            return Firmware::Printer;
        }
        if (line.find("BEGIN IMAGE") != std::string::npos) {
            break;  // the header is over
        }
    }
    return Firmware::Printer;
}

// A printer's laser-off for a job that names none: M5 when the job switches Marlin's laser
// with M3 or M4 (M107 would only stop a fan there), else M107.
std::string DefaultLaserOff(const std::vector<std::string>& lines)
{
    for (const std::string& line : lines) {
        std::size_t at = line.find_first_not_of(" \t");
        if (at == std::string::npos || (line[at] != 'M' && line[at] != 'm')) {
            continue;
        }
        ++at;
        while (at < line.size() && line[at] == '0') {
            ++at;
        }
        if (at < line.size() && (line[at] == '3' || line[at] == '4') &&
            (at + 1 == line.size() || !std::isdigit(static_cast<unsigned char>(line[at + 1])))) {
            return "M5";
        }
    }
    return "M107";
}

// Progress on standard output: a bar redrawn in place on a terminal, a plain line every tenth
// of the job otherwise.
class ProgressView {
public:
    explicit ProgressView(bool terminal) : terminal_(terminal) {}

    // The estimate the remaining time is read from.
    void setTimeline(JobTimeline timeline) { timeline_ = std::move(timeline); }

    void show(const MachineSession& session, bool force)
    {
        const JobProgress progress = session.progress();
        const std::size_t percent =
            progress.total == 0 ? 100 : progress.acknowledged * 100 / progress.total;
        if (terminal_) {
            const std::string counts = std::to_string(progress.acknowledged) + "/" +
                                       std::to_string(progress.total) + " lines";
            const auto now = Clock::now();
            if (!force && now < nextDraw_) {
                return;
            }
            nextDraw_ = now + Milliseconds(200);
            const std::size_t filled = percent * 30 / 100;
            std::string line = "\r[" + std::string(filled, '#') + std::string(30 - filled, '-') +
                               "] " + std::to_string(percent) + "%  " + counts;
            const MachineStatus& status = session.status();
            if (!status.state.empty()) {
                line += "  " + status.state;
            }
            if (status.hasPosition) {
                line += "  X" + PlainNumber(status.x, 6) + " Y" + PlainNumber(status.y, 6);
            }
            if (timeline_.totalSeconds() > 0) {
                line += "  " + toolpath::DurationText(timeline_.totalSeconds() -
                                                      timeline_.secondsThrough(
                                                          progress.acknowledged)) +
                        " left";
            }
            line += "\x1b[K";
            std::cout << line << std::flush;
            drawn_ = true;
        } else {
            for (; lastTenth_ < percent / 10; ++lastTenth_) {
                std::cout << "Progress: " << (lastTenth_ + 1) * 10 << "% of "
                          << progress.total << " lines\n";
            }
            std::cout << std::flush;
        }
    }

    // Ends the bar's line, which stays on the screen above what follows.
    void finish()
    {
        if (drawn_) {
            std::cout << "\n" << std::flush;
            drawn_ = false;
        }
    }

private:
    bool terminal_;
    JobTimeline timeline_;
    bool drawn_ = false;
    std::size_t lastTenth_ = 0;
    TimePoint nextDraw_{};
};

// Prints the session's messages; true when one of them was an error.
bool PrintMessages(MachineSession& session, ProgressView& view)
{
    bool error = false;
    for (const SessionMessage& message : session.takeMessages()) {
        error = error || message.kind == SessionMessage::Kind::Error;
        view.finish();
        if (message.kind == SessionMessage::Kind::Error) {
            std::cerr << "pyrolith-cli: " << message.text << "\n" << std::flush;
        } else {
            std::cout << (message.kind == SessionMessage::Kind::Firmware ? "machine: " : "")
                      << message.text << "\n"
                      << std::flush;
        }
    }
    return error;
}

}  // namespace

int RunSend(int argc, char** argv)
{
    CLI::App app{"Streams a G-code file to a GRBL controller or a 3D printer.", "pyrolith-cli send"};
    std::string port;
    int baud = 115200;
    std::string flavor;
    std::string laserOff;
    double timeoutSeconds = 10;
    std::string file;
    app.add_option("--port", port, "The serial port (or a pseudo-terminal)")
        ->option_text("PORT")
        ->required();
    app.add_option("--baud", baud, "The port's speed (default 115200)")->option_text("N");
    app.add_option("--flavor", flavor,
                   "The firmware to try first when the machine does not greet: grbl or printer "
                   "(default: the flavor named in the job, else printer)")
        ->option_text("F")
        ->check(CLI::IsMember({"grbl", "printer"}));
    app.add_option("--laser-off", laserOff,
                   "A printer's laser-off command, sent by a pause or a stop (default M107, or "
                   "M5 for a job that switches Marlin's laser with M3 or M4)")
        ->option_text("CMD");
    app.add_option("--timeout", timeoutSeconds,
                   "Seconds of silence that count as a lost connection (default 10); a "
                   "machine that does not greet has a twentieth of it, at least half a second, "
                   "to answer each wake")
        ->option_text("S")
        ->check(CLI::Range(0.1, 3600.0));
    app.add_option("FILE", file, "The G-code file to send")->required();
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& help) {
        return app.exit(help);
    } catch (const CLI::ParseError& error) {
        std::cerr << "pyrolith-cli send: " << error.what() << "\n"
                  << "usage: pyrolith-cli send --port PORT [--baud N] [--flavor grbl|printer] "
                     "[--laser-off CMD] [--timeout S] FILE.gcode\n";
        return 2;
    }

    ConnectOptions options;
    options.timings.answerTimeout = Milliseconds(static_cast<long long>(timeoutSeconds * 1000));
    // A machine that does not greet is woken; each wake waits a twentieth of the time-out for
    // its answer (at least the usual half second), so that a slow line is not taken for none.
    options.wakeWait = std::max(options.wakeWait, options.timings.answerTimeout / 20);

    std::vector<std::string> lines;
    std::unique_ptr<ByteTransport> transport;
    try {
        lines = ReadJobLines(fs::path(file));
        options.laserOffCommand = laserOff.empty() ? DefaultLaserOff(lines) : laserOff;
        transport = OpenSerialPort(fs::path(port), baud);
    } catch (const Error& error) {
        std::cerr << "pyrolith-cli: " << error.what() << "\n";
        return 1;
    }

    options.fallback = flavor == "grbl"      ? Firmware::Grbl
                       : flavor == "printer" ? Firmware::Printer
                                             : JobFlavorGuess(lines);

    interrupts = 0;
    std::signal(SIGINT, OnInterrupt);
    ProgressView view(IsTerminal(stdout));

    // Connecting: the greeting, or the wake-up of a machine that was already running.
    std::unique_ptr<MachineSession> session;
    Connector connector(options, Clock::now());
    try {
        while (!session && interrupts == 0) {
            session = connector.receive(transport->read(Milliseconds(20)), Clock::now());
            if (const std::string wake = connector.takeOutput(); !wake.empty()) {
                transport->write(wake);
            }
        }
    } catch (const Error& error) {
        std::cerr << "pyrolith-cli: " << error.what() << "\n";
        return 1;
    }
    bool refused = false;
    while (session && !session->ready() && !refused && interrupts == 0) {
        PumpOnce(*transport, *session, Milliseconds(20));
        refused = PrintMessages(*session, view);
    }
    if (!session || !session->ready()) {
        if (interrupts != 0) {
            std::cerr << "pyrolith-cli: Interrupted before the machine answered; nothing was sent.\n";
        }
        return 1;
    }

    toolpath::MachineProfile machine;
    machine.flavor = dynamic_cast<GrblSession*>(session.get()) != nullptr ? GcodeFlavor::Grbl
                                                                          : GcodeFlavor::Printer3D;
    view.setTimeline(JobTimeline(lines, machine));
    if (!session->startJob(std::move(lines), Clock::now())) {
        PrintMessages(*session, view);
        return 1;
    }
    bool stopRequested = false;
    while (session->jobActive() || session->jobState() == JobState::Running) {
        if (interrupts > 0 && !stopRequested) {
            stopRequested = true;
            view.finish();
            std::cerr << "pyrolith-cli: Ctrl+C: stopping the machine safely (Ctrl+C again to "
                         "leave at once).\n";
            session->stop(Clock::now());
        } else if (interrupts > 1) {
            view.finish();
            std::cerr << "pyrolith-cli: Left before the safe stop ended; if the laser is still "
                         "on, switch the machine off.\n";
            return 1;
        }
        PumpOnce(*transport, *session, Milliseconds(20));
        view.show(*session, !session->jobActive());
        PrintMessages(*session, view);
    }
    // The last bytes of a stop go out before the port closes.
    PumpOnce(*transport, *session, Milliseconds(0));
    view.finish();
    PrintMessages(*session, view);
    return session->jobState() == JobState::Finished ? 0 : 1;
}

}  // namespace pyrolith::cli
