#include "toolpath/MotionPlanner.h"

#include "toolpath/PrinterPlanner.h"
#include "toolpath/StreamModel.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <limits>
#include <mutex>
#include <thread>

namespace pyrolith::toolpath {
namespace {

constexpr double kMinimumSpeed = 1.0 / 60.0;  // mm/s: GRBL's slowest feed, 1 mm/min
constexpr double kLargeSpeedSqr = 1.0e38;     // a straight continuation: no corner limit

}  // namespace

double LimitByAxes(const double (&limits)[3], const double (&unit)[3])
{
    double value = std::numeric_limits<double>::infinity();
    for (int axis = 0; axis < 3; ++axis) {
        if (unit[axis] != 0.0) {
            value = std::min(value, limits[axis] / std::abs(unit[axis]));
        }
    }
    return value;
}

double JunctionSpeedSqr(const double (&from)[3], const double (&to)[3],
                        const double (&accelerations)[3], double deviation)
{
    double cosTheta = 0.0;
    double junction[3];
    for (int axis = 0; axis < 3; ++axis) {
        cosTheta -= from[axis] * to[axis];
        junction[axis] = to[axis] - from[axis];
    }
    if (cosTheta > 0.999999) {
        return 0.0;  // a reversal stops
    }
    if (cosTheta < -0.999999) {
        return kLargeSpeedSqr;  // straight on
    }
    const double length = std::sqrt(junction[0] * junction[0] + junction[1] * junction[1] +
                                    junction[2] * junction[2]);
    for (double& component : junction) {
        component /= length;
    }
    const double sinHalf = std::sqrt(0.5 * (1.0 - cosTheta));
    return LimitByAxes(accelerations, junction) * deviation * sinHalf / (1.0 - sinHalf);
}

double BlockSeconds(double millimeters, double acceleration, double nominal, double entry,
                    double exit)
{
    if (millimeters <= 0.0) {
        return 0.0;
    }
    const double perAcceleration = 1.0 / acceleration;
    const double accelerating = (nominal * nominal - entry * entry) * 0.5 * perAcceleration;
    const double decelerating = (nominal * nominal - exit * exit) * 0.5 * perAcceleration;
    if (accelerating + decelerating <= millimeters) {
        return (2.0 * nominal - entry - exit) * perAcceleration +
               (millimeters - accelerating - decelerating) / nominal;
    }
    // Triangle: speed up to where the two slopes meet, then slow down.
    const double peakSqr =
        (2.0 * acceleration * millimeters + entry * entry + exit * exit) / 2.0;
    const double peak = std::sqrt(peakSqr);
    if (peak < std::max(entry, exit)) {
        return 2.0 * millimeters / (entry + exit);  // a plan no machine would make
    }
    return (2.0 * peak - entry - exit) * perAcceleration;
}

MotionPlanner::MotionPlanner(const MachineProfile& machine)
    : machine_(machine), capacity_(static_cast<std::size_t>(std::max(1, machine.plannerBlocks)))
{
    std::size_t slots = 1;
    while (slots < capacity_) {
        slots *= 2;
    }
    ring_.resize(slots);
    mask_ = slots - 1;
    for (int axis = 0; axis < 3; ++axis) {
        ratesPerSecond_[axis] = machine_.maxRate[axis] / 60.0;
    }
    if (machine.flavor == GcodeFlavor::Printer3D) {
        printer_ = std::make_unique<PrinterPlanner>(machine, times_, onDone);
    }
}

MotionPlanner::~MotionPlanner() = default;

void MotionPlanner::add(const Event& event)
{
    if (printer_) {
        printer_->add(event);
        return;
    }
    switch (event.kind) {
    case EventKind::Move:
        addMove(event);
        break;
    case EventKind::Dwell:
        drain();
        times_.seconds += event.seconds;
        if (event.laserOn) {
            times_.burnSeconds += event.seconds;
        }
        if (onDone) {
            onDone(event.line, times_.seconds);
        }
        break;
    case EventKind::Home:
    case EventKind::Stop:
        drain();
        break;
    case EventKind::Mode:
    case EventKind::Line:
        break;
    }
}

void MotionPlanner::finish()
{
    if (printer_) {
        printer_->finish();
        return;
    }
    drain();
}

MotionPlanner::PlannedMove MotionPlanner::addMove(const Event& event)
{
    double unit[3] = {event.to.x - event.from.x, event.to.y - event.from.y,
                      event.to.z - event.from.z};
    // A move along one axis, as most raster moves are, has its length and direction without
    // a root or a division.
    const int single = unit[1] == 0.0 && unit[2] == 0.0   ? 0
                       : unit[0] == 0.0 && unit[2] == 0.0 ? 1
                       : unit[0] == 0.0 && unit[1] == 0.0 ? 2
                                                          : -1;
    double millimeters = 0.0;
    if (single >= 0) {
        double& along = unit[single];
        millimeters = std::abs(along);
        along = along > 0.0 ? 1.0 : -1.0;
    } else {
        millimeters = std::sqrt(unit[0] * unit[0] + unit[1] * unit[1] + unit[2] * unit[2]);
        const double inverse = 1.0 / millimeters;
        for (double& component : unit) {
            component *= inverse;
        }
    }
    if (!(millimeters > 0.0) || !std::isfinite(millimeters)) {
        return {};
    }
    if (count_ == capacity_) {
        retireOldest();  // the machine takes a new block once the oldest has run
    }

    const double (&accelerations)[3] = machine_.acceleration;
    const double (&rates)[3] = ratesPerSecond_;
    // Written in place: a block put together aside and copied in is read back in wider
    // pieces than it was written, and each such read waits for the writes.
    Block& block = at(count_);
    block.millimeters = millimeters;
    // A move along one axis takes that axis's limits.
    block.acceleration = single >= 0 ? accelerations[single] : LimitByAxes(accelerations, unit);
    const double rapidRate = single >= 0 ? rates[single] : LimitByAxes(rates, unit);
    if (event.feed != lastFeed_) {
        lastFeed_ = event.feed;
        lastFeedPerSecond_ = event.feed / 60.0;
    }
    double nominal = event.motion == Motion::Rapid ? rapidRate : lastFeedPerSecond_;
    nominal = std::max(kMinimumSpeed, std::min(nominal, rapidRate));
    block.nominalSpeed = nominal;
    block.line = event.line;
    block.laserOn = event.laserOn;
    block.ready = -std::numeric_limits<double>::infinity(); // streamed: set by release()
    block.fromRest = false;

    // from rest after an empty buffer
    const double maxJunctionSqr =
        count_ > 0 ? JunctionSpeedSqr(previousUnit_, unit, accelerations,
                                      machine_.junctionDeviation)
                   : 0.0;
    const double slower = std::min(nominal, previousNominal_);
    block.maxEntrySpeedSqr = std::min(slower * slower, maxJunctionSqr);
    block.entrySpeedSqr = 0.0;
    previousNominal_ = nominal;
    previousUnit_[0] = unit[0];
    previousUnit_[1] = unit[1];
    previousUnit_[2] = unit[2];

    ++count_;
    recalculate();
    return {millimeters, single >= 0};
}

double MotionPlanner::release(std::size_t blocks, double taken, bool& fromRest)
{
    // Blocks of the line that ran already (more moves than the planner holds, or a stop on
    // the line) are left as they ran.
    for (std::size_t i = count_ - std::min(blocks, count_); i < count_; ++i) {
        Block& block = at(i);
        block.ready = std::max(taken, block.ready);
        block.fromRest = fromRest;
        fromRest = false;
        taken = block.ready;
    }
    return taken;
}

// GRBL's two passes: backwards from the newest block, which must be able to stop, then
// forwards from the oldest, limited by what acceleration can reach. The oldest block is
// running, so its entry is fixed; blocks before `planned_` cannot improve any more.
void MotionPlanner::recalculate()
{
    if (count_ < 2) {
        return;
    }
    double nextEntrySqr = 0.0;
    for (std::size_t i = count_ - 1; i > planned_; --i) {
        Block& current = at(i);
        if (current.entrySpeedSqr != current.maxEntrySpeedSqr || i == count_ - 1) {
            current.entrySpeedSqr = std::min(
                current.maxEntrySpeedSqr,
                nextEntrySqr + 2.0 * current.acceleration * current.millimeters);
        }
        nextEntrySqr = current.entrySpeedSqr;
    }
    for (std::size_t i = planned_; i + 1 < count_; ++i) {
        const Block& current = at(i);
        Block& next = at(i + 1);
        if (current.entrySpeedSqr < next.entrySpeedSqr) {
            const double reachable =
                current.entrySpeedSqr + 2.0 * current.acceleration * current.millimeters;
            if (reachable < next.entrySpeedSqr) {
                next.entrySpeedSqr = reachable;
                planned_ = i + 1;
            }
        }
        if (next.entrySpeedSqr == next.maxEntrySpeedSqr) {
            planned_ = i + 1;
        }
    }
}

void MotionPlanner::retireOldest()
{
    const Block& block = at(0);
    const double exitSqr = count_ > 1 ? at(1).entrySpeedSqr : 0.0;
    // The exit of one block is the entry of the next: one root per block.
    const double entry = block.entrySpeedSqr == lastExitSqr_ ? lastExit_
                                                             : std::sqrt(block.entrySpeedSqr);
    lastExitSqr_ = exitSqr;
    lastExit_ = std::sqrt(exitSqr);
    const double seconds = BlockSeconds(block.millimeters, block.acceleration,
                                        block.nominalSpeed, entry, lastExit_);
    const double before = times_.seconds;
    times_.seconds += seconds;
    if (streamed_) {
        const double start = std::max(clock_.lastEnd, block.ready);
        const double end = start + (times_.seconds - before);
        if (block.ready > clock_.lastEnd && !block.fromRest) {
            // The head waits for this line: it runs no faster than the lines come.
            clock_.limitedDistance += block.millimeters;
            clock_.limitedTime += end - clock_.lastEnd;
            clock_.limitedExtra += block.ready - clock_.lastEnd;
        }
        clock_.lastEnd = end;
    }
    if (block.laserOn) {
        times_.burnSeconds += seconds;
        times_.burnDistance += block.millimeters;
    } else {
        times_.moveSeconds += seconds;
        times_.travelDistance += block.millimeters;
    }
    if (onDone) {
        onDone(block.line, times_.seconds);
    }
    tail_ = (tail_ + 1) & mask_;
    --count_;
    planned_ = planned_ > 0 ? planned_ - 1 : 0;
}

void MotionPlanner::drain()
{
    if (count_ == 0) {
        return;
    }
    while (count_ > 0) {
        retireOldest();
    }
    planned_ = 0;
    // GRBL's stepper driver locks the motors this long each time the motion comes to rest.
    if (machine_.stepperIdleLock > 0.0 && machine_.stepperIdleLock < 255.0) {
        times_.seconds += machine_.stepperIdleLock / 1000.0;
    }
}

namespace {

// Reading and planning overlap: the planner runs on a thread of its own and takes the
// reader's events in batches, in order. With one processor it runs inline.
class EstimateSink : public EventSink {
public:
    explicit EstimateSink(const MachineProfile& machine) : timer_(machine), late_(machine)
    {
        if (std::thread::hardware_concurrency() > 1) {
            batch_.reserve(kBatch);
            worker_ = std::thread([this] { plan(); });
        }
    }
    ~EstimateSink() override { stopWorker(); }
    EstimateSink(const EstimateSink&) = delete;
    EstimateSink& operator=(const EstimateSink&) = delete;

