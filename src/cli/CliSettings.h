#pragma once

#include <string>
#include <string_view>

#include "settings/JobSettings.h"

namespace pyrolith::cli {

// Every stored field of the job at its "missing in profile" value, as on a first run.
JobSettings FirstRunSettings();

// Applies one --set KEY=VALUE. KEY is a profile key (any letter case) or one of the two
// fields kept in no file. A flag reads as the profile reader reads it (a value that is not
// a whole number leaves the flag's profile default); a text is taken as given, and in the
// lines fields the characters U+00FF and U+00FE become CR and LF, as in the files.
// Returns false when the key is unknown.
bool ApplySetting(JobSettings& settings, std::string_view key, std::string_view value);

}  // namespace pyrolith::cli
