#include "gcode/JobWriter.h"

#include <gtest/gtest.h>
#include <unistd.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#endif

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "JobTestSupport.h"
#include "support/TestFolder.h"
#include "common/Error.h"
#include "gcode/JobChecks.h"
#include "gcode/JobContext.h"
#include "gcode/JobSink.h"
#include "settings/SettingsFields.h"

namespace pyrolith {
namespace {

namespace fs = std::filesystem;
using test::Environment;
using test::ExampleSettings;
using test::JobLines;
using test::Picture;
using Lines = std::vector<std::string>;

std::string ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> FolderEntries(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class JobFile : public testing::Test {
protected:
    void SetUp() override
    {
        temp_.emplace("job");
        folder_ = temp_->path();
    }
    void TearDown() override { temp_.reset(); }

    std::optional<pyrolith::test::TestFolder> temp_;
    fs::path folder_;
};

MonoBitmap ExamplePicture()
{
    return Picture({"#..#", ".##."});
}

TEST_F(JobFile, Printer3DJobByteForByte)
{
    JobSettings s = ExampleSettings();
    s.Precision = false;
    s.Backlash = true;
    s.BacklashVal = "0.2";
    s.IndicateCenter = true;
    s.DwellTime = "5000";
    s.UseStartOfCode = true;
    s.StartOfCode = "G28 X0 Y0";
    s.UseEndOfCode = true;
    s.EndOfCode = "M84\r\n\r\n; done";
    const fs::path target = folder_ / "job.gcode";
    const JobFileSummary written = WriteJobFile(target, s, ExamplePicture(), Environment());
    const std::string expected =
        ReadBytes(fs::path(PYROLITH_TEST_DATA) / "gcode/small_printer3d.gcode");
    EXPECT_EQ(ReadBytes(target), expected);
    EXPECT_EQ(written.lines, JobLines(expected).size());
    EXPECT_EQ(written.bytes, expected.size());
    EXPECT_EQ(FolderEntries(folder_), std::vector<std::string>{"job.gcode"});
}

TEST_F(JobFile, GrblJobByteForByte)
{
    JobSettings s = ExampleSettings();
    s.GRBL = true;
    s.UseInches = true;
    s.StartComment = "(";
    s.EndComment = ")";
    s.DistPerPixel = "0.25";
    s.HalfStepHeight = true;
    s.UseG0 = true;
    s.FakeExtrusion = true;
    s.LaserOffCommand = "M5";
    s.LaserOnCommand = "M3 S1000";
    s.LaserLowPower = "M3 S10";
    s.OffSpeed = "3000";
    s.OnSpeed = "800";
    s.TraceSpeed = "2000";
    s.IndicateFrontCenter = true;
    s.FrontCenterDwellTime = "2500";
    s.IndicateBoundary = true;
    s.UseXOffset = true;
    s.XOffset = "10";
    s.UseYOffset = true;
    s.YOffset = "-0.25";
    s.EndOfCode = "M2"; // not written: UseEndOfCode is clear
    JobEnvironment environment = Environment();
    environment.date = "2026-12-08";
    environment.imageFileName = "caf\xC3\xA9.bmp";
    const fs::path target = folder_ / "job.nc";
    WriteJobFile(target, s, Picture({"##.", ".#."}), environment);
    EXPECT_EQ(ReadBytes(target),
              ReadBytes(fs::path(PYROLITH_TEST_DATA) / "gcode/small_grbl.gcode"));
}

TEST_F(JobFile, ReplacesAnExistingFile)
{
    const fs::path target = folder_ / "job.gcode";
    WriteBytes(target, "old job that ends with the laser on\r\nM106 S255\r\n");
    WriteJobFile(target, ExampleSettings(), ExamplePicture(), Environment());
    const Lines lines = JobLines(ReadBytes(target));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "; Black and White Bitmap");
    EXPECT_EQ(lines.back(), "M107");
}

TEST_F(JobFile, GrblPauseKeepsOneTextInCommandCommentAndSummary)
{
    JobSettings s = ExampleSettings();
    s.GRBL = true;
    s.IndicateFrontCenter = true;
    s.FrontCenterDwellTime = "0,05"; // 0.00005 s, never "5E-5" on a command line
    JobEnvironment environment = Environment();
    environment.decimalSeparator = ',';
    const fs::path target = folder_ / "job.gcode";
    WriteJobFile(target, s, ExamplePicture(), environment);
    const Lines lines = JobLines(ReadBytes(target));
    EXPECT_NE(std::find(lines.begin(), lines.end(), "; Pause at front/center for 0.00005 sec"),
              lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "G4 P0.00005\t; Pause for 0.00005"),
              lines.end());
}

Lines JobInMemory(const JobSettings& settings, const MonoBitmap& picture)
{
    StringJobSink sink;
    WriteJob(sink, MakeJobContext(settings, picture, '.'), settings, picture, Environment());
    return JobLines(sink.text());
}

Lines LinesAfter(const Lines& lines, const std::string& marker)
{
    const auto at = std::find(lines.begin(), lines.end(), marker);
    EXPECT_NE(at, lines.end()) << "no line " << marker;
    return at == lines.end() ? Lines{} : Lines(at + 1, lines.end());
}

TEST(Job, SectionsMeetWithEveryOptionalBlockOff)
{
    JobSettings s = ExampleSettings();
    s.EndOfCode = "M84"; // UseEndOfCode is clear
    const Lines lines = JobInMemory(s, ExamplePicture());
    Lines afterSummary = LinesAfter(lines, "; Using 3D Printer flavor");
    afterSummary.resize(2);
    EXPECT_EQ(afterSummary, (Lines{"", "M107\t; Laser Off"}));
    Lines body = LinesAfter(lines, "; BEGIN IMAGE");
    ASSERT_EQ(body.size(), 13u);
    EXPECT_EQ(body.front(), "M107");
    EXPECT_EQ(body[1], "G1 X1 Y0 F1500 ");
    EXPECT_EQ(body.back(), "M107") << "the final off command is the last line";
}

// With the repeat, the cut and the suppression clear, their numbers and optimization show in
// the summary only: the job engraves the picture exactly once and cuts nothing.
TEST(Job, SettingsOfTheSummaryOnlyLeaveTheBodyAlone)
{
    JobSettings plain = ExampleSettings();
    plain.UseEndOfCode = true;
    plain.EndOfCode = "M84";
    JobSettings other = plain;
    other.RepeatImageTimes = "3";
    other.Outline = false;
    other.NumRepeats = "x";
    other.DoAdvDown = true;
    other.InitialCutHeight = "";
    other.CutKerf = "0.2";
    other.Optimize = false;
    other.CutSpeed = "1";
    other.LaserCutPower = "M3 S1000";
    const Lines plainLines = JobInMemory(plain, ExamplePicture());
    const Lines otherLines = JobInMemory(other, ExamplePicture());
    EXPECT_EQ(LinesAfter(otherLines, "; BEGIN IMAGE"), LinesAfter(plainLines, "; BEGIN IMAGE"));
    EXPECT_EQ(otherLines.back(), "M84");
    EXPECT_NE(std::find(otherLines.begin(), otherLines.end(), "; Not repeating image"),
              otherLines.end());
}

// Settings written as "Key=value|Key=value": profile keys (flags "1"), LeftCenterDwellTime.
JobSettings With(std::string_view assignments)
{
    JobSettings s = ExampleSettings();
    AppSettings unused;
    while (!assignments.empty()) {
        const std::string_view item = assignments.substr(0, assignments.find('|'));
        assignments.remove_prefix(std::min(assignments.size(), item.size() + 1));
        const std::string_view key = item.substr(0, item.find('='));
        const std::string value(item.substr(key.size() + 1));
        if (key == "LeftCenterDwellTime") {
            s.LeftCenterDwellTime = value;
        } else if (const FieldInfo* field = FindStoredField(key); field->isFlag()) {
            *FlagOf(*field, s, unused) = value == "1";
        } else {
            *TextOf(*field, s, unused) = value;
        }
    }
    return s;
}

struct BadNumberCase {
    const char* name;
    const char* settings; // see With
    char decimalSeparator;
    std::string message;
    const char* field; // the key the error names for the window
};

void PrintTo(const BadNumberCase& c, std::ostream* os)
{
    *os << c.name;
}

class BadNumber : public JobFile, public testing::WithParamInterface<BadNumberCase> {};

// Every number is checked before the file is touched: an existing file stays as it was and
// no temporary file is left behind. The first refusal in the order of the checks is shown.
TEST_P(BadNumber, StopsTheJobAndLeavesAnExistingFileUnchanged)
{
    JobEnvironment environment = Environment();
    environment.decimalSeparator = GetParam().decimalSeparator;
    const fs::path target = folder_ / "job.gcode";
    const std::string old = "G1 X1 Y1\r\n";
    WriteBytes(target, old);
    try {
        WriteJobFile(target, With(GetParam().settings), ExamplePicture(), environment);
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), GetParam().message);
        EXPECT_EQ(e.fieldKey(), GetParam().field);
    }
    EXPECT_EQ(ReadBytes(target), old);
    EXPECT_EQ(FolderEntries(folder_), std::vector<std::string>{"job.gcode"});
}

