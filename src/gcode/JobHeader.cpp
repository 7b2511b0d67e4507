#include "gcode/JobHeader.h"

#include <string>

#include "common/NumberText.h"
#include "image/PictureOptions.h"
#include "image/ToneCurve.h"

namespace pyrolith {
namespace {

class HeaderLines {
public:
    HeaderLines(JobSink& sink, const JobContext& context) : sink_(sink), context_(context) {}

    void operator()(std::string_view text) { sink_.line(context_.comment(text)); }

private:
    JobSink& sink_;
    const JobContext& context_;
};

std::string Join(std::initializer_list<std::string_view> parts)
{
    std::string text;
    for (const std::string_view part : parts) {
        text += part;
    }
    return text;
}

// How the header names a mode; the default mode has no line.
std::string_view ModeDescription(ImageMode mode)
{
    switch (mode) {
    case ImageMode::Palette:
        return "Nearest of 16 colours";
    case ImageMode::Threshold:
        return "Threshold";
    case ImageMode::FloydSteinberg:
        return "Floyd-Steinberg dither";
    case ImageMode::Atkinson:
        return "Atkinson dither";
    case ImageMode::Jarvis:
        return "Jarvis dither";
    case ImageMode::Stucki:
        return "Stucki dither";
    case ImageMode::Bayer:
        return "Ordered dither (Bayer 8 x 8)";
    case ImageMode::Grayscale:
        return "Grayscale";
    }
    return "";
}

std::string PixelSize(std::int64_t width, std::int64_t height)
{
    return GcodeNumber(static_cast<double>(width)) + " x " +
           GcodeNumber(static_cast<double>(height)) + " pixels";
}

// What the picture became: a line for each picture setting that is not at its default.
void WritePictureLines(HeaderLines& comment, const JobContext& context, const JobSettings& s,
                       const JobEnvironment& environment)
{
    const ConversionOptions options = ConversionOptionsOf(s);
    if (options.mode != ImageMode::Palette) {
        comment(Join({"Picture: ", ModeDescription(options.mode)}));
        if (options.mode == ImageMode::Threshold) {
            comment(Join({"Threshold: ", GcodeNumber(options.threshold)}));
        }
        const GrayAdjustments& a = options.adjustments;
        if (!a.isIdentity()) {
            std::string text = "Adjustments:";
            const auto add = [&text](std::string_view part) {
                text += text.back() == ':' ? " " : ", ";
                text += part;
            };
            if (a.brightness != 0) {
                add("brightness " + GcodeNumber(a.brightness));
            }
            if (a.contrast != 0) {
                add("contrast " + GcodeNumber(a.contrast));
            }
            if (a.gamma != 1) {
                add("gamma " + GcodeNumber(a.gamma));
            }
            if (a.invert) {
                add("inverted");
            }
            comment(text);
        }
    }
    if (ResizeColumns(s)) {
        comment(Join({"Resized to ", PixelSize(context.ImageWidth, context.ImageHeight),
                      " for a width of ", s.ResizeWidth, " ", UnitWord(s)}));
        if (environment.sourceWidth > 0 && environment.sourceHeight > 0) {
            comment(Join({"Source picture: ",
                          PixelSize(environment.sourceWidth, environment.sourceHeight)}));
        }
    }
}

} // namespace

void WriteHeader(JobSink& sink, const JobContext& context, const JobSettings& s,
                 const JobEnvironment& environment)
{
    HeaderLines comment(sink, context);
    const std::string_view unit = UnitWord(s);
    const std::string_view speedUnit = s.UseInches ? " in/min" : " mm/min";

    comment("Black and White Bitmap");
    comment(Join({"Original File: ", environment.imageFileName}));
    comment(Join({environment.date, " at ", environment.time}));
    comment(Join({"Pyrolith v", environment.versionText}));
    comment(s.UseInches ? "Base unit: inches" : "Base unit: mm");
    // The summary keeps the G-code number form; it is a comment, never read by the machine.
    comment(Join({"Pixel Resolution: ", GcodeNumber(context.PixelSize), unit}));
    comment(s.HalfStepHeight ? "Using Half Pixel Height" : "Using Full Pixel Height");
    comment(Join({"Laser Off Command: ", s.LaserOffCommand}));
    comment(Join({s.UseInches ? "Laser On Command: " : "Laser Print Command: ", s.LaserOnCommand}));
    comment(Join({"Laser Low Power Command: ", s.LaserLowPower}));
    comment(Join({"Laser Cut Power Command: ", s.LaserCutPower}));
    comment(s.UseG0 ? "\"G0\" used for laser off moves"
                    : "Standard commands used for laser off moves");
    comment(Join({"Laser Off Speed: ", s.OffSpeed, speedUnit}));
    comment(Join({"Laser On Speed: ", s.OnSpeed, speedUnit}));
    comment(Join({"Laser Cut Speed: ", s.CutSpeed, speedUnit}));
    comment(Join({"Laser Z-Axis Speed: ", s.ZSpeed, speedUnit}));
    comment(Join({"Laser Trace Speed: ", s.TraceSpeed, speedUnit}));
    comment("Using optimization");
    comment(s.GoHome ? "Home Laser at beginning of job" : "Do not home Laser at beginning of job");
    comment(s.GoStartHeight ? Join({"Set Initial Height to ", s.StartHeight, " ", unit})
                            : std::string("Do not set Initial Height"));
    if (!s.IndicateCenter) {
        comment("Do not pause at center/center");
    }
    if (s.IndicateFrontCenter) {
        // The same pause text as the pause command: as typed for a 3D printer, the seconds
        // for GRBL.
        if (context.Flavor == GcodeFlavor::Grbl) {
            comment(Join({"Pause at front/center for ", context.FrontPauseText, " sec"}));
        } else {
            comment(Join({"Pause at front/center for ", s.FrontCenterDwellTime, " msec"}));
        }
    } else {
        comment("Do not pause at front/center");
    }
    comment(s.IndicateBoundary ? "Trace boundary" : "Do not trace boundary");
    comment(s.SupressImage ? "Bitmap image not being printed" : "Bitmap image will be printed");
    comment(s.UseXOffset ? Join({"Using X-offset of ", s.XOffset, " ", unit})
                         : std::string("Not using X-offset"));
    comment(s.UseYOffset ? Join({"Using Y-offset of ", s.YOffset, " ", unit})
                         : std::string("Not using Y-offset"));
    comment(s.RepeatImage ? Join({"Repeating image print ", s.RepeatImageTimes, " times"})
                          : std::string("Not repeating image"));
    comment(s.Precision ? "Using Precision Print Mode" : "Not using Precision Print Mode");
    comment(s.FakeExtrusion ? "Using Fake Extrusion" : "Not using Fake Extrusion");
    comment(s.Backlash ? Join({"Backlash Correction enabled, ", s.BacklashVal, " ", unit})
                       : std::string("Not using Backlash Correction"));
    if (s.IncludeCut) {
        comment("Perimeter cut enabled");
        comment(s.Outline ? "Cutting outline of boundary" : "Cutting outline of image");
        comment(Join({"Cut ", s.NumRepeats, " repetitions"}));
        comment(Join({"Intial cut height of ", s.InitialCutHeight, " ", unit}));
        comment(s.DoAdvDown ? Join({"Advance down each repeat ", s.AdvDownAmount, " ", unit})
                            : std::string("Do not advance down each repeat"));
    } else {
        comment("Perimeter cut not enabled");
    }
    comment(context.Flavor == GcodeFlavor::Printer3D ? "Using 3D Printer flavor"
                                                     : "Using GRBL flavor");
    // The engraving options, each only when it changes the job.
    if (!context.PowerCommands.empty() && context.BurnFeeds.empty()) {
        comment(Join({"Grayscale with ", s.PowerLevels, " power levels, minimum power ",
                      s.MinPower}));
    }
    if (context.OverscanValue != 0) {
        comment(Join({"Overscan of ", s.Overscan, " ", unit}));
    }
    if (s.IncludeCut && !s.Outline && context.CutKerfValue != 0) {
        comment(Join({"Cut kerf of ", s.CutKerf, " ", unit}));
    }
    switch (context.Laser) {
    case PrinterLaser::FanCommands:
        break;
    case PrinterLaser::WaitForMoves:
        comment("Waiting for moves before switching the laser (M400)");
        break;
    case PrinterLaser::SynchronousFan:
        comment("Firmware applies fan commands in step (synchronous fan)");
        break;
    case PrinterLaser::MarlinInline:
        comment("Marlin laser, inline power (M3 I)");
        break;
    }
    WritePictureLines(comment, context, s, environment);
    // The curve changes the grey levels of every mode but Palette.
    if (const ConversionOptions options = ConversionOptionsOf(s);
        options.mode != ImageMode::Palette && options.adjustments.tone) {
        const auto points = ParseToneCurve(s.ToneCurve);
        comment(Join({"Using tone curve of ", std::to_string(points->size()), " points"}));
    }
    if (!environment.jobNote.empty()) {
        comment(environment.jobNote);
    }
    sink.endLine();
}

std::optional<GcodeFlavor> FlavorNamedInHeader(std::string_view text)
{
    // The program's name stands on the fourth line; the flavor line follows some 30 lines on.
    constexpr std::size_t kNameLines = 4;
    constexpr std::size_t kHeaderLines = 200;
    bool ours = false;
    for (std::size_t number = 1; number <= kHeaderLines && !text.empty(); ++number) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty()) {
            return std::nullopt; // the end of the header
        }
        if (number <= kNameLines && line.find("Pyrolith v") != std::string_view::npos) {
            ours = true;
        } else if (ours && line.find("Using GRBL flavor") != std::string_view::npos) {
            return GcodeFlavor::Grbl;
        } else if (ours && line.find("Using 3D Printer flavor") != std::string_view::npos) {
            return GcodeFlavor::Printer3D;
        }
    }
    return std::nullopt;
}

} // namespace pyrolith
