#include "settings/SettingsFiles.h"

#include <gtest/gtest.h>

#include "support/Printable.h"
#include <tuple>
#include <unistd.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <utility>

#include "common/Error.h"
#include "common/FileError.h"
#include "common/PathText.h"
#include "settings/SettingsFields.h"

namespace pyrolith {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

fs::path TestData(const char* name)
{
    return fs::path(PYROLITH_TEST_DATA) / "settings" / name;
}

// A fresh folder per test, removed afterwards (write permission given back first).
class SettingsFiles : public testing::Test {
protected:
    void SetUp() override
    {
        const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("pyrolith_") + info->test_suite_name() + "_" + info->name() +
                           "_" + std::to_string(::getpid());
        std::replace(name.begin(), name.end(), '/', '_');
        folder_ = fs::path(testing::TempDir()) / name;
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override
    {
        std::error_code error;
        fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, error);
        fs::remove_all(folder_, error);
    }
    fs::path file(const char* name) const { return folder_ / name; }
    std::vector<std::string> names() const
    {
        std::vector<std::string> result;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder_)) {
            result.push_back(entry.path().filename().string());
        }
        std::sort(result.begin(), result.end());
        return result;
    }
    // The records the data files new_file.ini and foreign_saved.prf were written from.
    static void DataFileRecords(JobSettings& job, AppSettings& app)
    {
        job = JobSettings{};
        app = AppSettings{};
        job.StartComment = "; ";
        job.StartOfCode = "G21\r\nG90";
        app.AutoLoadProfile = true;
        app.Profile = "/home/ana/Profiles/Bois \xC3\xA9t\xC3\xA9.prf";
    }

    fs::path folder_;
};

// The records after a first run: no settings file, so the empty profile name is loaded.
void FirstRun(const fs::path& settingsFile, JobSettings& job, AppSettings& app)
{
    ReadSettingsFile(settingsFile, job, app);
    ASSERT_TRUE(app.AutoLoadProfile);
    LoadProfile(app.Profile, job, app);
}

TEST_F(SettingsFiles, NewFileHasAllKeysInOrderWithCrLf)
{
    JobSettings job;
    AppSettings app;
    DataFileRecords(job, app);
    MakeIniFile(file("Pyrolith.ini"), job, app);
    EXPECT_EQ(ReadBytes(file("Pyrolith.ini")), ReadBytes(TestData("new_file.ini")));
    EXPECT_EQ(names(), std::vector<std::string>{"Pyrolith.ini"});
}

TEST_F(SettingsFiles, SavingOverAProfileKeepsForeignLinesAndTheirOrder)
{
    fs::copy_file(TestData("foreign.prf"), file("Wood.prf"));
    JobSettings job;
    job.ImageMode = "Bayer";
    job.Threshold = "7";
    job.Invert = true;
    job.ResizeWidth = "50";
    AppSettings app;
    LoadProfile(file("Wood.prf"), job, app);
    EXPECT_EQ(job.OnSpeed, "300") << "first key of the first [values] section";
    // A profile older than the picture settings gives today's conversion.
    EXPECT_EQ(std::tie(job.ImageMode, job.Threshold, job.Invert, job.ResizeWidth),
              std::make_tuple("Palette", "128", false, ""));
    EXPECT_TRUE(job.GRBL);
    EXPECT_FALSE(job.UseInches) << "keys of other sections are not read";

    DataFileRecords(job, app);
    MakeIniFile(file("Wood.prf"), job, app);
    EXPECT_EQ(ReadBytes(file("Wood.prf")), ReadBytes(TestData("foreign_saved.prf")));
}

// Every stored field set to a value of its own, so that a key mixed up with another shows.
void DistinctValues(JobSettings& job, AppSettings& app)
{
    int n = 0;
    for (const FieldInfo& field : StoredFields()) {
        ++n;
        if (field.isFlag()) {
            *FlagOf(field, job, app) = !(field.missingInSettingsFile == "1");
        } else if (field.kind == FieldKind::Lines) {
            *TextOf(field, job, app) = "line " + std::to_string(n) + "\r\n\xC3\xA9t\xC3\xA9\r\n";
        } else {
            *TextOf(field, job, app) = std::string(field.key) + " " + std::to_string(n);
        }
    }
}

