#include <gtest/gtest.h>

#include <set>
#include <string>

#include "BmpBuilder.h"
#include "image/Bitmap.h"

namespace pyrolith {
namespace {

using test::BmpRecipe;
using test::BuildBmp;

constexpr Rgb kBlackColour{0, 0, 0};
constexpr Rgb kWhiteColour{255, 255, 255};

// One pixel of the given colour stored in each layout that can hold it exactly.
std::vector<Bitmap> OnePixelPictures(Rgb colour)
{
    std::vector<Bitmap> pictures;
    BmpRecipe recipe;
    recipe.pixels = {colour.b, colour.g, colour.r, 0};
    pictures.push_back(ReadBitmap(BuildBmp(recipe))); // 24 bits
    recipe.bitsPerPixel = 32;
    pictures.push_back(ReadBitmap(BuildBmp(recipe))); // 32 bits without masks
    recipe.compression = 3;
    recipe.masks = {0xFF, 0xFF00, 0xFF0000};
    recipe.pixels = {colour.r, colour.g, colour.b, 0};
    pictures.push_back(ReadBitmap(BuildBmp(recipe))); // 32 bits with masks
    BmpRecipe indexed;
    indexed.bitsPerPixel = 8;
    indexed.palette = {kWhiteColour, colour};
    indexed.pixels = {1, 0, 0, 0};
    pictures.push_back(ReadBitmap(BuildBmp(indexed)));
    indexed.bitsPerPixel = 1;
    indexed.pixels = {0x80, 0, 0, 0};
    pictures.push_back(ReadBitmap(BuildBmp(indexed)));
    return pictures;
}

struct ColourCase {
    Rgb colour;
    bool black;
};

void PrintTo(const ColourCase& c, std::ostream* out)
{
    *out << "(" << int{c.colour.r} << ", " << int{c.colour.g} << ", " << int{c.colour.b} << ")";
}

class NearestColourTest : public ::testing::TestWithParam<ColourCase> {};

TEST_P(NearestColourTest, BlackExactlyWhenBlackIsNearest)
{
    const ColourCase& c = GetParam();
    for (const Bitmap& picture : OnePixelPictures(c.colour)) {
        const MonoBitmap mono = MakeMonoBitmap(picture);
        ASSERT_EQ(mono.width(), 1);
        EXPECT_EQ(mono.black(0, 0), c.black) << "bits per pixel " << picture.bitsPerPixel;
        EXPECT_EQ(mono.pixel(0, 0), c.black ? kBlackColour : kWhiteColour);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Colours, NearestColourTest,
    ::testing::Values(ColourCase{{0, 0, 0}, true}, ColourCase{{20, 20, 20}, true},
                      // Half way between black and dark grey or dark blue: black wins the tie.
                      ColourCase{{64, 64, 64}, true}, ColourCase{{0, 0, 64}, true},
                      ColourCase{{64, 64, 0}, true}, ColourCase{{64, 64, 65}, false},
                      ColourCase{{65, 0, 0}, false}, ColourCase{{128, 128, 128}, false},
                      ColourCase{{192, 192, 192}, false}, ColourCase{{255, 0, 0}, false},
                      ColourCase{{0, 0, 128}, false}, ColourCase{{0, 0, 1}, true},
                      ColourCase{{255, 255, 255}, false}));

TEST(NearestPaletteIndex, PlainDistanceLowestIndexOnTies)
{
    const auto& palette = StandardPalette();
    EXPECT_EQ(NearestPaletteIndex(palette, {64, 64, 64}), 0);
    EXPECT_EQ(NearestPaletteIndex(palette, {65, 65, 65}), 7);
    EXPECT_EQ(NearestPaletteIndex(palette, {160, 160, 160}), 7); // tie of 7 and 8
    EXPECT_EQ(NearestPaletteIndex(palette, {161, 161, 161}), 8);
    EXPECT_EQ(NearestPaletteIndex(palette, {224, 224, 224}), 15);
    EXPECT_EQ(NearestPaletteIndex(palette, {200, 10, 10}), 9);
    EXPECT_EQ(NearestPaletteIndex(palette, {0, 0, 128}), 4);
}

// The fast conversion agrees with the plain nearest-colour search on a dense grid of
// colours, with every value near the borders at 64, 128 and 192.
TEST(MakeMonoBitmap, AgreesWithTheNearestColourEverywhere)
{
    std::set<int> values;
    for (int v = 0; v < 256; v += 5) {
        values.insert(v);
    }
    for (int border : {64, 96, 128, 160, 192, 224}) {
        for (int v = border - 3; v <= border + 3; ++v) {
            values.insert(v);
        }
    }
    values.insert(255);
    const std::vector<int> levels(values.begin(), values.end());
    const std::size_t count = levels.size() * levels.size() * levels.size();

    BmpRecipe recipe;
    recipe.width = static_cast<std::int32_t>(levels.size() * levels.size());
    recipe.height = static_cast<std::int32_t>(levels.size());
    std::vector<Rgb> colours;
    for (int r : levels) { // the file's first row is the bottom one; colours go top-down
        for (int g : levels) {
            for (int b : levels) {
                colours.push_back(Rgb{static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                                      static_cast<std::uint8_t>(b)});
            }
        }
    }
    ASSERT_EQ(colours.size(), count);
    const std::size_t width = static_cast<std::size_t>(recipe.width);
    for (std::size_t row = levels.size(); row-- > 0;) {
        for (std::size_t x = 0; x < width; ++x) {
            const Rgb& c = colours[row * width + x];
            recipe.pixels.insert(recipe.pixels.end(), {c.b, c.g, c.r});
        }
        while (recipe.pixels.size() % 4 != 0) {
            recipe.pixels.push_back(0);
        }
    }
    const Bitmap source = ReadBitmap(BuildBmp(recipe));
    const MonoBitmap mono = MakeMonoBitmap(source);
    int black = 0;
    for (std::int32_t y = 0; y < mono.height(); ++y) {
        for (std::int32_t x = 0; x < mono.width(); ++x) {
            const Rgb c =
                colours[static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x)];
            ASSERT_EQ(source.pixel(x, y), c);
            ASSERT_EQ(mono.black(x, y), NearestPaletteIndex(StandardPalette(), c) == 0)
                << int{c.r} << ", " << int{c.g} << ", " << int{c.b};
            black += mono.black(x, y);
        }
    }
    EXPECT_GT(black, 0);
}

TEST(MakeMonoBitmap, SixteenBitColoursAreScaledFirst)
{
    // 5-bit 7 is 57 (black), 8 is 66 (nearer dark grey, white after whitening).
    BmpRecipe recipe;
    recipe.width = 2;
    recipe.bitsPerPixel = 16;
    const std::uint32_t seven = 7u << 10 | 7u << 5 | 7u;
    const std::uint32_t eight = 8u << 10 | 8u << 5 | 8u;
    recipe.pixels = {static_cast<std::uint8_t>(seven & 0xFF), static_cast<std::uint8_t>(seven >> 8),
                   static_cast<std::uint8_t>(eight & 0xFF), static_cast<std::uint8_t>(eight >> 8)};
    const MonoBitmap plain = MakeMonoBitmap(ReadBitmap(BuildBmp(recipe)));
    EXPECT_TRUE(plain.black(0, 0));
    EXPECT_FALSE(plain.black(1, 0));

    recipe.compression = 3; // 5-6-5: green 15 of 63 is 61, 16 is 65
    recipe.masks = {0xF800, 0x07E0, 0x001F};
    const std::uint32_t dark = 15u << 5;
    const std::uint32_t lighter = 16u << 5;
    recipe.pixels = {static_cast<std::uint8_t>(dark & 0xFF), static_cast<std::uint8_t>(dark >> 8),
                   static_cast<std::uint8_t>(lighter & 0xFF),
                   static_cast<std::uint8_t>(lighter >> 8)};
    const MonoBitmap masked = MakeMonoBitmap(ReadBitmap(BuildBmp(recipe)));
    EXPECT_TRUE(masked.black(0, 0));
    EXPECT_FALSE(masked.black(1, 0));
}

TEST(MakeMonoBitmap, OtherPicturesUseTheSixteenColourPalette)
{
    const MonoBitmap mono = MakeMonoBitmap(OnePixelPictures({20, 20, 20}).front());
    EXPECT_EQ(mono.palette(), StandardPalette());
    EXPECT_EQ(mono.index(0, 0), 0);
    EXPECT_EQ(MakeMonoBitmap(OnePixelPictures({200, 0, 0}).front()).index(0, 0), 15);
}

// A 4-bit picture keeps its own colour table and values; whitening turns every entry that
// is neither black nor white into the entry nearest to white.
TEST(MakeMonoBitmap, FourBitPictureKeepsItsColourTable)
{
    BmpRecipe recipe;
    recipe.width = 5;
    recipe.bitsPerPixel = 4;
    recipe.palette = {{0, 0, 1}, {200, 10, 10}, kWhiteColour, {250, 250, 240}, kBlackColour};
    recipe.pixels = {0x01, 0x23, 0x40, 0};
    const MonoBitmap mono = MakeMonoBitmap(ReadBitmap(BuildBmp(recipe)));
    for (std::size_t i = 0; i < recipe.palette.size(); ++i) {
        EXPECT_EQ(mono.palette()[i], recipe.palette[i]) << "entry " << i;
    }
    const std::uint8_t expected[5] = {2, 2, 2, 2, 4};
    for (std::int32_t x = 0; x < 5; ++x) {
        EXPECT_EQ(mono.index(x, 0), expected[x]) << "x = " << x;
        EXPECT_EQ(mono.black(x, 0), x == 4);
    }
}

TEST(MakeMonoBitmap, FourBitPictureWithoutWhiteTakesTheNearestEntry)
{
    BmpRecipe recipe;
    recipe.width = 3;
    recipe.bitsPerPixel = 4;
    // A full table without white: the light grey entry is the whitest.
    recipe.palette.assign(16, Rgb{10, 10, 10});
    recipe.palette[3] = kBlackColour;
    recipe.palette[9] = {230, 230, 230};
    recipe.pixels = {0x39, 0x50, 0, 0};
    const MonoBitmap full = MakeMonoBitmap(ReadBitmap(BuildBmp(recipe)));
    EXPECT_EQ(full.index(0, 0), 3);
    EXPECT_EQ(full.index(1, 0), 9);
    EXPECT_EQ(full.index(2, 0), 9);

    // A short table leaves the rest of the 16 entries white, so true white is at hand.
    recipe.palette = {kBlackColour, {0, 0, 1}};
    recipe.pixels = {0x10, 0, 0, 0};
    const MonoBitmap shortTable = MakeMonoBitmap(ReadBitmap(BuildBmp(recipe)));
    EXPECT_EQ(shortTable.pixel(0, 0), kWhiteColour);
    EXPECT_FALSE(shortTable.black(0, 0));
    EXPECT_TRUE(shortTable.black(1, 0));
}

TEST(MakeMonoBitmap, EmptySourceGivesEmptyImage)
{
    EXPECT_TRUE(MakeMonoBitmap(Bitmap{}).empty());
}

} // namespace
} // namespace pyrolith
