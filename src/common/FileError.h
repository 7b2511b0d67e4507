#pragma once

#include <string>

namespace pyrolith {

// The user's text for an input/output error code ("Disk full", "File access denied", ...).
// The codes are errno values on every system.
std::string FileErrorText(int errorCode);

// The user's text for the error of the system call that just failed: errno on POSIX; on
// Windows GetLastError(), told in the same words as its errno counterpart.
std::string LastFileErrorText();

// A write past the process's file size limit must come back as an error ("File too large"),
// not kill the program with SIGXFSZ. Both programs call this once at start.
void IgnoreFileSizeSignal();

}  // namespace pyrolith
