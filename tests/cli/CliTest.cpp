// Runs pyrolith-cli as a process: exit statuses, exact messages, files left alone on errors.
#include <gtest/gtest.h>
#include <unistd.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/PathText.h"
#include "image/PictureReader.h"
#include "image/Bitmap.h"
#include "material/LabelFont.h"
#include "material/RampMeasure.h"
#include "support/SyntheticRamp.h"
#include "support/TestFolder.h"
#include "outline/CutOutline.h"
#include "settings/SettingsFiles.h"
#ifndef _WIN32
#include "cli/CliProcess.h"  // RunCli: the program as a child process
#endif

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

#ifdef _WIN32

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// An argument quoted the way CommandLineToArgvW reads it back.
std::wstring Quoted(const std::wstring& argument)
{
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L'"';
}

// Runs the program with `environment` added and SOURCE_DATE_EPOCH removed (Windows takes no
// locale from the environment); output goes through files, as on POSIX.
CliRun RunCli(const std::vector<std::string>& arguments,
              const std::map<std::string, std::string>& environment = {})
{
    const fs::path folder = fs::temp_directory_path();
    const fs::path outPath = folder / ("cli-out-" + std::to_string(::GetCurrentProcessId()));
    const fs::path errPath = folder / ("cli-err-" + std::to_string(::GetCurrentProcessId()));
    ::SetEnvironmentVariableW(L"SOURCE_DATE_EPOCH", nullptr);
    for (const auto& [name, value] : environment) {
        ::SetEnvironmentVariableW(pyrolith::PathFromUtf8(name).c_str(),
                                  pyrolith::PathFromUtf8(value).c_str());
    }
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const HANDLE out = ::CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const HANDLE err = ::CreateFileW(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = err;
    std::wstring commandLine = Quoted(pyrolith::PathFromUtf8(PYROLITH_CLI).native());
    for (const std::string& argument : arguments) {
        commandLine += L" " + Quoted(pyrolith::PathFromUtf8(argument).native());
    }
    PROCESS_INFORMATION process{};
    CliRun run;
    if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                         &startup, &process)) {
        ::WaitForSingleObject(process.hProcess, INFINITE);
        DWORD status = 0;
        ::GetExitCodeProcess(process.hProcess, &status);
        run.status = static_cast<int>(status);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    ::CloseHandle(out);
    ::CloseHandle(err);
    for (const auto& entry : environment) {
        ::SetEnvironmentVariableW(pyrolith::PathFromUtf8(entry.first).c_str(), nullptr);
    }
    // Standard output and error are text streams, which end their lines with CR LF on Windows.
    for (auto [text, path] : {std::pair{&run.out, &outPath}, std::pair{&run.err, &errPath}}) {
        *text = ReadFile(*path);
        for (std::size_t at = 0; (at = text->find("\r\n", at)) != std::string::npos;) {
            text->erase(at, 1);
        }
    }
    fs::remove(outPath);
    fs::remove(errPath);
    return run;
}

#endif

void Put16(std::string& bytes, std::uint16_t v)
{
    bytes += static_cast<char>(v & 0xFF);
    bytes += static_cast<char>(v >> 8);
}

void Put32(std::string& bytes, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        bytes += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
}

// A bottom-up 24-bit grey bitmap; grey(x, y) gives each pixel, y = 0 the top row.
std::string GreyBitmap24(std::uint32_t width, std::uint32_t height,
                         const std::function<std::uint8_t(std::uint32_t, std::uint32_t)>& grey)
{
    const std::uint32_t stride = (width * 3 + 3) / 4 * 4;
    std::string bytes = "BM";
    Put32(bytes, 54 + stride * height);
    Put32(bytes, 0);
    Put32(bytes, 54);
    Put32(bytes, 40);
    Put32(bytes, width);
    Put32(bytes, height);
    Put16(bytes, 1);
    Put16(bytes, 24);
    Put32(bytes, 0);
    Put32(bytes, stride * height);
    Put32(bytes, 2835);
    Put32(bytes, 2835);
    Put32(bytes, 0);
    Put32(bytes, 0);
    for (std::uint32_t y = height; y-- > 0;) {
        std::string line;
        for (std::uint32_t x = 0; x < width; ++x) {
            line.append(3, static_cast<char>(grey(x, y)));
        }
        line.resize(stride, '\0');
        bytes += line;
    }
    return bytes;
}

// `black` lists the rows from the top, '#' for a black pixel.
std::string Bitmap24(const std::vector<std::string>& rows)
{
    return GreyBitmap24(static_cast<std::uint32_t>(rows.front().size()),
                        static_cast<std::uint32_t>(rows.size()),
                        [&](std::uint32_t x, std::uint32_t y) -> std::uint8_t {
                            return rows[y][x] == '#' ? 0 : 0xFF;
                        });
}

