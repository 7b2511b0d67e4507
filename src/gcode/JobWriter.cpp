#include "gcode/JobWriter.h"

#include "gcode/CutPass.h"
#include "gcode/ImagePass.h"
#include "gcode/JobChecks.h"
#include "gcode/JobContext.h"
#include "gcode/JobHeader.h"
#include "gcode/JobPreamble.h"
#include "gcode/JobSink.h"

namespace pyrolith {

namespace {

template <typename Picture>
void WriteSections(JobSink& sink, const JobContext& context, const JobSettings& settings,
                   const Picture& picture, const JobEnvironment& environment)
{
    WriteHeader(sink, context, settings, environment);
    WritePreamble(sink, context, settings);
    WriteImagePass(sink, context, settings, picture);
    WriteCutPass(sink, context, MakeCutPath(context, settings, picture));
    WriteJobEnd(sink, settings);
}

template <typename Picture>
JobFileSummary WriteFile(const std::filesystem::path& output, const JobSettings& settings,
                         const Picture& picture, const JobEnvironment& environment)
{
    // The numbers are checked before the file is touched.
    CheckJobNumbers(settings, picture, environment.decimalSeparator);
    const JobContext context = MakeJobContext(settings, picture, environment.decimalSeparator);
    // The job goes to a temporary file beside the target and replaces it only when it is
    // complete: a failed job never leaves a truncated file that may end with the laser on.
    FileJobSink sink(output);
    WriteSections(sink, context, settings, picture, environment);
    sink.commit();
    return {sink.lines(), sink.bytes()};
}

} // namespace

void WriteJob(JobSink& sink, const JobContext& context, const JobSettings& settings,
              const MonoBitmap& picture, const JobEnvironment& environment)
{
    WriteSections(sink, context, settings, picture, environment);
}

void WriteJob(JobSink& sink, const JobContext& context, const JobSettings& settings,
              const GrayRaster& picture, const JobEnvironment& environment)
{
    WriteSections(sink, context, settings, picture, environment);
}

JobFileSummary WriteJobFile(const std::filesystem::path& output, const JobSettings& settings,
                            const MonoBitmap& picture, const JobEnvironment& environment)
{
    return WriteFile(output, settings, picture, environment);
}

JobFileSummary WriteJobFile(const std::filesystem::path& output, const JobSettings& settings,
                            const GrayRaster& picture, const JobEnvironment& environment)
{
    return WriteFile(output, settings, picture, environment);
}

} // namespace pyrolith
