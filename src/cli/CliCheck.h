#pragma once

#include <filesystem>
#include <ostream>
#include <string>

#include "settings/JobSettings.h"
#include "toolpath/MotionPlanner.h"

namespace pyrolith::cli {

// "pyrolith-cli check [--profile FILE] [--set KEY=VALUE]... FILE.gcode": reads any G-code
// file with the flavor and machine of the settings, prints "Estimated time: H:MM:SS" and
// writes a warning on standard error for every line the firmware would refuse. Without
// --profile and without --set GRBL=..., a job whose header names its flavor is read in that
// flavor, and "Flavor: GRBL, as the job's header says" comes first; any other file is read
// as a 3D printer's. Exit status
// 0; 1 when the file cannot be read; 2 for a usage error. `argv[0]` is "check".
int RunCheck(int argc, char** argv);

// Prints the refused lines of a file read back to `err` ("Warning: line 12: ...") and, with
// `lateBurns`, the warning of fan commands taken late when some runs may not burn at all;
// returns its estimate line "Estimated time: H:MM:SS".
std::string ReportEstimate(const toolpath::FileEstimate& estimate, std::ostream& err,
                           bool lateBurns = true);

}  // namespace pyrolith::cli
