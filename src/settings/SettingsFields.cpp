#include "settings/SettingsFields.h"

#include <array>
#include <charconv>

#include "common/AsciiCase.h"

namespace pyrolith {
namespace {

using J = JobSettings;
using A = AppSettings;
using K = FieldKind;
using S = std::optional<std::string_view>;

constexpr S kNotRead = std::nullopt;

// clang-format off
const std::array<FieldInfo, 77> kFields = {{
    // key                    control                 pair control           kind              member                     window       settings file  profile
    {"UseInches",            "rdoInches",            "rdoMm",               K::Flag,          &J::UseInches,             "1",         "0",           "0"},
    {"DistPerPixel",         "edtDperPixel",         "",                    K::Decimal,       &J::DistPerPixel,          "0.1",       "0.1",         "0.1"},
    {"HalfStepHeight",       "chkHalfStepHeight",    "",                    K::Flag,          &J::HalfStepHeight,        "1",         "0",           "0"},
    {"LaserOffCommand",      "edtLaserOffCommand",   "",                    K::Command,       &J::LaserOffCommand,       "",          "M107",        "M107"},
    {"LaserOnCommand",       "edtLaserOnCommand",    "",                    K::Command,       &J::LaserOnCommand,        "",          "M106 S255",   "M106 S255"},
    {"LaserLowPower",        "edtLaserLowPower",     "",                    K::Command,       &J::LaserLowPower,         "",          "M106 S15",    "M106 S15"},
    {"LaserCutPower",        "edtCutPower",          "",                    K::Command,       &J::LaserCutPower,         "M106 S255", "M106 S255",   "M106 S255"},
    {"UseG0",                "chkUseG0",             "",                    K::Flag,          &J::UseG0,                 "0",         "0",           "0"},
    {"StartComment",         "edtStartComment",      "",                    K::Text,          &J::StartComment,          "",          "; ",          "; "},
    {"EndComment",           "edtEndComment",        "",                    K::Text,          &J::EndComment,            "",          "",            ""},
    {"OffSpeed",             "edtOffSpeed",          "",                    K::Decimal,       &J::OffSpeed,              "10",        "1500",        "1500"},
    {"OnSpeed",              "edtOnSpeed",           "",                    K::Decimal,       &J::OnSpeed,               "10",        "500",         "200"},
    {"CutSpeed",             "edtCutSpeed",          "",                    K::Decimal,       &J::CutSpeed,              "100",       "250",         "250"},
    {"ZSpeed",               "edtZSpeed",            "",                    K::Decimal,       &J::ZSpeed,                "200",       "200",         "200"},
    {"TraceSpeed",           "edtTraceSpeed",        "",                    K::Decimal,       &J::TraceSpeed,            "200",       "1200",        "1200"},
    {"Optimize",             "rdoOptimized",         "rdoRasterX",          K::Flag,          &J::Optimize,              "1",         "1",           "1"},
    {"GoHome",               "chkDoHome",            "",                    K::Flag,          &J::GoHome,                "0",         "0",           "0"},
    {"HomeCommand",          "edtHomeCommand",       "",                    K::Command,       &J::HomeCommand,           "G28",       "G28",         "G28"},
    {"GoStartHeight",        "chkSetStartHeight",    "",                    K::Flag,          &J::GoStartHeight,         "0",         "0",           "0"},
    {"StartHeight",          "edtStartHeight",       "",                    K::Decimal,       &J::StartHeight,           "26",        "20",          "20"},
    {"IndicateCenter",       "chkDoCenter",          "",                    K::Flag,          &J::IndicateCenter,        "0",         "1",           "1"},
    {"DwellTime",            "edtDwellTime",         "",                    K::Whole,         &J::DwellTime,             "5000",      "5000",        "5000"},
    {"IndicateFrontCenter",  "chkDoFrontCenter",     "",                    K::Flag,          &J::IndicateFrontCenter,   "0",         "1",           "1"},
    {"FrontCenterDwellTime", "edtDwellTime2",        "",                    K::Whole,         &J::FrontCenterDwellTime,  "5000",      "5000",        "5000"},
    {"IndicateBoundary",     "chkDoBoundary",        "",                    K::Flag,          &J::IndicateBoundary,      "0",         "1",           "1"},
    {"SupressImage",         "chkNoImage",           "",                    K::Flag,          &J::SupressImage,          "0",         "0",           "0"},
    {"UseXOffset",           "chkXoffset",           "",                    K::Flag,          &J::UseXOffset,            "1",         "0",           "0"},
    {"XOffset",              "edtXOffset",           "",                    K::SignedDecimal, &J::XOffset,               "100",       "0",           "0"},
    {"UseYOffset",           "chkYOffset",           "",                    K::Flag,          &J::UseYOffset,            "1",         "0",           "0"},
    {"YOffset",              "edtYOffset",           "",                    K::SignedDecimal, &J::YOffset,               "100",       "0",           "0"},
    {"RepeatImage",          "chkRepeatImage",       "",                    K::Flag,          &J::RepeatImage,           "0",         "0",           "0"},
    {"RepeatImageTimes",     "edtImageRepeats",      "",                    K::Whole,         &J::RepeatImageTimes,      "3",         "2",           "2"},
    {"Precision",            "chkPrecision",         "",                    K::Flag,          &J::Precision,             "1",         "0",           "0"},
    {"FakeExtrusion",        "chkFake",              "",                    K::Flag,          &J::FakeExtrusion,         "0",         "0",           "0"},
    {"Backlash",             "chkBacklash",          "",                    K::Flag,          &J::Backlash,              "1",         "0",           "0"},
    {"BacklashVal",          "edtBacklash",          "",                    K::Decimal,       &J::BacklashVal,           "1",         "0.5",         "0.5"},
    {"IncludeCut",           "chkAddPerimeterCut",   "",                    K::Flag,          &J::IncludeCut,            "0",         "0",           "0"},
    {"Outline",              "rdoCutOutlineBorder",  "rdoCutOutlineImage",  K::Flag,          &J::Outline,               "0",         "1",           "1"},
    {"NumRepeats",           "edtNumReps",           "",                    K::Whole,         &J::NumRepeats,            "6",         "1",           "1"},
    {"InitialCutHeight",     "edtInitialCutHeight",  "",                    K::Decimal,       &J::InitialCutHeight,      "26",        "26",          "26"},
    {"DoAdvDown",            "chkAdvDown",           "",                    K::Flag,          &J::DoAdvDown,             "1",         "0",           "0"},
    {"AdvDownAmount",        "edtAdvDown",           "",                    K::Decimal,       &J::AdvDownAmount,         "1",         "0.2",         "0.2"},
    {"GRBL",                 "rdoGRBL",              "rdoPrinter",          K::Flag,          &J::GRBL,                  "0",         "0",           "0"},
    {"AutoLoadProfile",      "chkAutoLoadProfile",   "",                    K::Flag,          &A::AutoLoadProfile,       "0",         "1",           kNotRead},
    {"Profile",              "",                     "",                    K::Text,          &A::Profile,               "",          "",            kNotRead},
    {"InitialOpenDir",       "",                     "",                    K::Text,          &A::InitialOpenDir,        "",          "",            kNotRead},
    {"InitialSaveDir",       "",                     "",                    K::Text,          &A::InitialSaveDir,        "",          "",            kNotRead},
    {"UseStartOfCode",       "chkStartOfCode",       "",                    K::Flag,          &J::UseStartOfCode,        "0",         "0",           "0"},
    {"StartOfCode",          "Memo1",                "",                    K::Lines,         &J::StartOfCode,           "",          "",            ""},
    {"UseEndOfCode",         "chkEndOfCode",         "",                    K::Flag,          &J::UseEndOfCode,          "0",         "0",           "0"},
    {"EndOfCode",            "Memo2",                "",                    K::Lines,         &J::EndOfCode,             "",          "",            ""},
    {"ProfileNotes",         "Memo3",                "",                    K::Lines,         &J::ProfileNotes,          "",          "",            ""},
    {"ImageMode",            "cboImageMode",         "",                    K::Choice,        &J::ImageMode,             "Palette",   "Palette",     "Palette"},
    {"Threshold",            "edtThreshold",         "",                    K::Whole,         &J::Threshold,             "128",       "128",         "128"},
    {"Brightness",           "edtBrightness",        "",                    K::SignedDecimal, &J::Brightness,            "0",         "0",           "0"},
    {"Contrast",             "edtContrast",          "",                    K::SignedDecimal, &J::Contrast,              "0",         "0",           "0"},
    {"Gamma",                "edtGamma",             "",                    K::Decimal,       &J::Gamma,                 "1",         "1",           "1"},
    {"Invert",               "chkInvert",            "",                    K::Flag,          &J::Invert,                "0",         "0",           "0"},
    {"ResizeWidth",          "edtResizeWidth",       "",                    K::Decimal,       &J::ResizeWidth,           "",          "",            ""},
    {"MaxRateX",             "edtMaxRateX",          "",                    K::Decimal,       &J::MaxRateX,              "6000",      "6000",        "6000"},
    {"MaxRateY",             "edtMaxRateY",          "",                    K::Decimal,       &J::MaxRateY,              "6000",      "6000",        "6000"},
    {"AccelX",               "edtAccelX",            "",                    K::Decimal,       &J::AccelX,                "500",       "500",         "500"},
    {"AccelY",               "edtAccelY",            "",                    K::Decimal,       &J::AccelY,                "500",       "500",         "500"},
    {"JunctionDeviation",    "edtJunctionDeviation", "",                    K::Decimal,       &J::JunctionDeviation,     "0.01",      "0.01",        "0.01"},
    {"PlannerBlocks",        "edtPlannerBlocks",     "",                    K::Whole,         &J::PlannerBlocks,         "15",        "15",          "15"},
    {"LaserMode",            "chkLaserMode",         "",                    K::Flag,          &J::LaserMode,             "1",         "1",           "1"},
    {"PowerLevels",          "edtPowerLevels",       "",                    K::Whole,         &J::PowerLevels,           "16",        "16",          "16"},
    {"MinPower",             "edtMinPower",          "",                    K::Decimal,       &J::MinPower,              "0",         "0",           "0"},
    {"Overscan",             "edtOverscan",          "",                    K::Decimal,       &J::Overscan,              "",          "",            ""},
    {"SyncLaserCommands",    "",                     "",                    K::Flag,          &J::SyncLaserCommands,     "0",         "0",           "0"},
    {"StepperIdleLock",      "edtStepperIdleLock",   "",                    K::Whole,         &J::StepperIdleLock,       "25",        "25",          "25"},
    {"BaudRate",             "edtBaudRate",          "",                    K::Whole,         &J::BaudRate,              "115200",    "115200",      "115200"},
    {"ControllerSpeed",      "cboControllerSpeed",   "",                    K::Choice,        &J::ControllerSpeed,       "0",         "0",           "0"},
    {"CompactLines",         "chkCompactLines",      "",                    K::Flag,          &J::CompactLines,          "0",         "0",           "0"},
    {"PrinterLaserMode",     "cboPrinterLaserMode",  "",                    K::Choice,        &J::PrinterLaserMode,      "0",         "0",           "0"},
    {"CutKerf",              "edtCutKerf",           "",                    K::Decimal,       &J::CutKerf,               "0",         "0",           "0"},
    {"ToneCurve",            "edtToneCurve",         "",                    K::Text,          &J::ToneCurve,             "",          "",            ""},
}};
// clang-format on


}  // namespace

std::span<const FieldInfo> StoredFields()
{
    return kFields;
}

const FieldInfo* FindStoredField(std::string_view key)
{
    for (const FieldInfo& field : kFields) {
        if (EqualNoCase(field.key, key)) {
            return &field;
        }
    }
    return nullptr;
}

bool* FlagOf(const FieldInfo& field, JobSettings& job, AppSettings& app)
{
    if (const auto* m = std::get_if<bool JobSettings::*>(&field.member)) {
        return &(job.*(*m));
    }
    if (const auto* m = std::get_if<bool AppSettings::*>(&field.member)) {
        return &(app.*(*m));
    }
    return nullptr;
}

std::string* TextOf(const FieldInfo& field, JobSettings& job, AppSettings& app)
{
    if (const auto* m = std::get_if<std::string JobSettings::*>(&field.member)) {
        return &(job.*(*m));
    }
    if (const auto* m = std::get_if<std::string AppSettings::*>(&field.member)) {
        return &(app.*(*m));
    }
    return nullptr;
}

bool FlagOf(const FieldInfo& field, const JobSettings& job, const AppSettings& app)
{
    if (const auto* m = std::get_if<bool JobSettings::*>(&field.member)) {
        return job.*(*m);
    }
    if (const auto* m = std::get_if<bool AppSettings::*>(&field.member)) {
        return app.*(*m);
    }
    return false;
}

const std::string& TextOf(const FieldInfo& field, const JobSettings& job, const AppSettings& app)
{
    static const std::string kNone;
    if (const auto* m = std::get_if<std::string JobSettings::*>(&field.member)) {
        return job.*(*m);
    }
    if (const auto* m = std::get_if<std::string AppSettings::*>(&field.member)) {
        return app.*(*m);
    }
    return kNone;
}

std::string ValueText(const FieldInfo& field, const JobSettings& job, const AppSettings& app)
{
    if (field.isFlag()) {
        return FlagOf(field, job, app) ? "1" : "0";
    }
    return TextOf(field, job, app);
}

std::optional<bool> ParseFlagText(std::string_view text)
{
    // A 32-bit whole number, as the platform's integer reading of profile values: decimal
    // with an optional sign, or hexadecimal up to 0xFFFFFFFF.
    int base = 10;
    long long lowest = -2147483648LL;
    long long highest = 2147483647LL;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        lowest = 0;
        highest = 0xFFFFFFFFLL;
        text.remove_prefix(2);
    } else if (!text.empty() && text[0] == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text[0] == '-') {
            return std::nullopt;  // "+-1" is no number
        }
    }
    if (text.empty() || (base == 16 && (text[0] == '-' || text[0] == '+'))) {
        return std::nullopt;
    }
    long long value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || value < lowest ||
        value > highest) {
        return std::nullopt;
    }
    return value != 0;
}

