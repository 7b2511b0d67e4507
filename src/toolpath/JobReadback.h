#pragma once

// The job the settings and picture make, read back as it is written, without a file and
// without holding the job's text: the lines go straight from the job writer into the reader.

#include <atomic>

#include "gcode/JobWriter.h"
#include "toolpath/MotionPlanner.h"
#include "toolpath/ToolpathPreview.h"

namespace pyrolith::toolpath {

// The estimate and the refused lines of the job. Throws pyrolith::Error where WriteJobFile
// would (a number that does not read). The grey picture is a job of power levels.
FileEstimate CheckJob(const JobSettings& settings, const MonoBitmap& picture,
                      const JobEnvironment& environment);
FileEstimate CheckJob(const JobSettings& settings, const GrayRaster& picture,
                      const JobEnvironment& environment);

// The job for the preview. `cancel` (may be null) stops the work early once set.
JobPreview PreviewJob(const JobSettings& settings, const MonoBitmap& picture,
                      const JobEnvironment& environment,
                      const std::atomic<bool>* cancel = nullptr);
JobPreview PreviewJob(const JobSettings& settings, const GrayRaster& picture,
                      const JobEnvironment& environment,
                      const std::atomic<bool>* cancel = nullptr);

}  // namespace pyrolith::toolpath
