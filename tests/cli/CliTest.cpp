// Runs pyrolith-cli as a process: exit statuses, exact messages, files left alone on errors.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliProcess.h"
#include "image/Bitmap.h"

namespace {

namespace fs = std::filesystem;

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

// A bottom-up 24-bit bitmap; `black` lists the rows from the top, '#' for a black pixel.
std::string Bitmap24(const std::vector<std::string>& rows)
{
    const auto height = static_cast<std::uint32_t>(rows.size());
    const auto width = static_cast<std::uint32_t>(rows.front().size());
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
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        std::string line;
        for (const char c : *row) {
            line.append(3, c == '#' ? '\0' : '\xFF');
        }
        line.resize(stride, '\0');
        bytes += line;
    }
    return bytes;
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
        folder_ = fs::temp_directory_path() /
                  ("pyrolith-cli-" + std::to_string(::getpid()) + "-" +
                   testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        Write("pic.bmp", Bitmap24({".##.", "#..#"}));
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string Path(const std::string& name) const { return (folder_ / name).string(); }
    void Write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(folder_ / name, std::ios::binary) << bytes;
    }
    std::string Read(const std::string& name) const
    {
        std::ifstream in(folder_ / name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
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

TEST_F(CliTest, EstimateReadsBackTheJobItWrote)
{
    const CliRun run = RunCli({"--set", "GRBL=1", "--estimate", Path("pic.bmp"), Path("out.gcode")});
    ASSERT_EQ(run.status, 0) << run.err;
    const CliRun check = RunCli({"check", "--set", "GRBL=1", Path("out.gcode")});
    EXPECT_EQ(run.out, "Original size: 4 x 2 pixels\nFinal size: 0.4000 x 0.2000 mm\n" + check.out);
    EXPECT_EQ(run.err, check.err);
    EXPECT_NE(run.err.find("Warning: line "), std::string::npos) << "M106 in a GRBL job";
}

}  // namespace
