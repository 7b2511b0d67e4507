#pragma once

#include <cstddef>
#include <deque>
#include <string>

#include "machine/MachineSession.h"

namespace pyrolith::machine {

// GRBL 1.1 over its character-counting protocol: as many lines are sent as fit in the
// controller's receive buffer, and each "ok" or "error:N" frees the bytes of the oldest line.
// A "?" status query goes out every statusInterval, never more than one at a time. '$' system
// lines are sent one at a time, once everything before them has been answered.
//
// The safe stop: no more lines, a feed hold "!", a wait until the machine has come to rest
// (Hold:0 or Idle, at most holdTimeout), then a soft reset 0x18, which switches the laser off,
// and the wait for the controller's greeting.
class GrblSession final : public MachineSession {
public:
    // rxBufferSize: the controller's receive buffer; one byte of it is never used.
    explicit GrblSession(SessionTimings timings, std::size_t rxBufferSize = 128);

    // wake: the controller has not been heard from; it is sent a soft reset at once so that
    // it greets. Otherwise the session waits greetingWait for the greeting before that reset.
    void open(TimePoint now, bool wake) override;
    void tick(TimePoint now) override;
    bool startJob(std::vector<std::string> lines, TimePoint now) override;
    void pause(TimePoint now) override;
    void resume(TimePoint now) override;
    void stop(TimePoint now) override;
    bool command(std::string_view line, TimePoint now) override;
    // Ends a jog at once (real-time 0x85); stop() does this too while the machine jogs.
    void cancelJog();

protected:
    void handleLine(std::string_view line, TimePoint now) override;

private:
    enum class Link { Closed, AwaitingGreeting, Waking, Ready, Resetting };
    enum class StopPhase { None, Holding, Resetting };
    struct InFlight {
        std::size_t index;  // the job line, or lines_.size() for a command outside the job
        std::size_t bytes;
        bool job;
    };

    void feed(TimePoint now);
    void query(TimePoint now);
    void beginSafeStop(TimePoint now, JobState endState);
    void softReset(TimePoint now);
    void greeted(TimePoint now);
    void fail(TimePoint now, std::string message);

    std::size_t capacity_;
    Link link_ = Link::Closed;
    TimePoint deadline_{};
    std::deque<InFlight> inFlight_;
    std::size_t inFlightBytes_ = 0;
    std::deque<std::string> commands_;
    bool queryOutstanding_ = false;
    TimePoint querySentAt_{};
    TimePoint nextQuery_{};
    bool idleCheckArmed_ = false;  // a query went out after the last line was acknowledged
    StopPhase stopPhase_ = StopPhase::None;
    JobState stopEnd_ = JobState::Stopped;
};

}  // namespace pyrolith::machine
