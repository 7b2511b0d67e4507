#include "settings/SettingsFields.h"

#include <gtest/gtest.h>

#include "support/Printable.h"

#include <set>
#include <string>
#include <vector>

namespace pyrolith {
namespace {

// The order in which the settings file and profiles have always been written; files in the
// field depend on it only for looks, but a reordering would show up as noise in every diff.
const std::vector<std::string> kWriteOrder = {
    "UseInches", "DistPerPixel", "HalfStepHeight", "LaserOffCommand", "LaserOnCommand",
    "LaserLowPower", "LaserCutPower", "UseG0", "StartComment", "EndComment", "OffSpeed",
    "OnSpeed", "CutSpeed", "ZSpeed", "TraceSpeed", "Optimize", "GoHome", "HomeCommand",
    "GoStartHeight", "StartHeight", "IndicateCenter", "DwellTime", "IndicateFrontCenter",
    "FrontCenterDwellTime", "IndicateBoundary", "SupressImage", "UseXOffset", "XOffset",
    "UseYOffset", "YOffset", "RepeatImage", "RepeatImageTimes", "Precision", "FakeExtrusion",
    "Backlash", "BacklashVal", "IncludeCut", "Outline", "NumRepeats", "InitialCutHeight",
    "DoAdvDown", "AdvDownAmount", "GRBL", "AutoLoadProfile", "Profile", "InitialOpenDir",
    "InitialSaveDir", "UseStartOfCode", "StartOfCode", "UseEndOfCode", "EndOfCode",
    "ProfileNotes", "ImageMode", "Threshold", "Brightness", "Contrast", "Gamma", "Invert",
    "ResizeWidth", "MaxRateX", "MaxRateY", "AccelX", "AccelY", "JunctionDeviation",
    "PlannerBlocks", "LaserMode", "PowerLevels", "MinPower", "Overscan", "SyncLaserCommands",
    "StepperIdleLock", "BaudRate", "ControllerSpeed", "CompactLines",
    "PrinterLaserMode",
    "CutKerf",
    "ToneCurve"};

TEST(SettingsFields, ListEveryStoredKeyOnceInWriteOrder)
{
    std::vector<std::string> keys;
    for (const FieldInfo& field : StoredFields()) {
        keys.emplace_back(field.key);
    }
    EXPECT_EQ(keys, kWriteOrder);
}

// The record's initializers and the table's window column must never drift apart.
TEST(SettingsFields, WindowValuesMatchTheRecordsInitialValues)
{
    const JobSettings job;
    const AppSettings app;
    for (const FieldInfo& field : StoredFields()) {
        EXPECT_EQ(ValueText(field, job, app), field.windowValue) << field.key;
    }
}

TEST(SettingsFields, EachFieldReachesItsOwnMember)
{
    JobSettings job;
    AppSettings app;
    std::set<const void*> seen;
    for (const FieldInfo& field : StoredFields()) {
        const void* address = field.isFlag() ? static_cast<const void*>(FlagOf(field, job, app))
                                             : static_cast<const void*>(TextOf(field, job, app));
        ASSERT_NE(address, nullptr) << field.key << " has the wrong kind for its member";
        EXPECT_TRUE(seen.insert(address).second) << field.key << " shares a member";
    }
}

TEST(SettingsFields, ReadersSkipWhatTheyNeverRead)
{
    // Every job setting is read from both kinds of file, the initial cut height too: the
    // cut moves to it, so a height the user typed must survive a restart.
    for (const FieldInfo& field : StoredFields()) {
        EXPECT_TRUE(field.missingInSettingsFile.has_value()) << field.key;
        EXPECT_EQ(field.missingInProfile.has_value(), field.inJobSettings()) << field.key;
    }
    EXPECT_EQ(FindStoredField("InitialCutHeight")->missingInSettingsFile, "26");
    EXPECT_EQ(FindStoredField("InitialCutHeight")->missingInProfile, "26");
    EXPECT_EQ(FindStoredField("OnSpeed")->missingInSettingsFile, "500");
    EXPECT_EQ(FindStoredField("OnSpeed")->missingInProfile, "200");
    EXPECT_EQ(FindStoredField("AutoLoadProfile")->missingInSettingsFile, "1");
}

TEST(SettingsFields, FindsKeysWithoutRegardToCase)
{
    ASSERT_NE(FindStoredField("distperpixel"), nullptr);
    EXPECT_EQ(FindStoredField("DISTPERPIXEL")->key, "DistPerPixel");
    EXPECT_EQ(FindStoredField("IndicateLeftCenter"), nullptr);  // kept in no file
    EXPECT_EQ(FindStoredField("DistPerPixe"), nullptr);
}

TEST(DerivedValues, FollowTheUnitAndTheFlavorFlag)
{
    JobSettings settings;
    settings.UseInches = true;
    EXPECT_EQ(UnitWord(settings), "in");
    EXPECT_EQ(SpeedGroupCaption(settings), "Speeds (in/min)");
    settings.UseInches = false;
    EXPECT_EQ(UnitWord(settings), "mm");
    EXPECT_EQ(SpeedGroupCaption(settings), "Speeds (mm/min)");
    settings.GRBL = true;
    EXPECT_EQ(FlavorOf(settings), GcodeFlavor::Grbl);
    EXPECT_EQ(FlavorName(FlavorOf(settings)), "GRBL");
    settings.GRBL = false;
    EXPECT_EQ(FlavorName(FlavorOf(settings)), "3D Printer");
}

}  // namespace
}  // namespace pyrolith

