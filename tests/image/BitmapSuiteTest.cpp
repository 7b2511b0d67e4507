// The public BMP test suite (bmpsuite): good files must read with their right size and
// pixels, questionable ones must read soundly or be refused cleanly, bad ones must be refused
// with a message or read soundly. Every file also goes through the black-and-white
// conversion and a write-and-read-back round trip.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "BmpBuilder.h"
#include "support/Printable.h"
#include "common/Error.h"
#include "image/Bitmap.h"

namespace pyrolith {
namespace {

namespace fs = std::filesystem;

constexpr Rgb kBlackColour{0, 0, 0};
constexpr Rgb kWhiteColour{255, 255, 255};

std::vector<fs::path> SuiteCandidates()
{
    std::vector<fs::path> candidates;
    if (const char* fromEnvironment = std::getenv("PYROLITH_BMPSUITE")) {
        candidates.emplace_back(fromEnvironment);
    }
    candidates.push_back(fs::path(PYROLITH_SOURCE_DIR) / ".." / "shared" / "bmpsuite");
    return candidates;
}

std::optional<fs::path> SuiteFolder()
{
    for (const fs::path& candidate : SuiteCandidates()) {
        if (fs::is_directory(candidate / "g")) {
            return candidate;
        }
    }
    return std::nullopt;
}

std::string LookedAt()
{
    std::string text;
    for (const fs::path& candidate : SuiteCandidates()) {
        text += (text.empty() ? "" : ", ") + candidate.string();
    }
    return text;
}

#define REQUIRE_SUITE(folder)                                                                      \
    const std::optional<fs::path> folder = SuiteFolder();                                          \
    if (!folder) {                                                                                 \
        GTEST_SKIP() << "The BMP test suite is missing; looked for it at " << LookedAt()           \
                     << " (set PYROLITH_BMPSUITE to its folder)";                                  \
    }

// FNV-1a over the pixels' red, green and blue bytes, row 0 (the top row) first.
std::uint64_t PixelHash(const Bitmap& bitmap)
{
    std::uint64_t hash = 1469598103934665603ull;
    auto mix = [&hash](std::uint8_t byte) {
        hash ^= byte;
        hash *= 1099511628211ull;
    };
    for (std::int32_t y = 0; y < bitmap.height; ++y) {
        for (std::int32_t x = 0; x < bitmap.width; ++x) {
            const Rgb p = bitmap.pixel(x, y);
            mix(p.r);
            mix(p.g);
            mix(p.b);
        }
    }
    return hash;
}

// The largest channel difference between two pictures of the same size, and where.
std::string LargestDifference(const Bitmap& a, const Bitmap& b, int tolerance)
{
    for (std::int32_t y = 0; y < a.height; ++y) {
        for (std::int32_t x = 0; x < a.width; ++x) {
            const Rgb p = a.pixel(x, y);
            const Rgb q = b.pixel(x, y);
            const int difference =
                std::max({std::abs(p.r - q.r), std::abs(p.g - q.g), std::abs(p.b - q.b)});
            if (difference > tolerance) {
                return "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") is (" +
                       std::to_string(p.r) + ", " + std::to_string(p.g) + ", " +
                       std::to_string(p.b) + ") instead of (" + std::to_string(q.r) + ", " +
                       std::to_string(q.g) + ", " + std::to_string(q.b) + ")";
            }
        }
    }
    return "";
}

enum class Outcome { Reads, Invalid, NotSupported, TooLarge };

struct SuiteCase {
    const char* file; // relative to the suite folder
    Outcome outcome;
    std::int32_t width = 127;
    std::int32_t height = 64;
    PixelLayout layout = PixelLayout::Indexed;
    // The pixel hash an independent decoder (ImageMagick) gives for the file, 0 for none.
    std::uint64_t hash = 0;
    // Or: a file of the same picture and the largest channel difference allowed from it
    // (half a step of the file's coarsest channel, for a channel rounded to the nearest step).
    const char* reference = nullptr;
    int tolerance = 0;
    // Pixels that a run-length file leaves undefined (colour table entry 0) are not compared.
    bool skipsPixels = false;
};

void PrintTo(const SuiteCase& c, std::ostream* out)
{
    *out << c.file;
}

// Hashes of the pixels as ImageMagick 7 decodes them (`convert FILE -depth 8 rgb:-`, FNV-1a).
constexpr std::uint64_t kPal1 = 0xa6452b7eee738babull;
constexpr std::uint64_t kPal4 = 0x660ce4369fb25a67ull;
constexpr std::uint64_t kPal8 = 0x8836a99ccd190b9eull;
constexpr std::uint64_t kRgb24 = 0xa17916bb30da7bc9ull;

using L = PixelLayout;
using O = Outcome;

const SuiteCase kSuite[] = {
    {"g/pal1.bmp", O::Reads, 127, 64, L::Indexed, kPal1},
    {"g/pal1bg.bmp", O::Reads, 127, 64, L::Indexed, 0x8cc9951f61c27043ull},
    {"g/pal1wb.bmp", O::Reads, 127, 64, L::Indexed, kPal1},
    {"g/pal4.bmp", O::Reads, 127, 64, L::Indexed, kPal4},
    {"g/pal4gs.bmp", O::Reads, 127, 64, L::Indexed, 0xf308c97cc43bcb62ull},
    {"g/pal4rle.bmp", O::Reads, 127, 64, L::Indexed, kPal4},
    {"g/pal8-0.bmp", O::Reads, 127, 64, L::Indexed, kPal8},
    {"g/pal8.bmp", O::Reads, 127, 64, L::Indexed, kPal8},
    {"g/pal8gs.bmp", O::Reads, 127, 64, L::Indexed, 0x7c698e5f553cbe69ull},
    {"g/pal8nonsquare.bmp", O::Reads, 127, 32, L::Indexed, 0x71562f4814661f62ull},
    {"g/pal8os2.bmp", O::Reads, 127, 64, L::Indexed, kPal8},
    {"g/pal8rle.bmp", O::Reads, 127, 64, L::Indexed, kPal8},
    {"g/pal8topdown.bmp", O::Reads, 127, 64, L::Indexed, kPal8},
    {"g/pal8v4.bmp", O::Reads, 127, 64, L::Indexed, kPal8},
    {"g/pal8v5.bmp", O::Reads, 127, 64, L::Indexed, kPal8},
    {"g/pal8w124.bmp", O::Reads, 124, 61, L::Indexed, 0x31397923c26d75efull},
    {"g/pal8w125.bmp", O::Reads, 125, 62, L::Indexed, 0x572054e71fdcfc41ull},
    {"g/pal8w126.bmp", O::Reads, 126, 63, L::Indexed, 0x18f0efc8968f472bull},
    // 16 bits: channels are scaled with rounding (ImageMagick replicates bits instead, which
    // differs by 1 here and there), so these are compared with the 24-bit picture.
    {"g/rgb16-565.bmp", O::Reads, 127, 64, L::Rgb565, 0, "g/rgb24.bmp", 4},
    {"g/rgb16-565pal.bmp", O::Reads, 127, 64, L::Rgb565, 0, "g/rgb24.bmp", 4},
    {"g/rgb16.bmp", O::Reads, 127, 64, L::Rgb555, 0, "g/rgb24.bmp", 4},
    {"g/rgb16bfdef.bmp", O::Reads, 127, 64, L::Unrecognized, 0, "g/rgb24.bmp", 4},
    {"g/rgb24.bmp", O::Reads, 127, 64, L::Rgb888, kRgb24},
    {"g/rgb24pal.bmp", O::Reads, 127, 64, L::Rgb888, kRgb24},
    {"g/rgb32.bmp", O::Reads, 127, 64, L::Rgb888x, kRgb24},
    {"g/rgb32bf.bmp", O::Reads, 127, 64, L::Unrecognized, kRgb24},
    {"g/rgb32bfdef.bmp", O::Reads, 127, 64, L::Unrecognized, kRgb24},

    {"q/pal1hufflsb.bmp", O::NotSupported},
    {"q/pal1huffmsb.bmp", O::NotSupported},
    {"q/pal1p1.bmp", O::Reads, 127, 64, L::Indexed},
    {"q/pal2.bmp", O::Reads, 127, 64, L::Unrecognized},
    {"q/pal2color.bmp", O::Reads, 127, 64, L::Unrecognized},
    {"q/pal4rlecut.bmp", O::Reads, 127, 64, L::Indexed, 0, "g/pal4.bmp", 0, true},
    {"q/pal4rletrns.bmp", O::Reads, 127, 64, L::Indexed, 0, "g/pal4.bmp", 0, true},
    {"q/pal8offs.bmp", O::Reads, 127, 64, L::Indexed, kPal8},
    {"q/pal8os2-hs.bmp", O::Reads, 127, 64, L::Indexed, kPal8},
    {"q/pal8os2-sz.bmp", O::Reads, 127, 64, L::Indexed, kPal8},
    {"q/pal8os2sp.bmp", O::Reads, 127, 64, L::Indexed, kPal8},
    {"q/pal8os2v2-16.bmp", O::Reads, 127, 64, L::Indexed, kPal8},
    {"q/pal8os2v2-40sz.bmp", O::Reads, 127, 64, L::Indexed, kPal8},
    {"q/pal8os2v2-sz.bmp", O::Reads, 127, 64, L::Indexed, kPal8},
    {"q/pal8os2v2.bmp", O::Reads, 127, 64, L::Indexed, kPal8},
    {"q/pal8oversizepal.bmp", O::Reads, 127, 64, L::Indexed, kPal8},
    {"q/pal8rlecut.bmp", O::Reads, 127, 64, L::Indexed, 0, "g/pal8.bmp", 0, true},
    {"q/pal8rletrns.bmp", O::Reads, 127, 64, L::Indexed, 0, "g/pal8.bmp", 0, true},
    // Coarse channels, which the file does not round to the nearest step: one step allowed,
    // none at all for the 1-bit blue.
    {"q/rgb16-231.bmp", O::Reads, 127, 64, L::Unrecognized},
    {"q/rgb16-3103.bmp", O::Reads, 127, 64, L::Unrecognized, 0, "g/rgb24.bmp", 37},
    {"q/rgb16faketrns.bmp", O::Reads, 127, 64, L::Rgb555, 0, "g/rgb24.bmp", 4},
    {"q/rgb24jpeg.bmp", O::NotSupported},
    {"q/rgb24largepal.bmp", O::Reads, 127, 64, L::Rgb888, kRgb24},
    {"q/rgb24lprof.bmp", O::Reads, 127, 64, L::Rgb888, kRgb24},
    {"q/rgb24png.bmp", O::NotSupported},
    {"q/rgb24rle24.bmp", O::NotSupported},
    {"q/rgb32-111110.bmp", O::Reads, 127, 64, L::Unrecognized, 0, "g/rgb24.bmp", 1},
    {"q/rgb32-7187.bmp", O::Reads, 127, 64, L::Unrecognized, 0, "g/rgb24.bmp", 1},
    {"q/rgb32-xbgr.bmp", O::Reads, 127, 64, L::Unrecognized, kRgb24},
    {"q/rgb32fakealpha.bmp", O::Reads, 127, 64, L::Rgb888x, kRgb24},
    {"q/rgb32h52.bmp", O::Reads, 127, 64, L::Unrecognized, kRgb24},
    // With alpha: the colour of fully transparent pixels is not the picture's, and alpha is
    // ignored, so only the 5-5-5-1 file (no transparent pixels) is compared.
    {"q/rgba16-1924.bmp", O::Reads, 127, 64, L::Unrecognized},
    {"q/rgba16-4444.bmp", O::Reads, 127, 64, L::Unrecognized},
    {"q/rgba16-5551.bmp", O::Reads, 127, 64, L::Unrecognized, 0, "g/rgb24.bmp", 4},
    {"q/rgba32-1.bmp", O::Reads, 127, 64, L::Unrecognized},
    {"q/rgba32-1010102.bmp", O::Reads, 127, 64, L::Unrecognized},
    {"q/rgba32-2.bmp", O::Reads, 127, 64, L::Unrecognized},
    {"q/rgba32-61754.bmp", O::Reads, 127, 64, L::Unrecognized},
    {"q/rgba32-81284.bmp", O::Reads, 127, 64, L::Unrecognized},
    {"q/rgba32abf.bmp", O::Reads, 127, 64, L::Unrecognized},
    {"q/rgba32h56.bmp", O::Reads, 127, 64, L::Unrecognized},

    {"b/badbitcount.bmp", O::Invalid},
    // Wrong fields that the reader does not need: the image size, the densities, the file size.
    {"b/badbitssize.bmp", O::Reads, 127, 64, L::Indexed, kPal1},
    {"b/baddens1.bmp", O::Reads, 127, 64, L::Indexed, kPal1},
    {"b/baddens2.bmp", O::Reads, 127, 64, L::Indexed, kPal1},
    {"b/badfilesize.bmp", O::Reads, 127, 64, L::Indexed, kPal1},
    {"b/badheadersize.bmp", O::Invalid},
    {"b/badpalettesize.bmp", O::Invalid},
    {"b/badplanes.bmp", O::Invalid},
    {"b/badrle.bmp", O::Invalid},
    {"b/badrle4.bmp", O::Invalid},
    {"b/badrle4bis.bmp", O::Invalid},
    {"b/badrle4ter.bmp", O::Invalid},
    {"b/badrlebis.bmp", O::Invalid},
    {"b/badrleter.bmp", O::Invalid},
    {"b/badwidth.bmp", O::Invalid},
    {"b/pal8badindex.bmp", O::Invalid},
    {"b/reallybig.bmp", O::TooLarge},
    // A blue mask of 0: blue is 0 everywhere, red and green are read.
    {"b/rgb16-880.bmp", O::Reads, 127, 64, L::Unrecognized},
    {"b/rletopdown.bmp", O::Invalid},
    {"b/shortfile.bmp", O::Invalid},
};

class BitmapSuiteTest : public ::testing::TestWithParam<SuiteCase> {};

TEST_P(BitmapSuiteTest, ReadsOrRefusesAsExpected)
{
    REQUIRE_SUITE(folder);
    const SuiteCase& c = GetParam();
    const fs::path path = *folder / c.file;
    ASSERT_TRUE(fs::exists(path)) << path;

    if (c.outcome != Outcome::Reads) {
        const char* start = c.outcome == Outcome::Invalid        ? "Bitmap image is not valid: "
                            : c.outcome == Outcome::NotSupported ? "Bitmap image is not supported: "
                                                                 : "Bitmap image is too large: ";
        try {
            ReadBitmap(path);
            FAIL() << c.file << " was read";
        } catch (const Error& error) {
            EXPECT_EQ(std::string(error.what()).rfind(start, 0), 0u) << error.what();
        }
        return;
    }

    const Bitmap bitmap = ReadBitmap(path);
    EXPECT_EQ(bitmap.width, c.width);
    EXPECT_EQ(bitmap.height, c.height);
    EXPECT_EQ(bitmap.layout, c.layout);
    ASSERT_EQ(bitmap.stride,
              BitmapRowBytes(static_cast<std::uint64_t>(bitmap.width), bitmap.bitsPerPixel));
    ASSERT_EQ(bitmap.pixels.size(), bitmap.stride * static_cast<std::size_t>(bitmap.height));
    if (c.hash != 0) {
        EXPECT_EQ(PixelHash(bitmap), c.hash) << "pixels differ from the reference decoding";
    }
    if (c.reference != nullptr) {
        const Bitmap reference = ReadBitmap(*folder / c.reference);
        ASSERT_EQ(reference.width, bitmap.width);
        ASSERT_EQ(reference.height, bitmap.height);
        if (c.skipsPixels) {
            // Where the file defines a pixel it shows the reference's colour.
            const Rgb undefined = bitmap.palette.at(0);
            int defined = 0;
            for (std::int32_t y = 0; y < bitmap.height; ++y) {
                for (std::int32_t x = 0; x < bitmap.width; ++x) {
                    if (bitmap.pixel(x, y) != undefined) {
                        ++defined;
                        ASSERT_EQ(bitmap.pixel(x, y), reference.pixel(x, y))
                            << "at (" << x << ", " << y << ")";
                    }
                }
            }
            EXPECT_GT(defined, bitmap.width * bitmap.height / 2);
        } else {
            EXPECT_EQ(LargestDifference(bitmap, reference, c.tolerance), "");
        }
    }
}

TEST_P(BitmapSuiteTest, WritesAndReadsBackIdentically)
{
    REQUIRE_SUITE(folder);
    const SuiteCase& c = GetParam();
    if (c.outcome != Outcome::Reads) {
        return;
    }
    const Bitmap bitmap = ReadBitmap(*folder / c.file);
    test::ExpectSameBitmap(ReadBitmap(EncodeBitmap(bitmap)), bitmap);

    const MonoBitmap mono = MakeMonoBitmap(bitmap);
    const MonoBitmap monoBack = MakeMonoBitmap(ReadBitmap(EncodeBitmap(mono)));
    EXPECT_EQ(monoBack.palette(), mono.palette());
    EXPECT_TRUE(monoBack.indices() == mono.indices());
}

TEST_P(BitmapSuiteTest, BlackAndWhiteImageHasOnlyBlackAndWhite)
{
    REQUIRE_SUITE(folder);
    const SuiteCase& c = GetParam();
    if (c.outcome != Outcome::Reads) {
        return;
    }
    const Bitmap bitmap = ReadBitmap(*folder / c.file);
    const MonoBitmap mono = MakeMonoBitmap(bitmap);
    ASSERT_EQ(mono.width(), bitmap.width);
    ASSERT_EQ(mono.height(), bitmap.height);
    const bool fourBit = bitmap.bitsPerPixel == 4;
    for (std::int32_t y = 0; y < mono.height(); ++y) {
        for (std::int32_t x = 0; x < mono.width(); ++x) {
            const Rgb colour = mono.pixel(x, y);
            ASSERT_EQ(mono.black(x, y), colour == kBlackColour);
            if (fourBit) {
                // The picture's own table; black exactly where the source entry is black.
                ASSERT_EQ(mono.black(x, y), bitmap.pixel(x, y) == kBlackColour);
            } else {
                ASSERT_TRUE(colour == kBlackColour || colour == kWhiteColour);
                ASSERT_EQ(mono.black(x, y),
                          NearestPaletteIndex(StandardPalette(), bitmap.pixel(x, y)) == 0);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Files, BitmapSuiteTest, ::testing::ValuesIn(kSuite),
                         [](const ::testing::TestParamInfo<SuiteCase>& info) {
                             std::string name = info.param.file;
                             std::replace_if(
                                 name.begin(), name.end(),
                                 [](char ch) {
                                     return !std::isalnum(static_cast<unsigned char>(ch));
                                 },
                                 '_');
                             return name;
                         });

TEST(BitmapSuite, EveryFileOfTheSuiteIsInTheTable)
{
    REQUIRE_SUITE(folder);
    std::set<std::string> known;
    for (const SuiteCase& c : kSuite) {
        known.insert(c.file);
    }
    int files = 0;
    for (const char* set : {"g", "q", "b"}) {
        for (const auto& entry : fs::directory_iterator(*folder / set)) {
            ++files;
            const std::string name = std::string(set) + "/" + entry.path().filename().string();
            EXPECT_TRUE(known.count(name)) << name << " has no expectation";
        }
    }
    EXPECT_EQ(files, static_cast<int>(std::size(kSuite)));
}

TEST(BitmapSuite, OneBitPictureKeepsItsBlackPixels)
{
    REQUIRE_SUITE(folder);
    for (const char* file : {"g/pal1.bmp", "g/pal1wb.bmp"}) {
        const Bitmap bitmap = ReadBitmap(*folder / file);
        const MonoBitmap mono = MakeMonoBitmap(bitmap);
        int black = 0;
        for (std::int32_t y = 0; y < bitmap.height; ++y) {
            for (std::int32_t x = 0; x < bitmap.width; ++x) {
                ASSERT_EQ(mono.black(x, y), bitmap.pixel(x, y) == kBlackColour) << file;
                black += mono.black(x, y);
            }
        }
        EXPECT_GT(black, 0) << file;
    }
}

// Every shortened copy of a file of each kind is refused or read, never read out of bounds.
class SuiteTruncationTest : public ::testing::TestWithParam<const char*> {};

TEST_P(SuiteTruncationTest, EveryPrefixIsHandled)
{
    REQUIRE_SUITE(folder);
    const std::vector<std::uint8_t> bytes = test::FileBytes(*folder / GetParam());
    ASSERT_FALSE(bytes.empty());
    int refused = 0;
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        // An exact-size copy keeps the reader honest under the address sanitizer.
        const std::vector<std::uint8_t> prefix(bytes.begin(),
                                               bytes.begin() + static_cast<std::ptrdiff_t>(length));
        try {
            const Bitmap bitmap = ReadBitmap(prefix);
            EXPECT_EQ(bitmap.width, 127);
        } catch (const Error&) {
            ++refused;
        }
    }
    // Only a copy missing the padding of the last row may still be read.
    EXPECT_GE(refused, static_cast<int>(bytes.size()) - 4);
}

INSTANTIATE_TEST_SUITE_P(Files, SuiteTruncationTest,
                         ::testing::Values("g/pal1.bmp", "g/pal4rle.bmp", "g/pal8os2.bmp",
                                           "g/rgb16-565.bmp", "g/pal8v5.bmp", "q/rgba32h56.bmp"),
                         [](const auto& info) { return test::CaseName(info.param); });

} // namespace
} // namespace pyrolith
