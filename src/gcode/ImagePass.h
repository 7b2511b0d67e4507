#pragma once

#include "gcode/JobContext.h"
#include "gcode/JobSink.h"
#include "image/MonoBitmap.h"

namespace pyrolith {

// The engraving rows: line by line from the bottom row of the picture upward, the laser
// switched on exactly over each horizontal run of black pixels, then the line that switches
// it off. `picture` must have the context's width and height.
void WriteImagePass(JobSink& sink, const JobContext& context, const JobSettings& settings,
                    const MonoBitmap& picture);

// The lines of EndOfCode when UseEndOfCode is set.
void WriteJobEnd(JobSink& sink, const JobSettings& settings);

} // namespace pyrolith
