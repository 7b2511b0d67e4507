#include "machine/SendLine.h"

#include <charconv>

namespace pyrolith::machine {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

std::string CleanLine(std::string_view line, bool compact)
{
    std::string text;
    text.reserve(line.size());
    bool inParenthesis = false;
    for (const char c : line) {
        if (inParenthesis) {
            inParenthesis = c != ')';
        } else if (c == '(') {
            inParenthesis = true;
        } else if (c == ';') {
            break;
        } else if (!(compact && IsBlank(c))) {
            text.push_back(c == '\r' || c == '\n' ? ' ' : c);
        }
    }
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string NumberedLine(std::int64_t number, std::string_view command)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    std::string line = "N";
    line.append(digits, end).append(" ").append(command);
    const auto sumEnd = std::to_chars(digits, digits + sizeof digits, int{LineChecksum(line)}).ptr;
    line.append("*").append(digits, sumEnd);
    return line;
}

std::optional<double> DwellMilliseconds(std::string_view command)
{
    if (command.size() < 2 || (command[0] != 'G' && command[0] != 'g')) {
        return std::nullopt;
    }
    std::size_t pos = 1;
    while (pos < command.size() && command[pos] == '0') {
        ++pos;
    }
    if (pos >= command.size() || command[pos] != '4' ||
        (pos + 1 < command.size() && command[pos + 1] >= '0' && command[pos + 1] <= '9')) {
        return std::nullopt;
    }
    for (++pos; pos < command.size(); ++pos) {
        const char word = command[pos];
        if (word != 'P' && word != 'p' && word != 'S' && word != 's') {
            continue;
        }
        double value = 0;
        const auto [end, error] =
            std::from_chars(command.data() + pos + 1, command.data() + command.size(), value);
        if (error == std::errc{} && end != command.data() + pos + 1) {
            return word == 'P' || word == 'p' ? value : value * 1000.0;
        }
    }
    return 0.0;
}

}  // namespace pyrolith::machine
