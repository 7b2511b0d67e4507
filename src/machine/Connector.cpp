#include "machine/Connector.h"

#include <utility>

#include "common/Error.h"
#include "machine/GrblSession.h"
#include "machine/PrinterSession.h"

namespace pyrolith::machine {

Connector::Connector(ConnectOptions options, TimePoint now)
    : options_(std::move(options)), deadline_(now + options_.timings.greetingWait)
{
}

Firmware Connector::classify(std::string_view line) const
{
    if (const Firmware greeting = DetectFirmware(line); greeting != Firmware::Unknown) {
        return greeting;
    }
    const auto starts = [&](std::string_view prefix) {
        return line.substr(0, prefix.size()) == prefix;
    };
    if (starts("error:") || starts("[MSG:") || starts("ALARM:") ||
        (starts("<") && line.find('|') != std::string_view::npos)) {
        return Firmware::Grbl;
    }
    if (line == "ok" || starts("ok ")) {
        // A printer ignores a blank line; an "ok" to it is GRBL's. An "ok" after the printer's
        // own wake is the printer's.
        if (stage_ == Stage::BlankLine) {
            return Firmware::Grbl;
        }
        if (stage_ == Stage::OwnWake && options_.fallback == Firmware::Printer) {
            return Firmware::Printer;
        }
    }
    return Firmware::Unknown;
}

std::unique_ptr<MachineSession> Connector::receive(std::string_view bytes, TimePoint now)
{
    heard_.append(bytes);
    std::size_t start = 0;
    for (std::size_t end = 0; end < heard_.size(); ++end) {
        if (heard_[end] != '\n' && heard_[end] != '\r') {
            continue;
        }
        const std::string_view line = std::string_view(heard_).substr(start, end - start);
        const bool printerWake = stage_ == Stage::OwnWake && options_.fallback == Firmware::Printer;
        if (printerWake && DetectFirmware(line) == Firmware::Printer) {
            start = end + 1;  // the answer to M115; its "ok" decides
            continue;
        }
        if (printerWake && (line == "ok" || line.substr(0, 3) == "ok ") && ++wakeAnswers_ < 2) {
            start = end + 1;  // M110 is answered; M115's answer ends the wake
            continue;
        }
        const bool greeting = DetectFirmware(line) != Firmware::Unknown;
        const Firmware firmware = classify(line);
        if (firmware != Firmware::Unknown) {
            // A greeting is the session's own start; any other answer means the machine was
            // already running, and its session wakes it as it does after a silence.
            heard_.erase(0, greeting ? start : end + 1);
            return make(firmware, !greeting, now);
        }
        start = end + 1;
    }
    heard_.erase(0, start);
    return tick(now);
}

std::unique_ptr<MachineSession> Connector::tick(TimePoint now)
{
    if (now < deadline_) {
        return nullptr;
    }
    switch (stage_) {
    case Stage::Listening:
        output_ += "\n";
        stage_ = Stage::BlankLine;
        deadline_ = now + options_.wakeWait;
        return nullptr;
    case Stage::BlankLine:
        output_ += options_.fallback == Firmware::Printer ? std::string("M110\nM115\n")
                                                          : std::string("\x18");
        stage_ = Stage::OwnWake;
        deadline_ = now + options_.wakeWait;
        return nullptr;
    case Stage::OwnWake:
        break;
    }
    // A printer that answered M110 but not M115 is still a printer.
    return make(options_.fallback, wakeAnswers_ == 0, now);
}

std::unique_ptr<MachineSession> Connector::make(Firmware firmware, bool wake, TimePoint now)
{
    std::unique_ptr<MachineSession> session;
    if (firmware == Firmware::Printer) {
        session = std::make_unique<PrinterSession>(options_.timings, options_.laserOffCommand);
    } else {
        session = std::make_unique<GrblSession>(options_.timings, options_.grblRxBuffer);
    }
    session->open(now, wake);
    session->receive(std::exchange(heard_, {}), now);
    return session;
}

void PumpOnce(ByteTransport& transport, MachineSession& session, Milliseconds wait)
{
    try {
        const std::string bytes = transport.read(wait);
        const TimePoint now = Clock::now();
        session.receive(bytes, now);
        session.tick(now);
        const std::string output = session.takeOutput();
        if (!output.empty()) {
            transport.write(output);
        }
    } catch (const Error& error) {
        session.connectionLost(error.what());
    }
}

}  // namespace pyrolith::machine