const std::string kNoFloat = "' is not a valid floating point value";
const std::string kNoSpeed = "' is not a speed greater than 0 (digits with at most one \".\")";
const std::string kNoPasses = "' is not a whole number from 1 to 1000";
const std::string kNoHeight =
    "' is not a height (digits with at most one \".\", \"-\" in front when negative)";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Checks, BadNumber, testing::Values(
    BadNumberCase{"EmptyDwellEvenWhenUnused", "DwellTime=", '.', "'" + kNoFloat, "DwellTime"},
    BadNumberCase{"FrontDwell", "FrontCenterDwellTime=5 000", '.', "'5 000" + kNoFloat, "FrontCenterDwellTime"},
    BadNumberCase{"LeftDwellInGrbl", "GRBL=1|LeftCenterDwellTime=2s", '.', "'2s" + kNoFloat, "LeftCenterDwellTime"},
    // The strict reading takes only the user's separator.
    BadNumberCase{"DwellWithTheOtherSeparator", "DwellTime=2.5", ',', "'2.5" + kNoFloat, "DwellTime"},
    // The backlash comes first, then the pauses in the order center, front, left.
    BadNumberCase{"BacklashBeforeThePauses", "Backlash=1|BacklashVal=0,2|DwellTime=x", '.', "'0,2" + kNoFloat, "BacklashVal"},
    BadNumberCase{"CenterBeforeFrontBeforeLeft", "DwellTime=\xC3\xA9|FrontCenterDwellTime=f|LeftCenterDwellTime=l", '.', "'\xC3\xA9" + kNoFloat, "DwellTime"},
    BadNumberCase{"FrontBeforeLeft", "FrontCenterDwellTime=f|LeftCenterDwellTime=l", '.', "'f" + kNoFloat, "FrontCenterDwellTime"},
    BadNumberCase{"UnusedBacklashIsNotRead", "Backlash=0|BacklashVal=abc|LeftCenterDwellTime=l", '.', "'l" + kNoFloat, "LeftCenterDwellTime"},
    // Then the numbers the machine is driven with, each naming its field, the pitch first: one
    // that reads as 0 switches the laser on and off over one spot.
    BadNumberCase{"PitchOfADotAlone", "DistPerPixel=.", '.', "Travel, per pixel: '.' is not a number greater than 0", "DistPerPixel"},
    BadNumberCase{"PitchOfTwoNumbers", "DistPerPixel=0.0050.05|UseXOffset=1|XOffset=--2", '.', "Travel, per pixel: '0.0050.05' is not a number greater than 0", "DistPerPixel"},
    BadNumberCase{"PitchNegative", "DistPerPixel=-0,1", ',', "Travel, per pixel: '-0,1' is not a number greater than 0", "DistPerPixel"},
    BadNumberCase{"PitchTooSmallToTellPixelsApart", "DistPerPixel=1e-8|UseXOffset=1|XOffset=100", '.', "Travel, per pixel: '1e-8' is so small that neighbouring pixels would be burned at one spot", "DistPerPixel"},
    BadNumberCase{"PitchTooLarge", "DistPerPixel=1e300", '.', "Travel, per pixel: '1e300' is so large that the picture's coordinates cannot be written", "DistPerPixel"},
    BadNumberCase{"XOffsetBeforeYOffset", "UseXOffset=1|XOffset=--2|UseYOffset=1|YOffset=", '.', "Print Offset, X Offset: '--2' is not a number", "XOffset"},
    BadNumberCase{"YOffsetEmptyBeforeSpeeds", "XOffset=--2|UseYOffset=1|YOffset=|OffSpeed=", '.', "Print Offset, Y Offset: '' is not a number", "YOffset"},
    BadNumberCase{"YOffsetTooLarge", "UseYOffset=1|YOffset=1e25", '.', "Print Offset, Y Offset: '1e25' is too large for a coordinate", "YOffset"},
    BadNumberCase{"BacklashTooLarge", "Backlash=1|BacklashVal=1e25|OnSpeed=", '.', "Miscellaneous, Backlash: '1e25' is too large for a coordinate", "BacklashVal"},
    BadNumberCase{"OffSpeedEmptyBeforeOnSpeed", "OffSpeed=|OnSpeed=", '.', "Speeds, Laser Off: '" + kNoSpeed, "OffSpeed"},
    // GRBL stops on "F1,5"; a G-code number has "." whatever the user's separator.
    BadNumberCase{"OnSpeedWithComma", "OnSpeed=1,5", ',', "Speeds, Laser On: '1,5" + kNoSpeed, "OnSpeed"},
    BadNumberCase{"OnSpeedZero", "OnSpeed=0.00", '.', "Speeds, Laser On: '0.00" + kNoSpeed, "OnSpeed"},
    BadNumberCase{"OnSpeedExponent", "OnSpeed=1e3", '.', "Speeds, Laser On: '1e3" + kNoSpeed, "OnSpeed"},
    BadNumberCase{"TraceSpeedWhenTracing", "IndicateBoundary=1|TraceSpeed=+200", '.', "Speeds, Trace: '+200" + kNoSpeed, "TraceSpeed"},
    BadNumberCase{"StartHeightEmpty", "GoStartHeight=1|StartHeight=", '.', "At start of job, Set height to: '" + kNoHeight, "StartHeight"},
    BadNumberCase{"StartHeightBlankInside", "GoStartHeight=1|StartHeight=2 6", '.', "At start of job, Set height to: '2 6" + kNoHeight, "StartHeight"},
    // Repeats are whole numbers of passes, the cut's lengths numbers the machine can reach.
    BadNumberCase{"ImageRepeatsEmpty", "RepeatImage=1|RepeatImageTimes=|IncludeCut=1|NumRepeats=0", '.', "Miscellaneous, Repeat image: '" + kNoPasses, "RepeatImageTimes"},
    BadNumberCase{"CutRepeatsZero", "IncludeCut=1|Outline=1|NumRepeats=0", '.', "Cut, Num Repeats: '0" + kNoPasses, "NumRepeats"},
    BadNumberCase{"CutRepeatsFraction", "IncludeCut=1|Outline=1|NumRepeats=1.5", '.', "Cut, Num Repeats: '1.5" + kNoPasses, "NumRepeats"},
    BadNumberCase{"CutRepeatsTooMany", "IncludeCut=1|Outline=1|NumRepeats=1001", '.', "Cut, Num Repeats: '1001" + kNoPasses, "NumRepeats"},
    BadNumberCase{"CutSpeedZero", "IncludeCut=1|Outline=1|NumRepeats=2|CutSpeed=0", '.', "Speeds, Laser Cut: '0" + kNoSpeed, "CutSpeed"},
    BadNumberCase{"ZSpeedWithStepDown", "IncludeCut=1|Outline=1|NumRepeats=2|DoAdvDown=1|ZSpeed=", '.', "Speeds, Z-Axis: '" + kNoSpeed, "ZSpeed"},
    BadNumberCase{"CutHeightEmpty", "IncludeCut=1|Outline=1|NumRepeats=2|DoAdvDown=1|InitialCutHeight=", '.', "Cut, Initial Cut Height: '' is not a height", "InitialCutHeight"},
    BadNumberCase{"StepDownNegative", "IncludeCut=1|Outline=1|NumRepeats=2|DoAdvDown=1|AdvDownAmount=-1", '.', "Cut, Advance down each repeat: '-1' is not a distance of 0 or more", "AdvDownAmount"},
    BadNumberCase{"KerfNegative", "IncludeCut=1|Outline=0|NumRepeats=2|CutKerf=-0.2", '.', "Cut, Kerf: '-0.2' is not a distance of 0 or more", "CutKerf"}),
    [](const testing::TestParamInfo<BadNumberCase>& info) { return info.param.name; });
