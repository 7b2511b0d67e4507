#pragma once

#include "gcode/JobContext.h"
#include "gcode/JobSink.h"
#include "image/GrayLevels.h"
#include "image/MonoBitmap.h"

namespace pyrolith {

// The engraving rows: line by line from the bottom row of the picture upward, the laser
// switched on exactly over each horizontal run of black pixels, then the line that switches
// it off. `picture` must have the context's width and height.
void WriteImagePass(JobSink& sink, const JobContext& context, const JobSettings& settings,
                    const MonoBitmap& picture);
// The same over the power levels of a grey picture: a run is a stretch of one non-zero level
// and burns with that level's on command. `context` comes from the grey MakeJobContext.
void WriteImagePass(JobSink& sink, const JobContext& context, const JobSettings& settings,
                    const GrayRaster& picture);

// The same over a picture whose pixels are power levels: level L burns with the context's
// PowerCommands[L] (0: not burned) and, when the context has them, at BurnFeeds[L].
void WriteLevelPass(JobSink& sink, const JobContext& context, const JobSettings& settings,
                    const GrayRaster& levels);

// The lines of EndOfCode when UseEndOfCode is set.
void WriteJobEnd(JobSink& sink, const JobSettings& settings);

} // namespace pyrolith
