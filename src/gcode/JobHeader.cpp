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
    if (!context.LaserSync.empty()) {
        comment("Waiting for moves before switching the laser (M400)");
    }
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

} // namespace pyrolith
