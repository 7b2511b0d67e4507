#pragma once

// Peers that behave like the firmware, on the master side of a pseudo-terminal, each on its
// own thread. The program under test opens the slave side like a serial port.
//
// Tests never race a peer's thread against a clock: quiet() says when the peer has taken
// every byte sent to it and has nothing more to answer (a host drives its session's clock
// only while the peer is quiet), drain() waits for that, and holdAfter() keeps the machine
// busy at a known line, like a long move, so that a test acts there at its own pace.

#include <fcntl.h>
#include <pty.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pyrolith::testing {

using namespace std::chrono_literals;

class FakeMachine {
public:
    FakeMachine()
    {
        termios raw{};
        ::cfmakeraw(&raw);
        char name[256] = {};
        if (::openpty(&master_, &slave_, name, &raw, nullptr) != 0) {
            master_ = slave_ = -1;
        }
        // A program under test started from here must not hold the machine's side open.
        ::fcntl(master_, F_SETFD, FD_CLOEXEC);
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
        port_ = name;
    }
    virtual ~FakeMachine()
    {
        finish();
        ::close(master_);
        ::close(slave_);
    }
    FakeMachine(const FakeMachine&) = delete;
    // Every peer's destructor calls this first, so that the thread never sees half an object.
    void finish()
    {
        running_ = false;
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    FakeMachine& operator=(const FakeMachine&) = delete;

    const std::string& port() const { return port_; }
    // What the machine received, one entry per line or real-time byte, in order.
    std::vector<std::string> log() const
    {
        std::lock_guard lock(mutex_);
        return log_;
    }
    std::string failure() const
    {
        std::lock_guard lock(mutex_);
        return failure_;
    }
    // From this received line on (1-based count of logged lines), the machine says nothing.
    void silenceAfter(std::size_t lines) { silentAfter_ = lines; }
    // Once this many entries are logged the machine is busy: GRBL takes no more lines from
    // its receive buffer (its planner is full of a long move), a printer holds the "ok" of
    // that line until a quick stop (M410) ends the move.
    void holdAfter(std::size_t lines) { holdAfter_ = lines; }
    bool holding() const
    {
        std::lock_guard lock(mutex_);
        return log_.size() >= holdAfter_;
    }
    // Every byte sent to the machine is read and handled, and it has nothing left to answer.
    // (A read, unlike a count of waiting bytes, also takes what the terminal driver has not
    // yet passed on.)
    bool quiet()
    {
        std::lock_guard step(stepMutex_);
        return takeInput() == 0 && !working();
    }
    // Waits until quiet(): after the program under test has written its last bytes, the log
    // holds all of them.
    void drain()
    {
        while (!quiet()) {
            std::this_thread::sleep_for(1ms);
        }
    }

protected:
    void start()
    {
        thread_ = std::thread([this] { run(); });
    }
    void say(const std::string& text)
    {
        if (!silent()) {
            const std::string line = text + "\r\n";
            [[maybe_unused]] const auto written = ::write(master_, line.data(), line.size());
        }
    }
    void record(std::string entry)
    {
        std::lock_guard lock(mutex_);
        log_.push_back(std::move(entry));
    }
    void fail(std::string why)
    {
        std::lock_guard lock(mutex_);
        if (failure_.empty()) {
            failure_ = std::move(why);
        }
    }
    bool silent() const
    {
        std::lock_guard lock(mutex_);
        return log_.size() >= silentAfter_;
    }
    virtual void onByte(char c) = 0;
    virtual void onIdle() {}
    // Lines taken but not yet answered, that the machine will answer on its own.
    virtual bool working() const { return false; }

private:
    void run()
    {
        while (running_) {
            pollfd ready{master_, POLLIN, 0};
            ::poll(&ready, 1, 1);
            std::lock_guard step(stepMutex_);
            takeInput();
            onIdle();
        }
    }

    // Reads and handles what has arrived, without waiting; the number of bytes.
    std::size_t takeInput()
    {
        std::size_t total = 0;
        char buffer[512];
        for (ssize_t got; (got = ::read(master_, buffer, sizeof buffer)) > 0;) {
            for (ssize_t i = 0; i < got; ++i) {
                onByte(buffer[i]);
            }
            total += static_cast<std::size_t>(got);
        }
        return total;
    }

    int master_ = -1;
    int slave_ = -1;
    std::string port_;
    std::thread thread_;
    std::atomic<bool> running_{true};
    mutable std::mutex stepMutex_;  // held while the thread handles what it read
    mutable std::mutex mutex_;
    std::vector<std::string> log_;
    std::string failure_;
    std::atomic<std::size_t> silentAfter_{SIZE_MAX};
    std::atomic<std::size_t> holdAfter_{SIZE_MAX};
};

// GRBL 1.1 with a 128-byte receive buffer: a byte beyond it fails the test. Lines leave the
// buffer one every `lineTime` unless held, and are answered "ok", or "error:N" for the line
// given to errorOn; "$$" lists GRBL's default settings first. "?" answers a status report; "!"
// holds, "~" resumes, 0x18 resets and greets.
class FakeGrbl final : public FakeMachine {
public:
    explicit FakeGrbl(bool greet, std::chrono::microseconds lineTime = 300us, bool alarm = false)
        : lineTime_(lineTime), alarm_(alarm)
    {
        if (greet) {
            say("Grbl 1.1h ['$' for help]");
        }
        start();
    }
    ~FakeGrbl() override { finish(); }
    // The first line equal to `line` is answered with "error:<code>".
    void errorOn(std::string line, int code)
    {
        std::lock_guard lock(jobMutex_);
        errorLine_ = std::move(line);
        errorCode_ = code;
    }
    std::size_t mostBuffered() const { return mostBuffered_; }

private:
    void onByte(char c) override
    {
        std::lock_guard lock(jobMutex_);
        switch (c) {
        case '?': {
            const std::string state = alarm_         ? "Alarm"
                                      : held_          ? "Hold:0"
                                      : buffered_.empty() ? "Idle"
                                                        : "Run";
            say("<" + state + "|MPos:" + position_ + "|Bf:15," +
                std::to_string(127 - buffered_.size()) + ">");
            return;
        }
        case '!':
            held_ = true;
            record("!");
            return;
        case '~':
            held_ = false;
            record("~");
            return;
        case '\x18':
            record("^X");
            buffered_.clear();
            held_ = false;
            say("");
            say("Grbl 1.1h ['$' for help]");
            if (alarm_) {
                say("[MSG:'$H'|'$X' to unlock]");
            }
            return;
        default:
            break;
        }
        if (static_cast<unsigned char>(c) >= 0x80) {
            record("rt:" + std::to_string(static_cast<unsigned char>(c)));
            return;
        }
        buffered_.push_back(c);
        if (c == '\n') {
            const auto start = std::find(buffered_.rbegin() + 1, buffered_.rend(), '\n');
            record(std::string(start.base(), buffered_.end() - 1));
        }
        if (buffered_.size() > 128) {
            fail("receive buffer overflow: " + std::to_string(buffered_.size()) + " bytes");
        }
        mostBuffered_ = std::max(mostBuffered_, buffered_.size());
    }

