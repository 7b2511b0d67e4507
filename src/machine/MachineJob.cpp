#include "machine/MachineJob.h"

#include "gcode/JobChecks.h"
#include "gcode/JobContext.h"
#include "gcode/JobPreamble.h"
#include "gcode/JobSink.h"

namespace pyrolith::machine {

std::vector<std::string> JobLines(std::string_view text)
{
    std::vector<std::string> lines;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.emplace_back(line);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    }
    return lines;
}

namespace {

// A job that is never saved still gets every check a saved one gets: it goes straight to the
// machine.
template <typename Picture>
std::vector<std::string> CheckedJobLines(const JobSettings& settings, const Picture& picture,
                                         const JobEnvironment& environment)
{
    CheckJobNumbers(settings, picture, environment.decimalSeparator);
    const JobContext context = MakeJobContext(settings, picture, environment.decimalSeparator);
    StringJobSink sink;
    WriteJob(sink, context, settings, picture, environment);
    return JobLines(sink.text());
}

}  // namespace

std::vector<std::string> MachineJobLines(const JobSettings& settings, const MonoBitmap& picture,
                                         const JobEnvironment& environment)
{
    return CheckedJobLines(settings, picture, environment);
}

std::vector<std::string> MachineJobLines(const JobSettings& settings, const GrayRaster& picture,
                                         const JobEnvironment& environment)
{
    return CheckedJobLines(settings, picture, environment);
}

std::vector<std::string> FrameJobLines(const JobSettings& settings, const MonoBitmap& picture,
                                       char decimalSeparator)
{
    JobSettings frame = settings;
    frame.IndicateCenter = false;
    frame.IndicateFrontCenter = false;
    frame.IndicateLeftCenter = false;
    frame.IndicateBoundary = true;
    CheckJobNumbers(frame, picture, decimalSeparator);
    const JobContext context = MakeJobContext(frame, picture, decimalSeparator);
    StringJobSink sink;
    WritePreamble(sink, context, frame);
    return JobLines(sink.text());
}

}  // namespace pyrolith::machine