TEST_F(SettingsFiles, SettingsFileReadsBackEveryKey)
{
    JobSettings job;
    AppSettings app;
    DistinctValues(job, app);
    MakeIniFile(file("Pyrolith.ini"), job, app);

    JobSettings read;
    AppSettings readApp;
    ReadSettingsFile(file("Pyrolith.ini"), read, readApp);
    EXPECT_EQ(read, job) << "the initial cut height as well";
    EXPECT_EQ(readApp, app);
}

TEST_F(SettingsFiles, ProfileReadsBackJobSettingsOnly)
{
    JobSettings job;
    AppSettings app;
    DistinctValues(job, app);
    MakeIniFile(file("Mine.prf"), job, app);

    JobSettings read;
    read.IndicateLeftCenter = true;
    read.LeftCenterDwellTime = "123";
    AppSettings readApp;
    readApp.InitialOpenDir = "/pictures";
    LoadProfile(file("Mine.prf"), read, readApp);

    JobSettings expected = job;
    expected.IndicateLeftCenter = true;
    expected.LeftCenterDwellTime = "123";
    EXPECT_EQ(read, expected);
    AppSettings expectedApp;
    expectedApp.InitialOpenDir = "/pictures";
    expectedApp.Profile = file("Mine.prf").string();
    EXPECT_EQ(readApp, expectedApp);
}

TEST_F(SettingsFiles, TrailingBlankOfStartCommentSurvivesAFile)
{
    JobSettings job;
    AppSettings app;
    FirstRun(file("Pyrolith.ini"), job, app);
    EXPECT_EQ(job.StartComment, "; ") << "a missing key gives the default";
    MakeIniFile(file("Pyrolith.ini"), job, app);
    JobSettings read;
    ReadSettingsFile(file("Pyrolith.ini"), read, app);
    EXPECT_EQ(read.StartComment, "; ");
    LoadProfile(file("Pyrolith.ini"), read, app);
    EXPECT_EQ(read.StartComment, "; ");
}

// A value with a blank or a quote at an edge is written in double quotes; any other value as
// it is. Either way every text field reads back as it was, through both readers.
struct EdgeCase {
    const char* name;
    std::string value;
    std::string line; // the StartComment line in the file
};

void PrintTo(const EdgeCase& c, std::ostream* os)
{
    *os << c.name;
}

class EdgeValues : public SettingsFiles, public testing::WithParamInterface<EdgeCase> {};

