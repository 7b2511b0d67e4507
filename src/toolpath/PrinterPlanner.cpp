#include "toolpath/PrinterPlanner.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "toolpath/MotionPlanner.h"

namespace pyrolith::toolpath {
namespace {

constexpr double kMinimumSpeed = 1.0 / 60.0;  // mm/s

int Digits(std::uint8_t value)
{
    return value >= 100 ? 3 : value >= 10 ? 2 : 1;
}

}  // namespace

void PrinterPlanner::LineNumber::next()
{
    // Counting up in decimal digits, the last first: most steps change one digit.
    std::size_t at = 0;
    while (at < length && digits[at] == 9) {
        checksum = static_cast<std::uint8_t>(checksum ^ ('0' + 9) ^ '0');
        digits[at] = 0;
        ++at;
    }
    if (at == length) {
        digits[length++] = 0;
        checksum = static_cast<std::uint8_t>(checksum ^ '0');
    }
    checksum = static_cast<std::uint8_t>(checksum ^ ('0' + digits[at]) ^ ('0' + digits[at] + 1));
    ++digits[at];
}

PrinterPlanner::PrinterPlanner(const MachineProfile& machine, JobTimes& times,
                               const std::function<void(std::uint64_t, double)>& onDone)
    : machine_(machine), times_(times), onDone_(onDone),
      secondsPerByte_(10.0 / std::max(300.0, machine.baudRate))
{
    for (int axis = 0; axis < 3; ++axis) {
        ratesPerSecond_[axis] = machine_.maxRate[axis] / 60.0;
    }
}

void PrinterPlanner::add(const Event& event)
{
    switch (event.kind) {
    case EventKind::Line:
        lineArrives(event);
        break;
    case EventKind::Move:
        addMove(event);
        break;
    case EventKind::Dwell:
        drain();
        now_ += event.seconds;
        if (event.laserOn) {
            times_.burnSeconds += event.seconds;
        }
        if (onDone_) {
            onDone_(event.line, now_);
        }
        break;
    case EventKind::Home:
    case EventKind::Stop:
        drain();
        break;
    case EventKind::Mode:
        break;
    }
}

void PrinterPlanner::finish()
{
    drain();
    times_.seconds = std::max(now_, stepperFree_);
}

// The "ok" of the line before comes back, then this line goes out.
void PrinterPlanner::lineArrives(const Event& event)
{
    const bool first = numbered_.length == 0;
    numbered_.next();
    const std::uint8_t checksum =
        static_cast<std::uint8_t>(event.sent.checksum ^ numbered_.checksum);
    // "N", the number, a blank, the command, "*", the checksum, the line end.
    const double bytes = 1.0 + static_cast<double>(numbered_.length) + 1.0 + event.sent.bytes +
                         1.0 + Digits(checksum) + 1.0 + (first ? 0 : kOkBytes);
    now_ += bytes * secondsPerByte_;
}

void PrinterPlanner::addMove(const Event& event)
{
    double unit[3] = {event.to.x - event.from.x, event.to.y - event.from.y,
                      event.to.z - event.from.z};
    // A move along one axis, as most raster moves are, has its length and direction without
    // a root or a division (the same numbers: the root of a square is the number itself, as
    // long as the square neither overflows nor underflows).
    const int single = unit[1] == 0.0 && unit[2] == 0.0   ? 0
                       : unit[0] == 0.0 && unit[2] == 0.0 ? 1
                       : unit[0] == 0.0 && unit[1] == 0.0 ? 2
                                                          : -1;
    double millimeters = 0.0;
    if (single >= 0 && std::abs(unit[single]) > 1e-150 && std::abs(unit[single]) < 1e150) {
        millimeters = std::abs(unit[single]);
        unit[single] = unit[single] > 0.0 ? 1.0 : -1.0;
    } else {
        millimeters = std::sqrt(unit[0] * unit[0] + unit[1] * unit[1] + unit[2] * unit[2]);
        if (!(millimeters > 0.0) || !std::isfinite(millimeters)) {
            return;
        }
        for (double& component : unit) {
            component /= millimeters;
        }
    }
    // The firmware answers the line once the planner has room for the block.
    runUntil(now_);
    while (queued_.size() + (running_ ? 1 : 0) >= kBlocks - 1 && running_) {
        now_ = std::max(now_, runningEnd_);
        runUntil(now_);
    }

    Block block;
    block.millimeters = millimeters;
    block.line = event.line;
    block.laserOn = event.laserOn;
    block.acceleration = LimitByAxes(machine_.acceleration, unit);
    const double rapid = LimitByAxes(ratesPerSecond_, unit);
    double nominal = event.motion == Motion::Rapid ? rapid : event.feed / 60.0;
    nominal = std::max(kMinimumSpeed, nominal);
    // Too few blocks queued: a short block is slowed so that the queue can fill.
    const auto queued = static_cast<double>(queued_.size());
    if (queued >= 2 && queued < kBlocks / 2) {
        const double seconds = millimeters / nominal;
        if (seconds < kMinSegmentSeconds) {
            nominal = millimeters / (seconds + 2.0 * (kMinSegmentSeconds - seconds) / queued);
        }
    }
    nominal = std::min(nominal, rapid);
    block.nominalSpeed = nominal;

    // from rest when nothing is planned before it
    const double junctionSqr =
        queued_.empty() ? 0.0
                        : JunctionSpeedSqr(previousUnit_, unit, machine_.acceleration,
                                           kJunctionDeviation);
    const double slower = std::min(nominal, previousNominal_);
    block.maxEntrySpeedSqr = std::min(slower * slower, junctionSqr);
    previousNominal_ = nominal;
    std::copy(std::begin(unit), std::end(unit), std::begin(previousUnit_));

    if (queued_.empty() && !running_) {
        deliverAt_ = now_ + kFirstMoveWait;  // the stepper waits for more blocks
        lastExitSqr_ = 0.0;
    }
    queued_.push_back(block);
    if (!running_ && queued_.size() >= kBlocksToStartAtOnce) {
        deliverAt_ = std::min(deliverAt_, now_);
    }
    recalculate();
    runUntil(now_);
}

// The best plan of the blocks queued: the first starts at the speed the stepper leaves the
// block it holds with, the newest must be able to stop. Only what a new block can change is
// worked out again: the backward pass ends at the first block whose entry it leaves as it
// was (the blocks before it depend on nothing newer), and the forward pass starts there
// when the first block's entry is unchanged. The plan is the one a pass over every block
// makes.
void PrinterPlanner::recalculate()
{
    const std::size_t count = queued_.size();
    if (count == 0) {
        return;
    }
    double nextEntrySqr = 0.0;
    std::size_t changed = count - 1;  // the first block whose backward entry changed
    for (std::size_t i = count - 1; i > 0; --i) {
        Block& block = queued_[i];
        const double reverse =
            std::min(block.maxEntrySpeedSqr, nextEntrySqr + 2.0 * block.acceleration * block.millimeters);
        if (reverse == block.reverseSqr) {
            break;
        }
        block.reverseSqr = reverse;
        changed = i;
        nextEntrySqr = reverse;
    }
    const double firstSqr = running_ ? lastExitSqr_ : 0.0;
    std::size_t from = changed > 0 ? changed - 1 : 0;
    if (queued_[0].entrySpeedSqr != firstSqr) {
        queued_[0].entrySpeedSqr = firstSqr;
        from = 0;
    }
    for (std::size_t i = from; i + 1 < count; ++i) {
        const Block& block = queued_[i];
        const double reachable = block.entrySpeedSqr + 2.0 * block.acceleration * block.millimeters;
        queued_[i + 1].entrySpeedSqr = std::min(queued_[i + 1].reverseSqr, reachable);
    }
}

void PrinterPlanner::completeRunning()
{
    running_ = false;
    stepperFree_ = runningEnd_;
    if (onDone_) {
        onDone_(runningBlock_.line, runningEnd_);
    }
}

void PrinterPlanner::runUntil(double t)
{
    for (;;) {
        if (running_) {
            if (runningEnd_ > t) {
                return;
            }
            completeRunning();
        }
        if (queued_.empty()) {
            return;
        }
        const double start = std::max(stepperFree_, deliverAt_);
        if (start > t) {
            return;
        }
        runningBlock_ = queued_.front();
        queued_.pop_front();
        const double exitSqr = queued_.empty() ? 0.0 : queued_.front().entrySpeedSqr;
        const double nominal = runningBlock_.nominalSpeed;
        const double slowest = std::min(kSlowestSpeed, nominal);
        const double seconds = BlockSeconds(
            runningBlock_.millimeters, runningBlock_.acceleration, nominal,
            std::max(slowest, std::sqrt(runningBlock_.entrySpeedSqr)),
            std::max(slowest, std::sqrt(exitSqr)));
        lastExitSqr_ = exitSqr;
        running_ = true;
        runningEnd_ = start + seconds;
        if (runningBlock_.laserOn) {
            times_.burnSeconds += seconds;
            times_.burnDistance += runningBlock_.millimeters;
        } else {
            times_.moveSeconds += seconds;
            times_.travelDistance += runningBlock_.millimeters;
        }
    }
}

void PrinterPlanner::drain()
{
    runUntil(std::numeric_limits<double>::infinity());
    now_ = std::max(now_, stepperFree_);
}

}  // namespace pyrolith::toolpath
