#include "common/FileError.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <system_error>

namespace pyrolith {

std::string FileErrorText(int errorCode)
{
    switch (errorCode) {
    case ENOSPC:
    case EDQUOT:
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

void IgnoreFileSizeSignal()
{
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

}  // namespace pyrolith
