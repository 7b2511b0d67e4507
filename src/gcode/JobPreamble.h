#pragma once

#include "gcode/JobContext.h"
#include "gcode/JobSink.h"

namespace pyrolith {

// Everything between the settings summary and the engraving rows: the start-of-code lines,
// the machine set-up, homing, the start height, the laser-off speed, the alignment dwells,
// the boundary trace and the comment line "BEGIN IMAGE".
void WritePreamble(JobSink& sink, const JobContext& context, const JobSettings& settings);

// A coordinate of a command line: 12 significant digits, never scientific notation (G-code
// interpreters cannot read exponents), and any value closer to 0 than 1e-10 is "0".
std::string CoordinateText(double value);

} // namespace pyrolith
