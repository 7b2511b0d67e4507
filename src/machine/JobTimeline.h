#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "toolpath/MachineProfile.h"

namespace pyrolith::machine {

// The planned job time at the end of every line, from the time estimate: what the progress
// by time and the remaining time of a running job are read from.
class JobTimeline {
public:
    JobTimeline() = default;
    JobTimeline(const std::vector<std::string>& lines, const toolpath::MachineProfile& machine);

    double totalSeconds() const { return ends_.empty() ? 0.0 : ends_.back(); }
    // The job time once the first `lines` lines are done (0 for none, the total for all).
    double secondsThrough(std::size_t lines) const;

private:
    std::vector<double> ends_;  // ends_[i]: the job time when line i + 1 is done
};

}  // namespace pyrolith::machine