// A 32-bit bitmap stored with colour masks: a layout the program refuses.
std::string Bitmap32WithMasks()
{
    std::string bytes = "BM";
    Put32(bytes, 66 + 4);
    Put32(bytes, 0);
    Put32(bytes, 66);
    Put32(bytes, 40);
    Put32(bytes, 1);
    Put32(bytes, 1);
    Put16(bytes, 1);
    Put16(bytes, 32);
    Put32(bytes, 3);  // BI_BITFIELDS
    Put32(bytes, 4);
    Put32(bytes, 2835);
    Put32(bytes, 2835);
    Put32(bytes, 0);
    Put32(bytes, 0);
    Put32(bytes, 0x00FF0000);
    Put32(bytes, 0x0000FF00);
    Put32(bytes, 0x000000FF);
    Put32(bytes, 0);
    return bytes;
}

class CliTest : public testing::Test {
protected:
    void SetUp() override
    {
        temp_.emplace("cli");
        folder_ = temp_->path();
        Write("pic.bmp", Bitmap24({".##.", "#..#"}));
    }
    void TearDown() override { temp_.reset(); }

    std::string Path(const std::string& name) const
    {
        return pyrolith::Utf8FromPath(folder_ / pyrolith::PathFromUtf8(name));
    }
    void Write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(folder_ / pyrolith::PathFromUtf8(name), std::ios::binary) << bytes;
    }
    std::string Read(const std::string& name) const
    {
        return ReadFile(folder_ / pyrolith::PathFromUtf8(name));
    }
    std::vector<std::string> Lines(const std::string& name) const
    {
        std::vector<std::string> lines;
        const std::string text = Read(name);
        std::size_t start = 0;
        while (start < text.size()) {
            const auto end = text.find("\r\n", start);
            if (end == std::string::npos) {
                lines.push_back(text.substr(start) + "<no CR LF>");
                break;
            }
            lines.push_back(text.substr(start, end - start));
            start = end + 2;
        }
        return lines;
    }

    std::optional<pyrolith::test::TestFolder> temp_;
    fs::path folder_;
};

