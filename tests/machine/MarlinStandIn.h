#pragma once

// A 3D printer's firmware as the sender meets it, without threads or a clock: the test hands
// it the sender's bytes and runs its loop one step at a time.
//
// Bytes land in a receive buffer of 127 bytes; a byte beyond it is lost. Each step the
// firmware moves whole lines from that buffer into its command queue while the queue has
// room (4 commands), checking each numbered line: the next number with a matching checksum is
// taken; a number equal to the last one taken or the one before is dropped without a word
// (a resend already under way); anything else is refused with "Error:...", "Resend: <next>"
// and "ok", and the receive buffer is emptied. Then it runs the oldest command and answers
// "ok", or with advanced ok "ok N<last taken> P<free blocks> B<free commands>".

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace pyrolith::testing {

class MarlinStandIn {
public:
    static constexpr std::size_t kReceiveBuffer = 127;
    static constexpr std::size_t kCommands = 4;

    explicit MarlinStandIn(bool advancedOk, std::int64_t garbleNumber = -1)
        : advanced_(advancedOk), garble_(garbleNumber)
    {
    }

    void receive(std::string_view bytes)
    {
        for (const char c : bytes) {
            if (buffer_.size() >= kReceiveBuffer) {
                ++lostBytes_;
            } else {
                buffer_.push_back(c);
            }
        }
        const auto lines = static_cast<std::size_t>(std::count(buffer_.begin(), buffer_.end(), '\n'));
        mostHeld_ = std::max(mostHeld_, queue_.size() + lines);
    }

    // One turn of the firmware's loop; returns what it says.
    std::string step()
    {
        std::string said;
        while (queue_.size() < kCommands) {
            const auto end = std::find(buffer_.begin(), buffer_.end(), '\n');
            if (end == buffer_.end()) {
                break;
            }
            const std::string line(buffer_.begin(), end);
            buffer_.erase(buffer_.begin(), end + 1);
            take(line, said);
        }
        if (!queue_.empty()) {
            ran_.push_back(queue_.front());
            queue_.pop_front();
            said += ok();
        }
        return said;
    }

    const std::vector<std::string>& ran() const { return ran_; }
    std::size_t lostBytes() const { return lostBytes_; }
    // The most lines held at once, received and not yet run.
    std::size_t mostHeld() const { return mostHeld_; }
    int refused() const { return refused_; }
    int dropped() const { return dropped_; }

private:
    std::string ok() const
    {
        if (!advanced_) {
            return "ok\n";
        }
        return "ok N" + std::to_string(last_) + " P15 B" +
               std::to_string(kCommands - queue_.size()) + "\n";
    }

    void take(const std::string& line, std::string& said)
    {
        if (line.empty() || line[0] != 'N') {
            queue_.push_back(line);  // an unnumbered line is taken as it is
            return;
        }
        const auto star = line.rfind('*');
        const auto space = line.find(' ');
        std::int64_t number = -1;
        std::from_chars(line.data() + 1, line.data() + space, number);
        unsigned sum = 1000;
        if (star != std::string::npos) {
            std::from_chars(line.data() + star + 1, line.data() + line.size(), sum);
        }
        unsigned check = 0;
        for (std::size_t i = 0; star != std::string::npos && i < star; ++i) {
            check ^= static_cast<unsigned char>(line[i]);
        }
        const std::string command = line.substr(space + 1, star - space - 1);
        if (command.rfind("M110", 0) == 0 && sum == check) {
            last_ = number;
            queue_.push_back(command);
            return;
        }
        if (number == garble_) {
            garble_ = -1;
            sum = check + 1;  // damaged on the way
        }
        if (sum == check && number == last_ + 1) {
            last_ = number;
            queue_.push_back(command);
            return;
        }
        if (sum == check && (number == last_ || number == last_ - 1)) {
            ++dropped_;
            return;
        }
        ++refused_;
        said += sum != check ? "Error:checksum mismatch, Last Line: " + std::to_string(last_) + "\n"
                             : "Error:Line Number is not Last Line Number+1, Last Line: " +
                                   std::to_string(last_) + "\n";
        said += "Resend: " + std::to_string(last_ + 1) + "\n";
        said += ok();
        buffer_.clear();
    }

    bool advanced_;
    std::int64_t garble_;
    std::int64_t last_ = 0;
    std::deque<char> buffer_;
    std::deque<std::string> queue_;
    std::vector<std::string> ran_;
    std::size_t lostBytes_ = 0;
    std::size_t mostHeld_ = 0;
    int refused_ = 0;
    int dropped_ = 0;
};

}  // namespace pyrolith::testing
