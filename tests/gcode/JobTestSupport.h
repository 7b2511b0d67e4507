#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "gcode/JobContext.h"
#include "gcode/JobSink.h"
#include "gcode/JobWriter.h"
#include "image/GrayLevels.h"
#include "image/MonoBitmap.h"
#include "settings/JobSettings.h"

namespace pyrolith::test {

// The lines of a job text. Every line must end with CR LF, the last one included, and no
// line may hold a lone CR or LF; a failure is reported and the text up to it is returned.
inline std::vector<std::string> JobLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string_view::npos) {
            ADD_FAILURE() << "the last line does not end with CR LF: '" << text.substr(start)
                          << "'";
            break;
        }
        const std::string_view line = text.substr(start, end - start);
        if (line.find_first_of("\r\n") != std::string_view::npos) {
            ADD_FAILURE() << "a lone CR or LF inside the line '" << line << "'";
        }
        lines.emplace_back(line);
        start = end + 2;
    }
    return lines;
}

// A picture from rows of '#' (black) and '.' (white), top row first.
inline MonoBitmap Picture(const std::vector<std::string>& rows)
{
    const auto height = static_cast<std::int32_t>(rows.size());
    const auto width = height == 0 ? 0 : static_cast<std::int32_t>(rows[0].size());
    std::vector<std::uint8_t> mask;
    for (const std::string& row : rows) {
        EXPECT_EQ(static_cast<std::int32_t>(row.size()), width) << "ragged picture row";
        for (const char c : row) {
            mask.push_back(c == '#' ? 1 : 0);
        }
    }
    return MonoBitmap::FromBlackMask(width, height, mask);
}

// A grey picture from rows of power levels with 4 levels: '.' white, '1' to '3' the greys
// 191, 127 and 0, top row first.
inline GrayRaster Greys(const std::vector<std::string>& rows)
{
    GrayRaster picture;
    picture.height = static_cast<std::int32_t>(rows.size());
    picture.width = static_cast<std::int32_t>(rows[0].size());
    for (const std::string& row : rows) {
        for (const char c : row) {
            picture.pixels.push_back(c == '.' ? 255 : c == '1' ? 191 : c == '2' ? 127 : 0);
        }
    }
    return picture;
}

inline MonoBitmap WhitePicture(std::int32_t width, std::int32_t height)
{
    return MonoBitmap::FromBlackMask(width, height,
                                     std::vector<std::uint8_t>(static_cast<std::size_t>(width) *
                                                               static_cast<std::size_t>(height)));
}

// The settings of the worked engraving example: 3D printer, "G1", "M107" / "M106 S255",
// speeds 1500 and 500, d = 0.5, no offsets, no backlash, full pixel height, precision on,
// comments "; " and nothing.
inline JobSettings ExampleSettings()
{
    JobSettings s;
    s.UseInches = false;
    s.DistPerPixel = "0.5";
    s.HalfStepHeight = false;
    s.LaserOffCommand = "M107";
    s.LaserOnCommand = "M106 S255";
    s.LaserLowPower = "M106 S15";
    s.UseG0 = false;
    s.StartComment = "; ";
    s.EndComment = "";
    s.OffSpeed = "1500";
    s.OnSpeed = "500";
    s.TraceSpeed = "1200";
    s.UseXOffset = false;
    s.UseYOffset = false;
    s.Precision = true;
    s.FakeExtrusion = false;
    s.Backlash = false;
    s.GRBL = false;
    return s;
}

// A fixed date, time, version and file name.
inline JobEnvironment Environment()
{
    JobEnvironment environment;
    environment.date = "08/12/2026";
    environment.time = "17:40:41";
    environment.versionText = "1.3.0.4";
    environment.imageFileName = "cat.bmp";
    return environment;
}

} // namespace pyrolith::test
