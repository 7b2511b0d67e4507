#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "image/MonoBitmap.h"

namespace pyrolith {

// How the pixels of a read bitmap are laid out. The load accepts all but Unrecognized.
enum class PixelLayout {
    Indexed,       // 1, 4 or 8 bits per pixel with a colour table
    Rgb555,        // 16 bits, no colour masks
    Rgb565,        // 16 bits, masks with the green mask 0x07E0
    Rgb888,        // 24 bits
    Rgb888x,       // 32 bits, no colour masks: 8-8-8 plus a fourth byte
    Unrecognized,  // anything else (other 16-bit masks, 32 bits with masks, ...)
};

// A Windows bitmap as read, in its own pixel layout: the bit count, colour table and masks
// of the file, pixels decoded from any compression, rows top-down (row 0 is the top row of
// the picture as displayed, whatever the row order in the file).
struct Bitmap {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t bitsPerPixel = 0;
    PixelLayout layout = PixelLayout::Unrecognized;
    std::vector<Rgb> palette;  // the colour table (indexed layouts)
    std::uint32_t redMask = 0, greenMask = 0, blueMask = 0, alphaMask = 0;  // 0: none stored
    std::size_t stride = 0;            // bytes per row in `pixels`
    std::vector<std::uint8_t> pixels;  // height rows of stride bytes, the file's bit layout

    bool empty() const { return width == 0 || height == 0; }
    // The colour of pixel (x, y); both inside the picture.
    Rgb pixel(std::int32_t x, std::int32_t y) const;
};

// Reads a Windows bitmap. Throws pyrolith::Error with the user's text for a file it cannot
// read; never reads past the bytes present nor allocates more than the file can justify.
Bitmap ReadBitmap(const std::filesystem::path& path);
Bitmap ReadBitmap(std::span<const std::uint8_t> bytes);

// The message of a layout the load refuses.
std::string UnrecognizedFormatMessage();

// The black-and-white image of a source picture: each pixel takes the nearest colour of
// the 16-colour palette (a 4-bit picture keeps its own colour table and values), then every
// pixel that is neither black nor white becomes white.
MonoBitmap MakeMonoBitmap(const Bitmap& source);

// Writes the source picture in its own layout, or the black-and-white image as a 4-bit
// bitmap with its colour table. Replaces the file in one step; throws pyrolith::Error with
// the file error's text.
void WriteBitmap(const std::filesystem::path& path, const Bitmap& bitmap);
void WriteBitmap(const std::filesystem::path& path, const MonoBitmap& bitmap);

// "Original size: 640 x 480 pixels"
std::string OriginalSizeLine(std::int32_t width, std::int32_t height);
// "Final size: 64.0000 x 48.0000 mm" (or " inches"); distPerPixel read with MyStrtoFloat.
std::string FinalSizeLine(std::int32_t width, std::int32_t height, std::string_view distPerPixel,
                          bool useInches, char decimalSeparator);

}  // namespace pyrolith
