#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/JobSettings.h"

namespace pyrolith {

// Where the power number of a laser command stands: the first "S" word (either case) outside
// comments, a plain number of digits with at most one ".". [begin, end) is the number's text.
struct SWord {
    std::size_t begin = 0;
    std::size_t end = 0;
    double value = 0;
};
std::optional<SWord> FindSWord(std::string_view command);

// The level of each grey g (0 black to 255 white) with `levels` power levels:
// floor((255 - g) * levels / 256). Level 0 is not burned.
std::array<std::uint8_t, 256> GreyLevelTable(int levels);

// The on command of every power level of a grey engraving, index 0 (not burned) empty: the
// command with its S number replaced by MinPower + (S - MinPower) * L / (levels - 1). Checks
// PowerLevels, MinPower and the S number of `onCommand` (already in the job's code page);
// throws pyrolith::Error with the user's message when one is not usable.
std::vector<std::string> PowerCommands(const JobSettings& settings, const std::string& onCommand,
                                       char decimalSeparator);

// Marlin's inline laser mode: the S number of each power level as the burn moves carry it,
// index 0 (not burned) "0". A black-and-white job (`powerCommands` empty) burns with the S
// number of `onCommand` (already in the job's code page), a grey one with those of
// `powerCommands`. Throws pyrolith::Error when the on command has no S number.
std::vector<std::string> InlinePowers(const JobSettings& settings, std::string_view onCommand,
                                      const std::vector<std::string>& powerCommands);

// The overscan distance, typed with "." or ","; 0 when the field is empty. Throws
// pyrolith::Error when it is not a number of 0 or more.
double ReadOverscan(const JobSettings& settings, char decimalSeparator);

} // namespace pyrolith