TEST_F(CliTest, VersionAndHelpSucceed)
{
    const CliRun version = RunCli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "pyrolith-cli 1.3.0.4\n");

    const CliRun help = RunCli({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--profile", "--set", "--decimal-separator", "--mono",
                               "--version", "--help", "INPUT", "OUTPUT"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
    // The subcommands, one line each.
    for (const char* line :
         {"\n  check FILE.gcode         Reads a G-code file: the estimated time and every line the\n",
          "\n  send --port PORT FILE    Streams a G-code file to a GRBL controller or a 3D "
          "printer\n"}) {
        EXPECT_NE(help.out.find(line), std::string::npos) << line << help.out;
    }
}

TEST_F(CliTest, UsageErrorsExitWithTwoAndWriteNothing)
{
    const std::vector<std::vector<std::string>> calls = {
        {"--frobnicate", Path("pic.bmp"), Path("out.gcode")},
        {Path("pic.bmp")},
        {"--set", "NoSuchKey=1", Path("pic.bmp"), Path("out.gcode")},
        {"--set", "AutoLoadProfile=1", Path("pic.bmp"), Path("out.gcode")},
        {"--set", "OnSpeed", Path("pic.bmp"), Path("out.gcode")},
        {"--decimal-separator", ".,", Path("pic.bmp"), Path("out.gcode")},
    };
    for (const auto& call : calls) {
        const CliRun run = RunCli(call);
        EXPECT_EQ(run.status, 2) << call.front();
        EXPECT_NE(run.err.find("usage: pyrolith-cli"), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty());
        EXPECT_FALSE(fs::exists(folder_ / "out.gcode"));
    }
}

TEST_F(CliTest, WritesTheJobAndPrintsTheSizeLines)
{
    const CliRun run = RunCli({Path("pic.bmp"), Path("out.gcode")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Original size: 4 x 2 pixels\nFinal size: 0.4000 x 0.2000 mm\n");
    EXPECT_TRUE(run.err.empty());
    const auto lines = Lines("out.gcode");
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "; Black and White Bitmap");
    EXPECT_EQ(lines[1], "; Original File: pic.bmp");
    EXPECT_EQ(lines[3], "; Pyrolith v1.3.0.4");
    EXPECT_EQ(lines[4], "; Base unit: mm");
    // First run defaults: laser-on speed of a profile is 200, the job ends with the laser off.
    EXPECT_NE(std::find(lines.begin(), lines.end(), "; Laser On Speed: 200 mm/min"), lines.end());
    EXPECT_EQ(lines.back(), "M107");
}

TEST_F(CliTest, JobErrorsExitWithOneAndLeaveTheOutputUnchanged)
{
    Write("out.gcode", "precious");
    Write("masks.bmp", Bitmap32WithMasks());
    Write("wrong.prf", "[Other]\r\nOnSpeed=900\r\n");
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"--set", "DwellTime=abc", Path("pic.bmp"), Path("out.gcode")},
         "pyrolith-cli: 'abc' is not a valid floating point value\n"},
        {{"--set", "FrontCenterDwellTime=", Path("pic.bmp"), Path("out.gcode")},
         "pyrolith-cli: '' is not a valid floating point value\n"},
        {{"--set", "Backlash=1", "--set", "BacklashVal=0,5", Path("pic.bmp"), Path("out.gcode")},
         "pyrolith-cli: '0,5' is not a valid floating point value\n"},
        {{Path("masks.bmp"), Path("out.gcode")},
         "pyrolith-cli: Unrecognized pixel format. Try opening with graphics editor and use the "
         "\"Save As...\" function to save to a standard color depth.\n"},
        {{"--profile", Path("missing.prf"), Path("pic.bmp"), Path("out.gcode")},
         "pyrolith-cli: Profile not found: " + Path("missing.prf") + "\n"},
        {{"--profile", Path("wrong.prf"), Path("pic.bmp"), Path("out.gcode")},
         "pyrolith-cli: '" + Path("wrong.prf") + "' is not a profile: it has no [Values] "
         "section\n"},
        {{"--set", "DistPerPixel=abc", Path("pic.bmp"), Path("out.gcode")},
         "pyrolith-cli: Travel, per pixel: 'abc' is not a number greater than 0\n"},
        {{"--set", "UseXOffset=1", "--set", "XOffset=--2", Path("pic.bmp"), Path("out.gcode")},
         "pyrolith-cli: Print Offset, X Offset: '--2' is not a number\n"},
        {{"--set", "OnSpeed=", Path("pic.bmp"), Path("out.gcode")},
         "pyrolith-cli: Speeds, Laser On: '' is not a speed greater than 0 (digits with at "
         "most one \".\")\n"},
        {{"--set", "GoStartHeight=1", "--set", "StartHeight=", Path("pic.bmp"),
          Path("out.gcode")},
         "pyrolith-cli: At start of job, Set height to: '' is not a height (digits with at "
         "most one \".\", \"-\" in front when negative)\n"},
        {{"--set", "IncludeCut=1", "--set", "NumRepeats=0", Path("pic.bmp"), Path("out.gcode")},
         "pyrolith-cli: Cut, Num Repeats: '0' is not a whole number from 1 to 1000\n"},
    };
    for (const Case& c : cases) {
        const CliRun run = RunCli(c.arguments);
        EXPECT_EQ(run.status, 1) << c.message;
        EXPECT_EQ(run.err, c.message);
        EXPECT_TRUE(run.out.empty());
        EXPECT_EQ(Read("out.gcode"), "precious");
    }
    const CliRun unreadable = RunCli({Path("nothing.bmp"), Path("fresh.gcode")});
    EXPECT_EQ(unreadable.status, 1);
    EXPECT_EQ(unreadable.err.rfind("pyrolith-cli: ", 0), 0u) << unreadable.err;
    EXPECT_FALSE(fs::exists(folder_ / "fresh.gcode"));
}

// The cut as the window makes it, set on the command line. A build without the tracer cuts
// the print area and says plainly that it cannot cut along the image.
TEST_F(CliTest, SetCutsAlongTheImageOrSaysThisBuildCannot)
{
    const std::vector<std::string> cut = {"--set", "IncludeCut=1", "--set", "NumRepeats=2",
                                          "--set", "DoAdvDown=0"};
    for (const char* outline : {"Outline=1", "Outline=0"}) {
        std::vector<std::string> arguments = cut;
        arguments.insert(arguments.end(), {"--set", outline, Path("pic.bmp"), Path("out.gcode")});
        const CliRun run = RunCli(arguments);
        if (std::string(outline) == "Outline=0" && !pyrolith::outline::PictureOutlineAvailable()) {
            EXPECT_EQ(run.status, 1);
            EXPECT_EQ(run.err, "pyrolith-cli: This build of Pyrolith cannot trace the outline of "
                               "the image. Choose \"Outline of printing boundary\" on the Cut "
                               "page of the settings.\n");
            continue;
        }
        ASSERT_EQ(run.status, 0) << run.err;
        const std::string job = Read("out.gcode");
        for (const char* line : {"; Begin Perimeter Cut\r\n; Cut pass 1 of 2\r\n",
                                 "\r\n; Cut pass 2 of 2\r\n", "\r\n; End Perimeter Cut\r\n\r\n"}) {
            EXPECT_NE(job.find(line), std::string::npos) << outline << ": " << line;
        }
    }
}

TEST_F(CliTest, DecimalSeparatorOptionDecidesTheStrictReading)
{
    const CliRun run = RunCli({"--decimal-separator", ",", "--set", "Backlash=1", "--set",
                            "BacklashVal=0,5", Path("pic.bmp"), Path("out.gcode")});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = Lines("out.gcode");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "; Backlash Correction enabled, 0,5 mm"),
              lines.end());
}

