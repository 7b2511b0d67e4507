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

std::unique_ptr<MachineSession> Connector::receive(std::string_view bytes, TimePoint now)
{
    heard_.append(bytes);
    std::size_t start = 0;
    for (std::size_t end = 0; end < heard_.size(); ++end) {
        if (heard_[end] != '\n' && heard_[end] != '\r') {
            continue;
        }
        const Firmware firmware =
            DetectFirmware(std::string_view(heard_).substr(start, end - start));
        if (firmware != Firmware::Unknown) {
            return make(firmware, false, now);
        }
        start = end + 1;
    }
    return tick(now);
}

std::unique_ptr<MachineSession> Connector::tick(TimePoint now)
{
    return now >= deadline_ ? make(options_.fallback, true, now) : nullptr;
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
