#include "toolpath/JobReadback.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <thread>

#include "common/AtomicFile.h"
#include "gcode/JobChecks.h"
#include "gcode/JobContext.h"
#include "gcode/JobSink.h"
#include "toolpath/TextBlockQueue.h"

namespace pyrolith::toolpath {
namespace {

struct Cancelled {};

// Hands each block of the job to the queue, and first to the file when there is one.
class QueueJobSink final : public JobSink {
public:
    QueueJobSink(TextBlockQueue& queue, AtomicFile* file, const std::atomic<bool>* cancel)
        : JobSink(nullptr, 0), queue_(queue), file_(file), cancel_(cancel)
    {
        block_ = queue_.emptyBlock();
        useBuffer(block_, TextBlockQueue::kBlockSize);
    }

    std::uint64_t bytes() const { return bytes_; }

private:
    void take(std::string_view text) override
    {
        if (text.data() == block_) {
            send(text.size());
            return;
        }
        // A text longer than a block, in block-sized pieces.
        while (!text.empty()) {
            const std::size_t piece = std::min(text.size(), TextBlockQueue::kBlockSize);
            std::memcpy(block_, text.data(), piece);
            send(piece);
            text.remove_prefix(piece);
        }
    }
    void send(std::size_t size)
    {
        if (cancel_ != nullptr && cancel_->load(std::memory_order_relaxed)) {
            throw Cancelled{};
        }
        if (file_ != nullptr) {
            file_->write(std::string_view(block_, size));
        }
        bytes_ += size;
        char* full = block_;
        block_ = nullptr;
        queue_.push(full, size);
        block_ = queue_.emptyBlock();
        useBuffer(block_, TextBlockQueue::kBlockSize);
    }

