#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "settings/JobSettings.h"

namespace pyrolith {

// What a field holds and how the window lets it be typed.
enum class FieldKind {
    Flag,           // check box or radio pair
    Command,        // one line of G-code copied into the job unchanged
    Text,           // one line of free text
    Lines,          // several lines, CR LF between them
    Whole,          // whole number as text (key filter IntOnly)
    Decimal,        // decimal number as text (IntOrFloatOnly)
    SignedDecimal,  // decimal that may be negative (IntOrFloatorNegOnly)
};

using FieldMember = std::variant<bool JobSettings::*, std::string JobSettings::*,
                                 bool AppSettings::*, std::string AppSettings::*>;

// One stored key. Flag values in the value columns are "1" and "0". An empty optional in a
// "missing" column means that reader does not read the key at all.
struct FieldInfo {
    std::string_view key;          // the key in the files, and the field's name
    std::string_view control;      // object name of the settings window's control; empty: none
    std::string_view pairControl;  // the second radio button of a pair, checked when false
    FieldKind kind;
    FieldMember member;
    std::string_view windowValue;
    std::optional<std::string_view> missingInSettingsFile;
    std::optional<std::string_view> missingInProfile;

    bool isFlag() const { return kind == FieldKind::Flag; }
    bool inJobSettings() const
    {
        return std::holds_alternative<bool JobSettings::*>(member) ||
               std::holds_alternative<std::string JobSettings::*>(member);
    }
};

// The 59 stored keys, once each, in the order the files are written.
std::span<const FieldInfo> StoredFields();

// The key, matched without regard to letter case; nullptr when unknown.
const FieldInfo* FindStoredField(std::string_view key);

// Access to the field of the records that a table row names. FlagOf returns nullptr for a
// text field and TextOf for a flag.
bool* FlagOf(const FieldInfo& field, JobSettings& job, AppSettings& app);
std::string* TextOf(const FieldInfo& field, JobSettings& job, AppSettings& app);
bool FlagOf(const FieldInfo& field, const JobSettings& job, const AppSettings& app);
const std::string& TextOf(const FieldInfo& field, const JobSettings& job, const AppSettings& app);

// A field's value as the files write it: "1"/"0" for flags, the text itself otherwise.
std::string ValueText(const FieldInfo& field, const JobSettings& job, const AppSettings& app);

// A flag as the files store it: a whole number, hexadecimal after "0x" or "0X" when the
// text is longer than two characters; any number but 0 is true. Empty for a text that is not
// a whole number (an empty text included): the reader then takes the flag's default.
std::optional<bool> ParseFlagText(std::string_view text);

}  // namespace pyrolith