TEST_F(CliTest, SetAppliesInOrderOverTheProfile)
{
    Write("machine.prf", "[Values]\r\nOnSpeed=900\r\nUseInches=1\r\nStartComment=(\r\n"
                         "EndComment=)\r\n");
    const CliRun run = RunCli({"--profile", Path("machine.prf"), "--set", "onspeed=800", "--set",
                            "ONSPEED=750", "--set", "UseInches=yes", Path("pic.bmp"),
                            Path("out.gcode")});
    ASSERT_EQ(run.status, 0) << run.err;
    // "yes" is no whole number: the flag takes its profile default (millimetres).
    EXPECT_EQ(run.out, "Original size: 4 x 2 pixels\nFinal size: 0.4000 x 0.2000 mm\n");
    const auto lines = Lines("out.gcode");
    EXPECT_EQ(lines[0], "(Black and White Bitmap)");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "(Laser On Speed: 750 mm/min)"), lines.end());
}

// A profile saved with blanks and quotes at the edges of its values gives the job those
// values as they were typed.
TEST_F(CliTest, ProfileKeepsTheEdgesOfItsValues)
{
    pyrolith::JobSettings settings;
    pyrolith::AppSettings app;
    settings.UseInches = false;
    settings.StartComment = "; ";
    settings.EndComment = " ;";
    settings.LaserOffCommand = " M107";
    settings.LaserOnCommand = "'M106 S255'";
    settings.UseEndOfCode = true;
    settings.EndOfCode = " G28 X\r\nM84 ";
    pyrolith::MakeIniFile(folder_ / "edges.prf", settings, app);
    const CliRun run = RunCli({"--profile", Path("edges.prf"), Path("pic.bmp"), Path("out.gcode")});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = Lines("out.gcode");
    ASSERT_GE(lines.size(), 10u);
    EXPECT_EQ(lines[0], "; Black and White Bitmap ;");
    EXPECT_EQ(lines[7], "; Laser Off Command:  M107 ;");
    EXPECT_EQ(lines[8], "; Laser Print Command: 'M106 S255' ;");
    EXPECT_EQ(std::vector<std::string>(lines.end() - 2, lines.end()),
              (std::vector<std::string>{" G28 X", "M84 "}));
}

// The header ends with what the picture became, the source's size included.
TEST_F(CliTest, HeaderSaysWhatThePictureBecame)
{
    const CliRun run = RunCli({"--set", "ImageMode=FloydSteinberg", "--set", "ResizeWidth=0.8",
                               Path("pic.bmp"), Path("out.gcode")});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = Lines("out.gcode");
    const auto flavor = std::find(lines.begin(), lines.end(), "; Using 3D Printer flavor");
    ASSERT_NE(flavor, lines.end());
    EXPECT_EQ(std::vector<std::string>(flavor + 1, flavor + 5),
              (std::vector<std::string>{"; Picture: Floyd-Steinberg dither",
                                        "; Resized to 8 x 4 pixels for a width of 0.8 mm",
                                        "; Source picture: 4 x 2 pixels", ""}));
}

// A speed the machine cannot reach is warned of; the job is written all the same.
TEST_F(CliTest, WarnsOfSpeedsAboveTheMaximumRate)
{
    const CliRun run = RunCli({"--set", "OffSpeed=15003000", Path("pic.bmp"), Path("out.gcode")});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "Warning: Speeds, Laser Off: 15003000 mm/min is above the machine's "
                       "maximum rate of 6000 mm/min (Machine page, Max rate X)\n");
    EXPECT_TRUE(fs::exists(folder_ / "out.gcode"));
}

TEST_F(CliTest, LinesFieldsTakeTheFileFormsLineBreaks)
{
    const CliRun run =
        RunCli({"--set", "UseStartOfCode=1", "--set", "StartOfCode=G21\xC3\xBF\xC3\xBEG90",
                Path("pic.bmp"), Path("out.gcode")});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = Lines("out.gcode");
    const auto blank = std::find(lines.begin(), lines.end(), "");
    ASSERT_NE(blank, lines.end());
    ASSERT_GE(lines.end() - blank, 4);
    EXPECT_EQ(*(blank + 1), "G21");
    EXPECT_EQ(*(blank + 2), "G90");
    EXPECT_EQ(*(blank + 3), "");
    EXPECT_EQ(*(blank + 4), "M107\t; Laser Off");
}

TEST_F(CliTest, SourceDateEpochMakesTheJobReproducible)
{
    const std::map<std::string, std::string> epoch = {{"SOURCE_DATE_EPOCH", "86400"}};
    ASSERT_EQ(RunCli({Path("pic.bmp"), Path("a.gcode")}, epoch).status, 0);
    ASSERT_EQ(RunCli({Path("pic.bmp"), Path("b.gcode")}, epoch).status, 0);
    EXPECT_EQ(Read("a.gcode"), Read("b.gcode"));
    EXPECT_EQ(Lines("a.gcode")[2], "; 01/02/70 at 00:00:00");
}

