#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "machine/MachineSession.h"

namespace pyrolith::machine {

// A 3D printer's firmware: one line at a time, each as "N<n> <command>*<checksum>" after
// "M110 N0" has set the numbering, the next line only after "ok". "Resend: N" sends that line
// again; "busy:" keeps the connection alive; "echo:" and "//" lines are shown; "Error:" lines
// are reported, and a halted printer ends the job.
//
// A pause stops sending, waits with M400 until the moves are done, then switches the laser
// off; resuming first restores the laser command that was in force. The safe stop sends M410
// at once (ahead of the line numbers, so that an emergency parser acts on it), then the
// laser-off command and M400.
class PrinterSession final : public MachineSession {
public:
    PrinterSession(SessionTimings timings, std::string laserOffCommand);

    // Sends "M110 N0" at once: it sets the line numbers and wakes a printer whose greeting
    // was missed. wake is not needed here.
    void open(TimePoint now, bool wake) override;
    void tick(TimePoint now) override;
    bool startJob(std::vector<std::string> lines, TimePoint now) override;
    void pause(TimePoint now) override;
    void resume(TimePoint now) override;
    void stop(TimePoint now) override;
    bool command(std::string_view line, TimePoint now) override;

protected:
    void handleLine(std::string_view line, TimePoint now) override;

private:
    enum class Link { Closed, Connecting, Ready };
    enum class Then { Nothing, Connected, Paused, Stopped, Finished };
    struct Pending {
        std::int64_t number;
        std::string text;
        std::optional<std::size_t> jobIndex;
        Then then;
    };
    struct Service {
        std::string text;
        Then then;
    };

    void feed(TimePoint now);
    void sendNumbered(std::string text, std::optional<std::size_t> jobIndex, Then then,
                      TimePoint now);
    void completed(const Pending& done, TimePoint now);
    void acknowledge(TimePoint now);
    void beginSafeStop(TimePoint now, JobState endState);
    void lose(std::string message);
    TimePoint answerDeadline() const;

    std::string laserOff_;
    Link link_ = Link::Closed;
    std::int64_t lineNumber_ = 0;
    std::optional<Pending> pending_;
    bool resendPending_ = false;
    int resends_ = 0;
    int extraOks_ = 0;
    TimePoint sentAt_{};
    double dwellMs_ = 0;
    std::deque<Service> service_;
    std::deque<std::string> commands_;
    std::string laserInForce_;  // the last laser command of the job that was sent
    JobState stopEnd_ = JobState::Stopped;
};

}  // namespace pyrolith::machine
