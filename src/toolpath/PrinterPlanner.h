#pragma once

// A model of a 3D printer's firmware that times a job as it runs, line by line over the
// serial line, as a sender streams it one line per "ok".
//
// The serial line: every line a sender sends ("N<n> <command>*<checksum>" and its line end,
// numbered from 1) and every "ok" back take ten bit times a byte at the baud rate; the next
// line goes out only when the "ok" of the last one has arrived. The firmware answers a move
// once its planner has room for it (16 blocks), M400 and a dwell once every move is done, and
// any other line at once.
//
// The planner: like GRBL's, look-ahead over the blocks queued, corners from the junction
// deviation (0.013 mm), the newest block planned to stop. When 2 to 7 blocks are queued, a
// block shorter in time than the minimum segment time (20 ms) is slowed to
// t + 2 (20 ms - t) / queued. The stepper takes a block when the one before is done; the
// first block after the queue ran empty waits 100 ms, or until 3 blocks are queued. A block's
// speed profile is fixed when the stepper takes it; it starts and ends no slower than the
// stepper's slowest step rate.

#include <cstdint>
#include <limits>
#include <functional>

#include "toolpath/GcodeReader.h"
#include "toolpath/MachineProfile.h"
#include "toolpath/RingQueue.h"

namespace pyrolith::toolpath {

struct JobTimes;

// On cache lines of its own (see CacheLineAllocator): it is written for every line.
class alignas(64) PrinterPlanner {
public:
    static constexpr int kBlocks = 16;                  // the planner's ring of blocks
    static constexpr double kJunctionDeviation = 0.013; // mm
    static constexpr double kMinSegmentSeconds = 0.020;
    static constexpr double kFirstMoveWait = 0.100;     // s, after the queue ran empty
    static constexpr int kBlocksToStartAtOnce = 3;
    static constexpr int kOkBytes = 3;                  // "ok" and its line end
    // The stepper never steps slower than 120 steps/s: with the 80 steps/mm of an
    // Ender-class printer's X and Y, every block starts and ends at 1.5 mm/s at least.
    static constexpr double kSlowestSpeed = 120.0 / 80.0;  // mm/s

    // `onDone` (may be empty) as MotionPlanner::onDone; it must outlive the planner.
    PrinterPlanner(const MachineProfile& machine, JobTimes& times,
                   const std::function<void(std::uint64_t, double)>& onDone);

    void add(const Event& event);
    void finish();

private:
    struct Block {
        double millimeters = 0.0;
        double acceleration = 0.0;   // mm/s^2
        double nominalSpeed = 0.0;   // mm/s
        double entrySpeedSqr = 0.0;
        double maxEntrySpeedSqr = 0.0;
        // The entry the backward pass alone allows (the newest block stops); not a number
        // until that pass has seen the block.
        double reverseSqr = std::numeric_limits<double>::quiet_NaN();
        std::uint64_t line = 0;
        bool laserOn = false;
    };

    void addMove(const Event& event);
    void lineArrives(const Event& event);
    // Runs the stepper up to time t: every block it takes before t is taken and timed.
    void runUntil(double t);
    void drain();
    void recalculate();
    void completeRunning();

    MachineProfile machine_;
    JobTimes& times_;
    const std::function<void(std::uint64_t, double)>& onDone_;
    double secondsPerByte_;
    // The sender's line number of the last line sent, in decimal digits (the last first),
    // and the checksum of "N<number> ".
    struct LineNumber {
        std::uint8_t digits[24] = {};
        std::size_t length = 0;
        std::uint8_t checksum = static_cast<std::uint8_t>('N' ^ ' ');
        void next();
    };
    LineNumber numbered_;
    double now_ = 0.0;             // when the firmware is done with the line it holds
    RingQueue<Block> queued_;      // planned, not yet taken by the stepper
    bool running_ = false;         // the stepper holds a block
    Block runningBlock_;
    double runningEnd_ = 0.0;
    double stepperFree_ = 0.0;     // when the stepper is done with what it took
    double deliverAt_ = 0.0;       // the first block after an empty queue starts no earlier
    double lastExitSqr_ = 0.0;     // the exit speed of the block the stepper took last
    double previousUnit_[3] = {0.0, 0.0, 0.0};
    double previousNominal_ = 0.0;
    double ratesPerSecond_[3] = {0.0, 0.0, 0.0};
};

}  // namespace pyrolith::toolpath
