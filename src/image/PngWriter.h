#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace pyrolith {

// A picture of 8-bit RGB pixels, rows from the top, no padding.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;  // width * height * 3

    std::uint8_t* at(int x, int y)
    {
        return pixels.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                static_cast<std::size_t>(x)) * 3;
    }
};

// The picture as a PNG file's bytes (8-bit RGB, no interlace). The deflate stream uses the
// fixed codes with matches one pixel to the left and one row up, which is what drawings of
// lines on a plain background repeat; no compression library is needed.
std::string EncodePng(const RgbImage& image);

// Writes EncodePng(image) to `path` through AtomicFile. Throws pyrolith::Error.
void WritePng(const std::filesystem::path& path, const RgbImage& image);

}  // namespace pyrolith