// Arguments reach the system calls whole: picture, profile, job and image in a folder with
// non-ASCII names. The job names the picture in Windows-1252, "?" for what it cannot hold.
TEST_F(CliTest, NonAsciiPathsAreReadAndWritten)
{
    const std::string folder = "Gravur \xC3\xBC/";
    fs::create_directory(folder_ / pyrolith::PathFromUtf8(folder));
    const std::string picture = folder + "Gr\xC3\xB6\xC3\x9F" "e \xE2\x9C\x93.bmp";
    Write(picture, Bitmap24({"#."}));
    Write(folder + "M\xC3\xA4" "chtig.prf", "[Values]\r\nOnSpeed=900\r\n");
    const CliRun run =
        RunCli({"--profile", Path(folder + "M\xC3\xA4" "chtig.prf"), "--mono",
                Path(folder + "bw \xE2\x9C\x93.bmp"), Path(picture), Path(folder + "job \xE2\x9C\x93.gcode")});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = Lines(folder + "job \xE2\x9C\x93.gcode");
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], "; Original File: Gr\xF6\xDF" "e ?.bmp");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "; Laser On Speed: 900 mm/min"), lines.end());
    EXPECT_EQ(pyrolith::ReadBitmap(folder_ / pyrolith::PathFromUtf8(folder + "bw \xE2\x9C\x93.bmp")).width, 2);
}

TEST_F(CliTest, MonoWritesTheBlackAndWhiteImage)
{
    const CliRun run = RunCli({"--mono", Path("bw.bmp"), Path("pic.bmp"), Path("out.gcode")});
    ASSERT_EQ(run.status, 0) << run.err;
    const pyrolith::Bitmap mono = pyrolith::ReadBitmap(folder_ / "bw.bmp");
    EXPECT_EQ(mono.bitsPerPixel, 4);
    ASSERT_EQ(mono.width, 4);
    ASSERT_EQ(mono.height, 2);
    const std::vector<std::string> expected = {".##.", "#..#"};
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 4; ++x) {
            const bool black = mono.pixel(x, y) == pyrolith::Rgb{0, 0, 0};
            EXPECT_EQ(black, expected[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] == '#')
                << x << "," << y;
        }
    }
}

TEST_F(CliTest, CheckPrintsTheEstimateAndTheRefusedLines)
{
    // 6000 mm at 10 mm/s with 500 mm/s^2: 600 s plus 0.02 s to speed up and to stop.
    Write("job.gcode", "G21 G90\r\nM106 S255\r\nG1 X6000 F600 E1\r\nG4 P59.5\r\n");
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string out;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"check", "--set", "GRBL=1", Path("job.gcode")}, 0, "Estimated time: 0:11:00\n",
         "Warning: line 2: M106 is not a GRBL command (error:20)\n"
         "Warning: line 3: E words are not GRBL words (error:20)\n"},
        // A printer's pause is in milliseconds.
        {{"check", Path("job.gcode")}, 0, "Estimated time: 0:10:00\n", ""},
        {{"check", Path("none.gcode")}, 1, "", "pyrolith-cli: Cannot open " + Path("none.gcode") + "\n"},
        {{"check", "--set", "Nope=1", Path("job.gcode")}, 2, "",
         "pyrolith-cli: unknown setting 'Nope'\n"},
    };
    for (const Case& c : cases) {
        const CliRun run = RunCli(c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments[1];
        EXPECT_EQ(run.out, c.out) << c.arguments[1];
        EXPECT_EQ(run.err, c.err) << c.arguments[1];
    }
}

