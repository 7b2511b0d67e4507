#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "BmpBuilder.h"
#include "common/Error.h"
#include "image/Bitmap.h"
#include "support/TestFolder.h"

namespace pyrolith {
namespace {

namespace fs = std::filesystem;
using test::BmpRecipe;
using test::BuildBmp;
using test::ExpectSameBitmap;
using test::FileBytes;

std::uint32_t Field32(const std::vector<std::uint8_t>& bytes, std::size_t at)
{
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

struct SourceCase {
    const char* name;
    std::uint16_t bitsPerPixel;
    std::uint32_t compression;
    std::vector<std::uint32_t> masks;
    std::uint32_t headerSize = 40;
};

void PrintTo(const SourceCase& c, std::ostream* out)
{
    *out << c.name;
}

class SourceRoundTripTest : public ::testing::TestWithParam<SourceCase> {};

// A 3 x 2 picture of every layout, with varied bytes, written to a file and read back.
TEST_P(SourceRoundTripTest, ReadsBackIdentically)
{
    const SourceCase& c = GetParam();
    BmpRecipe recipe;
    recipe.headerSize = c.headerSize;
    recipe.width = 3;
    recipe.height = -2; // top-down in, bottom-up out
    recipe.bitsPerPixel = c.bitsPerPixel;
    recipe.compression = c.compression;
    recipe.masks = c.masks;
    if (c.bitsPerPixel <= 8) {
        for (int i = 0; i < (1 << c.bitsPerPixel) && i < 6; ++i) {
            recipe.palette.push_back(Rgb{static_cast<std::uint8_t>(40 * i), 7, 200});
        }
    }
    const std::size_t rowBytes = BitmapRowBytes(3, c.bitsPerPixel);
    for (std::size_t row = 0; row < 2; ++row) {
        for (std::size_t i = 0; i < rowBytes; ++i) {
            // Indices stay inside a table of 6 (or 2) entries.
            const int value = c.bitsPerPixel == 1   ? 0x5A + static_cast<int>(row)
                              : c.bitsPerPixel == 4 ? 0x12 + 0x11 * static_cast<int>(row + i)
                              : c.bitsPerPixel == 8 ? static_cast<int>(row + i) % 6
                                                    : 31 * static_cast<int>(row * rowBytes + i);
            recipe.pixels.push_back(static_cast<std::uint8_t>(value));
        }
    }
    const Bitmap bitmap = ReadBitmap(BuildBmp(recipe));

    const test::TestFolder folder("image");
    const fs::path file = folder.path() / "orig.bmp";
    WriteBitmap(file, bitmap);
    const Bitmap back = ReadBitmap(file);
    ExpectSameBitmap(back, bitmap);
    for (std::int32_t y = 0; y < 2; ++y) {
        for (std::int32_t x = 0; x < 3; ++x) {
            EXPECT_EQ(back.pixel(x, y), bitmap.pixel(x, y));
        }
    }
    EXPECT_EQ(FileBytes(file), EncodeBitmap(bitmap));
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, SourceRoundTripTest,
    ::testing::Values(SourceCase{"OneBit", 1, 0, {}}, SourceCase{"FourBits", 4, 0, {}},
                      SourceCase{"EightBits", 8, 0, {}}, SourceCase{"Rgb555", 16, 0, {}},
                      SourceCase{"Rgb565", 16, 3, {0xF800, 0x07E0, 0x001F}},
                      SourceCase{"Masks16", 16, 3, {0x0F00, 0x00F0, 0x000F}},
                      SourceCase{"Rgb888", 24, 0, {}}, SourceCase{"Rgb888x", 32, 0, {}},
                      SourceCase{"Masks32", 32, 3, {0xFF, 0xFF00, 0xFF0000}},
                      SourceCase{"AlphaMasks32", 32, 3, {0xFF00, 0xFF0000, 0xFF000000, 0xFF}, 124}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WriteBitmap, RunLengthSourceIsWrittenUncompressed)
{
    BmpRecipe recipe;
    recipe.width = 4;
    recipe.height = 1;
    recipe.bitsPerPixel = 8;
    recipe.compression = 1;
    recipe.palette = {{0, 0, 0}, {255, 255, 255}};
    recipe.pixels = {2, 1, 2, 0, 0, 1};
    const Bitmap bitmap = ReadBitmap(BuildBmp(recipe));
    const std::vector<std::uint8_t> bytes = EncodeBitmap(bitmap);
    EXPECT_EQ(Field32(bytes, 30), 0u); // no compression
    ExpectSameBitmap(ReadBitmap(bytes), bitmap);
}

// The B+W view's picture: 4 bits per pixel, its 16-entry table, bottom row first.
TEST(WriteBitmap, BlackAndWhiteImageIsAFourBitBitmap)
{
    const std::vector<std::uint8_t> mask = {1, 0, 0, 1, 1, // top row
                                            0, 0, 0, 0, 1, //
                                            1, 1, 1, 1, 1};
    const MonoBitmap mono = MonoBitmap::FromBlackMask(5, 3, mask);
    const test::TestFolder folder("image");
    const fs::path file = folder.path() / "bw.bmp";
    WriteBitmap(file, mono);

    const std::vector<std::uint8_t> bytes = FileBytes(file);
    ASSERT_EQ(bytes.size(), 14u + 40 + 16 * 4 + 3 * 4);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(Field32(bytes, 2), bytes.size());
    EXPECT_EQ(Field32(bytes, 10), 14u + 40 + 64);
    EXPECT_EQ(bytes[28], 4);            // bits per pixel
    EXPECT_EQ(Field32(bytes, 46), 16u); // colours in the table
    for (std::size_t i = 0; i < 16; ++i) {
        const Rgb colour = StandardPalette()[i];
        EXPECT_EQ(bytes[54 + 4 * i], colour.b);
        EXPECT_EQ(bytes[54 + 4 * i + 1], colour.g);
        EXPECT_EQ(bytes[54 + 4 * i + 2], colour.r);
    }
    // The bottom row (all black) comes first: index 0 in every nibble, then padding.
    const std::size_t pixels = 118;
    EXPECT_EQ(bytes[pixels], 0x00);
    EXPECT_EQ(bytes[pixels + 2], 0x00);
    EXPECT_EQ(bytes[pixels + 8], 0x0F);  // top row: black, white
    EXPECT_EQ(bytes[pixels + 9], 0xF0);  // white, black
    EXPECT_EQ(bytes[pixels + 10], 0x00); // black, padding

    const Bitmap back = ReadBitmap(file);
    EXPECT_EQ(back.layout, PixelLayout::Indexed);
    EXPECT_EQ(back.bitsPerPixel, 4);
    const MonoBitmap monoBack = MakeMonoBitmap(back);
    EXPECT_EQ(monoBack.palette(), mono.palette());
    EXPECT_TRUE(monoBack.indices() == mono.indices());
}

TEST(WriteBitmap, ReplacesAFileAndReportsFailures)
{
    const test::TestFolder folder("image");
    const fs::path file = folder.path() / "picture.bmp";
    {
        std::ofstream old(file);
        old << "old contents";
    }
    const MonoBitmap mono = MonoBitmap::FromBlackMask(1, 1, {1});
    WriteBitmap(file, mono);
    EXPECT_TRUE(MakeMonoBitmap(ReadBitmap(file)).black(0, 0));

    EXPECT_THROW(WriteBitmap(folder.path() / "missing folder" / "x.bmp", mono), Error);
    EXPECT_THROW(WriteBitmap(folder.path(), mono), Error);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1)
        << "a failed write leaves no temporary file";
}

} // namespace
} // namespace pyrolith