    // The reader's lines ride on their first events (ReaderOptions::carryLines): a line
    // that makes no event of its own comes alone.
    void event(const Event& e) override
    {
        late_.add(e);
        if (!worker_.joinable()) {
            if (e.carriesLine) {
                timer_.addLineOf(e);
            }
            timer_.add(e);
            return;
        }
        push(e);
    }
    void sent(const Event& line) override
    {
        if (!worker_.joinable()) {
            timer_.add(line);
            return;
        }
        push(line);
    }
    void problem(const Problem& p) override { result_.add(p); }
    FileEstimate finish()
    {
        if (worker_.joinable()) {
            handOver();
            stopWorker();
        }
        timer_.finish(result_);
        result_.lateBurn = late_.result();
        return std::move(result_);
    }

private:
    static constexpr std::size_t kBatch = 4096;
    static constexpr std::size_t kBatchesInFlight = 4;

    void push(const Event& e)
    {
        batch_.push_back(e);
        if (batch_.size() == kBatch) {
            handOver();
        }
    }

    // The batches go round: a planned batch comes back empty for the reader to fill again,
    // so that no batch's memory is given back to the system and asked for again.
    void handOver()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        roomLeft_.wait(lock, [this] { return queue_.size() < kBatchesInFlight; });
        queue_.push_back(std::move(batch_));
        if (spare_.empty()) {
            batch_ = {};
            batch_.reserve(kBatch);
        } else {
            batch_ = std::move(spare_.back());
            spare_.pop_back();
        }
        ready_.notify_one();
    }
    void plan()
    {
        std::vector<Event> batch;
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(mutex_);
                ready_.wait(lock, [this] { return !queue_.empty() || done_; });
                if (queue_.empty()) {
                    return;
                }
                if (!batch.empty()) {
                    batch.clear();
                    spare_.push_back(std::move(batch));
                }
                batch = std::move(queue_.front());
                queue_.pop_front();
                roomLeft_.notify_one();
            }
            for (const Event& e : batch) {
                if (e.carriesLine) {
                    timer_.addLineOf(e);
                }
                timer_.add(e);
            }
        }
    }
    void stopWorker()
    {
        if (!worker_.joinable()) {
            return;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        ready_.notify_all();
        worker_.join();
    }

    // The planner's thread writes the timer all the time, the reader's thread the counter and
    // the batch: on cache lines of their own, or each write makes the other thread wait.
    alignas(64) JobTimer timer_;
    alignas(64) LateBurnCounter late_;
    FileEstimate result_;
    std::vector<Event> batch_;
    std::deque<std::vector<Event>> queue_;
    std::vector<std::vector<Event>> spare_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::condition_variable roomLeft_;
    bool done_ = false;
    std::thread worker_;
};

}  // namespace

