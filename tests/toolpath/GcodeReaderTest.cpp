// The reader against whole event lists: modal state, units, relative moves, arcs, comments,
// checksums and when the laser burns in each flavor; and the lines each firmware refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/NumberText.h"
#include "support/Printable.h"
#include "toolpath/GcodeReader.h"

namespace {

using namespace pyrolith;
using namespace pyrolith::toolpath;

std::string Pt(const Point& p)
{
    return GcodeNumber(p.x) + "," + GcodeNumber(p.y) + "," + GcodeNumber(p.z);
}

// One text line per event, so a case states the whole result.
struct Recorder : EventSink {
    std::vector<std::string> events;
    std::vector<std::string> problems;
    std::vector<Event> raw;

    void event(const Event& e) override
    {
        if (e.carriesLine) {  // as the Line event it carries, then itself
            Event line = e;
            line.kind = EventKind::Line;
            line.carriesLine = false;
            event(line);
        }
        raw.push_back(e);
        std::string text = std::to_string(e.line) + " ";
        switch (e.kind) {
        case EventKind::Move:
            text += e.motion == Motion::Rapid ? "G0 " : e.motion == Motion::Linear ? "G1 " : "arc ";
            text += Pt(e.from) + " > " + Pt(e.to) + " F" + GcodeNumber(e.feed) +
                    (e.laserOn ? " on S" : " off S") + GcodeNumber(e.power);
            break;
        case EventKind::Dwell:
            text += "dwell " + GcodeNumber(e.seconds) + (e.laserOn ? " on" : " off");
            break;
        case EventKind::Home:
            text += "home " + Pt(e.to);
            break;
        case EventKind::Stop:
            text += "stop";
            break;
        case EventKind::Mode:
            text += std::string(e.inches ? "inch" : "mm") + (e.relative ? " relative" : " absolute");
            break;
        case EventKind::Line:
            text += "line " + std::to_string(e.sent.bytes) + " bytes, sum " +
                    std::to_string(e.sent.checksum) + ", " + std::to_string(e.sent.words) +
                    " words, " + std::to_string(e.sent.chars) + " chars";
            break;
        }
        events.push_back(text);
    }
    void problem(const Problem& p) override
    {
        problems.push_back(std::to_string(p.line) + " " + p.reason);
    }
    void note(std::uint64_t line, std::string_view text) override
    {
        notes.push_back(std::to_string(line) + " " + std::string(text));
    }
    std::vector<std::string> notes;
};

Recorder ReadWith(const std::string& text, const ReaderOptions& options)
{
    Recorder recorder;
    GcodeReader reader(options, recorder);
    // Uneven pieces: a line may be split anywhere, even between CR and LF.
    for (std::size_t at = 0; at < text.size(); at += 7) {
        reader.feed(std::string_view(text).substr(at, 7));
    }
    reader.finish();
    return recorder;
}

Recorder Read(const std::string& text, GcodeFlavor flavor, bool laserMode = true,
              bool shortcuts = true)
{
    ReaderOptions options{flavor, laserMode, 0.002};
    options.shortcuts = shortcuts;
    return ReadWith(text, options);
}

struct ReaderCase {
    const char* name;
    GcodeFlavor flavor;
    bool laserMode;
    std::string gcode;
    std::vector<std::string> events;
};

void PrintTo(const ReaderCase& c, std::ostream* os)
{
    *os << c.name;
}

class ReaderEvents : public testing::TestWithParam<ReaderCase> {};

TEST_P(ReaderEvents, GiveTheWholeEventList)
{
    const ReaderCase& c = GetParam();
    const Recorder recorder = Read(c.gcode, c.flavor, c.laserMode);
    EXPECT_EQ(recorder.events, c.events);
}

const GcodeFlavor G = GcodeFlavor::Grbl;
const GcodeFlavor P = GcodeFlavor::Printer3D;

INSTANTIATE_TEST_SUITE_P(
    Cases, ReaderEvents,
    testing::Values(
        ReaderCase{"ModalMotionAndFeed", G, true,
                   "G1 X10 F600\r\nY5\r\nG0 X0\r\nX1 Y1 Z2\r\n",
                   {"1 G1 0,0,0 > 10,0,0 F600 off S0", "2 G1 10,0,0 > 10,5,0 F600 off S0",
                    "3 G0 10,5,0 > 0,5,0 F0 off S0", "4 G0 0,5,0 > 1,1,2 F0 off S0"}},
        ReaderCase{"InchesAndRelative", G, true,
                   "G20 G91\nG1 X1 F10\nX-0.5 Y2\nG21 G90\nG1 X1\n",
                   {"1 inch relative", "2 G1 0,0,0 > 25.4,0,0 F254 off S0",
                    "3 G1 25.4,0,0 > 12.7,50.8,0 F254 off S0", "4 mm absolute",
                    "5 G1 12.7,50.8,0 > 1,50.8,0 F254 off S0"}},
        ReaderCase{"SetPositionAndZeroMoves", P, true,
                   "G1 X5 F100\nG92 X0\nG1 X0\nG1 X2\n",
                   {"1 G1 0,0,0 > 5,0,0 F100 off S0", "4 G1 0,0,0 > 2,0,0 F100 off S0"}},
        ReaderCase{"CommentsAndLineNumbers", G, true,
                   "N10 G1 (go) X1 F60 ; rest X9\n(whole line)\n; x\nn20g1x2\n",
                   {"1 G1 0,0,0 > 1,0,0 F60 off S0", "4 G1 1,0,0 > 2,0,0 F60 off S0"}},
        ReaderCase{"PrinterChecksums", P, true,
                   "N1 G1 X1 F60*0\nN2 G1 X2*96 ; ok\n",
                   {"1 G1 0,0,0 > 1,0,0 F60 off S0", "2 G1 1,0,0 > 2,0,0 F60 off S0"}},
        // Laser mode: lit on G1 with M3/M4 and S > 0, never on G0; an S on a move rides
        // along; a spindle change stops; a lone S stops only while the spindle is on.
        ReaderCase{"GrblLaserMode", G, true,
                   "M3 S0\nG1 X1 F60\nG1 X2 S500\nG0 X3\nM5\nG1 X4 S800\nS700\nM4 G1 X5\n",
                   {"1 stop", "2 G1 0,0,0 > 1,0,0 F60 off S0", "3 G1 1,0,0 > 2,0,0 F60 on S500",
                    "4 G0 2,0,0 > 3,0,0 F0 off S500", "5 stop",
                    "6 G1 3,0,0 > 4,0,0 F60 off S800", "8 stop",
                    "8 G1 4,0,0 > 5,0,0 F60 on S700"}},
        // A move to where the head stands stops under constant power (M3), not under M4.
        ReaderCase{"GrblMoveToWhereItStands", G, true,
                   "M3 S10 G1 X1 F60\nG1 X1 S20\nM4\nG1 X1\n",
                   {"1 stop", "1 G1 0,0,0 > 1,0,0 F60 on S10", "2 stop", "3 stop"}},
        // Without laser mode the spindle burns on G0 too and every S change stops.
        ReaderCase{"GrblSpindleMode", G, false,
                   "M3 S100 G0 X1\nG1 X2 S200 F60\n",
                   {"1 stop", "1 G0 0,0,0 > 1,0,0 F0 on S100", "2 stop",
                    "2 G1 1,0,0 > 2,0,0 F60 on S200"}},
        // Constant power stays lit at rest in a cutting mode, so G4 under G1 burns a dot;
        // GRBL's pause is in seconds.
        ReaderCase{"GrblDwellAndHoming", G, true,
                   "$H\nM3 S10\nG4 P1.5\nG1\nG4 P2\nM4\nG4 P1\n",
                   {"1 home 0,0,0", "2 stop", "3 dwell 1.5 off", "4 stop", "5 dwell 2 on",
                    "6 stop", "7 dwell 1 off"}},
        // A printer's fan command switches the laser on any move; pauses in ms or in s.
        ReaderCase{"PrinterFanLaser", P, true,
                   "G28 X0 Y0\nM106 S255\nG0 X1\nM107\nG1 X2 F60\nM106\nG4 P500\nG4 S2\n"
                   "M400\nM106 S0\nG1 X3\n",
                   {"1 home 0,0,0", "3 G0 0,0,0 > 1,0,0 F0 on S255",
                    "5 G1 1,0,0 > 2,0,0 F60 off S0", "7 dwell 0.5 on", "8 dwell 2 on",
                    "9 stop", "11 G1 2,0,0 > 3,0,0 F60 off S0"}}),
    [](const testing::TestParamInfo<ReaderCase>& info) { return std::string(info.param.name); });

struct RefusedCase {
    GcodeFlavor flavor;
    std::string line;
    std::string reason;  // empty: the firmware takes the line
};

void PrintTo(const RefusedCase& c, std::ostream* os)
{
    *os << FlavorName(c.flavor) << ": " << pyrolith::test::Printable(c.line);
}

class RefusedLines : public testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedLines, NameTheFirstFault)
{
    const RefusedCase& c = GetParam();
    const Recorder recorder = Read("G1 F100\n" + c.line + "\n", c.flavor);
    const std::vector<std::string> expected =
        c.reason.empty() ? std::vector<std::string>{} : std::vector<std::string>{"2 " + c.reason};
    EXPECT_EQ(recorder.problems, expected) << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    Table, RefusedLines,
    testing::Values(
        RefusedCase{G, "M106 S255", "M106 is not a GRBL command (error:20)"},
        RefusedCase{G, "M107", "M107 is not a GRBL command (error:20)"},
        RefusedCase{G, "M400", "M400 is not a GRBL command (error:20)"},
        RefusedCase{G, "G1 X1 E0.5", "E words are not GRBL words (error:20)"},
        RefusedCase{G, "G1 X1E5", "GRBL reads no exponents (error:20)"},
        RefusedCase{G, "G1 X", "X without a number (error:2)"},
        RefusedCase{G, "G0 G1 X1", "G0 and G1 are in one modal group (error:21)"},
        RefusedCase{G, "M3 M5", "M3 and M5 are in one modal group (error:21)"},
        RefusedCase{G, "G1 X1 X2", "X twice in one line (error:25)"},
        RefusedCase{G, "G1 X1*12", "'*' is not a G-code letter (error:1)"},
        RefusedCase{G, "M83 ((nested))", "M83 is not a GRBL command (error:20)"},
        RefusedCase{G, "G28.1", ""},
        RefusedCase{G, "G1 X1 F100 S0 M3 (" + std::string(100, 'c') + ")", ""},
        // GRBL keeps 79 characters once blanks and comments are gone.
        RefusedCase{G, "G1 X1." + std::string(74, '0') + " (comment)", ""},
        RefusedCase{G, "G1 X1." + std::string(75, '0'),
                    "longer than 79 characters without blanks and comments (error:11)"},
        RefusedCase{P, "M3 S255", "M3 is not a laser command of the 3D Printer flavor (M106 S, M107)"},
        RefusedCase{P, "M106 S255", ""},
        RefusedCase{P, "N3 G1 X1*99", "checksum does not match the line (98)"},
        RefusedCase{P, "G1 X1 E0.5", ""}),
    [](const testing::TestParamInfo<RefusedCase>& info) {
        // Long lines are told apart by their length.
        const std::string& line = info.param.line;
        return pyrolith::test::CaseName(std::string(FlavorName(info.param.flavor)) + " " +
                                        (line.size() > 40 ? line.substr(0, 12) + " " +
                                                                std::to_string(line.size())
                                                          : line));
    });

