#pragma once

// The job the settings and picture make, read back as it is written, in one pass: the job
// writer fills blocks of text that go to the file (when there is one) and, behind a bounded
// queue, to the reader and planner on threads of their own. The work ends when the slower of
// writing and reading ends, and the memory in use does not grow with the job.

#include <atomic>
#include <filesystem>
#include <functional>

#include "gcode/JobWriter.h"
#include "toolpath/MotionPlanner.h"
#include "toolpath/ToolpathPreview.h"

namespace pyrolith::toolpath {

// The estimate and the refused lines of the job, without a file. Throws pyrolith::Error where
// WriteJobFile would (a number that does not read). The grey picture is a job of power levels.
FileEstimate CheckJob(const JobSettings& settings, const MonoBitmap& picture,
                      const JobEnvironment& environment);
FileEstimate CheckJob(const JobSettings& settings, const GrayRaster& picture,
                      const JobEnvironment& environment);

// The job for the preview, without a file. `cancel` (may be null) stops the work early once
// set: the writer and the reader both stop, and what was read so far is returned.
JobPreview PreviewJob(const JobSettings& settings, const MonoBitmap& picture,
                      const JobEnvironment& environment,
                      const std::atomic<bool>* cancel = nullptr);
JobPreview PreviewJob(const JobSettings& settings, const GrayRaster& picture,
                      const JobEnvironment& environment,
                      const std::atomic<bool>* cancel = nullptr);

// Asked with the estimate of the complete job before it replaces the target: false keeps
// the target as it was.
using ConfirmSave = std::function<bool(const FileEstimate& estimate)>;

// The job written to its file as WriteJobFile writes it (the same bytes, the same checks,
// the file made durable and renamed over the target only when it is complete) and read in the
// same pass. A failure half-way stops the reader and leaves no file.
struct SavedJob {
    bool saved = false;  // false when the confirmation said no
    JobFileSummary written;
    FileEstimate estimate;
};
SavedJob SaveJob(const std::filesystem::path& output, const JobSettings& settings,
                 const MonoBitmap& picture, const JobEnvironment& environment,
                 const ConfirmSave& confirm = {});
SavedJob SaveJob(const std::filesystem::path& output, const JobSettings& settings,
                 const GrayRaster& picture, const JobEnvironment& environment,
                 const ConfirmSave& confirm = {});

// The same keeping the preview of the job (its moves are held in memory).
struct SavedPreview {
    JobFileSummary written;
    JobPreview preview;
};
SavedPreview SaveJobWithPreview(const std::filesystem::path& output, const JobSettings& settings,
                                const MonoBitmap& picture, const JobEnvironment& environment);
SavedPreview SaveJobWithPreview(const std::filesystem::path& output, const JobSettings& settings,
                                const GrayRaster& picture, const JobEnvironment& environment);

}  // namespace pyrolith::toolpath
