#pragma once

#include <string>

namespace pyrolith {

// The user's text for an input/output error code ("Disk full", "File access denied", ...).
std::string FileErrorText(int errorCode);

// A write past the process's file size limit must come back as an error ("File too large"),
// not kill the program with SIGXFSZ. Both programs call this once at start.
void IgnoreFileSizeSignal();

}  // namespace pyrolith
