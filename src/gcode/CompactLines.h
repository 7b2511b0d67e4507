#pragma once

// Compact lines for GRBL: the job after its header with each line as short as the controller
// reads it the same way, so that an 8-bit controller keeps up with more lines a second.
//
// - No comments (the header keeps its own, and the marks of the perimeter cut stay, which
//   the Job view reads) and no blanks between words: "X20.4S8".
// - The motion word (G0, G1) and F only when they change, Y only when it changes (X, and
//   a Y that is the line's only axis word, always stay).
// - S as a whole number when `wholePower`: the on command's full power is a whole number, so
//   every power level is rounded to the nearest of S's units.
// - A line with only an S word rides on the next move, which takes the power with its block,
//   instead of standing alone (GRBL 1.1 empties its planner for such a line). Before a line
//   that is not a move it stays on a line of its own.
// A line the rules cannot follow safely ($ system lines, coordinate and unit changes, homing,
// arcs) is written without blanks and comments and ends the tracking of the words it may
// change.

#include <string>
#include <string_view>

#include "gcode/JobSink.h"

namespace pyrolith {

class CompactJobSink final : public JobSink {
public:
    CompactJobSink(JobSink& target, bool wholePower);
    // Writes what is left (a pending S line) to the target; call once after the last line.
    void finish();

private:
    void take(std::string_view block) override;
    void compactLine(std::string_view line);
    void emit(std::string_view line);

    JobSink& target_;
    bool wholePower_;
    std::string partial_;      // the unfinished last line of a block
    std::string pendingS_;     // a line of only an S word, waiting for the next move
    std::string motion_;       // "G0" or "G1" in force; empty: unknown
    std::string feed_;         // the F number in force; empty: unknown
    std::string y_;            // the Y number in force; empty: unknown
    std::string out_;
    char buffer_[1 << 14];
};

// The power of the on command is a whole number ("S1000", "M3 S255"); false without an S.
bool WholePower(std::string_view onCommand);

}  // namespace pyrolith
