#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "BmpBuilder.h"
#include "common/Error.h"
#include "image/Bitmap.h"

namespace pyrolith {
namespace {

using test::BmpRecipe;
using test::BuildBmp;

constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kGreen{0, 255, 0};
constexpr Rgb kBlue{0, 0, 255};
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};

std::string MessageOf(const std::vector<std::uint8_t>& bytes, const BitmapLimits& limits = {})
{
    try {
        ReadBitmap(bytes, limits);
    } catch (const Error& error) {
        return error.what();
    }
    return "(read)";
}

// ---- Layouts and pixel decoding ----------------------------------------------------------

struct LayoutCase {
    const char* name;
    std::uint16_t bitsPerPixel;
    std::uint32_t compression;
    std::vector<std::uint32_t> masks;
    std::vector<std::uint8_t> pixel; // one pixel, padded to a 32-bit row
    PixelLayout layout;
    Rgb colour;
    std::uint32_t headerSize = 40;
};

void PrintTo(const LayoutCase& c, std::ostream* out)
{
    *out << c.name;
}

class LayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutTest, ReportsLayoutAndColour)
{
    const LayoutCase& c = GetParam();
    BmpRecipe recipe;
    recipe.headerSize = c.headerSize;
    recipe.bitsPerPixel = c.bitsPerPixel;
    recipe.compression = c.compression;
    recipe.masks = c.masks;
    recipe.pixels = c.pixel;
    if (c.bitsPerPixel <= 8) {
        recipe.palette = {kWhite, kRed, kGreen, kBlue};
        recipe.palette.resize(std::min<std::size_t>(4, std::size_t{1} << c.bitsPerPixel));
    }
    const Bitmap bitmap = ReadBitmap(BuildBmp(recipe));
    EXPECT_EQ(bitmap.layout, c.layout);
    EXPECT_EQ(bitmap.pixel(0, 0), c.colour);
}

const LayoutCase kLayouts[] = {
    {"OneBit", 1, 0, {}, {0x80, 0, 0, 0}, PixelLayout::Indexed, kRed},
    {"TwoBits", 2, 0, {}, {0xC0, 0, 0, 0}, PixelLayout::Unrecognized, kBlue},
    {"FourBits", 4, 0, {}, {0x20, 0, 0, 0}, PixelLayout::Indexed, kGreen},
    {"EightBits", 8, 0, {}, {3, 0, 0, 0}, PixelLayout::Indexed, kBlue},
    // 16 bits without masks: 5-5-5, the top bit unused; 31 is 255, not 248.
    {"Rgb555", 16, 0, {}, {0x1F, 0xFC, 0, 0}, PixelLayout::Rgb555, {255, 0, 255}},
    {"Rgb555Middle", 16, 0, {}, {0x10, 0x42, 0, 0}, PixelLayout::Rgb555, {132, 132, 132}},
    {"Rgb565", 16, 3, {0xF800, 0x07E0, 0x001F}, {0xE0, 0x07, 0, 0}, PixelLayout::Rgb565, kGreen},
    {"Bgr565", 16, 3, {0x001F, 0x07E0, 0xF800}, {0x1F, 0, 0, 0}, PixelLayout::Rgb565, kRed},
    {"Masks555", 16, 3, {0x7C00, 0x03E0, 0x001F}, {0, 0x7C, 0, 0}, PixelLayout::Unrecognized, kRed},
    {"Rgb888", 24, 0, {}, {10, 20, 30, 0}, PixelLayout::Rgb888, {30, 20, 10}},
    {"Rgb888x", 32, 0, {}, {10, 20, 30, 99}, PixelLayout::Rgb888x, {30, 20, 10}},
    {"Masks32",
     32,
     3,
     {0xFF0000, 0xFF00, 0xFF},
     {10, 20, 30, 0},
     PixelLayout::Unrecognized,
     {30, 20, 10}},
    {"Masks32Reversed",
     32,
     3,
     {0xFF, 0xFF00, 0xFF0000},
     {10, 20, 30, 0},
     PixelLayout::Unrecognized,
     {10, 20, 30}},
    {"V4Masks",
     32,
     3,
     {0xFF000000, 0xFF0000, 0xFF00, 0xFF},
     {1, 2, 3, 4},
     PixelLayout::Unrecognized,
     {4, 3, 2},
     108},
    // A V5 header always has room for masks; without BI_BITFIELDS they mean nothing.
    {"V5MasksIgnored",
     32,
     0,
     {0xFF, 0xFF00, 0xFF0000, 0},
     {10, 20, 30, 0},
     PixelLayout::Rgb888x,
     {30, 20, 10},
     124},
    {"V3HeaderMasks",
     16,
     3,
     {0xF800, 0x07E0, 0x001F, 0},
     {0x1F, 0, 0, 0},
     PixelLayout::Rgb565,
     kBlue,
     56},
};

