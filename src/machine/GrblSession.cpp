#include "machine/GrblSession.h"

#include <charconv>
#include <utility>

#include "machine/GrblText.h"
#include "machine/SendLine.h"

namespace pyrolith::machine {

namespace {

constexpr char kFeedHold = '!';
constexpr char kCycleStart = '~';
constexpr char kSoftReset = '\x18';
constexpr char kJogCancel = static_cast<char>(0x85);

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

std::string LineNumberText(std::size_t index)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, index + 1).ptr;
    return std::string(digits, end);
}

// States in which a soft reset keeps the position: the machine is not moving.
bool AtRest(std::string_view state)
{
    return state == "Idle" || state == "Hold:0" || state == "Alarm" || state == "Check" ||
           state == "Sleep" || StartsWith(state, "Door:0");
}

}  // namespace

GrblSession::GrblSession(SessionTimings timings, std::size_t rxBufferSize)
    : MachineSession(timings), capacity_(rxBufferSize > 1 ? rxBufferSize - 1 : 1)
{
}

void GrblSession::open(TimePoint now, bool wake)
{
    lastHeard_ = now;
    if (wake) {
        send(std::string_view(&kSoftReset, 1));
        link_ = Link::Waking;
        deadline_ = now + timings_.answerTimeout;
    } else {
        link_ = Link::AwaitingGreeting;
        deadline_ = now + timings_.greetingWait;
    }
}

void GrblSession::handleLine(std::string_view line, TimePoint now)
{
    if (StartsWith(line, "Grbl ")) {
        say(SessionMessage::Kind::Firmware, std::string(line));
        greeted(now);
    } else if (line == "ok" || StartsWith(line, "error:")) {
        if (inFlight_.empty()) {
            return;  // an answer to a line sent before a reset
        }
        const InFlight done = inFlight_.front();
        inFlight_.pop_front();
        inFlightBytes_ -= done.bytes;
        if (line == "ok") {
            if (done.job) {
                acknowledgeLine(done.index);
            }
        } else if (done.job && jobActive()) {
            acknowledgeLine(done.index);
            say(SessionMessage::Kind::Error,
                "Line " + LineNumberText(done.index) + " (" + lines_[done.index] +
                    "): " + ExplainGrblAnswer(line));
            beginSafeStop(now, JobState::Failed);
        } else {
            say(SessionMessage::Kind::Error, ExplainGrblAnswer(line));
        }
    } else if (StartsWith(line, "ALARM:")) {
        status_.state = "Alarm";
        say(SessionMessage::Kind::Error, ExplainGrblAnswer(line));
        if (jobActive() && stopPhase_ == StopPhase::None) {
            beginSafeStop(now, JobState::Failed);
        }
    } else if (auto report = ParseGrblStatus(line)) {
        status_ = std::move(report->status);
        queryOutstanding_ = false;
        if (stopPhase_ == StopPhase::Holding && AtRest(status_.state)) {
            softReset(now);
        } else if (idleCheckArmed_ && status_.state == "Idle" && jobState_ == JobState::Running) {
            idleCheckArmed_ = false;
            endJob(JobState::Finished,
                   "Job finished: the controller took every line and is idle.");
        }
    } else {
        say(SessionMessage::Kind::Firmware, std::string(line));
    }
    feed(now);
}

void GrblSession::greeted(TimePoint now)
{
    const Link before = link_;
    link_ = Link::Ready;
    ready_ = true;
    inFlight_.clear();
    inFlightBytes_ = 0;
    queryOutstanding_ = false;
    nextQuery_ = now;
    if (stopPhase_ == StopPhase::Resetting) {
        stopPhase_ = StopPhase::None;
        const JobState end = stopEnd_;
        stopEnd_ = JobState::Stopped;
        if (end == JobState::Failed || end == JobState::Stopped) {
            if (jobState_ == JobState::Stopping) {
                endJob(end, end == JobState::Failed
                                ? "The job was stopped: feed hold, then soft reset; the laser is off."
                                : "Stopped: feed hold, then soft reset; the laser is off.");
            } else {
                say(SessionMessage::Kind::Info,
                    "Stopped: feed hold, then soft reset; the laser is off.");
            }
        }
    } else if (before == Link::Ready && jobActive()) {
        endJob(JobState::Failed,
               "The controller restarted during the job; the job is stopped and the laser is off.");
    }
}

void GrblSession::tick(TimePoint now)
{
    if (lost_) {
        return;
    }
    switch (link_) {
    case Link::Closed:
        return;
    case Link::AwaitingGreeting:
        if (now >= deadline_) {
            send(std::string_view(&kSoftReset, 1));
            link_ = Link::Waking;
            deadline_ = now + timings_.answerTimeout;
        }
        return;
    case Link::Waking:
        if (now >= deadline_) {
            link_ = Link::Closed;
            say(SessionMessage::Kind::Error, "No answer from the controller.");
        }
        return;
    case Link::Resetting:
        if (now >= deadline_) {
            fail(now, "The controller did not restart after the soft reset.");
        }
        return;
    case Link::Ready:
        break;
    }
    if (queryOutstanding_ && now - querySentAt_ >= timings_.answerTimeout) {
        send(std::string_view(&kFeedHold, 1));
        send(std::string_view(&kSoftReset, 1));
        fail(now, "The controller stopped answering.");
        return;
    }
    if (stopPhase_ == StopPhase::Holding && now >= deadline_) {
        softReset(now);
        return;
    }
    if (!queryOutstanding_ && now >= nextQuery_) {
        query(now);
    }
    feed(now);
}