// The short way of reading a raster job's lines against the word-by-word way, at the borders
// of the shapes it takes: the same events, problems and comment notes in both flavors, in
// both laser modes, with either printer laser and with or without line events; and the line
// events carried by their lines' first events as they come on their own.
class ShortcutLines : public testing::TestWithParam<std::string> {};

TEST_P(ShortcutLines, ReadAsWordByWord)
{
    for (const GcodeFlavor flavor : {G, P}) {
        for (const bool laserMode : {true, false}) {
            for (const PrinterLaser laser : {PrinterLaser::FanCommands, PrinterLaser::MarlinInline}) {
                for (const bool lineEvents : {false, true}) {
                    ReaderOptions options{flavor, laserMode, 0.002, laser, lineEvents};
                    const Recorder shortcut = ReadWith(GetParam(), options);
                    options.shortcuts = false;
                    const Recorder words = ReadWith(GetParam(), options);
                    EXPECT_EQ(shortcut.events, words.events) << GetParam();
                    EXPECT_EQ(shortcut.problems, words.problems) << GetParam();
                    EXPECT_EQ(shortcut.notes, words.notes) << GetParam();
                    if (lineEvents) {
                        options.shortcuts = true;
                        options.carryLines = true;
                        EXPECT_EQ(ReadWith(GetParam(), options).events, shortcut.events)
                            << GetParam();
                    }
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Borders, ShortcutLines,
    testing::Values(
        "M4 S0\nG1 X5 Y6 F1000 S1000\nG1 X7 Y6 F1000 S1000\nG1 X8 Y6 F3000 S0\nG1 X9 Y6 F1000 S1000\n",
        "M3 S0\nG1 X1 F100 S10\nG0 X2\nG1 Y2\nS20\nG1 X3 S20\nG0 X4 S20\nM5\nG1 X5 S30\n",
        "G1X5Y5F100S3\nG0 X1 ;c X9\n  G1\tX2 \t Y3  \nG1 ;only\nG1\n",
        "G1 X1 2 F10\nG1 X-\nG1 X.\nG1 X5 X6\nG10 X5\nG1.0 X3\nG01 X4\nG1 X5 Y\n",
        "g1 x5 f10\nG1 x6\nG1 X7 (c)\nG1 X8*12\nG1 X9 N5\nG1 X+3.50 Y-.25\n",
        "M106 S255\nG1 X1 F60\nM106\nG1 X2\nM107\nG0 X3\nM106S100\nM107 S3\nM106 S0\n"
        "G1 X1 E1 F100\nG1 X2 Y2 F3000 E1 \nM1060\nM3 S100\n",
        "G1 X1." + std::string(73, '0') + " F1\nG1 X1." + std::string(74, '0') + " F1\n"
        "G1 X2 Y1234567890123456.7 F1000\nG1 X0.12345678901234567 F1\nG1 X1e5 F1\n",
        "G1 Y5 X1\nG1 X2 F0\nG1 Y3 F-5\nG0 X1 Y1 Z1\nG1 Z2 F10\n",
        "G20\nG91\nG1 X1 Y1 F10\nG1 X1 Y1 F10\nG90 G21\nG1 X1\nG92 X0\nG1 X1 Y1\n",
        // Compact lines: the modal G0 or G1, no blanks.
        "M4S0\nS0\nG1F3000\nX20.1Y20S0\nX20.7F1000S1000\nX21F3000S0\nY2\nS5\nF10\nX3 S0\n"
        "G0X1\nX2S9\nZ1\nG2X0Y0I1\nX5\nG1X1F5\nX1X2\nXY\nX-.5E2\nS1F2X3 ;c\nM5\nX9S3\n"));

TEST(GrblFeed, AFeedMoveWithoutAnyFeedIsRefused)
{
    const Recorder recorder = Read("G0 X1\nG1 X2\n", GcodeFlavor::Grbl);
    EXPECT_EQ(recorder.problems, std::vector<std::string>{"2 G1 without a feed rate (error:22)"});
}

// Arcs around the origin from (10, 0) to (0, 10) with the default tolerance of 0.002 mm:
// GRBL cuts floor(travel * r / 2 / sqrt(0.002 * (2r - 0.002))) chords: 39 for the quarter,
// 117 for the long way round; every corner lies on the circle.
TEST(Arcs, ChordsStayOnTheCircleAndEndAtTheTarget)
{
    const std::pair<std::string, std::size_t> cases[] = {
        {"G3 X0 Y10 I-10 J0", 39}, {"G3 X0 Y10 R10", 39}, {"G2 X0 Y10 R-10", 117}};
    for (const auto& [arc, chords] : cases) {
        const Recorder recorder = Read("G1 X10 F100\n" + arc + "\n", GcodeFlavor::Grbl);
        ASSERT_EQ(recorder.raw.size(), chords + 1) << arc;
        for (std::size_t i = 1; i < recorder.raw.size(); ++i) {
            const Point& p = recorder.raw[i].to;
            EXPECT_NEAR(std::hypot(p.x, p.y), 10.0, 1e-9) << arc;
            EXPECT_EQ(recorder.raw[i].from, recorder.raw[i - 1].to) << arc;
            EXPECT_EQ(recorder.raw[i].motion, Motion::Arc) << arc;
        }
        EXPECT_EQ(Pt(recorder.raw.back().to), "0,10,0") << arc;
        EXPECT_TRUE(recorder.problems.empty()) << arc;
    }
}

// Marlin's laser on a 3D printer: inline, the moves carry the power and only G1 burns; at
// rest M3 burns until M5, and each of them waits for the moves. The fan commands are a fan.
struct MarlinCase {
    const char* name;
    std::string gcode;
    std::vector<std::string> events;
    std::vector<std::string> problems;
};

void PrintTo(const MarlinCase& c, std::ostream* os)
{
    *os << c.name;
}

class MarlinLaser : public testing::TestWithParam<MarlinCase> {};

TEST_P(MarlinLaser, GivesTheEventsAndProblems)
{
    const MarlinCase& c = GetParam();
    const Recorder recorder = ReadWith(
        c.gcode, ReaderOptions{P, true, 0.002, PrinterLaser::MarlinInline});
    EXPECT_EQ(recorder.events, c.events);
    EXPECT_EQ(recorder.problems, c.problems);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MarlinLaser,
    testing::Values(
        MarlinCase{"InlineBurnsOnlyFeedMoves",
                   "M3 I\nG1 X1 F600 S0\nG1 X2 S200\nG0 X3\nG1 X4\nG4 P100\nM5\nG1 X5\nM5 I\n",
                   {"1 stop", "2 G1 0,0,0 > 1,0,0 F600 off S0", "3 G1 1,0,0 > 2,0,0 F600 on S200",
                    "4 G0 2,0,0 > 3,0,0 F0 off S200", "5 G1 3,0,0 > 4,0,0 F600 on S200",
                    "6 dwell 0.1 off", "8 G1 4,0,0 > 5,0,0 F600 off S0", "9 stop"},
                   {}},
        MarlinCase{"StandardModeWaitsAndBurnsAtRest", "M3 S100\nG4 P50\nG0 X1 F600\nM5\n",
                   {"1 stop", "2 dwell 0.05 on", "3 G0 0,0,0 > 1,0,0 F0 on S100", "4 stop"},
                   {}},
        MarlinCase{"FanCommandsAreAFan", "M106 S255\nG1 X1 F600\nM107\n",
                   {"2 G1 0,0,0 > 1,0,0 F600 off S0"},
                   {"1 M106 switches the fan, not Marlin's laser: its laser commands are M3 S "
                    "and M5",
                    "3 M107 switches the fan, not Marlin's laser: its laser commands are M3 S "
                    "and M5"}}),
    [](const testing::TestParamInfo<MarlinCase>& info) { return info.param.name; });

}  // namespace