std::optional<PrinterLaser> ParsePrinterLaser(std::string_view text)
{
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    if (text.size() != 1 || text[0] < '0' || text[0] > '3') {
        return std::nullopt;
    }
    return static_cast<PrinterLaser>(text[0] - '0');
}

PrinterLaser PrinterLaserOf(const JobSettings& settings)
{
    const std::optional<PrinterLaser> chosen = ParsePrinterLaser(settings.PrinterLaserMode);
    if (chosen && *chosen != PrinterLaser::FanCommands) {
        return *chosen;
    }
    return settings.SyncLaserCommands ? PrinterLaser::WaitForMoves : PrinterLaser::FanCommands;
}

std::string LaserOffForStop(const JobSettings& settings)
{
    if (FlavorOf(settings) == GcodeFlavor::Printer3D &&
        PrinterLaserOf(settings) == PrinterLaser::MarlinInline) {
        return "M5";
    }
    return settings.LaserOffCommand;
}

void SetPrinterLaser(JobSettings& settings, PrinterLaser laser)
{
    settings.PrinterLaserMode = std::string(1, static_cast<char>('0' + static_cast<int>(laser)));
    settings.SyncLaserCommands = laser == PrinterLaser::WaitForMoves;
}

GcodeFlavor FlavorOf(const JobSettings& settings)
{
    return settings.GRBL ? GcodeFlavor::Grbl : GcodeFlavor::Printer3D;
}

std::string_view FlavorName(GcodeFlavor flavor)
{
    return flavor == GcodeFlavor::Grbl ? "GRBL" : "3D Printer";
}

std::string_view UnitWord(const JobSettings& settings)
{
    return settings.UseInches ? "in" : "mm";
}

std::string_view SpeedGroupCaption(const JobSettings& settings)
{
    return settings.UseInches ? "Speeds (in/min)" : "Speeds (mm/min)";
}

}  // namespace pyrolith
