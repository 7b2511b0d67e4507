#include "toolpath/JobReadback.h"

#include "gcode/JobContext.h"
#include "gcode/JobSink.h"

namespace pyrolith::toolpath {
namespace {

struct Cancelled {};

// Hands each block of the job to the reader as the writer fills it.
class ReaderJobSink final : public JobSink {
public:
    ReaderJobSink(GcodeReader& reader, const std::atomic<bool>* cancel)
        : JobSink(buffer_, sizeof buffer_), reader_(reader), cancel_(cancel)
    {
    }

private:
    void take(std::string_view block) override
    {
        if (cancel_ != nullptr && cancel_->load(std::memory_order_relaxed)) {
            throw Cancelled{};
        }
        reader_.feed(block);
    }

    GcodeReader& reader_;
    const std::atomic<bool>* cancel_;
    char buffer_[1 << 16];
};

template <typename Picture>
void WriteInto(GcodeReader& reader, const JobSettings& settings, const Picture& picture,
               const JobEnvironment& environment, const std::atomic<bool>* cancel)
{
    const JobContext context = MakeJobContext(settings, picture, environment.decimalSeparator);
    ReaderJobSink sink(reader, cancel);
    try {
        WriteJob(sink, context, settings, picture, environment);
        sink.drain();
    } catch (const Cancelled&) {
    }
}

template <typename Picture>
FileEstimate CheckPicture(const JobSettings& settings, const Picture& picture,
                          const JobEnvironment& environment)
{
    return Estimate(
        [&](GcodeReader& reader) { WriteInto(reader, settings, picture, environment, nullptr); },
        MachineProfileOf(settings));
}

template <typename Picture>
JobPreview PreviewPicture(const JobSettings& settings, const Picture& picture,
                          const JobEnvironment& environment, const std::atomic<bool>* cancel)
{
    return ReadJobPreview(
        [&](GcodeReader& reader) { WriteInto(reader, settings, picture, environment, cancel); },
        MachineProfileOf(settings));
}

}  // namespace

FileEstimate CheckJob(const JobSettings& settings, const MonoBitmap& picture,
                      const JobEnvironment& environment)
{
    return CheckPicture(settings, picture, environment);
}

FileEstimate CheckJob(const JobSettings& settings, const GrayRaster& picture,
                      const JobEnvironment& environment)
{
    return CheckPicture(settings, picture, environment);
}

JobPreview PreviewJob(const JobSettings& settings, const MonoBitmap& picture,
                      const JobEnvironment& environment, const std::atomic<bool>* cancel)
{
    return PreviewPicture(settings, picture, environment, cancel);
}

JobPreview PreviewJob(const JobSettings& settings, const GrayRaster& picture,
                      const JobEnvironment& environment, const std::atomic<bool>* cancel)
{
    return PreviewPicture(settings, picture, environment, cancel);
}

}  // namespace pyrolith::toolpath