// Without a profile, check reads a job of ours in the flavor its header names and says so; a
// flavor given on the command line wins.
TEST_F(CliTest, CheckTakesTheFlavorFromTheJobsHeader)
{
    // A GRBL job with a printer command of the user's: only GRBL refuses it.
    ASSERT_EQ(RunCli({"--set", "GRBL=1", "--set", "UseEndOfCode=1", "--set", "EndOfCode=M107",
                      Path("pic.bmp"), Path("grbl.gcode")})
                  .status,
              0);
    ASSERT_EQ(RunCli({"--set", "GRBL=0", Path("pic.bmp"), Path("printer.gcode")}).status, 0);
    const std::string profile = Path("printer.prf");
    Write("printer.prf", "[Values]\r\nGRBL=0\r\n");
    const CliRun asGrbl = RunCli({"check", "--set", "GRBL=1", Path("grbl.gcode")});
    const CliRun asPrinter = RunCli({"check", "--set", "GRBL=0", Path("grbl.gcode")});
    ASSERT_NE(asGrbl.err, asPrinter.err);
    const CliRun printerRun =
        RunCli({"check", "--set", "MaxRateX=3000", "--set", "GRBL=0", Path("printer.gcode")});
    struct Case {
        std::vector<std::string> arguments;
        std::string out;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"check", Path("grbl.gcode")}, "Flavor: GRBL, as the job's header says\n" + asGrbl.out,
         asGrbl.err},
        {{"check", "--set", "MaxRateX=3000", Path("printer.gcode")},
         "Flavor: 3D Printer, as the job's header says\n" + printerRun.out, printerRun.err},
        {{"check", "--set", "grbl=0", Path("grbl.gcode")}, asPrinter.out, asPrinter.err},
        {{"check", "--profile", profile, Path("grbl.gcode")}, asPrinter.out, asPrinter.err},
    };
    for (const Case& c : cases) {
        const CliRun run = RunCli(c.arguments);
        EXPECT_EQ(run.status, 0) << c.arguments[1];
        EXPECT_EQ(run.out, c.out) << c.arguments[1];
        EXPECT_EQ(run.err, c.err) << c.arguments[1];
    }
}

TEST_F(CliTest, EstimateReadsBackTheJobItWrote)
{
    const CliRun run = RunCli({"--set", "GRBL=1", "--estimate", Path("pic.bmp"), Path("out.gcode")});
    ASSERT_EQ(run.status, 0) << run.err;
    const CliRun check = RunCli({"check", "--set", "GRBL=1", Path("out.gcode")});
    EXPECT_EQ(run.out, "Original size: 4 x 2 pixels\nFinal size: 0.4000 x 0.2000 mm\n" + check.out);
    EXPECT_EQ(run.err, check.err);
    EXPECT_NE(run.err.find("Warning: line "), std::string::npos) << "M106 in a GRBL job";
}

// The preview at one pixel per pixel pitch burns exactly the picture's black pixels: the
// black of the PNG, as ImageMagick reads it, cut to its bounds, is the picture.
TEST_F(CliTest, PreviewBurnsThePicturesBlackPixels)
{
#ifdef _WIN32
    GTEST_SKIP() << "ImageMagick makes this test's pictures on Linux only";
#endif
    if (!fs::exists("/usr/bin/convert")) {
        GTEST_SKIP() << "ImageMagick is not installed";
    }
    const std::vector<std::string> picture = {"#..##.#....#", ".#####..##..", "##...##....#",
                                              "............", "...#.......#"};
    Write("rows.bmp", Bitmap24(picture));
    // No dwells: their crosses would cover the picture.
    const std::vector<std::vector<std::string>> flavors = {
        {"--set", "GRBL=0"},
        {"--set", "GRBL=1", "--set", "LaserOffCommand=M5", "--set", "LaserOnCommand=M4 S1000",
         "--set", "LaserLowPower=M3 S10"}};
    for (std::vector<std::string> arguments : flavors) {
        const std::string flavor = arguments[1];
        for (const char* more : {"--set", "IndicateCenter=0", "--set", "IndicateFrontCenter=0",
                                 "--preview", "p.png", "rows.bmp", "out.gcode"}) {
            const bool file = std::string(more).find('.') != std::string::npos &&
                              std::string(more).find('=') == std::string::npos;
            arguments.push_back(file ? Path(more) : more);
        }
        const CliRun run = RunCli(arguments);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "") << flavor;
        std::string rgb;
        if (FILE* pipe = ::popen(("/usr/bin/convert " + Path("p.png") +
                                  " -format '%w %h\\n' -write info:- -depth 8 rgb:-").c_str(), "r")) {
            char buffer[4096];
            std::size_t n = 0;
            while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
                rgb.append(buffer, n);
            }
            ::pclose(pipe);
        }
        const auto newline = rgb.find('\n');
        ASSERT_NE(newline, std::string::npos);
        const int width = std::stoi(rgb.substr(0, rgb.find(' ')));
        const std::string pixels = rgb.substr(newline + 1);
        const int height = static_cast<int>(pixels.size() / 3 / static_cast<std::size_t>(width));
        int left = width, right = -1, top = height, bottom = -1;
        auto black = [&](int x, int y) {
            return pixels.compare((static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                   static_cast<std::size_t>(x)) * 3, 3, std::string(3, '\0')) == 0;
        };
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                if (black(x, y)) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
            }
        }
        std::vector<std::string> burned;
        for (int y = top; y <= bottom; ++y) {
            std::string row;
            for (int x = left; x <= right; ++x) {
                row += black(x, y) ? '#' : '.';
            }
            burned.push_back(row);
        }
        EXPECT_EQ(burned, picture) << flavor;
    }
}

}  // namespace

