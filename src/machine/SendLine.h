#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace pyrolith::machine {

// What goes down the wire for one job line: the command without its comments ("; ..." to the
// end, "( ... )" anywhere) and without leading or trailing blanks and line ends. With compact
// set (GRBL, whose receive buffer counts every byte) every blank inside is dropped too; a
// printer keeps them, since M117 and similar commands carry text. Empty when nothing is left.
std::string CleanLine(std::string_view line, bool compact);

// The printer checksum: the exclusive-or of every byte.
inline std::uint8_t LineChecksum(std::string_view text)
{
    // Eight bytes at a time, folded into one at the end.
    std::uint64_t wide = 0;
    std::size_t at = 0;
    for (; at + 8 <= text.size(); at += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + at, sizeof word);
        wide ^= word;
    }
    wide ^= wide >> 32;
    wide ^= wide >> 16;
    wide ^= wide >> 8;
    auto sum = static_cast<std::uint8_t>(wide);
    for (; at < text.size(); ++at) {
        sum ^= static_cast<std::uint8_t>(text[at]);
    }
    return sum;
}

// "N<number> <command>*<checksum>", the form a printer checks before it runs a line.
std::string NumberedLine(std::int64_t number, std::string_view command);

// The number after "P" (milliseconds) or "S" (seconds) of a "G4" dwell, in milliseconds;
// empty for any other command.
std::optional<double> DwellMilliseconds(std::string_view command);

}  // namespace pyrolith::machine
