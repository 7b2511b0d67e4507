// The serial port of the command-line program: termios on POSIX systems, the communications
// functions on Windows. Every platform call of the machine code is in this file.
#include "machine/ByteTransport.h"

#include "common/Error.h"

#include <algorithm>
#include <system_error>

namespace pyrolith::machine {
namespace {

// "Cannot open PORT: <reason>." and what to do about it.
Error OpenFailure(const std::string& name, const std::string& reason, PortFailure failure)
{
    return Error(PortOpenFailureText(name, reason, failure));
}

}  // namespace
}  // namespace pyrolith::machine

#ifdef _WIN32

#include <windows.h>

namespace pyrolith::machine {

namespace {

std::string SystemText(DWORD error)
{
    return std::system_category().message(static_cast<int>(error));
}

class WindowsSerialPort final : public ByteTransport {
public:
    WindowsSerialPort(HANDLE handle, std::string name) : handle_(handle), name_(std::move(name)) {}
    ~WindowsSerialPort() override { CloseHandle(handle_); }
    WindowsSerialPort(const WindowsSerialPort&) = delete;
    WindowsSerialPort& operator=(const WindowsSerialPort&) = delete;

    void write(std::string_view bytes) override
    {
        while (!bytes.empty()) {
            DWORD written = 0;
            const DWORD size = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 65536));
            if (!WriteFile(handle_, bytes.data(), size, &written, nullptr)) {
                lost(SystemText(GetLastError()));
            }
            if (written == 0) {
                lost("the machine takes no more data");
            }
            bytes.remove_prefix(written);
        }
    }

    std::string read(Milliseconds wait) override
    {
        // A read returns what has arrived, waiting at most `wait` for the first byte.
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
        timeouts.ReadTotalTimeoutConstant =
            static_cast<DWORD>(std::max<long long>(1, static_cast<long long>(wait.count())));
        timeouts.WriteTotalTimeoutConstant = 1000;
        SetCommTimeouts(handle_, &timeouts);
        char buffer[4096];
        DWORD got = 0;
        if (!ReadFile(handle_, buffer, sizeof buffer, &got, nullptr)) {
            lost(SystemText(GetLastError()));
        }
        return std::string(buffer, got);
    }

private:
    [[noreturn]] void lost(const std::string& why)
    {
        throw Error("The connection to " + name_ + " was lost: " + why + ".");
    }

    HANDLE handle_;
    std::string name_;
};

}  // namespace

std::unique_ptr<ByteTransport> OpenSerialPort(const std::filesystem::path& port, int baud)
{
    const std::string name = port.string();
    // "COM10" and above open only by their device path.
    std::wstring device = port.wstring();
    if (device.rfind(L"\\\\", 0) != 0) {
        device = L"\\\\.\\" + device;
    }
    const HANDLE handle = CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        // Opened without sharing: a port another program holds is refused as access denied.
        const DWORD error = GetLastError();
        const PortFailure failure = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                                        ? PortFailure::Missing
                                    : error == ERROR_ACCESS_DENIED ? PortFailure::Busy
                                                                   : PortFailure::Other;
        throw OpenFailure(name, SystemText(error), failure);
    }
    DCB mode{};
    mode.DCBlength = sizeof mode;
    if (!GetCommState(handle, &mode)) {
        const DWORD error = GetLastError();
        CloseHandle(handle);
        throw Error(name + " is not a serial port: " + SystemText(error) + ".");
    }
    mode.BaudRate = static_cast<DWORD>(baud);
    mode.ByteSize = 8;
    mode.Parity = NOPARITY;
    mode.StopBits = ONESTOPBIT;
    mode.fBinary = TRUE;
    mode.fParity = FALSE;
    mode.fOutxCtsFlow = FALSE;
    mode.fOutxDsrFlow = FALSE;
    mode.fDtrControl = DTR_CONTROL_ENABLE;
    mode.fRtsControl = RTS_CONTROL_ENABLE;
    mode.fOutX = FALSE;
    mode.fInX = FALSE;
    if (!SetCommState(handle, &mode)) {
        const DWORD error = GetLastError();
        CloseHandle(handle);
        throw Error("The speed " + std::to_string(baud) + " is not available for " + name + ": " +
                    SystemText(error) + ".");
    }
    return std::make_unique<WindowsSerialPort>(handle, name);
}

}  // namespace pyrolith::machine

