#include "gcode/CompactLines.h"

#include <charconv>
#include <cmath>
#include <vector>

#include "gcode/LaserPower.h"
#include "machine/SendLine.h"

namespace pyrolith {

namespace {

struct Word {
    char letter;
    std::string_view number;
};

char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The words of a stripped line; false when it is not a plain sequence of letters and numbers.
bool SplitWords(std::string_view text, std::vector<Word>& words)
{
    words.clear();
    std::size_t i = 0;
    while (i < text.size()) {
        if (!IsLetter(text[i])) {
            return false;
        }
        const std::size_t start = ++i;
        while (i < text.size() && !IsLetter(text[i])) {
            ++i;
        }
        words.push_back({Upper(text[start - 1]), text.substr(start, i - start)});
    }
    return true;
}

// "7.8431372549" as the nearest whole number, "8"; a text that is not a number stays.
std::string WholeNumber(std::string_view number)
{
    double value = 0.0;
    const auto read = std::from_chars(number.data(), number.data() + number.size(), value);
    if (read.ec != std::errc{} || read.ptr != number.data() + number.size()) {
        return std::string(number);
    }
    char digits[32];
    const auto end =
        std::to_chars(digits, digits + sizeof digits, static_cast<long long>(std::llround(value)))
            .ptr;
    return std::string(digits, end);
}

bool IsMotion(const Word& word)
{
    return word.letter == 'G' && (word.number == "0" || word.number == "1" ||
                                  word.number == "00" || word.number == "01");
}

}  // namespace

bool WholePower(std::string_view onCommand)
{
    const auto s = FindSWord(onCommand);
    return s && s->value == std::floor(s->value);
}

CompactJobSink::CompactJobSink(JobSink& target, bool wholePower)
    : JobSink(buffer_, sizeof buffer_), target_(target), wholePower_(wholePower)
{
}

void CompactJobSink::take(std::string_view block)
{
    while (!block.empty()) {
        const std::size_t end = block.find('\n');
        if (end == std::string_view::npos) {
            partial_.append(block);
            return;
        }
        if (partial_.empty()) {
            compactLine(block.substr(0, end));
        } else {
            partial_.append(block.substr(0, end));
            const std::string line = std::move(partial_);
            partial_.clear();
            compactLine(line);
        }
        block.remove_prefix(end + 1);
    }
}

void CompactJobSink::finish()
{
    drain();
    if (!partial_.empty()) {
        const std::string line = std::move(partial_);
        partial_.clear();
        compactLine(line);
    }
    if (!pendingS_.empty()) {
        emit(pendingS_);
        pendingS_.clear();
    }
    target_.drain();
}

void CompactJobSink::emit(std::string_view line)
{
    target_.append(line);
    target_.endLine();
}

void CompactJobSink::compactLine(std::string_view line)
{
    const std::string text = machine::CleanLine(line, true);
    if (text.empty()) {
        // A blank line or only a comment goes, but for the marks of the cut, which the Job view
        // reads (a sender leaves comments out anyway).
        if (line.find("Perimeter Cut") != std::string_view::npos) {
            emit(line.substr(0, line.find_last_not_of("\r") + 1));
        }
        return;
    }
    static thread_local std::vector<Word> words;
    if (text.front() == '$' || !SplitWords(text, words)) {
        // Not plain words: written as it is, and nothing known is kept.
        if (!pendingS_.empty()) {
            emit(pendingS_);
            pendingS_.clear();
        }
        emit(text);
        motion_.clear();
        feed_.clear();
        y_.clear();
        return;
    }

    bool axes = false;
    bool onlyS = true;
    bool hasS = false;
    bool plain = true;  // only words whose effect the rules follow
    int axisWords = 0;
    std::string motion = motion_;
    for (const Word& w : words) {
        onlyS = onlyS && w.letter == 'S';
        hasS = hasS || w.letter == 'S';
        if (w.letter == 'X' || w.letter == 'Y' || w.letter == 'Z') {
            axes = true;
            ++axisWords;
        }
        if (IsMotion(w)) {
            motion = w.number.back() == '0' ? "G0" : "G1";
        } else if (w.letter == 'G' && w.number != "4" && w.number != "04") {
            plain = false;  // units, distance mode, coordinates, homing, arcs
        }
    }
    if (onlyS) {
        pendingS_ = wholePower_ ? "S" + WholeNumber(words.front().number) : text;
        return;
    }
    const bool move = axes && plain && (motion == "G0" || motion == "G1");

    out_.clear();
    for (const Word& w : words) {
        if (move && IsMotion(w) && motion == motion_) {
            continue;
        }
        if (move && w.letter == 'F' && w.number == feed_) {
            continue;
        }
        if (move && w.letter == 'Y' && w.number == y_ && axisWords > 1) {
            continue;
        }
        out_.push_back(w.letter);
        if (w.letter == 'S' && wholePower_) {
            out_.append(WholeNumber(w.number));
        } else if (IsMotion(w)) {
            out_.push_back(w.number.back());
        } else {
            out_.append(w.number);
        }
    }
    if (!pendingS_.empty()) {
        if (move && !hasS) {
            out_.append(pendingS_);  // the power rides on this move
        } else if (!move) {
            emit(pendingS_);
        }
        pendingS_.clear();
    }
    emit(out_);

    if (!plain) {
        motion_.clear();
        feed_.clear();
        y_.clear();
        return;
    }
    motion_ = motion;
    for (const Word& w : words) {
        if (w.letter == 'F') {
            feed_ = std::string(w.number);
        } else if (w.letter == 'Y') {
            y_ = std::string(w.number);
        }
    }
}

}  // namespace pyrolith
