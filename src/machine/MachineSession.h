#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pyrolith::machine {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;
using Milliseconds = std::chrono::milliseconds;

enum class Firmware { Unknown, Grbl, Printer };

// What a greeting line tells about the firmware: "Grbl 1.1h ['$' for help]" is GRBL; a
// printer's "start", "FIRMWARE_NAME:..." (its M115 answer) or "echo:" lines are a printer.
Firmware DetectFirmware(std::string_view line);

enum class JobState {
    None,      // no job was started
    Running,
    Pausing,   // asked to pause; the machine is still finishing what it was given
    Paused,
    Stopping,  // the safe stop is under way
    Finished,  // every line acknowledged and every move done
    Stopped,   // stopped on request; the laser is off
    Failed,    // ended by the machine, a lost connection or a timeout, after a safe stop
};

struct MachineStatus {
    std::string state;  // "Idle", "Run", "Hold:0", "Alarm", "Printing", ...
    bool hasPosition = false;
    double x = 0, y = 0, z = 0;
};

struct JobProgress {
    std::size_t total = 0;         // job lines, blank and comment lines included
    std::size_t acknowledged = 0;  // lines the machine has taken (blank lines count at once)
};

// One text for the user: a firmware message, a warning, or what the program did.
struct SessionMessage {
    enum class Kind { Info, Firmware, Error };
    Kind kind = Kind::Info;
    std::string text;
};

struct SessionTimings {
    Milliseconds greetingWait{2000};   // how long to wait for a greeting before waking the machine
    Milliseconds answerTimeout{10000}; // silence that counts as a lost connection
    Milliseconds statusInterval{250};  // GRBL status query period
    Milliseconds holdTimeout{3000};    // GRBL: the longest wait for a feed hold to come to rest
};

// A conversation with one machine, with no threads and no input/output of its own: the owner
// hands it the bytes that arrived and the time, and writes what takeOutput() returns to the
// port. Every call takes the current time so that tests can drive the clock.
class MachineSession {
public:
    explicit MachineSession(SessionTimings timings) : timings_(timings) {}
    virtual ~MachineSession() = default;
    MachineSession(const MachineSession&) = delete;
    MachineSession& operator=(const MachineSession&) = delete;

    // The port is open. greetingSeen: the machine already introduced itself (the owner fed
    // the greeting to DetectFirmware), so there is no need to wake it.
    virtual void open(TimePoint now, bool greetingSeen) = 0;
    void receive(std::string_view bytes, TimePoint now);
    virtual void tick(TimePoint now) = 0;

    // Starts streaming these lines; false (with a message) when a job is running or the
    // machine is not ready.
    virtual bool startJob(std::vector<std::string> lines, TimePoint now) = 0;
    virtual void pause(TimePoint now) = 0;
    virtual void resume(TimePoint now) = 0;
    // The safe stop: the laser is off at its end, and a message says what was sent.
    virtual void stop(TimePoint now) = 0;
    // One command outside a job (homing, unlock, a jog); false when a job is running.
    virtual bool command(std::string_view line, TimePoint now) = 0;
    // The port is gone: nothing more can be sent. reason: the user's text of what happened.
    void connectionLost(const std::string& reason);

    bool ready() const { return ready_; }
    JobState jobState() const { return jobState_; }
    bool jobActive() const;
    const MachineStatus& status() const { return status_; }
    JobProgress progress() const { return {lines_.size(), acknowledged_}; }

    std::string takeOutput();
    std::vector<SessionMessage> takeMessages();

protected:
    virtual void handleLine(std::string_view line, TimePoint now) = 0;

    void send(std::string_view bytes) { output_.append(bytes); }
    void say(SessionMessage::Kind kind, std::string text);
    void endJob(JobState state, std::string message);
    // Moves next_ over blank lines, which are never sent.
    void skipBlankLines();
    // The machine took job line `index`: it and the blank lines after it are acknowledged.
    void acknowledgeLine(std::size_t index);

    SessionTimings timings_;
    bool ready_ = false;
    bool lost_ = false;
    JobState jobState_ = JobState::None;
    MachineStatus status_;
    std::vector<std::string> lines_;  // the job, cleaned for sending
    std::size_t next_ = 0;            // the next job line to send
    std::size_t acknowledged_ = 0;
    TimePoint lastHeard_{};

private:
    void settleBlankLines();

    std::string partial_;
    std::string output_;
    std::vector<SessionMessage> messages_;
};

}  // namespace pyrolith::machine