FileEstimate Estimate(const std::function<void(GcodeReader&)>& feed,
                      const MachineProfile& machine)
{
    EstimateSink sink(machine);
    ReaderOptions options = machine.readerOptions();
    options.carryLines = true;
    GcodeReader reader(options, sink);
    feed(reader);
    reader.finish();
    return sink.finish();
}

FileEstimate EstimateFile(const std::filesystem::path& path, const MachineProfile& machine,
                          const std::function<bool(std::uint64_t)>& progress)
{
    return Estimate([&](GcodeReader& reader) { ReadGcodeFile(path, reader, progress); }, machine);
}

FileEstimate EstimateText(std::string_view text, const MachineProfile& machine)
{
    return Estimate([text](GcodeReader& reader) { reader.feed(text); }, machine);
}

std::string DurationText(double seconds)
{
    const auto whole = static_cast<std::uint64_t>(std::llround(std::max(0.0, seconds)));
    const std::uint64_t minutes = whole / 60 % 60;
    const std::uint64_t secs = whole % 60;
    std::string text = std::to_string(whole / 3600) + ":";
    text += static_cast<char>('0' + minutes / 10);
    text += static_cast<char>('0' + minutes % 10);
    text += ':';
    text += static_cast<char>('0' + secs / 10);
    text += static_cast<char>('0' + secs % 10);
    return text;
}

}  // namespace pyrolith::toolpath
