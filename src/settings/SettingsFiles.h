#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "settings/IniDocument.h"
#include "settings/JobSettings.h"

namespace pyrolith {

// The settings file and profile files: INI text (see IniDocument.h), section "Values",
// Windows-1252 on disk. After a read the caller refreshes whatever shows the records (the
// window re-reads every field, applies the unit and the final size and clears its modified
// marker); the reads themselves only assign the fields.

inline constexpr std::string_view kSettingsSection = "Values";

// Which reader reads a file: each has its own keys and its own defaults for missing keys.
enum class SettingsReader { SettingsFile, Profile };

// Assigns every field the reader reads, from section "Values" of the document: the value
// read, or the reader's default when the key is missing (for a flag also when the value is
// not a whole number). The lines fields get CR and LF back from the characters 255 and 254.
void ReadStoredFields(const IniDocument& document, SettingsReader reader, JobSettings& job,
                      AppSettings& app);

// Sets all keys in section "Values", in the order of the table of stored fields, as
// MakeIniFile writes them: flags "1" or "0", texts as they are, CR and LF of the lines
// fields as the characters 255 and 254. A text that begins or ends with a blank or a quote
// (" or ') is written in double quotes, so that it reads back as it was.
void SetStoredFields(IniDocument& document, const JobSettings& job, const AppSettings& app);

// The start-up read of the settings file: every stored key, each with its "missing in
// settings file" default. A missing, unreadable or oversized file reads as empty; nothing is
// reported. Does not load the profile: the caller does, when
// app.AutoLoadProfile is true (also when app.Profile is empty or names no file).
void ReadSettingsFile(const std::filesystem::path& path, JobSettings& job, AppSettings& app);

// Reads a profile into the job settings (every key of JobSettings, with the "missing in
// profile" defaults; a missing or unreadable file reads as empty) and makes it current: app.Profile becomes path. Nothing else of app changes, nor the fields kept in
// no file (IndicateLeftCenter, LeftCenterDwellTime).
void LoadProfile(const std::filesystem::path& path, JobSettings& job, AppSettings& app);

// The Load Profile command's read: a file the user picked must be a profile. One that cannot
// be read throws pyrolith::Error "Unable to read <path>", one without the section "Values"
// (a wrong file picked) "'<path>' is not a profile: it has no [Values] section"; either way
// nothing changes. Otherwise as LoadProfile.
void LoadChosenProfile(const std::filesystem::path& path, JobSettings& job, AppSettings& app);

// The profile label: the file name without folder and extension. Both '/' and '\' separate
// folders, as a settings file brought from Windows names its profile with '\'.
std::string ProfileLabel(const std::filesystem::path& path);

// Writes all keys into the file, keeping every line the program does not write, and
// replaces the file in one step: the new text is built in memory, written to a temporary
// file beside it and renamed over it, so a failure at any point leaves the old file as it
// was. A symbolic link is followed: its target is replaced and the link stays. A file that
// may not be written (read-only, in a folder without write permission), an existing file
// that cannot be read (its lines could not be kept) or one too large to be a settings file
// is left untouched. Throws pyrolith::Error("Unable to write to <path>") on any failure.
void MakeIniFile(const std::filesystem::path& path, const JobSettings& job, const AppSettings& app);

// Writes the given keys of section "Values" the same way (the main window's closing write of
// InitialOpenDir and InitialSaveDir). Values are UTF-8 texts as the records hold them; a
// key of a lines field gets its line breaks as the characters 255 and 254.
void WriteIniValues(const std::filesystem::path& path,
                    const std::vector<std::pair<std::string, std::string>>& values);

} // namespace pyrolith