namespace {

// A PNG of the same pixels, under a name that does not say PNG: the first bytes decide.
TEST_F(CliTest, PictureOfAnotherFormatGivesTheSameJob)
{
#ifdef _WIN32
    GTEST_SKIP() << "ImageMagick makes this test's pictures on Linux only";
#endif
    const std::string command = "/usr/bin/convert '" + Path("pic.bmp") + "' 'PNG:" +
                                Path("picture.data") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::map<std::string, std::string> epoch = {{"SOURCE_DATE_EPOCH", "86400"}};
    ASSERT_EQ(RunCli({Path("pic.bmp"), Path("bmp.gcode")}, epoch).status, 0);
    const CliRun run = RunCli({"--set", "imagemode=Threshold", Path("picture.data"),
                               Path("png.gcode")}, epoch);
    ASSERT_EQ(run.status, 0) << run.err;
    auto fromBmp = Lines("bmp.gcode");
    auto fromPng = Lines("png.gcode");
    EXPECT_EQ(fromPng[1], "; Original File: picture.data");
    fromPng[1] = fromBmp[1];
    // The header says how the picture became black and white; the rest is the same job.
    const auto mode = std::find(fromPng.begin(), fromPng.end(), "; Picture: Threshold");
    ASSERT_NE(mode, fromPng.end());
    EXPECT_EQ(*(mode + 1), "; Threshold: 128");
    fromPng.erase(mode, mode + 2);
    EXPECT_EQ(fromPng, fromBmp);

    const CliRun resized = RunCli({"--set", "ResizeWidth=0.8", "--set", "ImageMode=Bayer",
                                   Path("picture.data"), Path("r.gcode")});
    ASSERT_EQ(resized.status, 0) << resized.err;
    EXPECT_EQ(resized.out, "Original size: 4 x 2 pixels\nFinal size: 0.8000 x 0.4000 mm\n");
}

}  // namespace

// A PNG made by ImageMagick with the greys 191, 127, 255 and 0: with four power levels the
// levels 1, 2, none and 3.
TEST_F(CliTest, GrayscaleBurnsThePowerLevelsOfAPicture)
{
    if (!pyrolith::PictureDecodersAvailable()) {
        GTEST_SKIP() << "this build reads bitmaps only";
    }
    const std::string picture = std::string(PYROLITH_TEST_DATA) + "/cli/greys.png";
    const std::vector<std::string> options = {
        "--set", "ImageMode=Grayscale", "--set", "PowerLevels=4",    "--set", "MinPower=30",
        "--set", "Overscan=0.5",        "--set", "DistPerPixel=0.5", "--set", "SyncLaserCommands=1"};
    std::vector<std::string> arguments = options;
    arguments.insert(arguments.end(), {picture, Path("out.gcode")});
    const CliRun run = RunCli(arguments);
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = Lines("out.gcode");
    const auto flavor = std::find(lines.begin(), lines.end(), "; Using 3D Printer flavor");
    ASSERT_NE(flavor, lines.end());
    EXPECT_EQ(std::vector<std::string>(flavor + 1, flavor + 4),
              (std::vector<std::string>{"; Grayscale with 4 power levels, minimum power 30",
                                        "; Overscan of 0.5 mm",
                                        "; Waiting for moves before switching the laser (M400)"}));
    const auto image = std::find(lines.begin(), lines.end(), "; BEGIN IMAGE");
    ASSERT_NE(image, lines.end());
    EXPECT_EQ(std::vector<std::string>(image + 1, lines.end()),
              (std::vector<std::string>{
                  "M400", "M107", "G1 X0 Y0 F1500 ", "G1 X0.5 Y0 F200 ", //
                  "M400", "M106 S105", "G1 X1 Y0 F200 ",                 //
                  "M400", "M106 S180", "G1 X1.5 Y0 F200 ",               //
                  "M400", "M107", "G1 X2 Y0 F200 ",                      //
                  "M400", "M106 S255", "G1 X2.5 Y0 F200 ",               //
                  "M400", "M107", "G1 X3 Y0 F200 ", "M400", "M107"}));

    arguments = options;
    arguments.insert(arguments.end(),
                     {"--set", "LaserOnCommand=M106", picture, Path("refused.gcode")});
    const CliRun refused = RunCli(arguments);
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "pyrolith-cli: Laser Commands, On: 'M106' has no S number to set the "
                           "power levels with (for example 'M106 S255')\n");
    EXPECT_FALSE(fs::exists(folder_ / "refused.gcode"));
}

