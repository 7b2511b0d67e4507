#include "machine/PrinterSession.h"

#include <charconv>
#include <utility>

#include "machine/SendLine.h"

namespace pyrolith::machine {

namespace {

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

bool Contains(std::string_view text, std::string_view part)
{
    return text.find(part) != std::string_view::npos;
}

// The line number of "Resend: 12", "Resend:12" or "rs 12".
std::optional<std::int64_t> ResendNumber(std::string_view line)
{
    std::string_view rest;
    if (StartsWith(line, "Resend:")) {
        rest = line.substr(7);
    } else if (StartsWith(line, "rs ")) {
        rest = line.substr(3);
    } else {
        return std::nullopt;
    }
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == 'N')) {
        rest.remove_prefix(1);
    }
    std::int64_t number = 0;
    const auto result = std::from_chars(rest.data(), rest.data() + rest.size(), number);
    if (result.ec != std::errc{}) {
        return std::nullopt;
    }
    return number;
}

// Commands that set the laser: the fan commands of a printer and the spindle commands.
bool IsLaserCommand(std::string_view line)
{
    for (const std::string_view word : {"M106", "M107", "M3", "M4", "M5"}) {
        if (StartsWith(line, word) &&
            (line.size() == word.size() || line[word.size()] < '0' || line[word.size()] > '9')) {
            return true;
        }
    }
    return false;
}

constexpr int kMostResends = 10;

}  // namespace

PrinterSession::PrinterSession(SessionTimings timings, std::string laserOffCommand)
    : MachineSession(timings), laserOff_(std::move(laserOffCommand))
{
}

void PrinterSession::open(TimePoint now, bool)
{
    lastHeard_ = now;
    link_ = Link::Connecting;
    lineNumber_ = 0;
    sendNumbered("M110 N0", std::nullopt, Then::Connected, now);
}

void PrinterSession::sendNumbered(std::string text, std::optional<std::size_t> jobIndex,
                                  Then then, TimePoint now)
{
    const std::string line = NumberedLine(lineNumber_, text);
    send(line);
    send("\n");
    if (jobIndex && IsLaserCommand(text)) {
        laserInForce_ = text;
    }
    dwellMs_ = DwellMilliseconds(text).value_or(0.0);
    pending_ = Pending{lineNumber_, std::move(text), jobIndex, then};
    resendPending_ = false;
    sentAt_ = now;
    ++lineNumber_;
}

TimePoint PrinterSession::answerDeadline() const
{
    const TimePoint since = lastHeard_ > sentAt_ ? lastHeard_ : sentAt_;
    return since + timings_.answerTimeout +
           std::chrono::duration_cast<Clock::duration>(
               std::chrono::duration<double, std::milli>(dwellMs_));
}

void PrinterSession::handleLine(std::string_view line, TimePoint now)
{
    if (line == "ok" || StartsWith(line, "ok ")) {
        acknowledge(now);
    } else if (const auto number = ResendNumber(line)) {
        if (pending_ && *number == pending_->number) {
            resendPending_ = true;
        }
    } else if (StartsWith(line, "busy:") || StartsWith(line, "echo:busy:")) {
        // the printer is working on a long command; hearing from it is all that matters
    } else if (StartsWith(line, "Error:") || StartsWith(line, "!!")) {
        if (Contains(line, "halted") || Contains(line, "kill") || StartsWith(line, "!!")) {
            say(SessionMessage::Kind::Error, std::string(line));
            lose("The printer halted; it must be reset before it runs again.");
        } else if (Contains(line, "checksum") || Contains(line, "Line Number") ||
                   Contains(line, "Checksum")) {
            // a damaged line; the "Resend:" that follows sends it again
        } else {
            say(SessionMessage::Kind::Error, std::string(line));
            if (jobActive() && jobState_ != JobState::Stopping) {
                beginSafeStop(now, JobState::Failed);
            }
        }
    } else if (line == "start" && link_ == Link::Ready) {
        say(SessionMessage::Kind::Firmware, std::string(line));
        lose("The printer restarted.");
    } else {
        say(SessionMessage::Kind::Firmware, std::string(line));
    }
    feed(now);
}

void PrinterSession::acknowledge(TimePoint now)
{
    if (resendPending_ && pending_) {
        if (++resends_ > kMostResends) {
            lose("The printer asked for the same line again and again; the connection is "
                 "unreliable.");
            return;
        }
        Pending again = std::move(*pending_);
        pending_.reset();
        lineNumber_ = again.number;
        sendNumbered(std::move(again.text), again.jobIndex, again.then, now);
        return;
    }
    if (pending_) {
        resends_ = 0;
        const Pending done = std::move(*pending_);
        pending_.reset();
        completed(done, now);
    } else if (extraOks_ > 0) {
        --extraOks_;
    }
}

