#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "gcode/JobWriter.h"

namespace pyrolith::machine {

// The lines of a job text; CR LF or LF ends a line.
std::vector<std::string> JobLines(std::string_view text);

// The job that "Save G-code" would write, as lines, generated in memory, after the same checks
// of every number the machine is driven with. Throws pyrolith::Error like the save does. The
// grey picture is a job of power levels.
std::vector<std::string> MachineJobLines(const JobSettings& settings, const MonoBitmap& picture,
                                         const JobEnvironment& environment);
std::vector<std::string> MachineJobLines(const JobSettings& settings, const GrayRaster& picture,
                                         const JobEnvironment& environment);

// The frame: the preamble's boundary trace at low power, without the settings summary, the
// alignment dwells or the picture, so that the user sees where the job will burn. It ends
// with the laser off. The settings are checked as for a job.
std::vector<std::string> FrameJobLines(const JobSettings& settings, const MonoBitmap& picture,
                                       char decimalSeparator);

}  // namespace pyrolith::machine
