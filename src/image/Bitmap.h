#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "image/MonoBitmap.h"

namespace pyrolith {

// How the pixels of a read bitmap are laid out. The load accepts all but Unrecognized.
enum class PixelLayout {
    Indexed,      // 1, 4 or 8 bits per pixel with a colour table
    Rgb555,       // 16 bits, no colour masks
    Rgb565,       // 16 bits, masks with the green mask 0x07E0
    Rgb888,       // 24 bits
    Rgb888x,      // 32 bits, no colour masks: 8-8-8 plus a fourth byte
    Unrecognized, // anything else (other 16-bit masks, 32 bits with masks, 2 bits, ...)
};

// A Windows bitmap as read, in its own pixel layout: the bit count, colour table and masks
// of the file, pixels decoded from any compression, rows top-down (row 0 is the top row of
// the picture as displayed, whatever the row order in the file).
struct Bitmap {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t bitsPerPixel = 0;
    PixelLayout layout = PixelLayout::Unrecognized;
    std::vector<Rgb> palette; // the colour table (bit counts up to 8 only)
    std::uint32_t redMask = 0, greenMask = 0, blueMask = 0, alphaMask = 0; // 0: none stored
    std::size_t stride = 0; // bytes per row in `pixels`, a multiple of 4
    // height rows of stride bytes in the file's bit layout; the padding bits of a row are 0
    PixelBuffer pixels;

    bool empty() const { return width == 0 || height == 0; }
    // True when the file gave colour masks (16 and 32 bits only).
    bool hasMasks() const { return (redMask | greenMask | blueMask | alphaMask) != 0; }
    // The colour of pixel (x, y); both inside the picture. Alpha is ignored.
    Rgb pixel(std::int32_t x, std::int32_t y) const;
};

// The bytes of one row of a bitmap file: rows are padded to whole 32-bit words.
std::uint64_t BitmapRowBytes(std::uint64_t width, std::uint32_t bitsPerPixel);

// The largest picture the program reads and engraves: 16384 x 16384 pixels. Its rows take at
// most 4 bytes a pixel in any layout, so they always fit the row limit below: this is the one
// limit a user meets, and the one the messages state.
inline constexpr std::uint64_t kMaxPicturePixels = std::uint64_t{1} << 28;

// What a read may allocate. The default is the program's; tests and the fuzz target use
// smaller figures.
struct BitmapLimits {
    std::uint64_t maxPixelBytes = std::uint64_t{1} << 30; // the decoded rows
    std::uint64_t maxPixelCount = kMaxPicturePixels;     // width x height
};

// "<kind> image is too large: 40000 x 40000 pixels. Pyrolith reads pictures of up to
// 268,435,456 pixels (16384 x 16384)."
std::string PictureTooLargeText(std::string_view kind, std::uint64_t width, std::uint64_t height);
// "268,435,456 pixels (16384 x 16384)": the limit as the messages and the manual state it.
std::string_view PictureSizeLimitText();

// Reads a Windows bitmap: the OS/2 core header and the Windows info headers (40, 52, 56,
// 108 and 124 bytes, and the OS/2 2.x header of 16 to 64 bytes); 1, 2, 4 and 8 bits per
// pixel with a colour table, uncompressed or (4 and 8 bits) run-length encoded; 16 and 32
// bits with or without colour masks; 24 bits; rows bottom-up or top-down.
//
// Throws pyrolith::Error with the user's text ("Bitmap image is not valid: ...") for a file
// it cannot read. Every size, offset and product is checked against the bytes present, in
// 64-bit arithmetic, before anything is read or allocated, and the decoded rows stay within
// `limits`. Pixels left undefined by the skips of a run-length encoded file take entry 0 of
// the colour table.
Bitmap ReadBitmap(const std::filesystem::path& path, const BitmapLimits& limits = {});
Bitmap ReadBitmap(std::span<const std::uint8_t> bytes, const BitmapLimits& limits = {});

// The same file read band by band from the top, as ReadBitmap reads it, without the whole
// picture ever in memory: `use` gets each band of up to `bandRows` rows (band.height rows, its
// layout the file's), the row of the picture it starts at and the picture's height. A
// run-length encoded file comes as one band. The file's errors as ReadBitmap's, though an
// index past the colour table is found only in the band that holds it.
using BitmapBandUse =
    std::function<void(const Bitmap& band, std::int32_t top, std::int32_t height)>;
void ReadBitmapBands(const std::filesystem::path& path, const BitmapLimits& limits,
                     std::int32_t bandRows, const BitmapBandUse& use);

// The message of a layout the load refuses.
std::string UnrecognizedFormatMessage();

// The black-and-white image of a source picture: each pixel takes the nearest colour of
// the 16-colour palette (a 4-bit picture keeps its own colour table and values), then every
// pixel that is neither black nor white becomes white (for a 4-bit picture: the entry of its
// table nearest to white). An empty source gives an empty image.
MonoBitmap MakeMonoBitmap(const Bitmap& source);
// The same rule for one row of `width` pixels given as red, green and blue bytes.
void MonoPaletteRow(const std::uint8_t* rgb, std::size_t width, std::uint8_t* target);

// Writes the source picture in its own layout (uncompressed, bottom-up rows, the colour
// table and masks of the source), or the black-and-white image as a 4-bit bitmap with its
// 16-entry colour table. Replaces the file in one step; throws pyrolith::Error with the file
// error's text.
void WriteBitmap(const std::filesystem::path& path, const Bitmap& bitmap);
void WriteBitmap(const std::filesystem::path& path, const MonoBitmap& bitmap);

// The file's bytes, as WriteBitmap writes them.
std::vector<std::uint8_t> EncodeBitmap(const Bitmap& bitmap);
std::vector<std::uint8_t> EncodeBitmap(const MonoBitmap& bitmap);

// "Original size: 640 x 480 pixels"
std::string OriginalSizeLine(std::int32_t width, std::int32_t height);
// "Final size: 64.0000 x 48.0000 mm" (or " inches"); distPerPixel read with MyStrtoFloat.
std::string FinalSizeLine(std::int32_t width, std::int32_t height, std::string_view distPerPixel,
                          bool useInches, char decimalSeparator);

} // namespace pyrolith
