#pragma once

#include <cstddef>
#include <cstdint>

#include "image/PixelBuffer.h"

namespace pyrolith {

// A picture of grey levels, one byte per pixel from 0 (black) to 255 (white), rows top-down
// (row 0 is the top of the picture). Grey engraving reads it.
struct GreyPicture {
    std::int32_t width = 0;
    std::int32_t height = 0;
    PixelBuffer pixels; // width * height grey levels, row 0 first

    // r must lie inside the picture.
    const std::uint8_t* row(std::int32_t r) const
    {
        return pixels.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(width);
    }
};

} // namespace pyrolith
