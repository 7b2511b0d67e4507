#include "cli/CliSettings.h"

#include "common/PathText.h"

#include <filesystem>

#include "common/AsciiCase.h"
#include "common/Error.h"
#include "settings/SettingsFields.h"
#include "settings/SettingsFiles.h"

namespace pyrolith::cli {
namespace {


std::string LinesFromFileForm(std::string_view value)
{
    std::string text;
    text.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        // U+00FF and U+00FE are C3 BF and C3 BE in UTF-8.
        if (value[i] == '\xC3' && i + 1 < value.size() &&
            (value[i + 1] == '\xBF' || value[i + 1] == '\xBE')) {
            text += value[i + 1] == '\xBF' ? '\r' : '\n';
            ++i;
        } else {
            text += value[i];
        }
    }
    return text;
}

}  // namespace

JobSettings FirstRunSettings()
{
    JobSettings job;
    AppSettings app;
    for (const FieldInfo& field : StoredFields()) {
        if (!field.inJobSettings() || !field.missingInProfile) {
            continue;
        }
        if (field.isFlag()) {
            *FlagOf(field, job, app) = *field.missingInProfile == "1";
        } else {
            *TextOf(field, job, app) = std::string(*field.missingInProfile);
        }
    }
    return job;
}

bool ApplySetting(JobSettings& settings, std::string_view key, std::string_view value)
{
    if (EqualNoCase(key, "IndicateLeftCenter")) {
        settings.IndicateLeftCenter = ParseFlagText(value).value_or(false);
        return true;
    }
    if (EqualNoCase(key, "LeftCenterDwellTime")) {
        settings.LeftCenterDwellTime = std::string(value);
        return true;
    }
    const FieldInfo* field = FindStoredField(key);
    if (field == nullptr || !field->inJobSettings()) {
        return false;
    }
    AppSettings unused;
    if (field->isFlag()) {
        const bool fallback = field->missingInProfile.value_or(field->windowValue) == "1";
        *FlagOf(*field, settings, unused) = ParseFlagText(value).value_or(fallback);
    } else if (field->kind == FieldKind::Lines) {
        *TextOf(*field, settings, unused) = LinesFromFileForm(value);
    } else {
        *TextOf(*field, settings, unused) = std::string(value);
    }
    // The laser choice and its old key stay in step: the last one set holds.
    if (field->key == "PrinterLaserMode") {
        const std::optional<PrinterLaser> chosen = ParsePrinterLaser(value);
        if (!chosen) {
            throw UsageError("PrinterLaserMode is 0, 1, 2 or 3, not '" + std::string(value) +
                             "'");
        }
        SetPrinterLaser(settings, *chosen);
    } else if (field->key == "SyncLaserCommands") {
        const PrinterLaser now = PrinterLaserOf(settings);
        SetPrinterLaser(settings, settings.SyncLaserCommands ? PrinterLaser::WaitForMoves
                                  : now == PrinterLaser::WaitForMoves ? PrinterLaser::FanCommands
                                                                       : now);
    }
    return true;
}

JobSettings SettingsFromOptions(const std::string& profile,
                                const std::vector<std::string>& assignments)
{
    std::vector<std::pair<std::string, std::string>> sets;
    for (const std::string& assignment : assignments) {
        const auto equals = assignment.find('=');
        if (equals == std::string::npos) {
            throw UsageError("--set needs KEY=VALUE, got '" + assignment + "'");
        }
        sets.emplace_back(assignment.substr(0, equals), assignment.substr(equals + 1));
    }
    JobSettings settings = FirstRunSettings();
    if (!profile.empty()) {
        std::error_code error;
        const std::filesystem::path profilePath = PathFromUtf8(profile);
        if (!std::filesystem::is_regular_file(profilePath, error)) {
            throw Error("Profile not found: " + profile);
        }
        AppSettings unused;
        LoadChosenProfile(profilePath, settings, unused);
    }
    for (const auto& [key, value] : sets) {
        if (!ApplySetting(settings, key, value)) {
            throw UsageError("unknown setting '" + key + "'");
        }
    }
    return settings;
}

}  // namespace pyrolith::cli
