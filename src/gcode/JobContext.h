#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "image/GrayLevels.h"
#include "image/MonoBitmap.h"
#include "settings/JobSettings.h"

namespace pyrolith {

// The values fixed once at the start of a job and read by every section writer. The texts are
// already in the job's code page (Windows-1252); lengths are in the unit of the settings.
struct JobContext {
    std::string StartComment;
    std::string EndComment;
    std::string LaserOffCommand;
    std::string LaserOnCommand;
    std::string LaserLowPower;
    std::string BurnFeed;  // " F" + OnSpeed + " " (+ "E1 " with fake extrusion)
    std::string MoveWord;  // "G0" or "G1"
    std::string OffFeed;   // " F" + OffSpeed + " "
    std::string TraceFeed; // " F" + TraceSpeed + " "
    std::string ScanFeed;  // " F" + OnSpeed + " ": laser-off moves of the overscan
    // Written before every line that holds only a laser command: "M400" + CR LF when a 3D
    // printer must finish its queued moves first, else empty.
    std::string LaserSync;
    // The 3D printer's way of switching the laser (always FanCommands for GRBL).
    PrinterLaser Laser = PrinterLaser::FanCommands;
    // Marlin's inline laser mode: the S number of each power level, index 0 "0", written on
    // the move lines instead of laser command lines. Empty in every other mode.
    std::vector<std::string> InlinePowers;
    // Grey engraving: the on command of each power level, index 0 (not burned) empty. Empty
    // for a black-and-white job, which burns with LaserOnCommand.
    std::vector<std::string> PowerCommands;
    // The feed part of each power level's burn moves when every level burns at its own speed
    // (a test card); empty: every level burns at BurnFeed.
    std::vector<std::string> BurnFeeds;
    // Pause arguments: milliseconds as typed for a 3D printer, seconds for GRBL.
    std::string CenterPauseText;
    std::string FrontPauseText;
    std::string LeftPauseText;
    double BacklashValue = 0;
    double OverscanValue = 0; // 0: no overscan
    double PixelSize = 0;
    double XOffsetValue = 0;
    double YOffsetValue = 0;
    std::int32_t ImageWidth = 0;
    std::int32_t ImageHeight = 0;
    GcodeFlavor Flavor = GcodeFlavor::Printer3D;
    // Repeated engraving and the perimeter cut (gcode/CutPass.h).
    int ImagePasses = 1;       // 0 when the image is not printed
    int CutPasses = 0;         // 0: no cut
    std::string LaserCutPower;
    std::string CutFeed;       // " F" + CutSpeed + " "
    std::string ZFeed;         // " F" + ZSpeed
    bool CutStepsDown = false; // Z to the initial cut height, then down after each pass
    double CutHeight = 0;
    double CutStepDown = 0;
    double CutKerfValue = 0;

    // StartComment + text + EndComment, text in the job's code page.
    std::string comment(std::string_view text) const;
};

// Reads and checks every number the job needs and fills the context. The backlash (when it
// is used) and the three pause times, in that order, must read with the strict conversion
// and `decimalSeparator`; otherwise pyrolith::Error "'%s' is not a valid floating point
// value" is thrown. The pixel size and the offsets read as 0 when they are not numbers;
// CheckJobNumbers, which WriteJobFile calls first, refuses such a job. Then the overscan must
// be empty or a number of 0 or more; a grey picture also needs an on command with an S
// number, PowerLevels 2 to 256 and MinPower from 0 to that S number. Last the numbers of
// repeated engraving and of the cut (ReadCutNumbers).
JobContext MakeJobContext(const JobSettings& settings, const MonoBitmap& picture,
                          char decimalSeparator);
JobContext MakeJobContext(const JobSettings& settings, const GrayRaster& picture,
                          char decimalSeparator);

// The lines of a multi-line settings text: CR LF, a lone LF or a lone CR end a line, and a
// break at the very end starts no further line. An empty text has no lines.
std::vector<std::string_view> SplitLines(std::string_view text);

} // namespace pyrolith