    bool working() const override
    {
        std::lock_guard lock(jobMutex_);
        return !held_ && !holding() &&
               std::find(buffered_.begin(), buffered_.end(), '\n') != buffered_.end();
    }

    void onIdle() override
    {
        std::lock_guard lock(jobMutex_);
        const auto now = std::chrono::steady_clock::now();
        if (held_ || holding() || now < nextLine_) {
            return;
        }
        const auto end = std::find(buffered_.begin(), buffered_.end(), '\n');
        if (end == buffered_.end()) {
            return;
        }
        std::string line(buffered_.begin(), end);
        buffered_.erase(buffered_.begin(), end + 1);
        nextLine_ = now + lineTime_;
        const bool error = line == errorLine_;
        track(line);
        if (line == "M110" || line == "M115") {
            say("error:20");  // a printer's command: unsupported
        } else if (alarm_ && !line.empty() && line[0] != '$') {
            say("error:9");
        } else if (error) {
            errorLine_.clear();
            say("error:" + std::to_string(errorCode_));
        } else {
            if (line == "$$") {
                // GRBL 1.1's own defaults, as a board fresh from its flashing reports them.
                for (const char* setting :
                     {"$0=10", "$1=25", "$2=0", "$3=0", "$4=0", "$5=0", "$6=0", "$10=1",
                      "$11=0.010", "$12=0.002", "$13=0", "$20=0", "$21=0", "$22=0", "$23=0",
                      "$24=25.000", "$25=500.000", "$26=250", "$27=1.000", "$30=1000", "$31=0",
                      "$32=0", "$100=250.000", "$101=250.000", "$102=250.000", "$110=500.000",
                      "$111=500.000", "$112=500.000", "$120=10.000", "$121=10.000",
                      "$122=10.000", "$130=200.000", "$131=200.000", "$132=200.000"}) {
                    say(setting);
                }
            }
            say("ok");
        }
    }