INSTANTIATE_TEST_SUITE_P(Layouts, LayoutTest, ::testing::ValuesIn(kLayouts),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BitmapReader, RowsAreTopDownWhateverTheFileOrder)
{
    // Two rows of one 24-bit pixel; the file's first row is the bottom one unless the
    // height is negative.
    BmpRecipe recipe;
    recipe.height = 2;
    recipe.pixels = {0, 0, 255, 0, 0, 255, 0, 0}; // red row, then green row
    const Bitmap bottomUp = ReadBitmap(BuildBmp(recipe));
    EXPECT_EQ(bottomUp.pixel(0, 0), kGreen);
    EXPECT_EQ(bottomUp.pixel(0, 1), kRed);

    recipe.height = -2;
    const Bitmap topDown = ReadBitmap(BuildBmp(recipe));
    EXPECT_EQ(topDown.height, 2);
    EXPECT_EQ(topDown.pixel(0, 0), kRed);
    EXPECT_EQ(topDown.pixel(0, 1), kGreen);
}

TEST(BitmapReader, PacksBitsFromTheHighEnd)
{
    BmpRecipe recipe;
    recipe.width = 10;
    recipe.bitsPerPixel = 1;
    recipe.palette = {kBlack, kWhite};
    recipe.pixels = {0b10100000, 0b01000000, 0, 0};
    const Bitmap one = ReadBitmap(BuildBmp(recipe));
    const Rgb expected[10] = {kWhite, kBlack, kWhite, kBlack, kBlack,
                              kBlack, kBlack, kBlack, kBlack, kWhite};
    for (int x = 0; x < 10; ++x) {
        EXPECT_EQ(one.pixel(x, 0), expected[x]) << "x = " << x;
    }

    recipe.width = 3;
    recipe.bitsPerPixel = 4;
    recipe.palette = {kBlack, kRed, kGreen, kBlue};
    recipe.pixels = {0x12, 0x30, 0, 0};
    const Bitmap four = ReadBitmap(BuildBmp(recipe));
    EXPECT_EQ(four.pixel(0, 0), kRed);
    EXPECT_EQ(four.pixel(1, 0), kGreen);
    EXPECT_EQ(four.pixel(2, 0), kBlue);
}

TEST(BitmapReader, ReadsOs2Headers)
{
    BmpRecipe recipe;
    recipe.headerSize = 12; // three-byte colour table entries
    recipe.width = 2;
    recipe.bitsPerPixel = 8;
    recipe.palette = {kRed, kGreen, kBlue};
    recipe.pixels = {2, 1, 0, 0};
    const Bitmap core = ReadBitmap(BuildBmp(recipe));
    EXPECT_EQ(core.palette, (std::vector<Rgb>{kRed, kGreen, kBlue}));
    EXPECT_EQ(core.pixel(0, 0), kBlue);
    EXPECT_EQ(core.pixel(1, 0), kGreen);

    recipe.headerSize = 16; // OS/2 2.x cut after the bit count: four-byte entries
    const Bitmap shortHeader = ReadBitmap(BuildBmp(recipe));
    EXPECT_EQ(shortHeader.palette, (std::vector<Rgb>{kRed, kGreen, kBlue}));
    EXPECT_EQ(shortHeader.pixel(0, 0), kBlue);
}

TEST(BitmapReader, ColourTableEndsWhereThePixelsStart)
{
    BmpRecipe recipe;
    recipe.bitsPerPixel = 8;
    recipe.palette = {kRed, kGreen, kBlue};
    recipe.colorsUsed = 0; // 0 means 256, but only three entries lie before the pixels
    recipe.pixels = {2, 0, 0, 0};
    const Bitmap bitmap = ReadBitmap(BuildBmp(recipe));
    EXPECT_EQ(bitmap.palette.size(), 3u);
    EXPECT_EQ(bitmap.pixel(0, 0), kBlue);

    recipe.colorsUsed = std::nullopt;
    recipe.gap = 10; // unused bytes between the table and the pixels
    EXPECT_EQ(ReadBitmap(BuildBmp(recipe)).pixel(0, 0), kBlue);
}

