#pragma once

// The job as it reaches the controller over a serial line: the time of the motion planner
// (MotionPlanner) and, beside it, the time the lines take to get there and to be read.
//
// The sender counts characters: a line goes out once it fits, with the lines not yet
// answered, in the controller's receive buffer, and its bytes cross the line at the baud
// rate (ten bits a byte). The controller takes the lines one after another: a line can be
// read once it has arrived, reading and planning it takes a time that grows with its length
// and its words (ControllerTiming), and its move enters the planner, whose look-ahead holds
// one block fewer than the controller's (a slot stays free for the line read); the answer
// "ok" follows. (Holding the line back until a slot is free as well, the model falls
// further from the firmware's measured times.) A move can start only when its line has been
// planned: when the lines come slower than the head runs, the head waits for them, and the
// job takes as long as its lines do. A line that waits for the motion to end (a stop, a dwell)
// waits until the machine is at rest, plus the stepper idle lock.
//
// The same idea serves a protocol of one line per answer: a receive buffer that holds one
// line.

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

#include "toolpath/GcodeReader.h"
#include "toolpath/MachineProfile.h"
#include "toolpath/MotionPlanner.h"
#include "toolpath/RingQueue.h"

namespace pyrolith::toolpath {

// What the controller needs to take one line: seconds = base + perByte * bytes + perWord *
// words + perStep * steps: bytes and words of the line without blanks and comments, and the
// steps of its moves along their longest axis (at GRBL's default 250 steps/mm), each of
// which takes the stepper interrupt away from reading lines.
struct ControllerTiming {
    double base = 0.0;
    double perByte = 0.0;
    double perWord = 0.0;
    double perStep = 0.0;
};

// GRBL 1.1 on a 16 MHz 8-bit board (speed 0), or a 32-bit controller (1).
ControllerTiming ControllerTimingOf(int controllerSpeed);

// One line as the sender sends it and the controller reads it. bytes: on the wire, with its
// line end.
struct StreamLine {
    std::uint64_t number = 0;
    std::uint32_t bytes = 0;
    std::uint32_t chars = 0;  // without blanks and comments
    std::uint32_t words = 0;
};

// On cache lines of its own (see CacheLineAllocator): it is written for every line.
class alignas(64) StreamModel {
public:
    StreamModel(const MachineProfile& machine, const ControllerTiming& timing);
    StreamModel(const StreamModel&) = delete;
    StreamModel& operator=(const StreamModel&) = delete;

    // Each line, then the events the reader makes of it (a Line event is taken as line()).
    void line(const StreamLine& line);
    void add(const Event& event);
    // The Line event whose fields `event` carries (Event::carriesLine), or a Line event.
    void lineOf(const Event& event);
    void finish();

    // The job's times: the seconds of the stream, the rest as the planner has them.
    JobTimes times() const;
    // The motion alone, as if the controller had the whole job at once.
    double plannerSeconds() const { return plannerSeconds_; }
    // mm/min the head reaches where it waits for lines; 0 when it never waits.
    double limitedSpeed() const;
    // The seconds the waits for lines add to the job.
    double limitedSeconds() const;

private:
    struct Sent {
        std::uint32_t bytes;
        double answered;
    };

    void closeLine();

    MachineProfile machine_;
    ControllerTiming timing_;
    MotionPlanner planner_;
    double secondsPerByte_;
    std::size_t receiveBuffer_;
    double idleLock_;

    StreamLine current_;
    bool currentWaits_ = false;    // the line waits for the motion to end
    double currentDwell_ = 0.0;
    std::size_t currentBlocks_ = 0;
    double currentSteps_ = 0.0;

    RingQueue<Sent> unanswered_;
    std::size_t unansweredBytes_ = 0;
    double sentAt_ = 0.0;      // the sender sent the last line
    double wireFree_ = 0.0;    // its last byte has arrived
    double controller_ = 0.0;  // the controller is free for the next line
    double lastTaken_ = 0.0;   // the controller has taken the last line
    bool moved_ = false;       // the machine has moved since it last came to rest
    bool fromRest_ = true;     // the next block is the first after a rest
    double plannerSeconds_ = 0.0;
    double dwellBurn_ = 0.0;
    double seconds_ = 0.0;
};

// The time of a job on `machine`: its planner alone, or for GRBL the stream when the machine
// has a serial line (baudRate above 0). A reader's sink hands it every event, the lines
// (ReaderOptions::lineEvents) included.
class JobTimer {
public:
    explicit JobTimer(const MachineProfile& machine);
    JobTimer(const MachineProfile& machine, const ControllerTiming& timing);
    void add(const Event& event);
    // The Line event whose fields an event carries (Event::carriesLine), without the event.
    void addLineOf(const Event& event);
    // Ends the job and sets the times and the stream's part of `estimate`.
    void finish(FileEstimate& estimate);

private:
    MachineProfile machine_;
    MotionPlanner planner_;
    std::unique_ptr<StreamModel> stream_;
    bool dynamicBurn_ = false;
};

// "the controller's line rate limits the speed to about 2,350 mm/min" when the waits for lines
// add a noticeable part to the job; empty otherwise. `inches`: the speed in in/min.
std::string LineRateNote(const StreamTimes& stream, bool inches = false);

// The pre-flight warning of a job whose lines come faster than the controller takes them:
// the highest speed it keeps up with, the time the job loses, and for dynamic power (M4)
// that the burn gets lighter; empty when the controller keeps up.
std::string LineRateWarning(const StreamTimes& stream, bool inches = false);

// Reads and times a job streamed to the controller of `machine` (baudRate above 0).
FileEstimate EstimateStream(const std::function<void(GcodeReader& reader)>& feed,
                            const MachineProfile& machine, const ControllerTiming& timing);

}  // namespace pyrolith::toolpath