// clang-format on

// Texts that pass the checks go into the job exactly as typed; computed numbers as read.
TEST(UsableNumbers, GoIntoTheJobUnchanged)
{
    const struct {
        const char* settings;
        char separator;
        const char* line; // a line of the job, exactly
    } cases[] = {
        {"OnSpeed= 500 ", '.', "G1 X2 Y0 F 500  "},
        {"OnSpeed=.5", ',', "G1 X2 Y0 F.5 "},
        {"DistPerPixel=0,5|UseXOffset=1|XOffset=-1", '.', "G1 X1 Y0 F500 "},
        {"GoStartHeight=1|StartHeight=-0.5", '.', "G1 Z-0.5\t\t; Move Z to starting height"},
    };
    for (const auto& c : cases) {
        const JobSettings s = With(c.settings);
        EXPECT_NO_THROW(CheckJobNumbers(s, ExamplePicture(), c.separator)) << c.settings;
        StringJobSink sink;
        WriteJob(sink, MakeJobContext(s, ExamplePicture(), c.separator), s, ExamplePicture(),
                 Environment());
        const Lines lines = JobLines(sink.text());
        EXPECT_NE(std::find(lines.begin(), lines.end(), c.line), lines.end()) << c.settings;
    }
}

// Process file size limits and folder permission bits are POSIX only.
#ifndef _WIN32

