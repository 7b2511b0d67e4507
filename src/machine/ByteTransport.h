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
// bit, no flow control, raw bytes. Throws pyrolith::Error when it cannot be opened.
std::unique_ptr<ByteTransport> OpenSerialPort(const std::filesystem::path& port, int baud);

}  // namespace pyrolith::machine
