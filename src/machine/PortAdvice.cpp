#include "machine/ByteTransport.h"

namespace pyrolith::machine {
namespace {

constexpr const char* kOtherProgram = "Another program (a printer host, a serial monitor, another Pyrolith)";
constexpr const char* kGroup =
    "be allowed to use serial ports: on Linux, add it to the port's group (usually dialout) with "
    "\"sudo usermod -a -G dialout $USER\", then log out and in again.";

}  // namespace

std::string PortAdvice(PortFailure failure)
{
    switch (failure) {
    case PortFailure::Missing:
        return "Check that the machine is plugged in and switched on, and choose its port.";
    case PortFailure::Denied:
        return std::string("Your user may not ") + kGroup;
    case PortFailure::Busy:
        return std::string(kOtherProgram) + " has it open: close the port there first.";
    case PortFailure::BusyOrDenied:
        return std::string(kOtherProgram) + " may have it open, or your user may not " + kGroup;
    case PortFailure::Other:
        break;
    }
    return {};
}

std::string PortOpenFailureText(std::string_view port, std::string_view reason,
                                PortFailure failure)
{
    std::string text = "Cannot open " + std::string(port) + ": " + std::string(reason) + ".";
    if (const std::string advice = PortAdvice(failure); !advice.empty()) {
        text += " " + advice;
    }
    return text;
}

}  // namespace pyrolith::machine
