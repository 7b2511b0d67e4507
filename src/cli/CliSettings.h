#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

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

// A command line that cannot be carried out as written (exit status 2).
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The job settings of --profile FILE (may be empty) and the --set KEY=VALUE assignments, on
// top of the first-run settings. Throws UsageError for a malformed or unknown --set and
// pyrolith::Error ("Profile not found: FILE") when the profile cannot be read.
JobSettings SettingsFromOptions(const std::string& profile,
                                const std::vector<std::string>& assignments);

}  // namespace pyrolith::cli
