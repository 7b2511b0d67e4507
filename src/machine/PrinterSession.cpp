#include "machine/PrinterSession.h"

#include <algorithm>
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
// The firmware's receive buffer: more bytes under way would be lost.
constexpr std::size_t kReceiveBuffer = 127;
constexpr std::size_t kMostLinesInFlight = 16;

// The number after " <letter>" in an "ok" line ("ok N12 P15 B3"), if there is one.
std::optional<std::int64_t> OkField(std::string_view line, char letter)
{
    for (std::size_t at = line.find(' '); at != std::string_view::npos;
         at = line.find(' ', at + 1)) {
        if (at + 2 <= line.size() && line[at + 1] == letter) {
            std::int64_t value = 0;
            const char* first = line.data() + at + 2;
            const auto result = std::from_chars(first, line.data() + line.size(), value);
            if (result.ec == std::errc{} && result.ptr != first) {
                return value;
            }
        }
    }
    return std::nullopt;
}

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
    if (jobIndex && IsLaserCommand(text)) {
        laserInForce_ = text;
    }
    Pending line{lineNumber_++, std::move(text), jobIndex, then};
    line.dwellMs = DwellMilliseconds(line.text).value_or(0.0);
    sendPending(std::move(line), now);
}

void PrinterSession::sendPending(Pending line, TimePoint now)
{
    const std::string wire = NumberedLine(line.number, line.text) + "\n";
    send(wire);
    line.bytes = wire.size();
    inFlight_.push_back(std::move(line));
    resendPending_ = false;
    sentAt_ = now;
}

// Whether a line may go out now: one at a time, or with the firmware's advanced "ok" as many
// as its command buffer and receive buffer take.
bool PrinterSession::room(std::string_view text) const
{
    if (inFlight_.empty()) {
        return true;
    }
    if (!advanced_ || inFlight_.size() >= window_) {
        return false;
    }
    std::size_t bytes = NumberedLine(lineNumber_, text).size() + 1;
    for (const Pending& line : inFlight_) {
        bytes += line.bytes;
    }
    return bytes <= kReceiveBuffer;
}

TimePoint PrinterSession::answerDeadline() const
{
    const TimePoint since = lastHeard_ > sentAt_ ? lastHeard_ : sentAt_;
    double dwellMs = 0;
    for (const Pending& line : inFlight_) {
        dwellMs += line.dwellMs;
    }
    return since + timings_.answerTimeout +
           std::chrono::duration_cast<Clock::duration>(
               std::chrono::duration<double, std::milli>(dwellMs));
}

