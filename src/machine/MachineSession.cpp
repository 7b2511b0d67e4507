#include "machine/MachineSession.h"

#include <algorithm>
#include <utility>

namespace pyrolith::machine {

namespace {

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

// A line longer than this without an end is no answer from a machine; it is cut so that a
// noisy line cannot fill the memory.
constexpr std::size_t kLongestLine = 4096;

}  // namespace

Firmware DetectFirmware(std::string_view line)
{
    if (StartsWith(line, "Grbl ")) {
        return Firmware::Grbl;
    }
    if (line == "start" || line.find("FIRMWARE_NAME:") != std::string_view::npos ||
        StartsWith(line, "echo:")) {
        return Firmware::Printer;
    }
    return Firmware::Unknown;
}

void MachineSession::receive(std::string_view bytes, TimePoint now)
{
    if (!bytes.empty()) {
        lastHeard_ = now;
    }
    for (const char c : bytes) {
        if (c == '\n' || c == '\r') {
            if (!partial_.empty()) {
                const std::string line = std::move(partial_);
                partial_.clear();
                handleLine(line, now);
            }
        } else if (partial_.size() < kLongestLine) {
            partial_.push_back(c);
        }
    }
}

void MachineSession::connectionLost(const std::string& reason)
{
    if (lost_) {
        return;
    }
    lost_ = true;
    ready_ = false;
    output_.clear();
    if (jobActive()) {
        endJob(JobState::Failed,
               reason + " The job is stopped; if the laser is still on, switch the machine off.");
    } else {
        say(SessionMessage::Kind::Error, reason);
    }
}

bool MachineSession::jobActive() const
{
    return jobState_ == JobState::Running || jobState_ == JobState::Pausing ||
           jobState_ == JobState::Paused || jobState_ == JobState::Stopping;
}

std::string MachineSession::takeOutput()
{
    return std::exchange(output_, {});
}

std::vector<SessionMessage> MachineSession::takeMessages()
{
    return std::exchange(messages_, {});
}

void MachineSession::say(SessionMessage::Kind kind, std::string text)
{
    messages_.push_back({kind, std::move(text)});
}

void MachineSession::endJob(JobState state, std::string message)
{
    jobState_ = state;
    say(state == JobState::Failed ? SessionMessage::Kind::Error : SessionMessage::Kind::Info,
        std::move(message));
}

void MachineSession::skipBlankLines()
{
    while (next_ < lines_.size() && lines_[next_].empty()) {
        ++next_;
    }
    settleBlankLines();
}

void MachineSession::acknowledgeLine(std::size_t index)
{
    acknowledged_ = std::max(acknowledged_, index + 1);
    settleBlankLines();
}

void MachineSession::settleBlankLines()
{
    // A blank line right after the acknowledged ones has nothing left to wait for.
    while (acknowledged_ < next_ && lines_[acknowledged_].empty()) {
        ++acknowledged_;
    }
}

}  // namespace pyrolith::machine