    // The machine position follows the X and Y words of the lines run.
    void track(const std::string& line)
    {
        for (const char axis : {'X', 'Y'}) {
            const auto at = line.find(axis);
            double value = 0;
            if (at != std::string::npos &&
                std::from_chars(line.data() + at + 1, line.data() + line.size(), value).ec ==
                    std::errc{}) {
                (axis == 'X' ? x_ : y_) = value;
            }
        }
        position_ = std::to_string(x_) + "," + std::to_string(y_) + ",0.000";
    }

    mutable std::mutex jobMutex_;
    double x_ = 0, y_ = 0;
    std::string position_ = "0.000,0.000,0.000";
    std::deque<char> buffered_;
    std::size_t mostBuffered_ = 0;
    bool held_ = false;
    std::chrono::microseconds lineTime_;
    bool alarm_;  // in alarm: lines with G-code are refused with error:9
    std::chrono::steady_clock::time_point nextLine_{};
    std::string errorLine_;
    int errorCode_ = 0;
};

// A printer's firmware: "N<n> <command>*<checksum>" lines with the next number after
// "M110 N0"; a wrong checksum or number asks for a resend, but the number of the last line
// taken or the one before gets no answer at all; plain lines are taken as they are. A dwell answers "busy: processing" before its "ok". The first arrival of the line
// numbered `garbleNumber` is treated as damaged; the command `errorCommand` is answered with
// `errorText` instead of "ok".
class FakePrinter final : public FakeMachine {
public:
    FakePrinter(std::int64_t garbleNumber = -1, std::string errorCommand = {},
                std::string errorText = {}, bool greet = true)
        : garble_(garbleNumber), errorCommand_(std::move(errorCommand)),
          errorText_(std::move(errorText))
    {
        if (greet) {
            say("start");
        }
        start();
    }
    ~FakePrinter() override { finish(); }
    int resendsAsked() const { return resends_; }

private:
    void onByte(char c) override
    {
        if (c != '\n') {
            line_.push_back(c);
            return;
        }
        std::string line = std::exchange(line_, {});
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty()) {
            return;  // a printer ignores a blank line
        }
        if (line == "M115") {
            record(line);
            say("FIRMWARE_NAME:Marlin 2.1 SOURCE_CODE_URL:- PROTOCOL_VERSION:1.0");
            say("ok");
            return;
        }
        if (line[0] != 'N') {
            if (line == "M410" && heldOk_) {
                heldOk_ = false;  // the quick stop ends the move: the held line is answered
                holdAfter(SIZE_MAX);
                say("ok");
            }
            record(line);
            say("ok");
            return;
        }
        const auto star = line.rfind('*');
        const auto space = line.find(' ');
        std::int64_t number = -1;
        int sum = -1;
        std::from_chars(line.data() + 1, line.data() + space, number);
        if (star != std::string::npos) {
            std::from_chars(line.data() + star + 1, line.data() + line.size(), sum);
        }
        std::uint8_t check = 0;
        for (std::size_t i = 0; i < star && star != std::string::npos; ++i) {
            check ^= static_cast<std::uint8_t>(line[i]);
        }
        const std::string command = line.substr(space + 1, star - space - 1);
        if (command == "M110 N0") {
            expected_ = number + 1;
            record(command);
            say("ok");
            return;
        }
        if (sum == check && number != garble_ &&
            (number == expected_ - 1 || number == expected_ - 2)) {
            return;  // a line it took, or the one before, again: no answer at all
        }
        if (number == garble_ || sum != check || number != expected_) {
            garble_ = -1;
            ++resends_;
            say(sum != check || number == expected_ ? "Error:checksum mismatch, Last Line: " +
                                                          std::to_string(expected_ - 1)
                                                    : "Error:Line Number is not Last Line Number+1");
            say("Resend: " + std::to_string(expected_));
            say("ok");
            return;
        }
        ++expected_;
        record(command);
        if (command == errorCommand_) {
            say(errorText_);
            if (errorText_.find("halted") != std::string::npos) {
                silenceAfter(0);
            } else {
                say("ok");
            }
            return;
        }
        if (command.rfind("G4", 0) == 0) {
            say("busy: processing");
        }
        if (holding()) {
            heldOk_ = true;
            return;
        }
        say("ok");
    }

    std::string line_;
    bool heldOk_ = false;
    std::int64_t expected_ = 0;
    std::int64_t garble_;
    std::string errorCommand_;
    std::string errorText_;
    std::atomic<int> resends_{0};
};

}  // namespace pyrolith::testing
