#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "machine/MachineSession.h"

namespace pyrolith::machine {

// GRBL's own explanation of "error:N" and "ALARM:N"; empty for a code it does not define.
std::string_view GrblErrorText(int code);
std::string_view GrblAlarmText(int code);

// "error:22 (Undefined feed rate: ...)" and "ALARM:1 (Hard limit triggered. ...)": the
// answer with its explanation; the answer alone when the code is unknown or not a number.
std::string ExplainGrblAnswer(std::string_view answer);

// A status report "<Run|MPos:1.000,2.000,0.000|Bf:15,128|FS:0,0>" read into a status: the
// state and the machine position (MPos), or the work position (WPos) when the report
// carries that instead. Empty when the line is not a well-formed report.
struct GrblReport {
    MachineStatus status;
    std::optional<int> freeRxBytes;  // the "Bf:" field's second number
};
std::optional<GrblReport> ParseGrblStatus(std::string_view line);

}  // namespace pyrolith::machine
