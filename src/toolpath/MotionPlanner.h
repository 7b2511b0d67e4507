#pragma once

// A model of the controller's motion planner that times a job as the machine runs it.
//
// Like GRBL's planner: each move is a block with its length, the acceleration and top speed
// its direction allows (per-axis limits along the unit vector), and a corner speed from the
// junction deviation. Look-ahead covers only the blocks the controller holds at once, and the
// newest block always plans to stop: on short raster moves that window, not the feed, limits
// the speed. Each block then runs a trapezoid (or triangle) speed profile. The window is
// drained to a full stop at Stop, Dwell and Home events. Homing takes no time here: its
// length depends on where the machine stands.

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "toolpath/GcodeReader.h"
#include "toolpath/LateBurn.h"
#include "toolpath/MachineProfile.h"
#include "toolpath/RingQueue.h"

namespace pyrolith::toolpath {

struct JobTimes {
    double seconds = 0.0;         // the whole job
    double burnSeconds = 0.0;     // with the laser on (moves and dwells)
    double moveSeconds = 0.0;     // moving with the laser off
    double burnDistance = 0.0;    // mm
    double travelDistance = 0.0;  // mm
};

class PrinterPlanner;

class MotionPlanner {
public:
    // A 3D printer's machine is timed by PrinterPlanner, the serial line included.
    explicit MotionPlanner(const MachineProfile& machine);
    ~MotionPlanner();
    MotionPlanner(const MotionPlanner&) = delete;
    MotionPlanner& operator=(const MotionPlanner&) = delete;

    // Takes the reader's events in order.
    void add(const Event& event);
    // Ends the job: the last blocks run to a stop.
    void finish();

    const JobTimes& times() const { return times_; }

    // Called as each block or dwell completes, with its line and the job time at its end
    // (seconds): what a sender needs for progress and the time remaining.
    std::function<void(std::uint64_t line, double secondsAtEnd)> onDone;

    // ---- Streamed (StreamModel): the blocks run on a clock of their own, on which a block
    // starts no sooner than its line has been read and planned (release()), and the head
    // waits where a line comes late. Job times stay those of the motion alone.
    struct StreamClock {
        double lastEnd = 0.0;         // the machine's clock: the last block that ran ended
        double limitedDistance = 0.0; // mm run right after waiting for their lines
        double limitedTime = 0.0;     // the seconds of those blocks, their waits included
        double limitedExtra = 0.0;    // the waits alone
    };
    void streamBlocks() { streamed_ = true; }
    StreamClock& streamClock() { return clock_; }
    const StreamClock& streamClock() const { return clock_; }
    // A move, as add() takes it; its length in mm as planned (0 for a move that goes nowhere
    // and is left out) and whether it runs along one axis.
    struct PlannedMove {
        double millimeters = 0.0;
        bool singleAxis = false;
    };
    PlannedMove addMove(const Event& event);
    std::size_t blockCount() const { return count_; }
    // The newest `blocks` blocks (one line's, oldest first) may start from `taken` on; the
    // first of them is the first after the machine came to rest when `fromRest` is set (it is
    // cleared). Returns when the last may start.
    double release(std::size_t blocks, double taken, bool& fromRest);

private:
    struct Block {
        double millimeters = 0.0;
        double acceleration = 0.0;     // mm/s^2 along the move
        double nominalSpeed = 0.0;     // mm/s
        double entrySpeedSqr = 0.0;    // (mm/s)^2
        double maxEntrySpeedSqr = 0.0;
        std::uint64_t line = 0;
        double ready = 0.0; // streamed: the block may start
        bool laserOn = false;
        bool fromRest = false; // streamed: the first block after a rest
    };

    void drain();
    void retireOldest();
    void recalculate();
    Block& at(std::size_t index) { return ring_[(tail_ + index) & mask_]; }

    MachineProfile machine_;
    std::size_t capacity_;       // blocks the controller holds
    CacheLineVector<Block> ring_;  // a power of two of at least capacity_ slots
    std::size_t mask_;
    std::size_t tail_ = 0;
    std::size_t count_ = 0;
    std::size_t planned_ = 0;  // blocks before this index can no longer improve
    double previousUnit_[3] = {0.0, 0.0, 0.0};
    double previousNominal_ = 0.0;
    double lastFeed_ = 0.0;           // mm/min, and the same in mm/s
    double lastFeedPerSecond_ = 0.0;
    double ratesPerSecond_[3] = {0.0, 0.0, 0.0};  // the axes' max rates, mm/s
    double lastExitSqr_ = 0.0;                    // the last retired block's exit speed
    double lastExit_ = 0.0;
    JobTimes times_;
    bool streamed_ = false;
    StreamClock clock_;
    std::unique_ptr<PrinterPlanner> printer_;
};

// The largest value along `unit` that keeps every axis within its own limit.
double LimitByAxes(const double (&limits)[3], const double (&unit)[3]);

// The squared speed at which a corner from direction `from` into `to` (unit vectors) may be
// taken by the junction deviation: 0 for a reversal, no limit straight on.
double JunctionSpeedSqr(const double (&from)[3], const double (&to)[3],
                        const double (&accelerations)[3], double deviation);

// The time one block takes from entry to exit speed (mm/s) with top speed `nominal` and
// acceleration `acceleration` over `millimeters`: a trapezoid, or a triangle when the block is
// too short to reach its top speed.
double BlockSeconds(double millimeters, double acceleration, double nominal, double entry,
                    double exit);

// What the serial line and the controller's reading of lines add (when they are modelled).
struct StreamTimes {
    bool modelled = false;
    double plannerSeconds = 0.0;  // the motion alone
    double limitedSpeed = 0.0;    // mm/min where the head waits for lines; 0: it never does
    double limitedSeconds = 0.0;  // what those waits add
    bool dynamicPower = false;    // the job burns with GRBL's dynamic power (M4, laser mode)
};

// A file read and timed in one pass.
struct FileEstimate {
    JobTimes times;
    StreamTimes stream;
    LateBurn lateBurn;  // fan commands taken as they are: how late a burn may land
    std::vector<Problem> problems;   // the first kKeptProblems refused lines
    std::uint64_t problemCount = 0;  // all of them
    static constexpr std::size_t kKeptProblems = 100;

    void add(const Problem& problem)
    {
        if (problems.size() < kKeptProblems) {
            problems.push_back(problem);
        }
        ++problemCount;
    }
};

// Reads and times a whole G-code file. `progress` as for ReadGcodeFile. Throws
// pyrolith::Error when the file cannot be read.
FileEstimate EstimateFile(const std::filesystem::path& path, const MachineProfile& machine,
                          const std::function<bool(std::uint64_t bytesRead)>& progress = {});

// The same for G-code text in memory, and for text that `feed` hands to the reader.
FileEstimate EstimateText(std::string_view text, const MachineProfile& machine);
FileEstimate Estimate(const std::function<void(GcodeReader& reader)>& feed,
                      const MachineProfile& machine);

// "H:MM:SS": hours not zero-padded, minutes and seconds two digits, rounded to the second.
std::string DurationText(double seconds);

}  // namespace pyrolith::toolpath