void PrinterSession::handleLine(std::string_view line, TimePoint now)
{
    if (line == "ok" || StartsWith(line, "ok ")) {
        acknowledge(line, now);
    } else if (const auto number = ResendNumber(line)) {
        resendAsked(*number);
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

// Counts a resend; past the most, the connection is given up.
bool PrinterSession::resentTooOften()
{
    if (++resends_ <= kMostResends) {
        return false;
    }
    lose("The printer asked for the same line again and again; the connection is unreliable.");
    return true;
}

void PrinterSession::resendAsked(std::int64_t number)
{
    if (!advanced_) {
        if (!inFlight_.empty() && number == inFlight_.front().number) {
            resendPending_ = true;
        }
        return;
    }
    ++refusalOks_;  // the "ok" that follows answers the refused line, not a command run
    // A line the firmware took is never sent again: it would not answer it at all.
    if (number <= lastTaken_) {
        return;
    }
    if (resendFrom_ == number && staleResends_ > 0) {
        --staleResends_;  // a line sent before the resend began was refused as well
        return;
    }
    if (resentTooOften()) {
        return;
    }
    // That line and every one after it go out again, in order, before anything new; the
    // unnumbered quick stop stays under way.
    std::deque<Pending> kept;
    std::deque<Pending> again;
    for (Pending& line : inFlight_) {
        (line.number >= number ? again : kept).push_back(std::move(line));
    }
    inFlight_ = std::move(kept);
    staleResends_ = again.empty() ? 0 : static_cast<int>(again.size()) - 1;
    resendFrom_ = number;
    for (auto it = again.rbegin(); it != again.rend(); ++it) {
        resend_.push_front(std::move(*it));
    }
}

void PrinterSession::acknowledge(std::string_view line, TimePoint now)
{
    const std::optional<std::int64_t> taken = OkField(line, 'N');
    const std::optional<std::int64_t> free = OkField(line, 'B');
    if (taken && free) {
        advanced_ = true;
        window_ = std::clamp<std::size_t>(
            std::max<std::size_t>(window_, static_cast<std::size_t>(std::max<std::int64_t>(*free, 1))),
            1, kMostLinesInFlight);
    }
    if (advanced_) {
        // N is the last line the firmware took into its queue; each "ok" but those after a
        // resend request answers the oldest command under way.
        if (taken) {
            lastTaken_ = std::max(lastTaken_, *taken);
        }
        if (resendFrom_ && lastTaken_ >= *resendFrom_) {
            resendFrom_.reset();
            staleResends_ = 0;
            resends_ = 0;
        }
        if (refusalOks_ > 0) {
            --refusalOks_;
        } else if (!inFlight_.empty()) {
            const Pending done = std::move(inFlight_.front());
            inFlight_.pop_front();
            completed(done, now);
        }
        return;
    }
    if (resendPending_ && !inFlight_.empty()) {
        if (resentTooOften()) {
            return;
        }
        Pending again = std::move(inFlight_.front());
        inFlight_.pop_front();
        sendPending(std::move(again), now);
        return;
    }
    if (!inFlight_.empty()) {
        resends_ = 0;
        const Pending done = std::move(inFlight_.front());
        inFlight_.pop_front();
        lastTaken_ = std::max(lastTaken_, done.number);
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
    if (link_ != Link::Ready || (extraOks_ > 0 && !advanced_)) {
        return;
    }
    for (;;) {
        if (lost_ || link_ != Link::Ready) {
            return;
        }
        if (!resend_.empty()) {
            if (!room(resend_.front().text)) {
                return;
            }
            Pending again = std::move(resend_.front());
            resend_.pop_front();
            sendPending(std::move(again), now);
            continue;
        }
        if (!service_.empty()) {
            if (!room(service_.front().text)) {
                return;
            }
            Service next = std::move(service_.front());
            service_.pop_front();
            sendNumbered(std::move(next.text), std::nullopt, next.then, now);
            continue;
        }
        if (jobState_ == JobState::Running && !finishSent_) {
            skipBlankLines();
            if (next_ < lines_.size()) {
                if (!room(lines_[next_])) {
                    return;
                }
                sendNumbered(lines_[next_], next_, Then::Nothing, now);
                ++next_;
                continue;
            }
            if (!room("M400")) {
                return;
            }
            // every line is sent; M400 answers once the last move is done
            finishSent_ = true;
            sendNumbered("M400", std::nullopt, Then::Finished, now);
            return;
        }
        if (!jobActive() && !commands_.empty() && room(commands_.front())) {
            std::string text = std::move(commands_.front());
            commands_.pop_front();
            sendNumbered(std::move(text), std::nullopt, Then::Nothing, now);
            continue;
        }
        return;
    }
}

void PrinterSession::tick(TimePoint now)
{
    if (lost_ || link_ == Link::Closed) {
        return;
    }
    if ((!inFlight_.empty() || (extraOks_ > 0 && !advanced_)) && now >= answerDeadline()) {
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
    inFlight_.clear();
    resend_.clear();
    resendFrom_.reset();
    staleResends_ = 0;
    refusalOks_ = 0;
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
    finishSent_ = false;
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
    if (resendPending_ && !inFlight_.empty()) {
        // the printer refused the line; the "ok" after its resend request is still to come,
        // and the lines of the stop take its number
        lineNumber_ = inFlight_.front().number;
        inFlight_.clear();
        resendPending_ = false;
        ++extraOks_;
    }
    if (!resend_.empty()) {
        // refused job lines are not sent again; the stop's lines take their numbers
        lineNumber_ = resend_.front().number;
        resend_.clear();
        resendFrom_.reset();
        staleResends_ = 0;
    }
    send("M410\n");
    if (advanced_) {
        inFlight_.push_back(Pending{-1, "M410", std::nullopt, Then::Nothing, 5, 0});
    } else {
        ++extraOks_;
    }
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
