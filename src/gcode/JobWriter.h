#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "image/GrayLevels.h"
#include "image/MonoBitmap.h"
#include "settings/JobSettings.h"

namespace pyrolith {

// What a job takes besides the settings and the picture.
struct JobEnvironment {
    char decimalSeparator = '.'; // the user's, for the strict number reading
    std::string date;            // the locale's short date text
    std::string time;            // the locale's long time text
    std::string versionText;     // "1.3.0.4"
    std::string imageFileName;   // the loaded file's name without folder
    // The picture as read, before a resize; 0 when unknown (the header then leaves out its
    // size line).
    std::int32_t sourceWidth = 0;
    std::int32_t sourceHeight = 0;
    std::string jobNote;         // one more summary line about a made job (a test card)
};

// The size of a job written.
struct JobFileSummary {
    std::uint64_t lines = 0;
    std::uint64_t bytes = 0;
};

// Writes the complete job for `picture` into `output` and returns its size. Every number is
// checked before the file is touched (CheckJobNumbers: a job the machine cannot run safely is
// refused); the job is written beside the target and renamed over it only when it is
// complete, so a failure leaves an existing file unchanged. Throws pyrolith::Error whose
// message is the user's text ("'abc' is not a valid floating point value", "Disk full", ...)
// and, for a refused setting, whose fieldKey() names it.
JobFileSummary WriteJobFile(const std::filesystem::path& output, const JobSettings& settings,
                            const MonoBitmap& picture, const JobEnvironment& environment);
// The same job burning the power levels of a grey picture.
JobFileSummary WriteJobFile(const std::filesystem::path& output, const JobSettings& settings,
                            const GrayRaster& picture, const JobEnvironment& environment);

class JobSink;
struct JobContext;

// The sections of a job in their fixed order: the settings summary, the preamble up to
// "BEGIN IMAGE", the engraving rows and the job end. `context` comes from MakeJobContext.
void WriteJob(JobSink& sink, const JobContext& context, const JobSettings& settings,
              const MonoBitmap& picture, const JobEnvironment& environment);
void WriteJob(JobSink& sink, const JobContext& context, const JobSettings& settings,
              const GrayRaster& picture, const JobEnvironment& environment);

} // namespace pyrolith