void GrblSession::fail(TimePoint, std::string message)
{
    link_ = Link::Closed;
    ready_ = false;
    stopPhase_ = StopPhase::None;
    inFlight_.clear();
    inFlightBytes_ = 0;
    if (jobActive()) {
        endJob(JobState::Failed,
               message + " The job is stopped; if the laser is still on, switch the machine off.");
    } else {
        say(SessionMessage::Kind::Error, std::move(message));
    }
}

void GrblSession::query(TimePoint now)
{
    send("?");
    queryOutstanding_ = true;
    querySentAt_ = now;
    nextQuery_ = now + timings_.statusInterval;
    idleCheckArmed_ = jobState_ == JobState::Running && acknowledged_ == lines_.size();
}

void GrblSession::feed(TimePoint now)
{
    if (link_ != Link::Ready || stopPhase_ != StopPhase::None) {
        return;
    }
    if (jobState_ == JobState::Running) {
        for (skipBlankLines(); next_ < lines_.size(); skipBlankLines()) {
            const std::string& line = lines_[next_];
            const std::size_t bytes = line.size() + 1;
            const bool system = line.front() == '$';
            if ((system && !inFlight_.empty()) || inFlightBytes_ + bytes > capacity_) {
                break;
            }
            send(line);
            send("\n");
            inFlight_.push_back({next_, bytes, true});
            inFlightBytes_ += bytes;
            ++next_;
        }
        if (acknowledged_ == lines_.size() && !idleCheckArmed_ && !queryOutstanding_) {
            query(now);  // the job is done once a report after the last "ok" says Idle
        }
    } else if (!jobActive() && !commands_.empty() && inFlight_.empty()) {
        const std::string line = std::move(commands_.front());
        commands_.pop_front();
        send(line);
        send("\n");
        inFlight_.push_back({lines_.size(), line.size() + 1, false});
        inFlightBytes_ += line.size() + 1;
    }
}

bool GrblSession::startJob(std::vector<std::string> lines, TimePoint now)
{
    if (jobActive()) {
        say(SessionMessage::Kind::Error, "A job is already running.");
        return false;
    }
    if (!ready_) {
        say(SessionMessage::Kind::Error, "The controller is not ready.");
        return false;
    }
    if (status_.state == "Alarm") {
        say(SessionMessage::Kind::Error,
            "The controller is in alarm: unlock ($X) or home ($H) first.");
        return false;
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        lines[i] = CleanLine(lines[i], true);
        if (lines[i].size() + 1 > capacity_) {
            say(SessionMessage::Kind::Error,
                "Line " + LineNumberText(i) + " is longer than the controller can receive.");
            return false;
        }
    }
    lines_ = std::move(lines);
    next_ = 0;
    acknowledged_ = 0;
    idleCheckArmed_ = false;
    jobState_ = JobState::Running;
    feed(now);
    return true;
}

void GrblSession::pause(TimePoint)
{
    if (jobState_ == JobState::Running) {
        send(std::string_view(&kFeedHold, 1));
        jobState_ = JobState::Paused;
        say(SessionMessage::Kind::Info, "Paused: feed hold.");
    }
}

void GrblSession::resume(TimePoint now)
{
    if (jobState_ == JobState::Paused) {
        send(std::string_view(&kCycleStart, 1));
        jobState_ = JobState::Running;
        say(SessionMessage::Kind::Info, "Resumed.");
        feed(now);
    }
}

void GrblSession::stop(TimePoint now)
{
    if (!jobActive() && status_.state == "Jog") {
        cancelJog();  // a jog ends at once and keeps the position
        return;
    }
    if (link_ == Link::Ready && stopPhase_ == StopPhase::None) {
        beginSafeStop(now, JobState::Stopped);
    }
}

void GrblSession::beginSafeStop(TimePoint now, JobState endState)
{
    if (jobActive()) {
        jobState_ = JobState::Stopping;
    }
    stopEnd_ = endState;
    commands_.clear();
    send(std::string_view(&kFeedHold, 1));
    stopPhase_ = StopPhase::Holding;
    deadline_ = now + timings_.holdTimeout;
    if (!queryOutstanding_) {
        query(now);
    }
}

void GrblSession::softReset(TimePoint now)
{
    send(std::string_view(&kSoftReset, 1));
    stopPhase_ = StopPhase::Resetting;
    link_ = Link::Resetting;
    ready_ = false;
    inFlight_.clear();
    inFlightBytes_ = 0;
    queryOutstanding_ = false;
    deadline_ = now + timings_.answerTimeout;
}

bool GrblSession::command(std::string_view line, TimePoint now)
{
    if (jobActive() || !ready_) {
        say(SessionMessage::Kind::Error,
            jobActive() ? "A job is running." : "The controller is not ready.");
        return false;
    }
    std::string text = CleanLine(line, true);
    if (text.empty()) {
        return true;
    }
    commands_.push_back(std::move(text));
    feed(now);
    return true;
}

void GrblSession::cancelJog()
{
    send(std::string_view(&kJogCancel, 1));
}

}  // namespace pyrolith::machine
