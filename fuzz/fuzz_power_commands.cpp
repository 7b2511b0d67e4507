// Reads any bytes as the three settings of grey engraving (the on command, PowerLevels and
// MinPower, one per line) and checks the on command of every level: refused with the user's
// message, or one command per level with the S number in place and full power at the top.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/Error.h"
#include "common/NumberText.h"
#include "gcode/LaserPower.h"

namespace {

void Check(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace pyrolith;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> fields(3);
    std::size_t field = 0;
    for (const char c : bytes) {
        if (c == '\n' && field < 2) {
            ++field;
        } else {
            fields[field] += c;
        }
    }
    JobSettings settings;
    settings.LaserOnCommand = fields[0];
    settings.PowerLevels = fields[1];
    settings.MinPower = fields[2];

    const auto word = FindSWord(fields[0]);
    if (word) {
        Check(word->begin >= 1 && word->begin < word->end && word->end <= fields[0].size());
        Check(fields[0][word->begin - 1] == 'S' || fields[0][word->begin - 1] == 's');
    }
    try {
        const std::vector<std::string> commands = PowerCommands(settings, fields[0], '.');
        Check(word.has_value() && commands.size() >= 2 && commands.size() <= 256);
        Check(commands[0].empty());
        const std::string_view before = std::string_view(fields[0]).substr(0, word->begin);
        const std::string_view after = std::string_view(fields[0]).substr(word->end);
        for (std::size_t level = 1; level < commands.size(); ++level) {
            const std::string_view command = commands[level];
            Check(command.substr(0, before.size()) == before);
            Check(command.size() >= before.size() + after.size());
            Check(command.substr(command.size() - after.size()) == after);
        }
        Check(commands.back() ==
              std::string(before) + PlainNumber(word->value, 12) + std::string(after));
    } catch (const Error& error) {
        Check(!error.fieldKey().empty());
    }
    return 0;
}