#else

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace pyrolith::machine {

namespace {

std::string SystemText(int error)
{
    return std::system_category().message(error);
}

speed_t SpeedConstant(int baud)
{
    switch (baud) {
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
#ifdef B250000
    case 250000: return B250000;
#endif
#ifdef B460800
    case 460800: return B460800;
#endif
#ifdef B500000
    case 500000: return B500000;
#endif
#ifdef B921600
    case 921600: return B921600;
#endif
#ifdef B1000000
    case 1000000: return B1000000;
#endif
    default: return B0;
    }
}

class PosixSerialPort final : public ByteTransport {
public:
    PosixSerialPort(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
    ~PosixSerialPort() override { ::close(fd_); }
    PosixSerialPort(const PosixSerialPort&) = delete;
    PosixSerialPort& operator=(const PosixSerialPort&) = delete;

    void write(std::string_view bytes) override
    {
        while (!bytes.empty()) {
            const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
            if (written > 0) {
                bytes.remove_prefix(static_cast<std::size_t>(written));
            } else if (written < 0 && (errno == EAGAIN || errno == EINTR)) {
                pollfd ready{fd_, POLLOUT, 0};
                if (::poll(&ready, 1, 1000) == 0) {
                    lost("the machine takes no more data");
                }
            } else {
                lost(SystemText(errno));
            }
        }
    }

    std::string read(Milliseconds wait) override
    {
        pollfd ready{fd_, POLLIN, 0};
        const int count = ::poll(&ready, 1, static_cast<int>(wait.count()));
        if (count < 0) {
            if (errno == EINTR) {
                return {};
            }
            lost(SystemText(errno));
        }
        if (count == 0) {
            return {};
        }
        char buffer[4096];
        const ssize_t got = ::read(fd_, buffer, sizeof buffer);
        if (got > 0) {
            return std::string(buffer, static_cast<std::size_t>(got));
        }
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
            return {};
        }
        // An unplugged adapter or a closed peer reads as the end of the data or as EIO.
        lost(got == 0 || errno == EIO ? std::string("the device is gone") : SystemText(errno));
    }

private:
    [[noreturn]] void lost(const std::string& why)
    {
        throw Error("The connection to " + name_ + " was lost: " + why + ".");
    }

    int fd_;
    std::string name_;
};

}  // namespace

std::unique_ptr<ByteTransport> OpenSerialPort(const std::filesystem::path& port, int baud)
{
    const std::string name = port.string();
    const speed_t speed = SpeedConstant(baud);
    if (speed == B0) {
        throw Error("The speed " + std::to_string(baud) + " is not available for " + name + ".");
    }
    const int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        const PortFailure failure = error == ENOENT || error == ENODEV || error == ENXIO
                                        ? PortFailure::Missing
                                    : error == EACCES || error == EPERM ? PortFailure::Denied
                                    : error == EBUSY                    ? PortFailure::Busy
                                                                        : PortFailure::Other;
        throw OpenFailure(name, SystemText(error), failure);
    }
    // This program's alone: another sender's lock (flock) refuses it, and no other program
    // opens it after this one (TIOCEXCL; the superuser still can).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        throw OpenFailure(name, error == EWOULDBLOCK ? "the port is in use" : SystemText(error),
                          PortFailure::Busy);
    }
    ::ioctl(fd, TIOCEXCL);
    termios mode{};
    if (::tcgetattr(fd, &mode) != 0) {
        const int error = errno;
        ::close(fd);
        throw Error(name + " is not a serial port: " + SystemText(error) + ".");
    }
    ::cfmakeraw(&mode);
    mode.c_cflag |= CLOCAL | CREAD;
    mode.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | CRTSCTS | PARENB);
    mode.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    mode.c_cc[VMIN] = 0;
    mode.c_cc[VTIME] = 0;
    ::cfsetispeed(&mode, speed);
    ::cfsetospeed(&mode, speed);
    if (::tcsetattr(fd, TCSANOW, &mode) != 0) {
        const int error = errno;
        ::close(fd);
        throw Error("Cannot set up " + name + ": " + SystemText(error) + ".");
    }
    return std::make_unique<PosixSerialPort>(fd, name);
}

}  // namespace pyrolith::machine

#endif
