#include "settings/SettingsFiles.h"

#include <functional>
#include <new>
#include <system_error>

#include "common/AtomicFile.h"
#include "common/Error.h"
#include "common/PathText.h"
#include "settings/SettingsFields.h"

namespace pyrolith {
namespace {

// The line break characters of the lines fields in a file: CR is written as the character
// 255 (y with diaeresis) and LF as 254 (thorn), here in UTF-8; on disk the bytes FF and FE.
constexpr std::string_view kCrInFile = "\xC3\xBF";
constexpr std::string_view kLfInFile = "\xC3\xBE";

std::string LinesToFile(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '\r') {
            out += kCrInFile;
        } else if (c == '\n') {
            out += kLfInFile;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string LinesFromFile(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::string_view rest = text.substr(i);
        if (rest.starts_with(kCrInFile)) {
            out.push_back('\r');
            ++i;
        } else if (rest.starts_with(kLfInFile)) {
            out.push_back('\n');
            ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// A value as a file holds it: the lines fields with their line breaks as characters; a value
// that begins or ends with a blank or a quote in double quotes, which the reader removes
// again (it would otherwise lose the blanks, or a pair of quotes of its own).
std::string ValueForFile(bool lines, std::string_view value)
{
    std::string text = lines ? LinesToFile(value) : std::string(value);
    const auto edge = [](char c) {
        return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '"' || c == '\'';
    };
    if (!text.empty() && (edge(text.front()) || edge(text.back()))) {
        text = '"' + text + '"';
    }
    return text;
}

const std::optional<std::string_view>& DefaultFor(const FieldInfo& field, SettingsReader reader)
{
    return reader == SettingsReader::SettingsFile ? field.missingInSettingsFile
                                                  : field.missingInProfile;
}

// Replaces the file at path with the document read from it and filled by fill.
void WriteIniFile(const std::filesystem::path& path, const std::function<void(IniDocument&)>& fill)
{
    const Error failure("Unable to write to " + Utf8FromPath(path));
    try {
        std::filesystem::path target = path;
        std::error_code error;
        if (std::filesystem::is_symlink(path, error)) {
            std::filesystem::path resolved = std::filesystem::canonical(path, error);
            if (!error) {
                target = std::move(resolved);
            }
        }
        IniFile file = ReadIniFile(target);
        if (file.state == IniFileState::Refused) {
            throw failure;
        }
        fill(file.document);
        const std::string bytes = file.document.Serialize();
        if (bytes.size() > kMaxIniFileSize) {
            throw failure; // it would not be read back
        }
        AtomicFile out(target);
        out.write(bytes);
        out.commit();
    } catch (const Error&) {
        throw failure;
    } catch (const std::bad_alloc&) {
        throw failure;
    } catch (const std::filesystem::filesystem_error&) {
        throw failure;
    }
}

} // namespace

void ReadStoredFields(const IniDocument& document, SettingsReader reader, JobSettings& job,
                      AppSettings& app)
{
    std::vector<const FieldInfo*> fields;
    std::vector<std::string_view> keys;
    for (const FieldInfo& field : StoredFields()) {
        if (DefaultFor(field, reader)) {
            fields.push_back(&field);
            keys.push_back(field.key);
        }
    }
    const std::vector<std::optional<std::string>> values = document.Values(kSettingsSection, keys);
    std::optional<bool> laserModeGiven;  // whether the file has PrinterLaserMode
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const FieldInfo& field = *fields[i];
        if (field.key == "PrinterLaserMode") {
            laserModeGiven = values[i].has_value();
        }
        const std::string_view fallback = *DefaultFor(field, reader);
        const std::optional<std::string>& value = values[i];
        if (field.isFlag()) {
            const std::optional<bool> flag = value ? ParseFlagText(*value) : std::nullopt;
            *FlagOf(field, job, app) = flag.value_or(fallback == "1");
        } else if (field.kind == FieldKind::Lines) {
            *TextOf(field, job, app) = LinesFromFile(value ? *value : fallback);
        } else {
            *TextOf(field, job, app) = value ? *value : std::string(fallback);
        }
    }
    if (laserModeGiven == false && job.SyncLaserCommands) {
        // A file of an earlier version: its M400 option is the M400 choice.
        SetPrinterLaser(job, PrinterLaser::WaitForMoves);
    }
}

void SetStoredFields(IniDocument& document, const JobSettings& job, const AppSettings& app)
{
    for (const FieldInfo& field : StoredFields()) {
        document.Set(kSettingsSection, field.key,
                     ValueForFile(field.kind == FieldKind::Lines, ValueText(field, job, app)));
    }
}

void ReadSettingsFile(const std::filesystem::path& path, JobSettings& job, AppSettings& app)
{
    ReadStoredFields(ReadIniFile(path).document, SettingsReader::SettingsFile, job, app);
}

void LoadProfile(const std::filesystem::path& path, JobSettings& job, AppSettings& app)
{
    ReadStoredFields(ReadIniFile(path).document, SettingsReader::Profile, job, app);
    app.Profile = Utf8FromPath(path);
}

void LoadChosenProfile(const std::filesystem::path& path, JobSettings& job, AppSettings& app)
{
    const IniFile file = ReadIniFile(path);
    if (file.state == IniFileState::Refused) {
        throw Error("Unable to read " + path.string());
    }
    if (!file.document.HasSection(kSettingsSection)) {
        throw Error("'" + path.string() + "' is not a profile: it has no [Values] section");
    }
    ReadStoredFields(file.document, SettingsReader::Profile, job, app);
    app.Profile = path.string();
}

std::string ProfileLabel(const std::filesystem::path& path)
{
    const std::string whole = Utf8FromPath(path);
    std::string_view name = whole;
    const std::size_t slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos) {
        name.remove_prefix(slash + 1);
    }
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos) {
        name = name.substr(0, dot);
    }
    return std::string(name);
}

void MakeIniFile(const std::filesystem::path& path, const JobSettings& job, const AppSettings& app)
{
    WriteIniFile(path, [&](IniDocument& document) { SetStoredFields(document, job, app); });
}

void WriteIniValues(const std::filesystem::path& path,
                    const std::vector<std::pair<std::string, std::string>>& values)
{
    WriteIniFile(path, [&](IniDocument& document) {
        for (const auto& [key, value] : values) {
            const FieldInfo* field = FindStoredField(key);
            const bool lines = field != nullptr && field->kind == FieldKind::Lines;
            document.Set(kSettingsSection, field != nullptr ? field->key : key,
                         ValueForFile(lines, value));
        }
    });
}

} // namespace pyrolith
