// Opening a serial port: the port is this program's alone, and a port that does not open says
// what to do about it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "common/Error.h"
#include "machine/ByteTransport.h"

namespace pyrolith::machine {
namespace {

std::string OpenError(const std::string& port)
{
    try {
        OpenSerialPort(port, 115200);
    } catch (const Error& e) {
        return e.what();
    }
    return "opened";
}

TEST(SerialPort, IsHeldAloneAndRefusalsSayWhatToDo)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string slave = ::ptsname(master);
    {
        const auto held = OpenSerialPort(slave, 115200);
        EXPECT_EQ(OpenError(slave),
                  "Cannot open " + slave + ": the port is in use. Another program (a printer host, "
                  "a serial monitor, another Pyrolith) has it open: close the port there first.");
    }
    EXPECT_EQ(OpenError(slave), "opened");  // given back with the first
    ::close(master);

    EXPECT_EQ(OpenError("/dev/pyrolith-no-such-port"),
              "Cannot open /dev/pyrolith-no-such-port: No such file or directory. Check that the "
              "machine is plugged in and switched on, and choose its port.");
    EXPECT_EQ(PortAdvice(PortFailure::Denied),
              "Your user may not be allowed to use serial ports: on Linux, add it to the port's "
              "group (usually dialout) with \"sudo usermod -a -G dialout $USER\", then log out "
              "and in again.");
    EXPECT_EQ(PortAdvice(PortFailure::Other), "");
}

}  // namespace
}  // namespace pyrolith::machine