namespace pyrolith {
namespace {

struct FlagCase {
    const char* text;
    std::optional<bool> value;
};

void PrintTo(const FlagCase& c, std::ostream* os)
{
    *os << "'" << test::Printable(c.text) << "'";
}

class FlagText : public testing::TestWithParam<FlagCase> {};

TEST_P(FlagText, ReadsAsAWholeNumber)
{
    EXPECT_EQ(ParseFlagText(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Values, FlagText,
    testing::Values(FlagCase{"1", true}, FlagCase{"0", false}, FlagCase{"00", false},
                    FlagCase{"2", true}, FlagCase{"-1", true}, FlagCase{"+0", false},
                    FlagCase{"0x1", true}, FlagCase{"0X0", false}, FlagCase{"0xff", true},
                    FlagCase{"0x", std::nullopt}, FlagCase{"yes", std::nullopt},
                    FlagCase{"true", std::nullopt}, FlagCase{"", std::nullopt},
                    FlagCase{"1.0", std::nullopt}, FlagCase{"1 ", std::nullopt},
                    FlagCase{"-", std::nullopt}, FlagCase{"0x-1", std::nullopt},
                    FlagCase{"2147483647", true}, FlagCase{"2147483648", std::nullopt},
                    FlagCase{"0xFFFFFFFF", true}, FlagCase{"0x100000000", std::nullopt},
                    FlagCase{"+-1", std::nullopt}, FlagCase{"-0x1", std::nullopt},
                    FlagCase{"0xg", std::nullopt}, FlagCase{"-2147483648", true},
                    FlagCase{"-2147483649", std::nullopt},
                    FlagCase{"99999999999999999999999", std::nullopt},
                    FlagCase{"0x0000000000001", true},
                    FlagCase{"0000000000000000000000001", true}));

// A pause or a stop switches Marlin's laser off with M5, whatever the off command says.
TEST(SettingsFields, LaserOffForStopIsMarlinsM5OnlyForItsLaser)
{
    JobSettings job;
    job.LaserOffCommand = "M107";
    std::vector<std::string> off;
    for (const bool grbl : {false, true}) {
        for (const PrinterLaser laser : {PrinterLaser::WaitForMoves, PrinterLaser::MarlinInline}) {
            job.GRBL = grbl;
            SetPrinterLaser(job, laser);
            off.push_back(LaserOffForStop(job));
        }
    }
    EXPECT_EQ(off, (std::vector<std::string>{"M107", "M5", "M107", "M107"}));
}

}  // namespace
}  // namespace pyrolith
