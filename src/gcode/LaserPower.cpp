#include "gcode/LaserPower.h"

#include <charconv>
#include <string_view>

#include "common/Error.h"
#include "common/NumberText.h"

namespace pyrolith {
namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// "<where the field is>: '<text>' <what is wrong>", the field named as the window labels it.
[[noreturn]] void Refuse(const char* key, std::string_view label, std::string_view text,
                         std::string_view problem)
{
    std::string message(label);
    message.append(": '").append(text).append("' ").append(problem);
    throw Error(message, key);
}

} // namespace

std::optional<SWord> FindSWord(std::string_view command)
{
    for (std::size_t i = 0; i < command.size(); ++i) {
        const char c = command[i];
        if (c == ';') {
            break; // the rest of the line is a comment
        }
        if (c == '(') {
            const std::size_t close = command.find(')', i);
            if (close == std::string_view::npos) {
                break;
            }
            i = close;
            continue;
        }
        if (c != 'S' && c != 's') {
            continue;
        }
        std::size_t end = i + 1;
        std::size_t digits = 0;
        std::size_t points = 0;
        for (; end < command.size() && (IsDigit(command[end]) || command[end] == '.'); ++end) {
            (command[end] == '.' ? points : digits) += 1;
        }
        if (digits == 0 || points > 1) {
            continue;
        }
        SWord word;
        word.begin = i + 1;
        word.end = end;
        std::from_chars(command.data() + word.begin, command.data() + end, word.value);
        return word;
    }
    return std::nullopt;
}

std::array<std::uint8_t, 256> GreyLevelTable(int levels)
{
    std::array<std::uint8_t, 256> table{};
    for (int g = 0; g < 256; ++g) {
        table[static_cast<std::size_t>(g)] = static_cast<std::uint8_t>((255 - g) * levels / 256);
    }
    return table;
}

std::vector<std::string> PowerCommands(const JobSettings& settings, const std::string& onCommand,
                                       char decimalSeparator)
{
    const std::optional<SWord> s = FindSWord(onCommand);
    if (!s) {
        Refuse("LaserOnCommand", "Laser Commands, On", settings.LaserOnCommand,
               "has no S number to set the power levels with (for example 'M106 S255')");
    }
    const std::string_view levelsText = Trimmed(settings.PowerLevels);
    int levels = 0;
    const auto [end, ec] =
        std::from_chars(levelsText.data(), levelsText.data() + levelsText.size(), levels);
    if (levelsText.empty() || ec != std::errc() || end != levelsText.data() + levelsText.size() ||
        levels < 2 || levels > 256) {
        Refuse("PowerLevels", "Engraving, Power levels", settings.PowerLevels,
               "is not a whole number from 2 to 256");
    }
    const std::optional<double> minPower = ReadTypedNumber(settings.MinPower, decimalSeparator);
    if (!minPower || !(*minPower >= 0) || *minPower > s->value) {
        Refuse("MinPower", "Engraving, Minimum power", settings.MinPower,
               "is not a number from 0 to the full power " +
                   onCommand.substr(s->begin, s->end - s->begin));
    }

    std::vector<std::string> commands(static_cast<std::size_t>(levels));
    const std::string_view before = std::string_view(onCommand).substr(0, s->begin);
    const std::string_view after = std::string_view(onCommand).substr(s->end);
    for (int level = 1; level < levels; ++level) {
        // The top level is the full power itself: the formula can land one rounding step off
        // it, and at 12 digits a typed power like 63333333333050 then came out as ...100.
        const double power = level == levels - 1
                                 ? s->value
                                 : *minPower + (s->value - *minPower) * level / (levels - 1);
        std::string& command = commands[static_cast<std::size_t>(level)];
        command.append(before).append(PlainNumber(power, 12)).append(after);
    }
    return commands;
}

std::vector<std::string> InlinePowers(const JobSettings& settings, std::string_view onCommand,
                                      const std::vector<std::string>& powerCommands)
{
    const auto number = [](std::string_view command) {
        const std::optional<SWord> s = FindSWord(command);
        return s ? std::string(command.substr(s->begin, s->end - s->begin)) : std::string();
    };
    std::vector<std::string> powers{"0"};
    if (powerCommands.empty()) {
        powers.push_back(number(onCommand));
        if (powers.back().empty()) {
            Refuse("LaserOnCommand", "Laser Commands, On", settings.LaserOnCommand,
                   "has no S number to set the power of Marlin's inline laser mode with (for "
                   "example 'M3 S255')");
        }
        return powers;
    }
    for (std::size_t level = 1; level < powerCommands.size(); ++level) {
        powers.push_back(number(powerCommands[level]));
    }
    return powers;
}

double ReadOverscan(const JobSettings& settings, char decimalSeparator)
{
    if (Trimmed(settings.Overscan).empty()) {
        return 0;
    }
    const std::optional<double> overscan = ReadTypedNumber(settings.Overscan, decimalSeparator);
    if (!overscan || !(*overscan >= 0) || !(*overscan < 1e9)) {
        Refuse("Overscan", "Engraving, Overscan", settings.Overscan,
               "is not a distance of 0 or more");
    }
    return *overscan;
}

} // namespace pyrolith