// A picture whose job is far larger than 64 KiB.
MonoBitmap Checkerboard(std::int32_t size)
{
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(size) * static_cast<std::size_t>(size));
    for (std::int32_t r = 0; r < size; ++r) {
        for (std::int32_t c = 0; c < size; ++c) {
            mask[static_cast<std::size_t>(r * size + c)] = (r + c) % 2 == 0;
        }
    }
    return MonoBitmap::FromBlackMask(size, size, mask);
}

// Runs the job in a child process whose files may not grow past 64 KiB and returns the
// error text it reported ("" when the job succeeded).
std::string WriteWithFileSizeLimit(const fs::path& target)
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        return "pipe failed";
    }
    const MonoBitmap picture = Checkerboard(200);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::string message;
        try {
            WriteJobFile(target, ExampleSettings(), picture, JobEnvironment{});
        } catch (const Error& e) {
            message = e.what();
        } catch (...) {
            message = "unexpected exception";
        }
        const ssize_t written = ::write(pipeEnds[1], message.data(), message.size());
        ::_exit(written == static_cast<ssize_t>(message.size()) ? 0 : 1);
    }
    ::close(pipeEnds[1]);
    std::string message;
    char buffer[256];
    ssize_t n;
    while ((n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0) {
        message.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    return message;
}

TEST_F(JobFile, FileTooLargeLeavesNoFile)
{
    const fs::path target = folder_ / "job.gcode";
    EXPECT_EQ(WriteWithFileSizeLimit(target), "File too large");
    EXPECT_TRUE(FolderEntries(folder_).empty()) << "a partial or temporary file was left";
}

TEST_F(JobFile, FileTooLargeLeavesAnExistingFileUnchanged)
{
    const fs::path target = folder_ / "job.gcode";
    const std::string old = "M107\r\n";
    WriteBytes(target, old);
    EXPECT_EQ(WriteWithFileSizeLimit(target), "File too large");
    EXPECT_EQ(ReadBytes(target), old);
    EXPECT_EQ(FolderEntries(folder_), std::vector<std::string>{"job.gcode"});
}

TEST_F(JobFile, ReadOnlyFolderIsAccessDenied)
{
    fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
    try {
        WriteJobFile(folder_ / "job.gcode", ExampleSettings(), ExamplePicture(), Environment());
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "File access denied");
    }
    fs::permissions(folder_, fs::perms::owner_all);
    EXPECT_TRUE(FolderEntries(folder_).empty());
}

#endif

TEST_F(JobFile, MissingFolderIsReported)
{
    EXPECT_THROW(WriteJobFile(folder_ / "no" / "job.gcode", ExampleSettings(), ExamplePicture(),
                              Environment()),
                 Error);
}

} // namespace
} // namespace pyrolith
