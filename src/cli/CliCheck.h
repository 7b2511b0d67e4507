#pragma once

#include <filesystem>
#include <ostream>
#include <string>

#include "settings/JobSettings.h"

namespace pyrolith::cli {

// "pyrolith-cli check [--profile FILE] [--set KEY=VALUE]... FILE.gcode": reads any G-code
// file with the flavor and machine of the settings, prints "Estimated time: H:MM:SS" and
// writes a warning on standard error for every line the firmware would refuse. Exit status
// 0; 1 when the file cannot be read; 2 for a usage error. `argv[0]` is "check".
int RunCheck(int argc, char** argv);

// Reads back a G-code file: prints the refused lines to `err` ("Warning: line 12: ...")
// and returns the estimate line "Estimated time: H:MM:SS". Throws pyrolith::Error when the
// file cannot be read.
std::string CheckGcodeFile(const std::filesystem::path& path, const JobSettings& settings,
                           std::ostream& err);

}  // namespace pyrolith::cli