void PrinterSession::completed(const Pending& done, TimePoint)
{
    if (done.jobIndex) {
        acknowledgeLine(*done.jobIndex);
    }
    switch (done.then) {
    case Then::Nothing:
        break;
    case Then::Connected:
        link_ = Link::Ready;
        ready_ = true;
        status_.state = "Ready";
        break;
    case Then::Paused:
        if (jobState_ != JobState::Pausing) {
            break;  // the job ended meanwhile
        }
        jobState_ = JobState::Paused;
        status_.state = "Paused";
        say(SessionMessage::Kind::Info, "Paused: the moves are done (M400) and the laser is off (" +
                                            laserOff_ + ").");
        break;
    case Then::Stopped: {
        const JobState end = stopEnd_;
        const std::string what = "quick stop (M410), laser off (" + laserOff_ +
                                 "), moves finished (M400); the laser is off.";
        status_.state = "Ready";
        if (jobState_ == JobState::Stopping) {
            endJob(end, end == JobState::Failed ? "The job was stopped: " + what
                                                : "Stopped: " + what);
        } else {
            say(SessionMessage::Kind::Info, "Stopped: " + what);
        }
        break;
    }
    case Then::Finished:
        service_.clear();  // a pause asked for during the last M400 has nothing left to hold
        status_.state = "Ready";
        endJob(JobState::Finished, "Job finished: the printer took every line and finished its moves.");
        break;
    }
}

void PrinterSession::feed(TimePoint now)
{
    if (link_ != Link::Ready || pending_ || extraOks_ > 0) {
        return;
    }
    if (!service_.empty()) {
        Service next = std::move(service_.front());
        service_.pop_front();
        sendNumbered(std::move(next.text), std::nullopt, next.then, now);
        return;
    }
    if (jobState_ == JobState::Running) {
        skipBlankLines();
        if (next_ < lines_.size()) {
            sendNumbered(lines_[next_], next_, Then::Nothing, now);
            ++next_;
        } else {
            // every line is taken; M400 answers once the last move is done
            sendNumbered("M400", std::nullopt, Then::Finished, now);
        }
    } else if (!jobActive() && !commands_.empty()) {
        std::string text = std::move(commands_.front());
        commands_.pop_front();
        sendNumbered(std::move(text), std::nullopt, Then::Nothing, now);
    }
}

void PrinterSession::tick(TimePoint now)
{
    if (lost_ || link_ == Link::Closed) {
        return;
    }
    if ((pending_ || extraOks_ > 0) && now >= answerDeadline()) {
        lose(link_ == Link::Connecting ? "No answer from the printer."
                                       : "The printer stopped answering.");
        return;
    }
    feed(now);
}

void PrinterSession::lose(std::string message)
{
    link_ = Link::Closed;
    ready_ = false;
    pending_.reset();
    service_.clear();
    extraOks_ = 0;
    status_.state = "Not connected";
    if (jobActive()) {
        endJob(JobState::Failed,
               message + " The job is stopped; if the laser is still on, switch the machine off.");
    } else {
        say(SessionMessage::Kind::Error, std::move(message));
    }
}

bool PrinterSession::startJob(std::vector<std::string> lines, TimePoint now)
{
    if (jobActive() || !ready_) {
        say(SessionMessage::Kind::Error,
            jobActive() ? "A job is already running." : "The printer is not ready.");
        return false;
    }
    for (std::string& line : lines) {
        line = CleanLine(line, false);
    }
    lines_ = std::move(lines);
    next_ = 0;
    acknowledged_ = 0;
    laserInForce_.clear();
    jobState_ = JobState::Running;
    status_.state = "Printing";
    feed(now);
    return true;
}

void PrinterSession::pause(TimePoint now)
{
    if (jobState_ == JobState::Running) {
        jobState_ = JobState::Pausing;
        service_.push_back({"M400", Then::Nothing});
        service_.push_back({laserOff_, Then::Paused});
        feed(now);
    }
}

void PrinterSession::resume(TimePoint now)
{
    if (jobState_ == JobState::Paused) {
        jobState_ = JobState::Running;
        status_.state = "Printing";
        if (!laserInForce_.empty()) {
            service_.push_back({laserInForce_, Then::Nothing});
        }
        say(SessionMessage::Kind::Info, "Resumed.");
        feed(now);
    }
}

void PrinterSession::stop(TimePoint now)
{
    if (link_ == Link::Ready && jobState_ != JobState::Stopping) {
        beginSafeStop(now, JobState::Stopped);
    }
}

void PrinterSession::beginSafeStop(TimePoint now, JobState endState)
{
    if (jobActive()) {
        jobState_ = JobState::Stopping;
    }
    stopEnd_ = endState;
    commands_.clear();
    service_.clear();
    if (resendPending_) {
        // the printer refused the line; the "ok" after its resend request is still to come
        pending_.reset();
        resendPending_ = false;
        ++extraOks_;
    }
    send("M410\n");
    ++extraOks_;
    sentAt_ = now;
    service_.push_back({laserOff_, Then::Nothing});
    service_.push_back({"M400", Then::Stopped});
    status_.state = "Stopping";
}

bool PrinterSession::command(std::string_view line, TimePoint now)
{
    if (jobActive() || !ready_) {
        say(SessionMessage::Kind::Error,
            jobActive() ? "A job is running." : "The printer is not ready.");
        return false;
    }
    std::string text = CleanLine(line, false);
    if (!text.empty()) {
        commands_.push_back(std::move(text));
        feed(now);
    }
    return true;
}

}  // namespace pyrolith::machine
