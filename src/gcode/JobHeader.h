#pragma once

#include "gcode/JobContext.h"
#include "gcode/JobSink.h"
#include "gcode/JobWriter.h"

namespace pyrolith {

// The settings summary that opens every job: one comment line per setting, then one empty
// line.
void WriteHeader(JobSink& sink, const JobContext& context, const JobSettings& settings,
                 const JobEnvironment& environment);

} // namespace pyrolith
