#include "gcode/JobContext.h"

#include "common/TextEncoding.h"
#include "gcode/CutPass.h"
#include "gcode/GcodeLine.h"
#include "gcode/LaserPower.h"
#include "common/NumberText.h"

namespace pyrolith {
namespace {

// The pause argument of a pause time typed in milliseconds.
std::string PauseText(const std::string& typed, double milliseconds, GcodeFlavor flavor)
{
    if (flavor == GcodeFlavor::Grbl) {
        // GRBL pauses in seconds; the text is never in scientific notation.
        return PlainNumber(milliseconds / 1000.0, 15);
    }
    return Utf8ToCp1252(typed);
}

} // namespace

std::string JobContext::comment(std::string_view text) const
{
    return CommentPart(StartComment, Utf8ToCp1252(text), EndComment);
}

namespace {

JobContext MakeContext(const JobSettings& settings, std::int32_t width, std::int32_t height,
                       char decimalSeparator, bool powerLevels)
{
    // Every number is read before anything is written, so that a typing error never leaves
    // half a job behind.
    const double backlash =
        settings.Backlash ? StrToFloatOrThrow(settings.BacklashVal, decimalSeparator) : 0.0;
    const double centerPause = StrToFloatOrThrow(settings.DwellTime, decimalSeparator);
    const double frontPause = StrToFloatOrThrow(settings.FrontCenterDwellTime, decimalSeparator);
    const double leftPause = StrToFloatOrThrow(settings.LeftCenterDwellTime, decimalSeparator);
    const double overscan = ReadOverscan(settings, decimalSeparator);
    const CutNumbers cut = ReadCutNumbers(settings, decimalSeparator);

    JobContext context;
    context.Flavor = FlavorOf(settings);
    context.StartComment = Utf8ToCp1252(settings.StartComment);
    context.EndComment = Utf8ToCp1252(settings.EndComment);
    context.LaserOffCommand = Utf8ToCp1252(settings.LaserOffCommand);
    context.LaserOnCommand = Utf8ToCp1252(settings.LaserOnCommand);
    context.LaserLowPower = Utf8ToCp1252(settings.LaserLowPower);
    const std::string onSpeed = Utf8ToCp1252(settings.OnSpeed);
    context.BurnFeed = " F" + onSpeed + (settings.FakeExtrusion ? " E1 " : " ");
    context.MoveWord = settings.UseG0 ? "G0" : "G1";
    context.OffFeed = " F" + Utf8ToCp1252(settings.OffSpeed) + " ";
    context.TraceFeed = " F" + Utf8ToCp1252(settings.TraceSpeed) + " ";
    context.CenterPauseText = PauseText(settings.DwellTime, centerPause, context.Flavor);
    context.FrontPauseText = PauseText(settings.FrontCenterDwellTime, frontPause, context.Flavor);
    context.LeftPauseText = PauseText(settings.LeftCenterDwellTime, leftPause, context.Flavor);
    context.BacklashValue = backlash;
    context.PixelSize = MyStrtoFloat(settings.DistPerPixel, decimalSeparator);
    context.XOffsetValue =
        settings.UseXOffset ? MyStrtoFloat(settings.XOffset, decimalSeparator) : 0.0;
    context.YOffsetValue =
        settings.UseYOffset ? MyStrtoFloat(settings.YOffset, decimalSeparator) : 0.0;
    context.ImageWidth = width;
    context.ImageHeight = height;
    context.OverscanValue = overscan;
    context.ScanFeed = " F" + onSpeed + " ";
    if (context.Flavor == GcodeFlavor::Printer3D) {
        context.Laser = PrinterLaserOf(settings);
    }
    if (context.Laser == PrinterLaser::WaitForMoves) {
        context.LaserSync = "M400\r\n";
    }
    context.ImagePasses = cut.imagePasses;
    context.CutPasses = cut.cutPasses;
    context.LaserCutPower = Utf8ToCp1252(settings.LaserCutPower);
    context.CutFeed = " F" + Utf8ToCp1252(settings.CutSpeed) + " ";
    context.ZFeed = " F" + Utf8ToCp1252(settings.ZSpeed);
    context.CutStepsDown = settings.IncludeCut && settings.DoAdvDown;
    context.CutHeight = cut.height;
    context.CutStepDown = cut.stepDown;
    context.CutKerfValue = cut.kerf;
    if (powerLevels) {
        context.PowerCommands = PowerCommands(settings, context.LaserOnCommand, decimalSeparator);
    }
    if (context.Laser == PrinterLaser::MarlinInline) {
        context.InlinePowers =
            InlinePowers(settings, context.LaserOnCommand, context.PowerCommands);
    }
    return context;
}

} // namespace

JobContext MakeJobContext(const JobSettings& settings, const MonoBitmap& picture,
                          char decimalSeparator)
{
    return MakeContext(settings, picture.width(), picture.height(), decimalSeparator, false);
}

JobContext MakeJobContext(const JobSettings& settings, const GrayRaster& picture,
                          char decimalSeparator)
{
    return MakeContext(settings, picture.width, picture.height, decimalSeparator, true);
}

std::vector<std::string_view> SplitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = start;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n') {
            ++end;
        }
        lines.push_back(text.substr(start, end - start));
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() &&
            text[end + 1] == '\n') {
            ++end;
        }
        start = end + 1;
    }
    return lines;
}

} // namespace pyrolith
