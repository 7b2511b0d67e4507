#pragma once

#include <memory>
#include <string>

#include "machine/ByteTransport.h"
#include "machine/MachineSession.h"

namespace pyrolith::machine {

struct ConnectOptions {
    Firmware fallback = Firmware::Grbl;  // when no greeting tells (the flavour setting)
    std::string laserOffCommand = "M107";  // a printer's laser-off command
    std::size_t grblRxBuffer = 128;
    SessionTimings timings;
};

// Picks the session from the machine's greeting. A controller that resets when the port
// opens greets within greetingWait; one that was already running stays silent, and the
// fallback firmware's session then wakes it (a soft reset for GRBL, "M110 N0" for a printer).
class Connector {
public:
    Connector(ConnectOptions options, TimePoint now);

    // The session once the firmware is known or the wait is over, already opened and given
    // everything heard so far; empty before that.
    std::unique_ptr<MachineSession> receive(std::string_view bytes, TimePoint now);
    std::unique_ptr<MachineSession> tick(TimePoint now);

private:
    std::unique_ptr<MachineSession> make(Firmware firmware, bool wake, TimePoint now);

    ConnectOptions options_;
    TimePoint deadline_;
    std::string heard_;
};

// One turn of a conversation over a transport: waits at most `wait` for bytes, hands them
// and the time to the session, and writes what the session has to send. A transport that
// fails ends the session's connection (connectionLost) and is reported in its messages.
void PumpOnce(ByteTransport& transport, MachineSession& session, Milliseconds wait);

}  // namespace pyrolith::machine
