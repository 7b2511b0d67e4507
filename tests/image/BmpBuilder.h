#pragma once

// Builds bitmap files byte by byte for the reader tests, independently of the writer, so a
// fault shared by reader and writer cannot hide; and helpers the image tests share.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include "image/Bitmap.h"

namespace pyrolith::test {

struct BmpRecipe {
    std::uint32_t headerSize = 40; // 12 (OS/2 core), 16, 40, 52, 56, 64, 108, 124
    std::int32_t width = 1;
    std::int32_t height = 1;
    std::uint16_t planes = 1;
    std::uint16_t bitsPerPixel = 24;
    std::uint32_t compression = 0;
    std::vector<Rgb> palette;
    std::optional<std::uint32_t> colorsUsed;  // default: the palette's size
    std::vector<std::uint32_t> masks;         // after a 40-byte header, or inside a larger one
    std::vector<std::uint8_t> pixels;         // exactly as stored in the file
    std::optional<std::uint32_t> pixelOffset; // default: right after the colour table
    std::uint32_t gap = 0;                    // unused bytes between the table and the pixels
};

inline void Put16(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

inline void Put32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

inline std::vector<std::uint8_t> BuildBmp(const BmpRecipe& recipe)
{
    std::vector<std::uint8_t> info;
    const bool core = recipe.headerSize == 12;
    Put32(info, recipe.headerSize);
    if (core) {
        Put16(info, static_cast<std::uint32_t>(recipe.width));
        Put16(info, static_cast<std::uint32_t>(recipe.height));
    } else {
        Put32(info, static_cast<std::uint32_t>(recipe.width));
        Put32(info, static_cast<std::uint32_t>(recipe.height));
    }
    Put16(info, recipe.planes);
    Put16(info, recipe.bitsPerPixel);
    if (!core) {
        Put32(info, recipe.compression);
        Put32(info, static_cast<std::uint32_t>(recipe.pixels.size()));
        Put32(info, 2835);
        Put32(info, 2835);
        Put32(info, recipe.colorsUsed.value_or(static_cast<std::uint32_t>(recipe.palette.size())));
        Put32(info, 0);
        // A 40-byte header is followed by the masks; the larger ones hold them here.
        for (std::uint32_t mask : recipe.masks) {
            Put32(info, mask);
        }
    }
    // Short headers are cut, long ones padded with zeros, after the masks they hold.
    const std::size_t headerEnd =
        recipe.headerSize + (recipe.headerSize == 40 ? 4 * recipe.masks.size() : 0);
    info.resize(headerEnd, 0);
    for (const Rgb& colour : recipe.palette) {
        info.push_back(colour.b);
        info.push_back(colour.g);
        info.push_back(colour.r);
        if (!core) {
            info.push_back(0);
        }
    }
    info.insert(info.end(), recipe.gap, 0xEE);

    std::vector<std::uint8_t> file;
    file.push_back('B');
    file.push_back('M');
    Put32(file, static_cast<std::uint32_t>(14 + info.size() + recipe.pixels.size()));
    Put32(file, 0);
    Put32(file, recipe.pixelOffset.value_or(static_cast<std::uint32_t>(14 + info.size())));
    file.insert(file.end(), info.begin(), info.end());
    file.insert(file.end(), recipe.pixels.begin(), recipe.pixels.end());
    return file;
}

inline std::vector<std::uint8_t> FileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The same layout, colour table, masks and rows.
inline void ExpectSameBitmap(const Bitmap& back, const Bitmap& bitmap)
{
    EXPECT_EQ(back.width, bitmap.width);
    EXPECT_EQ(back.height, bitmap.height);
    EXPECT_EQ(back.bitsPerPixel, bitmap.bitsPerPixel);
    EXPECT_EQ(back.layout, bitmap.layout);
    EXPECT_EQ(back.palette, bitmap.palette);
    EXPECT_EQ(back.redMask, bitmap.redMask);
    EXPECT_EQ(back.greenMask, bitmap.greenMask);
    EXPECT_EQ(back.blueMask, bitmap.blueMask);
    EXPECT_EQ(back.alphaMask, bitmap.alphaMask);
    EXPECT_EQ(back.stride, bitmap.stride);
    EXPECT_TRUE(back.pixels == bitmap.pixels);
}

} // namespace pyrolith::test
