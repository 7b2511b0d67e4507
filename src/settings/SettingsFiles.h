#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "settings/JobSettings.h"

namespace pyrolith {

// The settings file and profile files: INI text, section "Values", Windows-1252 on disk.
// After a read the caller refreshes whatever shows the records (the window re-reads every
// field, applies the unit and the final size and clears its modified marker).

// The start-up read of the settings file: every stored key but InitialCutHeight, each with
// its "missing in settings file" default. A missing or unreadable file reads as empty.
// Does not load the profile: the caller does, when app.AutoLoadProfile is true.
void ReadSettingsFile(const std::filesystem::path& path, JobSettings& job, AppSettings& app);

// Reads a profile into the job settings (every key of JobSettings but InitialCutHeight, with
// the "missing in profile" defaults; a missing file reads as empty) and makes it current:
// app.Profile becomes path.
void LoadProfile(const std::filesystem::path& path, JobSettings& job, AppSettings& app);

// The profile label: the file name without folder and extension.
std::string ProfileLabel(const std::filesystem::path& path);

// Writes all 52 keys into the file, keeping every line the program does not write, and
// replaces the file in one step. Throws pyrolith::Error("Unable to write to <path>").
void MakeIniFile(const std::filesystem::path& path, const JobSettings& job,
                 const AppSettings& app);

// Writes the given keys of section "Values" the same way (the main window's closing write of
// InitialOpenDir and InitialSaveDir).
void WriteIniValues(const std::filesystem::path& path,
                    const std::vector<std::pair<std::string, std::string>>& values);

}  // namespace pyrolith