TEST_P(EdgeValues, SurviveSaveAndLoadInEveryTextField)
{
    const EdgeCase& c = GetParam();
    JobSettings job;
    AppSettings app;
    for (const FieldInfo& field : StoredFields()) {
        if (!field.isFlag()) {
            *TextOf(field, job, app) = c.value;
        }
    }
    MakeIniFile(file("Pyrolith.ini"), job, app);
    const std::string bytes = ReadBytes(file("Pyrolith.ini"));
    EXPECT_NE(bytes.find("\r\n" + c.line + "\r\n"), std::string::npos) << bytes;

    JobSettings fromSettings;
    AppSettings fromSettingsApp;
    ReadSettingsFile(file("Pyrolith.ini"), fromSettings, fromSettingsApp);
    JobSettings expected = job;
    expected.InitialCutHeight = JobSettings{}.InitialCutHeight; // read by neither reader
    EXPECT_EQ(fromSettings, expected);
    EXPECT_EQ(fromSettingsApp, app);
    JobSettings fromProfile;
    AppSettings profileApp;
    LoadProfile(file("Pyrolith.ini"), fromProfile, profileApp);
    EXPECT_EQ(fromProfile, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, EdgeValues,
    testing::Values(EdgeCase{"TrailingBlank", "; ", "StartComment=\"; \""},
                    EdgeCase{"LeadingBlank", " M106 S255", "StartComment=\" M106 S255\""},
                    EdgeCase{"TabsAtBothEnds", "\tG28\t", "StartComment=\"\tG28\t\""},
                    EdgeCase{"OnlyABlank", " ", "StartComment=\" \""},
                    EdgeCase{"QuotedInDoubleQuotes", "\"(\"", "StartComment=\"\"(\"\""},
                    EdgeCase{"QuotedInSingleQuotes", "'x'", "StartComment=\"'x'\""},
                    EdgeCase{"LoneQuote", "\"", "StartComment=\"\"\""},
                    EdgeCase{"QuoteAtTheEnd", "say 'hi'", "StartComment=\"say 'hi'\""},
                    EdgeCase{"BlanksInsideOnly", "M106 S255", "StartComment=M106 S255"},
                    EdgeCase{"QuotesInsideOnly", "a \"b\" c", "StartComment=a \"b\" c"},
                    EdgeCase{"Empty", "", "StartComment="}),
    [](const testing::TestParamInfo<EdgeCase>& info) { return std::string(info.param.name); });

TEST_F(SettingsFiles, LineBreaksTravelAsCharacters255And254)
{
    JobSettings job;
    AppSettings app;
    job.StartOfCode = "G21\r\nG90";
    job.EndOfCode = "M84\r\n";
    job.ProfileNotes = "typed \xC3\xBF and \xC3\xBE"; // the characters 255 and 254
    MakeIniFile(file("p.prf"), job, app);
    const std::string bytes = ReadBytes(file("p.prf"));
    EXPECT_NE(bytes.find("\r\nStartOfCode=G21\xFF\xFEG90\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("\r\nEndOfCode=M84\xFF\xFE\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("\r\nProfileNotes=typed \xFF and \xFE\r\n"), std::string::npos);

    JobSettings read;
    LoadProfile(file("p.prf"), read, app);
    EXPECT_EQ(read.StartOfCode, "G21\r\nG90");
    EXPECT_EQ(read.EndOfCode, "M84\r\n");
    EXPECT_EQ(read.ProfileNotes, "typed \r and \n") << "typed 255/254 come back as breaks";
}

TEST_F(SettingsFiles, LongLinesValueIsCutTo2047Characters)
{
    std::string lines;
    while (lines.size() < 3000) {
        lines += "G1 X10\xFF\xFE";
    }
    WriteBytes(file("p.prf"), "[Values]\r\nStartOfCode=" + lines + "\r\n");
    JobSettings job;
    AppSettings app;
    LoadProfile(file("p.prf"), job, app);
    std::string expected = lines.substr(0, 2047);
    for (char& c : expected) {
        c = c == '\xFF' ? '\r' : c == '\xFE' ? '\n' : c;
    }
    EXPECT_EQ(job.StartOfCode, expected);
}

struct FlagCase {
    const char* key;
    const char* value;
    bool expected;
};

void PrintTo(const FlagCase& c, std::ostream* os)
{
    *os << c.key << "=" << test::Printable(c.value);
}

class SettingsFileFlags : public SettingsFiles, public testing::WithParamInterface<FlagCase> {};

TEST_P(SettingsFileFlags, ReadAsWholeNumbersWithTheReadersDefault)
{
    const FlagCase& c = GetParam();
    WriteBytes(file("s.ini"), std::string("[Values]\r\n") + c.key + "=" + c.value + "\r\n");
    JobSettings job;
    AppSettings app;
    ReadSettingsFile(file("s.ini"), job, app);
    const FieldInfo* field = FindStoredField(c.key);
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(FlagOf(*field, std::as_const(job), app), c.expected) << "settings file";
    if (field->inJobSettings()) {
        job = JobSettings{};
        LoadProfile(file("s.ini"), job, app);
        EXPECT_EQ(FlagOf(*field, std::as_const(job), app), c.expected) << "profile";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, SettingsFileFlags,
    testing::Values(FlagCase{"UseInches", "yes", false}, FlagCase{"UseInches", "2", true},
                    FlagCase{"UseInches", "0x1", true}, FlagCase{"UseInches", "0", false},
                    FlagCase{"UseInches", "00", false}, FlagCase{"UseInches", "", false},
                    FlagCase{"UseInches", "-1", true}, FlagCase{"UseInches", "\"1\"", true},
                    FlagCase{"UseInches", " 0X10 ", true}, FlagCase{"UseInches", "true", false},
                    FlagCase{"IndicateCenter", "yes", true}, FlagCase{"IndicateCenter", "", true},
                    FlagCase{"IndicateCenter", "0", false},
                    FlagCase{"IndicateCenter", "0x0", false}, FlagCase{"Outline", "no", true},
                    FlagCase{"Optimize", "0", false}, FlagCase{"AutoLoadProfile", "maybe", true},
                    FlagCase{"AutoLoadProfile", "0", false}));

TEST_F(SettingsFiles, EmptyValueGivesEmptyTextButTheFlagsDefault)
{
    WriteBytes(file("p.prf"), "[Values]\nOffSpeed=\nHomeCommand=  \nIndicateCenter=\n");
    JobSettings job;
    AppSettings app;
    LoadProfile(file("p.prf"), job, app);
    EXPECT_EQ(job.OffSpeed, "");
    EXPECT_EQ(job.HomeCommand, "");
    EXPECT_TRUE(job.IndicateCenter);
    EXPECT_EQ(job.CutSpeed, "250") << "missing key";
}

TEST_F(SettingsFiles, FirstRunGivesProfileDefaults)
{
    JobSettings job;
    AppSettings app;
    FirstRun(file("Pyrolith.ini"), job, app);
    EXPECT_EQ(app.Profile, "");
    EXPECT_EQ(ProfileLabel(app.Profile), "");
    EXPECT_EQ(job.OnSpeed, "200");
    EXPECT_TRUE(job.Outline);
    EXPECT_FALSE(job.UseInches);
    EXPECT_EQ(job.LaserOnCommand, "M106 S255");
    EXPECT_EQ(job.InitialCutHeight, "26");
    EXPECT_EQ(job.LeftCenterDwellTime, "5000");
    EXPECT_EQ(names(), std::vector<std::string>{}) << "reading creates no file";
}

TEST_F(SettingsFiles, SettingsFileWithoutOnSpeedGivesItsOwnDefault)
{
    JobSettings job;
    AppSettings app;
    job.OnSpeed = "777";
    job.OffSpeed = "888";
    MakeIniFile(file("Pyrolith.ini"), job, app);
    std::string bytes = ReadBytes(file("Pyrolith.ini"));
    const std::size_t at = bytes.find("OnSpeed=777\r\n");
    ASSERT_NE(at, std::string::npos);
    bytes.erase(at, std::string_view("OnSpeed=777\r\n").size());
    WriteBytes(file("Pyrolith.ini"), bytes);

    JobSettings read;
    AppSettings readApp;
    ReadSettingsFile(file("Pyrolith.ini"), read, readApp);
    EXPECT_FALSE(readApp.AutoLoadProfile);
    EXPECT_EQ(read.OnSpeed, "500");
    EXPECT_EQ(read.OffSpeed, "888");
}

TEST_F(SettingsFiles, DeletedCurrentProfileGivesProfileDefaultsAndKeepsItsName)
{
    JobSettings job;
    AppSettings app;
    DistinctValues(job, app);
    MakeIniFile(file("Deleted Profile.prf"), job, app);
    LoadProfile(file("Deleted Profile.prf"), job, app);
    app.AutoLoadProfile = true;
    MakeIniFile(file("Pyrolith.ini"), job, app);
    fs::remove(file("Deleted Profile.prf"));

    JobSettings restarted;
    AppSettings restartedApp;
    ReadSettingsFile(file("Pyrolith.ini"), restarted, restartedApp);
    ASSERT_TRUE(restartedApp.AutoLoadProfile);
    LoadProfile(restartedApp.Profile, restarted, restartedApp);

    JobSettings defaults;
    AppSettings ignored;
    LoadProfile("", defaults, ignored);
    EXPECT_EQ(restarted, defaults);
    EXPECT_EQ(restarted.OnSpeed, "200");
    EXPECT_EQ(restartedApp.Profile, file("Deleted Profile.prf").string());
    EXPECT_EQ(ProfileLabel(restartedApp.Profile), "Deleted Profile");
}

struct LabelCase {
    const char* path;
    const char* label;
};

void PrintTo(const LabelCase& c, std::ostream* os)
{
    *os << "'" << test::Printable(c.path) << "'";
}

class ProfileLabels : public testing::TestWithParam<LabelCase> {};

TEST_P(ProfileLabels, NameWithoutFolderAndExtension)
{
    EXPECT_EQ(ProfileLabel(GetParam().path), GetParam().label);
}

INSTANTIATE_TEST_SUITE_P(Paths, ProfileLabels,
                         testing::Values(LabelCase{"/home/ana/Profiles/Wood 3mm.prf", "Wood 3mm"},
                                         LabelCase{"C:\\Laser\\Profiles\\Acrylic.prf", "Acrylic"},
                                         LabelCase{"relative/x.y.prf", "x.y"},
                                         LabelCase{"/a.b/noext", "noext"}, LabelCase{"", ""},
                                         LabelCase{"/p/.prf", ""}));

// Process file size limits and folder permission bits are POSIX only.
#ifndef _WIN32

// The fault mended here: a write that fails half-way must leave the old file whole.
TEST_F(SettingsFiles, FailedWriteLeavesTheOldFileAndNoTemporaryFile)
{
    const std::string old = "; mine\r\n[Values]\r\nOnSpeed=1\r\n";
    WriteBytes(file("Pyrolith.ini"), old);
    JobSettings job;
    AppSettings app;
    job.ProfileNotes = std::string(100000, 'n');

    IgnoreFileSizeSignal();
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 4096; // the new text is far larger: its writing fails part-way
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string message;
    try {
        MakeIniFile(file("Pyrolith.ini"), job, app);
    } catch (const Error& error) {
        message = error.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);

    EXPECT_EQ(message, "Unable to write to " + file("Pyrolith.ini").string());
    EXPECT_EQ(ReadBytes(file("Pyrolith.ini")), old);
    EXPECT_EQ(names(), std::vector<std::string>{"Pyrolith.ini"});
}

TEST_F(SettingsFiles, ReadOnlyFolderIsLeftUntouched)
{
    WriteBytes(file("old.prf"), "[Values]\nOnSpeed=1\n");
    fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
    const JobSettings job;
    const AppSettings app;
    for (const char* name : {"old.prf", "new.prf"}) {
        try {
            MakeIniFile(file(name), job, app);
            ADD_FAILURE() << "no error for " << name;
        } catch (const Error& error) {
            EXPECT_EQ(std::string(error.what()), "Unable to write to " + file(name).string());
        }
    }
    fs::permissions(folder_, fs::perms::owner_all);
    EXPECT_EQ(ReadBytes(file("old.prf")), "[Values]\nOnSpeed=1\n");
    EXPECT_EQ(names(), std::vector<std::string>{"old.prf"});
}

#endif

TEST_F(SettingsFiles, ReadOnlyFileIsLeftUntouched)
{
    WriteBytes(file("Pyrolith.ini"), "[Values]\nOnSpeed=1\n");
    fs::permissions(file("Pyrolith.ini"), fs::perms::owner_read | fs::perms::group_read);
    try {
        WriteIniValues(file("Pyrolith.ini"), {{"InitialOpenDir", "/x"}});
        ADD_FAILURE() << "no error";
    } catch (const Error& error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + file("Pyrolith.ini").string());
    }
    EXPECT_EQ(ReadBytes(file("Pyrolith.ini")), "[Values]\nOnSpeed=1\n");
#ifndef _WIN32
    EXPECT_EQ(fs::status(file("Pyrolith.ini")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::group_read);
#endif
    EXPECT_EQ(names(), std::vector<std::string>{"Pyrolith.ini"});
}

// Paths reach the system whole on both systems, and the settings file keeps the profile's
// non-ASCII path for the next start.
TEST_F(SettingsFiles, SettingsAndProfileRoundTripThroughNonAsciiPaths)
{
    const fs::path folder = folder_ / PathFromUtf8("Gravur \xC3\xBC");
    fs::create_directory(folder);
    const fs::path profile = folder / PathFromUtf8("Gr\xC3\xB6\xC3\x9F" "e \xE2\x9C\x93.prf");
    const fs::path settings = folder / PathFromUtf8("Pyrolith \xC3\xBC.ini");
    JobSettings job;
    job.OnSpeed = "777";
    job.ProfileNotes = "Birke \xE2\x9C\x93";
    MakeIniFile(profile, job, AppSettings{});

    JobSettings loaded;
    AppSettings app;
    LoadProfile(profile, loaded, app);
    EXPECT_EQ(loaded, job);
    EXPECT_EQ(app.Profile, Utf8FromPath(profile));
    app.AutoLoadProfile = true;
    MakeIniFile(settings, loaded, app);

    JobSettings restarted;
    AppSettings restartedApp;
    ReadSettingsFile(settings, restarted, restartedApp);
    EXPECT_EQ(restartedApp, app);
    EXPECT_EQ(ProfileLabel(PathFromUtf8(restartedApp.Profile)), "Gr\xC3\xB6\xC3\x9F" "e \xE2\x9C\x93");
    JobSettings reloaded;
    LoadProfile(PathFromUtf8(restartedApp.Profile), reloaded, restartedApp);
    EXPECT_EQ(reloaded, job);
}

TEST_F(SettingsFiles, FolderInPlaceOfTheFileIsReported)
{
    fs::create_directory(file("Pyrolith.ini"));
    EXPECT_THROW(MakeIniFile(file("Pyrolith.ini"), JobSettings{}, AppSettings{}), Error);
    EXPECT_TRUE(fs::is_directory(file("Pyrolith.ini")));
    JobSettings job;
    AppSettings app;
    ReadSettingsFile(file("Pyrolith.ini"), job, app);
    EXPECT_EQ(job.OnSpeed, "500");
}

TEST_F(SettingsFiles, OversizedFileReadsAsEmptyAndIsNotReplaced)
{
    const std::string start = "[Values]\r\nOnSpeed=999\r\n";
    WriteBytes(file("huge.prf"), start);
    fs::resize_file(file("huge.prf"), kMaxIniFileSize + 1); // sparse: cheap to make
    JobSettings job;
    AppSettings app;
    LoadProfile(file("huge.prf"), job, app);
    EXPECT_EQ(job.OnSpeed, "200");
    EXPECT_THROW(MakeIniFile(file("huge.prf"), job, app), Error);
    EXPECT_EQ(fs::file_size(file("huge.prf")), kMaxIniFileSize + 1);
    EXPECT_EQ(names(), std::vector<std::string>{"huge.prf"});
}

TEST_F(SettingsFiles, MegabyteLineAndBinaryGarbageAreReadAndKept)
{
    std::mt19937 random(7);
    std::string garbage(1 << 20, '\0');
    for (char& c : garbage) {
        c = static_cast<char>(random() % 256);
        c = c == '\n' ? '\r' : c;
    }
    const std::string text = "; " + garbage + "\n[Values]\r\nOnSpeed=42\r\nJunk=" + garbage +
                             "\r\nOffSpeed=" + std::string(1 << 20, 'x') + "\r\n";
    WriteBytes(file("p.prf"), text);
    JobSettings job;
    AppSettings app;
    LoadProfile(file("p.prf"), job, app);
    EXPECT_EQ(job.OnSpeed, "42");
    EXPECT_EQ(job.OffSpeed, std::string(2047, 'x'));

    job.OffSpeed = "5";
    WriteIniValues(file("p.prf"), {{"OffSpeed", "5"}});
    std::string expected = text;
    expected.replace(expected.find("OffSpeed="), 9 + (1 << 20), "OffSpeed=5");
    EXPECT_EQ(ReadBytes(file("p.prf")), expected);
}

// POSIX devices, named pipes and symbolic links.
#ifndef _WIN32
TEST_F(SettingsFiles, DevicesAndPipesReadAsEmpty)
{
    ASSERT_EQ(::mkfifo(file("pipe.prf").c_str(), 0600), 0);
    for (const fs::path& path : {fs::path("/dev/zero"), file("pipe.prf")}) {
        JobSettings job;
        AppSettings app;
        LoadProfile(path, job, app);
        EXPECT_EQ(job.OnSpeed, "200") << path;
    }
}

TEST_F(SettingsFiles, SymbolicLinkKeepsPointingAtTheRewrittenFile)
{
    fs::create_directory(file("real"));
    WriteBytes(file("real") / "settings.ini", "; kept\n");
    fs::create_symlink(fs::path("real") / "settings.ini", file("Pyrolith.ini"));
    WriteIniValues(file("Pyrolith.ini"), {{"InitialSaveDir", "/jobs"}});
    EXPECT_TRUE(fs::is_symlink(file("Pyrolith.ini")));
    EXPECT_EQ(ReadBytes(file("real") / "settings.ini"),
              "; kept\n[Values]\r\nInitialSaveDir=/jobs\r\n");
}
#endif

TEST_F(SettingsFiles, ClosingWriteOfTheDialogFoldersReplacesThemInPlace)
{
    JobSettings job;
    AppSettings app;
    app.InitialOpenDir = "/old/pictures";
    job.EndOfCode = "M84";
    MakeIniFile(file("Pyrolith.ini"), job, app);
    const std::string before = ReadBytes(file("Pyrolith.ini"));

    WriteIniValues(file("Pyrolith.ini"), {{"InitialOpenDir", "/pictures/\xC3\xA9t\xC3\xA9"},
                                          {"initialsavedir", "/jobs"},
                                          {"EndOfCode", "M84\r\nM107"}});
    std::string expected = before;
    expected.replace(expected.find("InitialOpenDir=/old/pictures"), 28,
                     "InitialOpenDir=/pictures/\xE9t\xE9");
    expected.replace(expected.find("InitialSaveDir="), 15, "InitialSaveDir=/jobs");
    expected.replace(expected.find("EndOfCode=M84"), 13, "EndOfCode=M84\xFF\xFEM107");
    EXPECT_EQ(ReadBytes(file("Pyrolith.ini")), expected);
}

TEST_F(SettingsFiles, PathsBeyondWindows1252SurviveAsUtf8)
{
    JobSettings job;
    AppSettings app;
    app.InitialOpenDir = "/home/\xD0\x94\xD0\xBE\xD0\xBC"; // Cyrillic
    job.StartComment = "caf\xC3\xA9";
    MakeIniFile(file("Pyrolith.ini"), job, app);
    const std::string bytes = ReadBytes(file("Pyrolith.ini"));
    EXPECT_TRUE(bytes.starts_with("\xEF\xBB\xBF[Values]\r\n"));
    JobSettings read;
    AppSettings readApp;
    ReadSettingsFile(file("Pyrolith.ini"), read, readApp);
    EXPECT_EQ(readApp.InitialOpenDir, app.InitialOpenDir);
    EXPECT_EQ(read.StartComment, "caf\xC3\xA9");
}

} // namespace
} // namespace pyrolith

namespace pyrolith {
namespace {

// The Load Profile command refuses a file that is no profile and then changes nothing; a
// file with the section, in any letter case and even without keys, is a profile.
TEST_F(SettingsFiles, ChosenProfileMustHaveTheValuesSection)
{
    const std::string refused = "' is not a profile: it has no [Values] section";
    const struct {
        const char* name;
        const char* bytes; // nullptr: no file
        std::string message; // empty: the file loads
    } cases[] = {{"wrong.txt", "[Other]\r\nOnSpeed=900\r\n", refused}, {"empty.prf", "", refused},
                 {"gone.prf", nullptr, refused}, {"lower.prf", "[values]\r\nOnSpeed=900\r\n", ""}};
    for (const auto& c : cases) {
        if (c.bytes != nullptr) {
            WriteBytes(file(c.name), c.bytes);
        }
        JobSettings job;
        AppSettings app;
        try {
            LoadChosenProfile(file(c.name), job, app);
            EXPECT_EQ(c.message, "") << c.name;
            EXPECT_EQ(job.OnSpeed, "900");
            EXPECT_EQ(app.Profile, file(c.name).string());
        } catch (const Error& e) {
            EXPECT_EQ(e.what(), "'" + file(c.name).string() + c.message) << c.name;
            EXPECT_EQ(job, JobSettings{}) << c.name;
            EXPECT_EQ(app, AppSettings{}) << c.name;
        }
    }
    JobSettings job;
    AppSettings app;
    EXPECT_THROW(LoadChosenProfile(folder_, job, app), Error); // a folder cannot be read
}

// The laser choice of a 3D printer and the M400 option of earlier versions: a file with only
// the old key reads it as the M400 choice; a file with both reads both as they are, the
// choice given holding; a file written has both, the old key set exactly for the M400 choice.
struct LaserKeyCase {
    const char* values;
    const char* mode;
    bool sync;
    PrinterLaser inForce;
};

void PrintTo(const LaserKeyCase& c, std::ostream* os)
{
    *os << test::Printable(c.values);
}

class LaserKeys : public SettingsFiles, public testing::WithParamInterface<LaserKeyCase> {};

TEST_P(LaserKeys, ReadIntoTheChoice)
{
    const LaserKeyCase& c = GetParam();
    WriteBytes(file("p.prf"), std::string("[Values]\r\n") + c.values);
    for (const bool profile : {false, true}) {
        JobSettings job;
        AppSettings app;
        profile ? LoadProfile(file("p.prf"), job, app) : ReadSettingsFile(file("p.prf"), job, app);
        EXPECT_EQ(std::tie(job.PrinterLaserMode, job.SyncLaserCommands),
                  std::make_tuple(std::string(c.mode), c.sync))
            << (profile ? "profile" : "settings file");
        EXPECT_EQ(PrinterLaserOf(job), c.inForce);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, LaserKeys,
    testing::Values(
        LaserKeyCase{"", "0", false, PrinterLaser::FanCommands},
        LaserKeyCase{"SyncLaserCommands=1\r\n", "1", true, PrinterLaser::WaitForMoves},
        LaserKeyCase{"SyncLaserCommands=0\r\n", "0", false, PrinterLaser::FanCommands},
        LaserKeyCase{"PrinterLaserMode=2\r\n", "2", false, PrinterLaser::SynchronousFan},
        LaserKeyCase{"SyncLaserCommands=1\r\nPrinterLaserMode=3\r\n", "3", true,
                     PrinterLaser::MarlinInline},
        LaserKeyCase{"SyncLaserCommands=1\r\nPrinterLaserMode=x\r\n", "x", true,
                     PrinterLaser::WaitForMoves},
        LaserKeyCase{"PrinterLaserMode= 3 \r\n", "3", false, PrinterLaser::MarlinInline}));

TEST_F(SettingsFiles, LaserChoiceIsWrittenWithTheOldKeyInStep)
{
    const auto written = [&](PrinterLaser laser) {
        JobSettings job;
        AppSettings app;
        SetPrinterLaser(job, laser);
        MakeIniFile(file("p.prf"), job, app);
        std::vector<std::string> keys;
        for (const char* key : {"SyncLaserCommands=", "PrinterLaserMode="}) {
            const std::string text = ReadBytes(file("p.prf"));
            const std::size_t at = text.find(std::string("\r\n") + key);
            keys.push_back(at == std::string::npos ? "" : text.substr(at + 2, text.find('\r', at + 2) - at - 2));
        }
        return keys;
    };
    EXPECT_EQ(written(PrinterLaser::WaitForMoves),
              (std::vector<std::string>{"SyncLaserCommands=1", "PrinterLaserMode=1"}));
    EXPECT_EQ(written(PrinterLaser::MarlinInline),
              (std::vector<std::string>{"SyncLaserCommands=0", "PrinterLaserMode=3"}));
    EXPECT_EQ(written(PrinterLaser::FanCommands),
              (std::vector<std::string>{"SyncLaserCommands=0", "PrinterLaserMode=0"}));
}

} // namespace
} // namespace pyrolith