TEST(BitmapReader, LastRowMayLackItsPadding)
{
    BmpRecipe recipe;
    recipe.height = 2;
    recipe.pixels = {0, 0, 255, 0, 0, 255, 0}; // the final padding byte is missing
    const Bitmap bitmap = ReadBitmap(BuildBmp(recipe));
    EXPECT_EQ(bitmap.pixel(0, 0), kGreen);
    recipe.pixels.pop_back(); // now a pixel byte is missing
    EXPECT_EQ(MessageOf(BuildBmp(recipe)),
              "Bitmap image is not valid: the file ends before the last of its pixels.");
}

// ---- Run-length encoding -----------------------------------------------------------------

BmpRecipe RunLength(int bits, std::int32_t width, std::int32_t height, std::vector<std::uint8_t> data)
{
    BmpRecipe recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.bitsPerPixel = static_cast<std::uint16_t>(bits);
    recipe.compression = bits == 8 ? 1 : 2;
    recipe.palette = {kBlack, kRed, kGreen, kBlue, kWhite};
    recipe.pixels = std::move(data);
    return recipe;
}

// The palette indices of a picture, row 0 (top) first, as letters: 0 = '.', 1 = 'r', ...
std::string Indices(const Bitmap& bitmap)
{
    std::string text;
    for (std::int32_t y = 0; y < bitmap.height; ++y) {
        for (std::int32_t x = 0; x < bitmap.width; ++x) {
            const Rgb p = bitmap.pixel(x, y);
            text += p == kBlack   ? '.'
                    : p == kRed   ? 'r'
                    : p == kGreen ? 'g'
                    : p == kBlue  ? 'b'
                                  : 'w';
        }
        text += '/';
    }
    return text;
}

TEST(BitmapReader, DecodesEightBitRuns)
{
    const std::vector<std::uint8_t> data = {
        3, 1, 2, 2, 0, 0, // bottom row: 3 x red, 2 x green, end of row
        0, 3, 4, 3, 2, 0, // three pixels stored one by one, padded
        0, 2, 1, 1,       // move one right and one up
        1, 4, 0, 1,       // one white pixel, end of bitmap
    };
    const Bitmap bitmap = ReadBitmap(BuildBmp(RunLength(8, 5, 3, data)));
    EXPECT_EQ(Indices(bitmap), "....w/wbg../rrrgg/");
}

TEST(BitmapReader, DecodesFourBitRuns)
{
    const std::vector<std::uint8_t> data = {
        5, 0x12, 0,    0,          // red, green, red, green, red; end of row
        0, 3,    0x34, 0x20, 0, 1, // blue, white, green stored one by one; end of bitmap
    };
    const Bitmap bitmap = ReadBitmap(BuildBmp(RunLength(4, 5, 2, data)));
    EXPECT_EQ(Indices(bitmap), "bwg../rgrgr/");
}

TEST(BitmapReader, RunLengthEndMarkMayBeMissingAfterTheLastRow)
{
    EXPECT_EQ(Indices(ReadBitmap(BuildBmp(RunLength(8, 2, 1, {2, 1, 0, 0})))), "rr/");
    EXPECT_EQ(MessageOf(BuildBmp(RunLength(8, 2, 2, {2, 1, 0, 0}))),
              "Bitmap image is not valid: the file ends before the last of its pixels.");
}

struct RunLengthFault {
    const char* name;
    int bits;
    std::vector<std::uint8_t> data;
};

void PrintTo(const RunLengthFault& c, std::ostream* out)
{
    *out << c.name;
}

class RunLengthFaultTest : public ::testing::TestWithParam<RunLengthFault> {};

TEST_P(RunLengthFaultTest, IsRefused)
{
    const RunLengthFault& c = GetParam();
    const std::string message = MessageOf(BuildBmp(RunLength(c.bits, 4, 2, c.data)));
    EXPECT_EQ(message.rfind("Bitmap image is not valid: ", 0), 0u) << message;
}

