#pragma once

#include <cstdint>
#include <string_view>

#include "image/GrayLevels.h"
#include "image/MonoBitmap.h"
#include "settings/JobSettings.h"

namespace pyrolith {

// Every check of the numbers a job uses, in the order the user learns of them, before any
// file is touched. Throws pyrolith::Error whose message is the user's text and whose field
// key names the setting to fix:
// 1. BacklashVal (when Backlash is set), DwellTime, FrontCenterDwellTime and
//    LeftCenterDwellTime must read with the strict conversion and `decimalSeparator`:
//    "'%s' is not a valid floating point value".
// 2. DistPerPixel must read ("." or ",") as a number greater than 0, small enough that the
//    picture's coordinates stay plain numbers and large enough that neighbouring pixels get
//    different coordinates.
// 3. XOffset (when UseXOffset is set), then YOffset (when UseYOffset is set) must read as a
//    number of a size a coordinate can have; so must the backlash, when it is used.
// 4. OffSpeed, OnSpeed, then TraceSpeed (when IndicateBoundary is set) must be, blanks
//    around them aside, plain G-code numbers greater than 0: digits with at most one ".".
// 5. StartHeight (when GoStartHeight is set) must be, blanks around it aside, a plain
//    G-code number with an optional leading "-".
// The messages name the field as the settings window labels it and show the text.
// 6. Overscan must be empty or read ("." or ",") as a number of 0 or more.
// 7. A 3D printer job in Marlin's inline laser mode needs an on command with an S number.
// 8. The numbers of repeated engraving and of the cut (ReadCutNumbers in CutPass.h); a cut
//    along the image's outline needs a build that traces pictures.
// 9. ToneCurve must be blank or a list of grey:power pairs (image/ToneCurve.h).
// A grey picture also needs the checks of PowerCommands: an on command with an S number,
// PowerLevels and MinPower.
void CheckJobNumbers(const JobSettings& settings, const MonoBitmap& picture,
                     char decimalSeparator);
void CheckJobNumbers(const JobSettings& settings, const GrayRaster& picture,
                     char decimalSeparator);
void CheckJobNumbers(const JobSettings& settings, std::int32_t width, std::int32_t height,
                     char decimalSeparator);

// A number as a controller reads it: digits with at most one "." and at least one digit,
// after an optional "-" when `signedAllowed`; no "+", no exponent, no ",".
bool IsPlainGcodeNumber(std::string_view text, bool signedAllowed);

} // namespace pyrolith