    TextBlockQueue& queue_;
    AtomicFile* file_;
    const std::atomic<bool>* cancel_;
    char* block_ = nullptr;
    std::uint64_t bytes_ = 0;
};

// What a pass wrote and read.
template <typename Result> struct Pass {
    Result result;
    JobFileSummary written;
    bool cancelled = false;
};

// Runs `write` (the job into a sink), then `written`, on this thread and `read` (given the
// function that feeds the reader) on a thread of its own. A failure on either side stops both
// and is thrown here; a cancel ends both and returns what was read.
template <typename Result, typename Write, typename Read, typename Written>
Pass<Result> WriteAndRead(const Write& write, const Read& read, AtomicFile* file,
                          const std::atomic<bool>* cancel, const Written& written)
{
    TextBlockQueue queue;
    Pass<Result> pass;
    std::exception_ptr readFailure;
    std::thread reader([&] {
        try {
            pass.result = read([&](GcodeReader& gcode) {
                std::string_view block;
                while (queue.next(block)) {
                    gcode.feed(block);
                }
                pass.written.lines = gcode.linesRead();
            });
        } catch (...) {
            readFailure = std::current_exception();
        }
        queue.stop();  // the writer stops at its next block
    });
    const auto end = [&](bool abandon) {
        if (abandon) {
            queue.abandon();
        } else {
            queue.close();
        }
        reader.join();
        if (readFailure) {
            std::rethrow_exception(readFailure);
        }
    };
    try {
        QueueJobSink sink(queue, file, cancel);
        write(sink);
        sink.drain();
        pass.written.bytes = sink.bytes();
        written();
    } catch (const Cancelled&) {
        pass.cancelled = true;
        end(true);
        return pass;
    } catch (const TextBlockQueue::Stopped&) {
        end(true);  // the reader failed: its error
        throw;
    } catch (...) {
        end(true);
        throw;
    }
    end(false);
    return pass;
}

template <typename Picture> struct Job {
    const JobSettings& settings;
    const Picture& picture;
    const JobEnvironment& environment;

    void write(JobSink& sink, const JobContext& context) const
    {
        WriteJob(sink, context, settings, picture, environment);
    }
    JobContext context() const
    {
        return MakeJobContext(settings, picture, environment.decimalSeparator);
    }
};

const auto kEstimate = [](const MachineProfile& machine) {
    return [&machine](const auto& feed) { return Estimate(feed, machine); };
};
const auto kPreview = [](const MachineProfile& machine) {
    return [&machine](const auto& feed) { return ReadJobPreview(feed, machine); };
};

template <typename Result, typename Picture, typename Reading>
Pass<Result> InMemory(const Job<Picture>& job, const Reading& reading,
                      const std::atomic<bool>* cancel)
{
    const JobContext context = job.context();
    const MachineProfile machine = MachineProfileOf(job.settings);
    return WriteAndRead<Result>([&](JobSink& sink) { job.write(sink, context); },
                                reading(machine), nullptr, cancel, [] {});
}

// The numbers are checked before the file is touched; the file replaces the target once the
// job is complete. Without `confirm` that is as soon as the last block is written, while the
// reader may still be at work; with it, once the reading is done and `confirm` said yes.
template <typename Result, typename Picture, typename Reading>
Pass<Result> ToFile(const std::filesystem::path& output, const Job<Picture>& job,
                    const Reading& reading, const std::function<bool(const Result&)>& confirm)
{
    CheckJobNumbers(job.settings, job.picture, job.environment.decimalSeparator);
    const JobContext context = job.context();
    const MachineProfile machine = MachineProfileOf(job.settings);
    AtomicFile file(output);
    Pass<Result> pass = WriteAndRead<Result>(
        [&](JobSink& sink) { job.write(sink, context); }, reading(machine), &file, nullptr,
        [&] {
            if (!confirm) {
                file.commit();
            }
        });
    if (confirm) {
        if (!confirm(pass.result)) {
            pass.cancelled = true;
            return pass;  // the temporary file goes with `file`
        }
        file.commit();
    }
    return pass;
}

template <typename Picture>
SavedJob Save(const std::filesystem::path& output, const Job<Picture>& job,
              const ConfirmSave& confirm)
{
    Pass<FileEstimate> pass = ToFile<FileEstimate>(output, job, kEstimate, confirm);
    return SavedJob{!pass.cancelled, pass.written, std::move(pass.result)};
}

template <typename Picture>
SavedPreview SaveWithPreview(const std::filesystem::path& output, const Job<Picture>& job)
{
    Pass<JobPreview> pass = ToFile<JobPreview>(output, job, kPreview, {});
    return SavedPreview{pass.written, std::move(pass.result)};
}

}  // namespace

FileEstimate CheckJob(const JobSettings& settings, const MonoBitmap& picture,
                      const JobEnvironment& environment)
{
    return InMemory<FileEstimate>(Job<MonoBitmap>{settings, picture, environment}, kEstimate,
                                  nullptr)
        .result;
}

FileEstimate CheckJob(const JobSettings& settings, const GrayRaster& picture,
                      const JobEnvironment& environment)
{
    return InMemory<FileEstimate>(Job<GrayRaster>{settings, picture, environment}, kEstimate,
                                  nullptr)
        .result;
}

JobPreview PreviewJob(const JobSettings& settings, const MonoBitmap& picture,
                      const JobEnvironment& environment, const std::atomic<bool>* cancel)
{
    return InMemory<JobPreview>(Job<MonoBitmap>{settings, picture, environment}, kPreview,
                                cancel)
        .result;
}

JobPreview PreviewJob(const JobSettings& settings, const GrayRaster& picture,
                      const JobEnvironment& environment, const std::atomic<bool>* cancel)
{
    return InMemory<JobPreview>(Job<GrayRaster>{settings, picture, environment}, kPreview,
                                cancel)
        .result;
}

SavedJob SaveJob(const std::filesystem::path& output, const JobSettings& settings,
                 const MonoBitmap& picture, const JobEnvironment& environment,
                 const ConfirmSave& confirm)
{
    return Save(output, Job<MonoBitmap>{settings, picture, environment}, confirm);
}

SavedJob SaveJob(const std::filesystem::path& output, const JobSettings& settings,
                 const GrayRaster& picture, const JobEnvironment& environment,
                 const ConfirmSave& confirm)
{
    return Save(output, Job<GrayRaster>{settings, picture, environment}, confirm);
}

SavedPreview SaveJobWithPreview(const std::filesystem::path& output, const JobSettings& settings,
                                const MonoBitmap& picture, const JobEnvironment& environment)
{
    return SaveWithPreview(output, Job<MonoBitmap>{settings, picture, environment});
}

SavedPreview SaveJobWithPreview(const std::filesystem::path& output, const JobSettings& settings,
                                const GrayRaster& picture, const JobEnvironment& environment)
{
    return SaveWithPreview(output, Job<GrayRaster>{settings, picture, environment});
}

}  // namespace pyrolith::toolpath
