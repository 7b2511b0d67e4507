#pragma once

#include <vector>

#include "gcode/JobContext.h"
#include "gcode/JobSink.h"
#include "image/GrayLevels.h"
#include "image/MonoBitmap.h"
#include "outline/CutOutline.h"

namespace pyrolith {

// The numbers of repeated engraving and of the perimeter cut, read and checked.
struct CutNumbers {
    int imagePasses = 1;     // RepeatImageTimes with RepeatImage, else 1; 0 with SupressImage
    int cutPasses = 0;       // NumRepeats with IncludeCut, else 0
    double height = 0.0;     // InitialCutHeight (with IncludeCut and DoAdvDown)
    double stepDown = 0.0;   // AdvDownAmount (with IncludeCut and DoAdvDown)
    double kerf = 0.0;       // CutKerf (with IncludeCut); empty reads as 0
};

// Throws pyrolith::Error naming the field when a number the job uses does not read:
// RepeatImageTimes and NumRepeats must be whole numbers from 1 to 1000, the cut speed a
// speed, and with the step down the Z speed a speed, the initial cut height a height, the
// step a distance of 0 or more; the kerf a distance of 0 or more.
CutNumbers ReadCutNumbers(const JobSettings& settings, char decimalSeparator);

// Where the picture's pixels lie in the job (from the context's pitch and offsets).
outline::PixelGrid JobGrid(const JobContext& context, const JobSettings& settings);

// The path of the cut, in the job's coordinates, in the order it is cut: the print area's
// rectangle with Outline set, else the outline of the burned pixels (black, or of any power
// level in a grey engraving). Empty when the job has no cut.
std::vector<outline::Shape> MakeCutPath(const JobContext& context, const JobSettings& settings,
                                        const MonoBitmap& picture);
std::vector<outline::Shape> MakeCutPath(const JobContext& context, const JobSettings& settings,
                                        const GrayRaster& picture);

// The same path in the picture's pixels, for drawing it over the picture: x from the
// picture's left edge, y up from its bottom edge, one unit a pixel. Throws pyrolith::Error
// where the job would refuse the settings; empty when IncludeCut is clear.
std::vector<outline::Shape> CutPathInPixels(const JobSettings& settings, const MonoBitmap& picture,
                                            char decimalSeparator);
std::vector<outline::Shape> CutPathInPixels(const JobSettings& settings, const GrayRaster& picture,
                                            char decimalSeparator);

// The cut block: the passes of the cut over `path`, each shape approached with the laser
// off, cut at the cut speed with the cut power and ended with the off command; with the
// step down the head moves to the initial cut height first and down after each pass but the
// last. Writes nothing when the context has no cut passes.
void WriteCutPass(JobSink& sink, const JobContext& context,
                  const std::vector<outline::Shape>& path);

} // namespace pyrolith
