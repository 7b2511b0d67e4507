#include "machine/JobTimeline.h"

#include <algorithm>

#include "toolpath/MotionPlanner.h"

namespace pyrolith::machine {

JobTimeline::JobTimeline(const std::vector<std::string>& lines,
                         const toolpath::MachineProfile& machine)
    : ends_(lines.size(), 0.0)
{
    struct Sink : toolpath::EventSink {
        toolpath::MotionPlanner planner;
        explicit Sink(const toolpath::MachineProfile& m) : planner(m) {}
        void event(const toolpath::Event& e) override { planner.add(e); }
    } sink(machine);
    sink.planner.onDone = [this](std::uint64_t line, double secondsAtEnd) {
        if (line >= 1 && line <= ends_.size()) {
            ends_[line - 1] = std::max(ends_[line - 1], secondsAtEnd);
        }
    };
    toolpath::GcodeReader reader(machine.readerOptions(), sink);
    for (const std::string& line : lines) {
        reader.line(line);
    }
    reader.finish();
    sink.planner.finish();
    // A line without motion ends when the line before it does.
    for (std::size_t i = 1; i < ends_.size(); ++i) {
        ends_[i] = std::max(ends_[i], ends_[i - 1]);
    }
}

double JobTimeline::secondsThrough(std::size_t lines) const
{
    if (lines == 0 || ends_.empty()) {
        return 0.0;
    }
    return ends_[std::min(lines, ends_.size()) - 1];
}

}  // namespace pyrolith::machine