INSTANTIATE_TEST_SUITE_P(Faults, RunLengthFaultTest,
                         ::testing::ValuesIn(std::vector<RunLengthFault>{
                             {"RunPastRowEnd8", 8, {5, 1, 0, 1}},
                             {"RunPastRowEnd4", 4, {5, 0x11, 0, 1}},
                             {"AbsolutePastRowEnd", 8, {0, 5, 1, 1, 1, 1, 1, 0, 0, 1}},
                             {"RunPastLastRow", 8, {0, 0, 0, 0, 1, 1, 0, 1}},
                             {"MovePastRowEnd", 8, {0, 2, 5, 0, 0, 1}},
                             {"MovePastLastRow", 8, {0, 2, 0, 3, 0, 1}},
                             {"MoveCutShort", 8, {0, 2, 1}},
                             {"AbsoluteCutShort", 4, {0, 4, 0x12}},
                             {"Empty", 8, {}},
                         }),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Files refused -----------------------------------------------------------------------

struct Refusal {
    const char* name;
    std::function<void(BmpRecipe&)> change;
    std::string message;
};

void PrintTo(const Refusal& c, std::ostream* out)
{
    *out << c.name;
}

class RefusalTest : public ::testing::TestWithParam<Refusal> {};

TEST_P(RefusalTest, GivesItsMessage)
{
    BmpRecipe recipe;
    recipe.width = 2;
    recipe.bitsPerPixel = 8;
    recipe.palette = {kBlack, kWhite};
    recipe.pixels = {0, 1, 0, 0};
    GetParam().change(recipe);
    EXPECT_EQ(MessageOf(BuildBmp(recipe)), GetParam().message);
}

const std::string kInvalid = "Bitmap image is not valid: ";

INSTANTIATE_TEST_SUITE_P(
    Headers, RefusalTest,
    ::testing::ValuesIn(std::vector<Refusal>{
        {"UnknownHeaderSize", [](BmpRecipe& s) { s.headerSize = 66; },
         kInvalid + "its header size of 66 bytes is unknown."},
        {"Planes", [](BmpRecipe& s) { s.planes = 3; },
         kInvalid + "its number of colour planes is 3 instead of 1."},
        {"ZeroWidth", [](BmpRecipe& s) { s.width = 0; },
         kInvalid + "its width is not a positive number."},
        {"NegativeWidth", [](BmpRecipe& s) { s.width = -2; },
         kInvalid + "its width is not a positive number."},
        {"ZeroHeight", [](BmpRecipe& s) { s.height = 0; }, kInvalid + "it has no rows."},
        {"LowestHeight", [](BmpRecipe& s) { s.height = INT32_MIN; },
         kInvalid + "its height is out of range."},
        {"BitCount", [](BmpRecipe& s) { s.bitsPerPixel = 3; },
         kInvalid + "its bit count of 3 per pixel is not valid."},
        {"SixtyFourBits", [](BmpRecipe& s) { s.bitsPerPixel = 64; }, UnrecognizedFormatMessage()},
        {"RunLengthBitCount", [](BmpRecipe& s) { s.compression = 2; },
         kInvalid + "its run-length compression does not match its bit count."},
        {"RunLengthTopDown",
         [](BmpRecipe& s) {
             s.compression = 1;
             s.height = -1;
         },
         kInvalid + "run-length encoded rows cannot be stored top-down."},
        {"MasksOnEightBits", [](BmpRecipe& s) { s.compression = 3; },
         kInvalid + "colour masks need 16 or 32 bits per pixel, not 8."},
        {"Jpeg", [](BmpRecipe& s) { s.compression = 4; },
         "Bitmap image is not supported: it holds a JPEG picture."},
        {"Png", [](BmpRecipe& s) { s.compression = 5; },
         "Bitmap image is not supported: it holds a PNG picture."},
        {"UnknownCompression", [](BmpRecipe& s) { s.compression = 11; },
         "Bitmap image is not supported: its compression method 11 is unknown."},
        {"Os2Huffman",
         [](BmpRecipe& s) {
             s.headerSize = 64;
             s.compression = 3;
         },
         "Bitmap image is not supported: its pixels are compressed with the Huffman 1D "
         "method."},
        {"MaskWithGaps",
         [](BmpRecipe& s) {
             s.bitsPerPixel = 16;
             s.compression = 3;
             s.masks = {0xF00F, 0x0F00, 0x00F0};
         },
         kInvalid + "a colour mask has gaps in its bits."},
        {"MaskPast16Bits",
         [](BmpRecipe& s) {
             s.bitsPerPixel = 16;
             s.compression = 3;
             s.masks = {0x1F0000, 0x07E0, 0x001F};
         },
         kInvalid + "a colour mask reaches past the 16 bits of a pixel."},
        {"EmptyMasks",
         [](BmpRecipe& s) {
             s.bitsPerPixel = 32;
             s.compression = 3;
             s.masks = {0, 0, 0};
         },
         kInvalid + "its colour masks are all empty."},
        {"MasksCutShort",
         [](BmpRecipe& s) {
             s.bitsPerPixel = 32;
             s.compression = 3;
             s.pixels.clear();
         },
         kInvalid + "the file ends inside its colour masks."},
        {"PixelsInsideHeader", [](BmpRecipe& s) { s.pixelOffset = 20; },
         kInvalid + "its pixels start inside its header."},
        {"PixelsPastTheEnd", [](BmpRecipe& s) { s.pixelOffset = 100000; },
         kInvalid + "its pixels start past the end of the file."},
        {"ColourTableTooLarge", [](BmpRecipe& s) { s.colorsUsed = 0x12345678; },
         kInvalid + "its colour table of 305419896 entries does not fit before its pixels."},
        {"NoColourTable", [](BmpRecipe& s) { s.palette.clear(); },
         kInvalid + "it has no colour table."},
        {"IndexPastColourTable",
         [](BmpRecipe& s) {
             s.pixels = {0, 2, 0, 0};
         },
         kInvalid + "some pixels use colours that are missing from its colour table."},
        {"ShortPixels", [](BmpRecipe& s) { s.pixels = {0}; },
         kInvalid + "the file ends before the last of its pixels."},
    }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BitmapReader, RefusesWhatIsNotABitmap)
{
    const std::string message = kInvalid + "the file is not a Windows bitmap.";
    EXPECT_EQ(MessageOf({}), message);
    EXPECT_EQ(MessageOf({'B', 'M', 0, 0}), message);
    std::vector<std::uint8_t> png = BuildBmp(BmpRecipe{});
    png[0] = 0x89;
    EXPECT_EQ(MessageOf(png), message);
    std::vector<std::uint8_t> cut = BuildBmp(BmpRecipe{});
    cut.resize(30);
    EXPECT_EQ(MessageOf(cut), kInvalid + "the file ends inside its header.");
}

// ---- Size limits -------------------------------------------------------------------------

TEST(BitmapReader, RefusesPicturesPastTheLimitsBeforeAllocating)
{
    const std::string tooLarge = "Bitmap image is too large: ";
    BmpRecipe recipe;
    recipe.width = 40000;
    recipe.height = 40000; // 4.8 GB of 24-bit rows in a file of a few bytes
    EXPECT_EQ(MessageOf(BuildBmp(recipe)),
              tooLarge + "40000 x 40000 pixels. Pyrolith reads pictures of up to "
                         "268,435,456 pixels (16384 x 16384).");

    recipe.bitsPerPixel =
        1; // 200 MB of rows, but more pixels than the black-and-white image may have
    recipe.palette = {kBlack, kWhite};
    EXPECT_EQ(MessageOf(BuildBmp(recipe)).rfind(tooLarge, 0), 0u);

    // Run-length data may describe a large picture in few bytes; the limit still holds.
    const std::vector<std::uint8_t> small = BuildBmp(RunLength(8, 100, 100, {0, 1}));
    EXPECT_EQ(ReadBitmap(small).width, 100);
    BitmapLimits limits;
    limits.maxPixelBytes = 9999;
    EXPECT_EQ(MessageOf(small, limits).rfind(tooLarge, 0), 0u);
    limits = BitmapLimits{};
    limits.maxPixelCount = 9999;
    EXPECT_EQ(MessageOf(small, limits).rfind(tooLarge, 0), 0u);
}

TEST(BitmapReader, FileErrorsCarryTheSystemText)
{
    try {
        ReadBitmap(std::filesystem::path(PYROLITH_TEST_DATA) / "image" / "no such file.bmp");
        FAIL() << "read a missing file";
    } catch (const Error& error) {
        EXPECT_STRNE(error.what(), "");
    }
    EXPECT_THROW(ReadBitmap(std::filesystem::path(PYROLITH_TEST_DATA)), Error);
}

} // namespace
} // namespace pyrolith