// The printer's laser choice from the command line: Marlin's inline laser writes the power on
// the moves; a choice that is no number of the list is a usage error.
TEST_F(CliTest, PrinterLaserModeChoosesTheLines)
{
    const CliRun run = RunCli({"--set", "PrinterLaserMode=3", "--set", "LaserOnCommand=M3 S200",
                               "--set", "LaserOffCommand=M5", Path("pic.bmp"), Path("out.gcode")});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = Lines("out.gcode");
    const auto image = std::find(lines.begin(), lines.end(), "; BEGIN IMAGE");
    ASSERT_NE(image, lines.end());
    EXPECT_EQ(std::vector<std::string>(image + 1, lines.end()),
              (std::vector<std::string>{"M3 I", "G1 X0.1 Y0 F1500 S0", "G1 X0.2 Y0 F200 S200",
                                        "G1 X0.4 Y0 F1500 S0", "G1 X0.5 Y0 F200 S200",
                                        "G1 X0.4 Y0.1 F1500 S0", "G1 X0.2 Y0.1 F200 S200",
                                        "M5 I"}));

    const CliRun refused =
        RunCli({"--set", "PrinterLaserMode=7", Path("pic.bmp"), Path("refused.gcode")});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("PrinterLaserMode is 0, 1, 2 or 3, not '7'"), std::string::npos)
        << refused.err;
    EXPECT_FALSE(fs::exists(folder_ / "refused.gcode"));
}

// The material commands: the card jobs with the grid's line in their summary and no line the
// firmware would refuse; the ramp read from a photo into a saved profile.
TEST_F(CliTest, MaterialCardsAreJobsOfTheSettings)
{
    const std::map<std::string, std::string> epoch = {{"SOURCE_DATE_EPOCH", "86400"}};
    const CliRun grid = RunCli({"test-grid", "--powers", "50:100:2", "--speeds", "100:300:3",
                                "--size", "2", "--set", "DistPerPixel=0.5", Path("grid.gcode")},
                               epoch);
    ASSERT_EQ(grid.status, 0) << grid.err;
    const std::vector<std::string> lines = Lines("grid.gcode");
    ASSERT_GT(lines.size(), 40u);
    EXPECT_EQ(lines[1], "; Original File: Material test grid");
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        std::string("; Material test: powers 50 to 100% in 2 steps, speeds 100 "
                                    "to 300 mm/min in 3 steps, 2 mm squares 2 mm apart") +
                            (pyrolith::LabelFontAvailable()
                                 ? ""
                                 : ", no labels (no label font in this build)")),
              lines.end());
    EXPECT_EQ(lines.back(), "M107");
    const CliRun ramp = RunCli({"test-ramp", "--set", "GRBL=1", "--set", "LaserOnCommand=M3 S1000",
                                "--set", "LaserOffCommand=M5", "--set", "LaserLowPower=M3 S10",
                                Path("ramp.gcode")});
    ASSERT_EQ(ramp.status, 0) << ramp.err;
    const CliRun check = RunCli({"check", "--set", "GRBL=1", Path("ramp.gcode")});
    EXPECT_EQ(check.status, 0);
    EXPECT_EQ(check.err, "");
    const CliRun bad = RunCli({"test-grid", "--powers", "50:100", Path("bad.gcode")});
    EXPECT_EQ(bad.status, 2);
    EXPECT_FALSE(fs::exists(folder_ / "bad.gcode"));
}

TEST_F(CliTest, MeasureRampSavesTheCurveOrChangesNothing)
{
    pyrolith::test::RampPhoto photo;
    photo.width = 800;
    photo.height = 400;
    photo.pixelsPerMm = 6;
    photo.powers.fill(0);
    for (std::size_t k = 0; k < photo.powers.size(); ++k) {
        photo.powers[k] = static_cast<double>(k) / 15;
    }
    const pyrolith::GrayRaster picture = photo.render();
    Write("photo.bmp", GreyBitmap24(800, 400, [&](std::uint32_t x, std::uint32_t y) {
              return picture.at(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y));
          }));
    const CliRun run = RunCli({"measure-ramp", Path("photo.bmp"), "--set", "OnSpeed=300",
                               "--save-profile", Path("wood.prf")});
    ASSERT_EQ(run.status, 0) << run.err;
    // The unburned patch is white, the last (full power) the darkest.
    EXPECT_EQ(run.out.substr(0, run.out.find("\n2 ")), "Patch  Power  Tone\n1      0.000  255");
    EXPECT_NE(run.out.find("\n16     1.000  0\nToneCurve=0:1.000 "), std::string::npos) << run.out;
    const std::string curve = run.out.substr(run.out.find("ToneCurve="));
    const std::string profile = Read("wood.prf");
    EXPECT_NE(profile.find(curve.substr(0, curve.size() - 1) + "\r\n"), std::string::npos);
    EXPECT_NE(profile.find("OnSpeed=300\r\n"), std::string::npos);

    Write("white.bmp", GreyBitmap24(300, 200, [](std::uint32_t, std::uint32_t) { return 200; }));
    const CliRun white = RunCli({"measure-ramp", Path("white.bmp"), "--save-profile", Path("wood.prf")});
    EXPECT_EQ(white.status, 1);
    EXPECT_EQ(white.err, std::string("pyrolith-cli: ") + pyrolith::kRampFrameNotFound + "\n");
    EXPECT_EQ(Read("wood.prf"), profile);
}
