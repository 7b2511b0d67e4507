#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "machine/MachineSession.h"

namespace pyrolith::machine {

// Moves bytes to and from a machine, nothing more. Both calls throw pyrolith::Error with the
// user's text when the connection is gone.
class ByteTransport {
public:
    virtual ~ByteTransport() = default;
    virtual void write(std::string_view bytes) = 0;
    // Waits at most `wait` for bytes and returns those that arrived (possibly none).
    virtual std::string read(Milliseconds wait) = 0;
};

// A serial port (or a pseudo-terminal) at the given speed, 8 data bits, no parity, one stop
// bit, no flow control, raw bytes, held for this program alone: a second sender on the line
// would mix its bytes into the job's. Throws pyrolith::Error when it cannot be opened, with
// what to do about it (PortAdvice).
std::unique_ptr<ByteTransport> OpenSerialPort(const std::filesystem::path& port, int baud);

// Why a port did not open.
enum class PortFailure {
    Missing,       // no such port
    Denied,        // the user may not open it
    Busy,          // another program has it open
    BusyOrDenied,  // one of the two, the system does not say which
    Other,
};

// The sentence after "Cannot open PORT: <the system's reason>." that tells the user what to
// do; empty for Other.
std::string PortAdvice(PortFailure failure);

// "Cannot open PORT: <reason>." followed by PortAdvice.
std::string PortOpenFailureText(std::string_view port, std::string_view reason,
                                PortFailure failure);

}  // namespace pyrolith::machine
