#include "toolpath/StreamModel.h"

#include <algorithm>
#include <cmath>

namespace pyrolith::toolpath {

namespace {

constexpr double kStepsPerMillimeter = 250.0;  // GRBL's default $100, $101, $102

}  // namespace

ControllerTiming ControllerTimingOf(int controllerSpeed)
{
    // GRBL 1.1h on a 16 MHz ATmega328P, fitted to the times of a simulated board: reading
    // the line and its numbers (software floating point), the G-code state, the planner.
    // About 0.95 ms a line, 0.043 ms a byte, 0.15 ms a word and 0.02 ms a step.
    ControllerTiming timing{0.00095, 0.000043, 0.000148, 0.0000204};
    if (controllerSpeed == 1) {
        // A 32-bit controller (a Cortex-M4 at 120 to 180 MHz with hardware floating point)
        // runs the same work about ten times faster.
        timing.base /= 10.0;
        timing.perByte /= 10.0;
        timing.perWord /= 10.0;
        timing.perStep /= 10.0;
    }
    return timing;
}

StreamModel::StreamModel(const MachineProfile& machine, const ControllerTiming& timing)
    : machine_(machine), timing_(timing), planner_([&machine] {
          MachineProfile planner = machine;
          planner.stepperIdleLock = 0.0;  // the waits at rest are timed here
          // Streamed, the slot a finished block frees stays empty while the next line is
          // read and planned: the look-ahead holds one block fewer.
          planner.plannerBlocks = std::max(1, planner.plannerBlocks - 1);
          return planner;
      }()),
      secondsPerByte_(machine.baudRate > 0.0 ? 10.0 / machine.baudRate : 0.0),
      receiveBuffer_(std::max<std::size_t>(machine.receiveBuffer, 1)),
      idleLock_(machine.stepperIdleLock > 0.0 && machine.stepperIdleLock < 255.0
                    ? machine.stepperIdleLock / 1000.0
                    : 0.0)
{
    planner_.streamBlocks();
}

void StreamModel::line(const StreamLine& line)
{
    closeLine();
    current_ = line;
}

void StreamModel::add(const Event& event)
{
    switch (event.kind) {
    case EventKind::Move: {
        // The stream's clock lives in the planner's blocks, each set off by its line.
        const MotionPlanner::PlannedMove move = planner_.addMove(event);
        if (move.millimeters > 0.0) {
            ++currentBlocks_;
            const double longest = move.singleAxis
                                       ? move.millimeters
                                       : std::max({std::abs(event.to.x - event.from.x),
                                                   std::abs(event.to.y - event.from.y),
                                                   std::abs(event.to.z - event.from.z)});
            currentSteps_ += longest * kStepsPerMillimeter;
        }
        break;
    }
    case EventKind::Dwell: {
        Event stop = event;
        stop.kind = EventKind::Stop;
        planner_.add(stop);
        currentWaits_ = true;
        currentDwell_ += event.seconds;
        if (event.laserOn) {
            dwellBurn_ += event.seconds;
        }
        break;
    }
    case EventKind::Home:
    case EventKind::Stop:
        planner_.add(event);
        currentWaits_ = true;
        break;
    case EventKind::Mode:
        break;
    case EventKind::Line:
        lineOf(event);
        break;
    }
}

void StreamModel::lineOf(const Event& event)
{
    line(StreamLine{event.line,
                    static_cast<std::uint32_t>(
                        (machine_.senderKeepsBlanks ? event.sent.bytes : event.sent.chars) + 1),
                    event.sent.chars, event.sent.words});
}

void StreamModel::closeLine()
{
    const StreamLine line = current_;
    const bool waits = currentWaits_;
    const double dwell = currentDwell_;
    const std::size_t lineBlocks = currentBlocks_;
    const double steps = currentSteps_;
    currentSteps_ = 0.0;
    current_ = {};
    currentWaits_ = false;
    currentDwell_ = 0.0;
    currentBlocks_ = 0;
    if (line.bytes == 0) {
        return;
    }

    // The sender: room in the receive buffer once earlier lines are answered, then the wire.
    double sent = sentAt_;
    while (!unanswered_.empty() && (unanswered_.front().answered <= sent ||
                                    unansweredBytes_ + line.bytes > receiveBuffer_)) {
        sent = std::max(sent, unanswered_.front().answered);
        unansweredBytes_ -= unanswered_.front().bytes;
        unanswered_.pop_front();
    }
    sentAt_ = sent;
    const double arrived = std::max(sent, wireFree_) + line.bytes * secondsPerByte_;
    wireFree_ = arrived;

    // The controller reads the line once it has arrived and the line before is done.
    double taken = std::max(controller_, arrived) + timing_.base + timing_.perByte * line.chars +
                   timing_.perWord * line.words;
    MotionPlanner::StreamClock& clock = planner_.streamClock();
    if (waits) {
        // Every move before has run (the planner is drained): the machine comes to rest.
        double rest = clock.lastEnd;
        if (moved_) {
            rest += idleLock_;
            plannerSeconds_ += idleLock_;
        }
        moved_ = false;
        taken = std::max(taken, rest) + dwell;
        plannerSeconds_ += dwell;
        clock.lastEnd = std::max(clock.lastEnd, taken);
        fromRest_ = true;
    }
    // Its moves enter the planner and may start from now on.
    taken = planner_.release(lineBlocks, taken, fromRest_);
    moved_ = moved_ || lineBlocks > 0;
    // The steps of these moves, as they run, take the interrupt's time from the next lines.
    lastTaken_ = taken;
    controller_ = taken + timing_.perStep * steps;
    unanswered_.push_back({line.bytes, taken});
    unansweredBytes_ += line.bytes;
}

void StreamModel::finish()
{
    closeLine();
    planner_.finish();
    double end = std::max(lastTaken_, planner_.streamClock().lastEnd);
    if (moved_) {
        end += idleLock_;
        plannerSeconds_ += idleLock_;
    }
    moved_ = false;
    seconds_ = end;
    plannerSeconds_ += planner_.times().seconds;
}

JobTimes StreamModel::times() const
{
    JobTimes times = planner_.times();
    times.seconds = seconds_;
    times.burnSeconds += dwellBurn_;
    return times;
}

double StreamModel::limitedSpeed() const
{
    const MotionPlanner::StreamClock& clock = planner_.streamClock();
    return clock.limitedTime > 0.0 ? clock.limitedDistance / clock.limitedTime * 60.0 : 0.0;
}

double StreamModel::limitedSeconds() const
{
    return planner_.streamClock().limitedExtra;
}

JobTimer::JobTimer(const MachineProfile& machine)
    : JobTimer(machine, ControllerTimingOf(machine.controllerSpeed))
{
}

JobTimer::JobTimer(const MachineProfile& machine, const ControllerTiming& timing)
    : machine_(machine), planner_(machine)
{
    if (machine.flavor == GcodeFlavor::Grbl && machine.baudRate > 0.0) {
        stream_ = std::make_unique<StreamModel>(machine, timing);
    }
}

void JobTimer::add(const Event& event)
{
    if (!stream_) {
        planner_.add(event);
        return;
    }
    if (!dynamicBurn_ && event.kind == EventKind::Move && event.laserOn && event.spindle == 4 &&
        machine_.laserMode) {
        dynamicBurn_ = true;
    }
    stream_->add(event);
}

void JobTimer::addLineOf(const Event& event)
{
    if (stream_) {
        stream_->lineOf(event);
        return;
    }
    Event line = event;  // a printer's planner times its serial line
    line.kind = EventKind::Line;
    planner_.add(line);
}

void JobTimer::finish(FileEstimate& estimate)
{
    if (!stream_) {
        planner_.finish();
        estimate.times = planner_.times();
        return;
    }
    stream_->finish();
    estimate.times = stream_->times();
    estimate.stream.modelled = true;
    estimate.stream.plannerSeconds = stream_->plannerSeconds();
    estimate.stream.limitedSpeed = stream_->limitedSpeed();
    estimate.stream.limitedSeconds = stream_->limitedSeconds();
    estimate.stream.dynamicPower = dynamicBurn_;
}

namespace {

// The waits for lines count when they add 2% and half a second to the job.
bool LineRateLimits(const StreamTimes& stream)
{
    return stream.modelled && stream.limitedSpeed > 0.0 && stream.limitedSeconds >= 0.5 &&
           stream.limitedSeconds >= 0.02 * stream.plannerSeconds;
}

// "2,350 mm/min": a speed rounded to tens, digits grouped by thousands.
std::string AboutSpeed(double millimetersPerMinute, bool inches)
{
    const double value = inches ? millimetersPerMinute / 25.4 : millimetersPerMinute;
    const long long rounded = inches ? std::llround(value) : std::llround(value / 10.0) * 10;
    std::string digits = std::to_string(std::max(rounded, 1LL));
    for (std::size_t at = digits.size(); at > 3; at -= 3) {
        digits.insert(at - 3, ",");
    }
    return digits + (inches ? " in/min" : " mm/min");
}

class StreamSink final : public EventSink {
public:
    StreamSink(const MachineProfile& machine, const ControllerTiming& timing)
        : timer_(machine, timing)
    {
    }
    void event(const Event& event) override { timer_.add(event); }
    void problem(const Problem& problem) override { result_.add(problem); }
    FileEstimate finish()
    {
        timer_.finish(result_);
        return std::move(result_);
    }

private:
    JobTimer timer_;
    FileEstimate result_;
};

}  // namespace

std::string LineRateNote(const StreamTimes& stream, bool inches)
{
    if (!LineRateLimits(stream)) {
        return {};
    }
    return "the controller's line rate limits the speed to about " +
           AboutSpeed(stream.limitedSpeed, inches);
}

std::string LineRateWarning(const StreamTimes& stream, bool inches)
{
    if (!LineRateLimits(stream)) {
        return {};
    }
    std::string text = "The controller keeps up with this job's lines up to about " +
                       AboutSpeed(stream.limitedSpeed, inches) +
                       ": at the speed chosen the job takes " +
                       DurationText(stream.limitedSeconds) + " longer than its moves need";
    if (stream.dynamicPower) {
        text += ", and with dynamic power (M4) the burn gets lighter, with no time gained";
    }
    return text + ".";
}

FileEstimate EstimateStream(const std::function<void(GcodeReader&)>& feed,
                            const MachineProfile& machine, const ControllerTiming& timing)
{
    StreamSink sink(machine, timing);
    GcodeReader reader(machine.readerOptions(), sink);
    feed(reader);
    reader.finish();
    return sink.finish();
}

}  // namespace pyrolith::toolpath
