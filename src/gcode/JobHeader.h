#pragma once

#include <optional>
#include <string_view>

#include "gcode/JobContext.h"
#include "gcode/JobSink.h"
#include "gcode/JobWriter.h"

namespace pyrolith {

// The settings summary that opens every job: one comment line per setting, then one empty
// line.
void WriteHeader(JobSink& sink, const JobContext& context, const JobSettings& settings,
                 const JobEnvironment& environment);

// The flavor a job of this program names in its header: the lines before the first empty
// line, the first few of which name the program ("Pyrolith v..."), hold "Using GRBL flavor"
// or "Using 3D Printer flavor" between the comment characters. Nothing for any other text.
// `text` may be the first part of a file only.
std::optional<GcodeFlavor> FlavorNamedInHeader(std::string_view text);

} // namespace pyrolith
