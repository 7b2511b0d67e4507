#include "machine/GrblText.h"

#include <array>
#include <charconv>

namespace pyrolith::machine {

namespace {

constexpr std::array<std::string_view, 39> kErrors = {
    "",
    "Expected command letter: G-code words consist of a letter and a value. Letter was not found.",
    "Bad number format: missing the expected G-code word value or numeric value format is not valid.",
    "Invalid statement: Grbl '$' system command was not recognized or supported.",
    "Value < 0: negative value received for an expected positive value.",
    "Setting disabled: homing cycle failure. Homing is not enabled via settings.",
    "Value < 3 usec: minimum step pulse time must be greater than 3usec.",
    "EEPROM read fail. Using defaults: an EEPROM read failed. Auto-restoring affected EEPROM to default values.",
    "Not idle: Grbl '$' command cannot be used unless Grbl is IDLE. Ensures smooth operation during a job.",
    "G-code lock: G-code commands are locked out during alarm or jog state.",
    "Homing not enabled: soft limits cannot be enabled without homing also enabled.",
    "Line overflow: max characters per line exceeded. Received command line was not executed.",
    "Step rate > 30kHz: Grbl '$' setting value cause the step rate to exceed the maximum supported.",
    "Check Door: safety door detected as opened and door state initiated.",
    "Line length exceeded: build info or startup line exceeded EEPROM line length limit. Line not stored.",
    "Travel exceeded: jog target exceeds machine travel. Jog command has been ignored.",
    "Invalid jog command: jog command has no '=' or contains prohibited g-code.",
    "Setting disabled: laser mode requires PWM output.",
    "",
    "",
    "Unsupported command: unsupported or invalid g-code command found in block.",
    "Modal group violation: more than one g-code command from same modal group found in block.",
    "Undefined feed rate: feed rate has not yet been set or is undefined.",
    "Invalid gcode ID:23: g-code command in block requires an integer value.",
    "Invalid gcode ID:24: more than one g-code command that requires axis words found in block.",
    "Invalid gcode ID:25: repeated g-code word found in block.",
    "Invalid gcode ID:26: no axis words found in block for g-code command or current modal state which requires them.",
    "Invalid gcode ID:27: line number value is invalid.",
    "Invalid gcode ID:28: g-code command is missing a required value word.",
    "Invalid gcode ID:29: G59.x work coordinate systems are not supported.",
    "Invalid gcode ID:30: G53 only allowed with G0 and G1 motion modes.",
    "Invalid gcode ID:31: axis words found in block when no command or current modal state uses them.",
    "Invalid gcode ID:32: G2 and G3 arcs require at least one in-plane axis word.",
    "Invalid gcode ID:33: motion command target is invalid.",
    "Invalid gcode ID:34: arc radius value is invalid.",
    "Invalid gcode ID:35: G2 and G3 arcs require at least one in-plane offset word.",
    "Invalid gcode ID:36: unused value words found in block.",
    "Invalid gcode ID:37: G43.1 dynamic tool length offset is not assigned to configured tool length axis.",
    "Invalid gcode ID:38: tool number greater than max supported value.",
};

constexpr std::array<std::string_view, 10> kAlarms = {
    "",
    "Hard limit triggered. Machine position is likely lost due to sudden and immediate halt. Re-homing is highly recommended.",
    "G-code motion target exceeds machine travel. Machine position safely retained. Alarm may be unlocked.",
    "Reset while in motion. Grbl cannot guarantee position. Lost steps are likely. Re-homing is highly recommended.",
    "Probe fail. The probe is not in the expected initial state before starting probe cycle.",
    "Probe fail. Probe did not contact the workpiece within the programmed travel.",
    "Homing fail. Reset during active homing cycle.",
    "Homing fail. Safety door was opened during active homing cycle.",
    "Homing fail. Cycle failed to clear limit switch when pulling off. Try increasing pull-off setting or check wiring.",
    "Homing fail. Could not find limit switch within search distance.",
};

template <std::size_t N>
std::string_view Lookup(const std::array<std::string_view, N>& table, int code)
{
    return code > 0 && static_cast<std::size_t>(code) < N ? table[static_cast<std::size_t>(code)]
                                                          : std::string_view{};
}

std::optional<int> ReadInt(std::string_view text)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// "1.000,-2.5,0" into three numbers.
bool ReadPosition(std::string_view text, MachineStatus& status)
{
    double values[3] = {0, 0, 0};
    const char* pos = text.data();
    const char* const end = text.data() + text.size();
    for (int axis = 0; axis < 3; ++axis) {
        const auto result = std::from_chars(pos, end, values[axis]);
        if (result.ec != std::errc{}) {
            return false;
        }
        pos = result.ptr;
        if (axis < 2) {
            if (pos == end || *pos != ',') {
                return false;
            }
            ++pos;
        }
    }
    status.hasPosition = true;
    status.x = values[0];
    status.y = values[1];
    status.z = values[2];
    return true;
}

}  // namespace

std::string_view GrblErrorText(int code)
{
    return Lookup(kErrors, code);
}

std::string_view GrblAlarmText(int code)
{
    return Lookup(kAlarms, code);
}

std::string ExplainGrblAnswer(std::string_view answer)
{
    std::string text(answer);
    const auto colon = answer.find(':');
    if (colon == std::string_view::npos) {
        return text;
    }
    const auto code = ReadInt(answer.substr(colon + 1));
    if (!code) {
        return text;
    }
    const std::string_view explanation = answer.substr(0, colon) == "error"
                                              ? GrblErrorText(*code)
                                              : GrblAlarmText(*code);
    if (!explanation.empty()) {
        text.append(" (").append(explanation).append(")");
    }
    return text;
}

std::optional<GrblReport> ParseGrblStatus(std::string_view line)
{
    if (line.size() < 3 || line.front() != '<' || line.back() != '>') {
        return std::nullopt;
    }
    std::string_view body = line.substr(1, line.size() - 2);
    GrblReport report;
    bool first = true;
    while (!body.empty()) {
        const auto bar = body.find('|');
        const std::string_view field = body.substr(0, bar);
        body = bar == std::string_view::npos ? std::string_view{} : body.substr(bar + 1);
        if (first) {
            if (field.empty()) {
                return std::nullopt;
            }
            report.status.state = std::string(field);
            first = false;
        } else if (field.substr(0, 5) == "MPos:" || field.substr(0, 5) == "WPos:") {
            if (!ReadPosition(field.substr(5), report.status)) {
                return std::nullopt;
            }
        } else if (field.substr(0, 3) == "Bf:") {
            const auto comma = field.find(',');
            if (comma != std::string_view::npos) {
                report.freeRxBytes = ReadInt(field.substr(comma + 1));
            }
        }
    }
    if (first) {
        return std::nullopt;
    }
    return report;
}

}  // namespace pyrolith::machine
