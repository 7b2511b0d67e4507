#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "machine/MachineSession.h"

namespace pyrolith::machine {

// A 3D printer's firmware: lines as "N<n> <command>*<checksum>" after "M110 N0" has set the
// numbering. One line at a time, the next only after "ok"; a firmware whose "ok" says which
// line it took and how many commands it has room for ("ok N12 P15 B3") gets as many lines at
// once as that room and its 128-byte receive buffer allow, and its "ok"s acknowledge by line
// number. "Resend: N" sends that line and the ones after it again; a line the firmware took
// is never sent again (it would not answer a repeated number at all), and the requests that
// lines already under way bring after a resend began are not acted on twice. "busy:" keeps
// the connection alive; "echo:" and "//" lines are shown; "Error:" lines are reported, and a
// halted printer ends the job.
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
        std::size_t bytes = 0;   // on the wire, line end included
        double dwellMs = 0;
    };
    struct Service {
        std::string text;
        Then then;
    };

    void feed(TimePoint now);
    bool room(std::string_view text) const;
    void sendNumbered(std::string text, std::optional<std::size_t> jobIndex, Then then,
                      TimePoint now);
    void sendPending(Pending line, TimePoint now);
    void completed(const Pending& done, TimePoint now);
    void acknowledge(std::string_view line, TimePoint now);
    void resendAsked(std::int64_t number);
    bool resentTooOften();
    void beginSafeStop(TimePoint now, JobState endState);
    void lose(std::string message);
    TimePoint answerDeadline() const;

    std::string laserOff_;
    Link link_ = Link::Closed;
    std::int64_t lineNumber_ = 0;
    std::deque<Pending> inFlight_;  // sent and not acknowledged, oldest first
    std::deque<Pending> resend_;    // refused, to be sent again first
    bool resendPending_ = false;    // one line at a time: the line in flight was refused
    bool advanced_ = false;         // the "ok"s carry N and B
    std::size_t window_ = 1;        // lines in flight at most
    std::int64_t lastTaken_ = -1;   // the last line number the firmware took
    std::optional<std::int64_t> resendFrom_;
    int staleResends_ = 0;          // requests still to come from lines sent before a resend
    int refusalOks_ = 0;            // "ok"s still to come that answer refused lines
    int resends_ = 0;
    int extraOks_ = 0;
    bool finishSent_ = false;       // the job's closing M400 is sent
    TimePoint sentAt_{};
    std::deque<Service> service_;
    std::deque<std::string> commands_;
    std::string laserInForce_;  // the last laser command of the job that was sent
    JobState stopEnd_ = JobState::Stopped;
};

}  // namespace pyrolith::machine
