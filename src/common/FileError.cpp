#include "common/FileError.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace pyrolith {

std::string FileErrorText(int errorCode)
{
    switch (errorCode) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return "Disk full";
    case EACCES:
    case EPERM:
    case EROFS:
        return "File access denied";
    case EFBIG:
        return "File too large";
    case ENOENT:
    case ENOTDIR:
        return "Path not found";
    case EISDIR:
        return "Is a folder, not a file";
    case EIO:
        return "I/O error " + std::to_string(errorCode);
    default:
        return std::system_category().message(errorCode);
    }
}

#ifdef _WIN32

namespace {

// The errno value of a Windows error that has one of the texts above; 0 for any other.
int ErrnoOf(DWORD error)
{
    switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_FILE_TOO_LARGE:
        return EFBIG;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_DIRECTORY:
        return ENOENT;
    default:
        return 0;
    }
}

}  // namespace

std::string LastFileErrorText()
{
    const DWORD error = ::GetLastError();
    if (const int code = ErrnoOf(error); code != 0) {
        return FileErrorText(code);
    }
    // The system's own text, without the line end it carries.
    char* buffer = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = length > 0 ? std::string(buffer, length) : std::string();
    ::LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return text.empty() ? "System error " + std::to_string(error) : text;
}

#else

std::string LastFileErrorText()
{
    return FileErrorText(errno);
}

#endif

void IgnoreFileSizeSignal()
{
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

}  // namespace pyrolith
