#include "gcode/JobPreamble.h"

#include <string>

#include "common/TextEncoding.h"
#include "common/NumberText.h"

namespace pyrolith {
namespace {

class PreambleWriter {
public:
    PreambleWriter(JobSink& sink, const JobContext& context, const JobSettings& settings)
        : sink_(sink), c_(context), s_(settings)
    {
    }

    void write();

private:
    // command + TAB + comment part (tabs = 2 puts two tabs).
    void commented(std::string_view command, std::string_view text, int tabs = 1)
    {
        withCommentPart(command, c_.comment(text), tabs);
    }
    void withCommentPart(std::string_view command, std::string_view commentPart, int tabs)
    {
        sink_.append(command);
        sink_.append(tabs == 2 ? std::string_view("\t\t") : std::string_view("\t"));
        sink_.line(commentPart);
    }
    // Before a line that holds a laser command: the wait for the queued moves, when wanted.
    void laser() { sink_.append(c_.LaserSync); }
    void dwell(double x, double y, std::string_view gotoText, const std::string& pause);
    void boundary();
    void settingsLines(const std::string& text)
    {
        for (const std::string_view line : SplitLines(text)) {
            sink_.line(Utf8ToCp1252(line));
        }
    }

    JobSink& sink_;
    const JobContext& c_;
    const JobSettings& s_;
};

void PreambleWriter::write()
{
    if (s_.UseStartOfCode) {
        settingsLines(s_.StartOfCode);
        sink_.endLine();
    }

    laser();
    commented(c_.LaserOffCommand, "Laser Off");
    commented("G90 ", "Absolute Positioning");
    if (s_.FakeExtrusion) {
        commented("M83 ", "(use relative distances for FAKE extrusion)");
    }
    if (s_.UseInches) {
        commented("G20 ", "Set to inches");
    } else {
        commented("G21 ", "Set to mm");
    }
    sink_.endLine();

    if (s_.GoHome) {
        sink_.line(c_.MoveWord + c_.OffFeed);
        commented(Utf8ToCp1252(s_.HomeCommand), "Home Command");
        sink_.endLine();
    }

    if (s_.GoStartHeight) {
        // The start height is copied as typed, without an offset or a feed.
        commented((s_.UseG0 ? "G0 Z" : "G1 Z") + Utf8ToCp1252(s_.StartHeight),
                  "Move Z to starting height", 2);
        sink_.endLine();
    }

    commented(c_.MoveWord + c_.OffFeed, "Set Laser Off speed");
    sink_.endLine();

    // The alignment points use the whole pixel rows, whatever the engraving line height.
    const double d = c_.PixelSize;
    const double centerX = c_.XOffsetValue + (c_.ImageWidth / 2) * d;
    const double centerY = c_.YOffsetValue + (c_.ImageHeight / 2) * d;
    if (s_.IndicateCenter) {
        dwell(centerX, centerY, "Goto center/center", c_.CenterPauseText);
    }
    if (s_.IndicateFrontCenter) {
        dwell(centerX, c_.YOffsetValue, "Goto front/center", c_.FrontPauseText);
    }
    if (s_.IndicateLeftCenter) {
        dwell(c_.XOffsetValue, centerY, "Goto left/center", c_.LeftPauseText);
    }
    if (s_.IndicateBoundary) {
        boundary();
    }

    sink_.line(c_.comment("BEGIN IMAGE"));
}

void PreambleWriter::dwell(double x, double y, std::string_view gotoText, const std::string& pause)
{
    // The laser glows at low power, too weak to burn, so the user can see the spot.
    std::string move = s_.UseG0 ? "G0 X" : "G1 X";
    move += CoordinateText(x);
    move += " Y";
    move += CoordinateText(y);
    if (!s_.UseG0) {
        move += c_.OffFeed;
    }
    commented(move, gotoText);
    laser();
    commented(c_.LaserLowPower, "Laser on at Low power");
    // The pause text is already in the job's code page; command and comment carry the same.
    withCommentPart("G4 P" + pause, c_.StartComment + "Pause for " + pause + c_.EndComment, 1);
    laser();
    sink_.line(c_.LaserOffCommand);
    sink_.endLine();
}

void PreambleWriter::boundary()
{
    const double d = c_.PixelSize;
    const double x0 = c_.XOffsetValue;
    const double y0 = c_.YOffsetValue;
    const double farX = c_.ImageWidth * d + x0;
    const double farY = c_.ImageHeight * d + y0;
    const std::string x0Text = CoordinateText(x0);
    const std::string y0Text = CoordinateText(y0);
    // G0 moves carry no feed; the G1 moves of the trace run at the trace speed.
    const std::string feed = s_.UseG0 ? std::string() : c_.TraceFeed;
    const std::string word = s_.UseG0 ? "G0" : "G1";

    sink_.line(c_.comment("Begin Boundary Box"));
    laser();
    commented(c_.LaserOffCommand, "Laser Off", 2);
    laser();
    commented(c_.LaserLowPower, "Laser on at Low power");
    if (s_.UseG0) {
        sink_.line("G0" + c_.TraceFeed);
    }
    commented(word + " X" + x0Text + " Y" + y0Text + feed, "Goto origin");
    commented(word + " X" + CoordinateText(farX) + feed,
              "Move X to " + std::to_string(c_.ImageWidth));
    commented(word + " Y" + CoordinateText(farY) + feed,
              "Move Y to " + std::to_string(c_.ImageHeight));
    commented(word + " X" + x0Text + feed, "Move X to 0", 2);
    commented(word + " Y" + y0Text + feed, "Move to origin", 2);
    laser();
    sink_.line(c_.LaserOffCommand);
    sink_.line(c_.comment("End Boundary Box"));
    sink_.endLine();
}

} // namespace

std::string CoordinateText(double value)
{
    return PlainNumber(value, 12);
}

void WritePreamble(JobSink& sink, const JobContext& context, const JobSettings& settings)
{
    PreambleWriter(sink, context, settings).write();
}

} // namespace pyrolith
