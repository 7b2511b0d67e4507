#pragma once

#include <memory>
#include <string>
#include <utility>

#include "machine/ByteTransport.h"
#include "machine/MachineSession.h"

namespace pyrolith::machine {

struct ConnectOptions {
    Firmware fallback = Firmware::Grbl;  // the first guess (the job's flavour)
    std::string laserOffCommand = "M107";  // a printer's laser-off command
    std::size_t grblRxBuffer = 128;
    SessionTimings timings;
    Milliseconds wakeWait{500};  // how long each wake waits for an answer
};

// Finds out which firmware is on the line and picks its session. A controller that resets
// when the port opens greets within greetingWait. One that was already running stays silent:
// it is sent a blank line, which GRBL answers with "ok" and a printer ignores; when nothing
// answers within wakeWait, the guessed firmware's own wake follows (GRBL: a soft reset, which
// it answers with its greeting; a printer: "M110", then "M115"). The first answer decides:
// "Grbl ", "ok" to the blank line, "error:N", "<...|...>" and "[MSG:" are GRBL, which is then
// never sent a printer's line; "start", "echo:", "FIRMWARE_NAME" and "ok" to the printer's
// wake are a printer. When nothing answers at all, the guessed firmware's session says so.
class Connector {
public:
    Connector(ConnectOptions options, TimePoint now);

    // The session once the firmware is known or the waits are over, already opened and given
    // everything heard so far; empty before that.
    std::unique_ptr<MachineSession> receive(std::string_view bytes, TimePoint now);
    std::unique_ptr<MachineSession> tick(TimePoint now);
    // The bytes of the wakes, for the port.
    std::string takeOutput() { return std::exchange(output_, {}); }

private:
    enum class Stage { Listening, BlankLine, OwnWake };
    std::unique_ptr<MachineSession> make(Firmware firmware, bool wake, TimePoint now);
    Firmware classify(std::string_view line) const;

    ConnectOptions options_;
    Stage stage_ = Stage::Listening;
    TimePoint deadline_;
    std::string heard_;
    std::string output_;
    int wakeAnswers_ = 0;  // "ok"s to the printer's wake
};

// One turn of a conversation over a transport: waits at most `wait` for bytes, hands them
// and the time to the session, and writes what the session has to send. A transport that
// fails ends the session's connection (connectionLost) and is reported in its messages.
void PumpOnce(ByteTransport& transport, MachineSession& session, Milliseconds wait);

}  // namespace pyrolith::machine
