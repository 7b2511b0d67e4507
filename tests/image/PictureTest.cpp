// Pictures of every format made by ImageMagick at test time, read and converted.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "common/Error.h"
#include "image/GrayLevels.h"
#include "image/JobPicture.h"
#include "image/PictureReader.h"
#include "image/Resample.h"
#include "settings/JobSettings.h"

namespace pyrolith {
namespace {

namespace fs = std::filesystem;

// 32 x 16 pixels in blocks of 8 x 8 (so that JPEG blocks are flat): four colours whose grey
// level is below 128 and four above, far from it, so that lossy formats threshold alike.
const std::vector<Rgb> kBlocks = {{0, 0, 0},    {255, 255, 255}, {200, 30, 30}, {150, 240, 200},
                                  {90, 90, 90}, {170, 170, 170}, {0, 0, 255},   {255, 255, 0}};

Rgb BlockColour(int x, int y)
{
    return kBlocks[static_cast<std::size_t>((y / 8) * 4 + x / 8)];
}

class PictureFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifdef _WIN32
        GTEST_SKIP() << "ImageMagick makes this test's pictures on Linux only";
#endif
        if (!PictureDecodersAvailable() && !AllowedWithoutDecoders()) {
            GTEST_SKIP() << "this build reads bitmaps only";
        }
    }
    virtual bool AllowedWithoutDecoders() const { return false; }

    static void SetUpTestSuite()
    {
        // A folder of this process's own: ctest runs the cases in parallel processes, and one
        // must not rewrite the pictures another is reading.
        folder_ = fs::temp_directory_path() /
                  ("pyrolith-picture-test-" + std::to_string(std::random_device{}()));
        fs::create_directories(folder_);
        std::ofstream ppm(folder_ / "blocks.ppm");
        ppm << "P3 32 16 255\n";
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 32; ++x) {
                const Rgb c = BlockColour(x, y);
                ppm << int{c.r} << ' ' << int{c.g} << ' ' << int{c.b} << '\n';
            }
        }
    }

    static void TearDownTestSuite()
    {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    // Runs /usr/bin/convert with `arguments` and gives the path of `output` in the folder.
    static fs::path Convert(const std::string& arguments, const std::string& output)
    {
        const std::string command = "cd '" + folder_.string() + "' && /usr/bin/convert " +
                                    arguments + " '" + output + "' 2>/dev/null";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return folder_ / output.substr(output.find(':') + 1); // after a format prefix
    }

    static std::vector<std::uint8_t> Bytes(const fs::path& path)
    {
        std::ifstream file(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    static inline fs::path folder_;
};

// "#" black, "." white, rows separated by "/".
std::string Drawing(const MonoBitmap& mono)
{
    std::string text;
    for (std::int32_t y = 0; y < mono.height(); ++y) {
        text += y == 0 ? "" : "/";
        for (std::int32_t x = 0; x < mono.width(); ++x) {
            text += mono.black(x, y) ? '#' : '.';
        }
    }
    return text;
}

GrayRaster Flat(std::int32_t width, std::int32_t height, std::uint8_t level)
{
    GrayRaster gray{width, height, PixelBuffer(static_cast<std::size_t>(width * height))};
    std::fill(gray.pixels.begin(), gray.pixels.end(), level);
    return gray;
}

// A build without the decoders names the format and says what to do.
TEST(PictureReader, BitmapOnlyBuildRefusesOtherFormatsByName)
{
    if (PictureDecodersAvailable()) {
        GTEST_SKIP() << "this build reads every format";
    }
    const std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    try {
        ReadPicture(png);
        ADD_FAILURE() << "read";
    } catch (const Error& error) {
        EXPECT_STREQ(error.what(), "PNG pictures cannot be read by this build of Pyrolith, which "
                                   "reads bitmaps only. Save the picture as a bitmap (.bmp) and "
                                   "load that.");
    }
}

// A file that begins like no picture is named as none, whatever its name says; a file that
// does not open keeps the reader's own message. Both readers of a file say the same.
struct NoPictureCase {
    const char* name;
    const char* file;
    std::string bytes;    // written unless a folder or nothing is asked for
    std::string message;  // the start of the message; "*" for the list of formats
};

void PrintTo(const NoPictureCase& c, std::ostream* out)
{
    *out << c.name;
}

class NoPicture : public ::testing::TestWithParam<NoPictureCase> {};

TEST_P(NoPicture, IsRefusedByName)
{
    const NoPictureCase& c = GetParam();
    const fs::path folder = fs::temp_directory_path() /
                            ("pyrolith-no-picture-" + std::to_string(std::random_device{}()));
    fs::create_directories(folder);
    const fs::path path = folder / c.file;
    if (c.bytes == "<folder>") {
        fs::create_directories(path);
    } else if (c.bytes != "<missing>") {
        std::ofstream(path, std::ios::binary) << c.bytes;
    }
    std::string expected = c.message;
    if (expected.ends_with('*')) {
        expected.back() = '(';
        expected += PictureDecodersAvailable() ? "bitmap, PNG, JPEG, GIF, TIFF, WebP)" : "bitmap)";
    }
    for (const char* reader : {"picture", "grey levels"}) {
        try {
            if (reader == std::string("picture")) {
                ReadPicture(path);
            } else {
                ReadPictureGrayLevels(path);
            }
            ADD_FAILURE() << reader << ": read";
        } catch (const Error& error) {
            const std::string message = error.what();
            EXPECT_EQ(expected.ends_with(')') ? message : message.substr(0, expected.size()),
                      expected)
                << reader;
        }
    }
    fs::remove_all(folder);
}

INSTANTIATE_TEST_SUITE_P(
    Files, NoPicture,
    ::testing::Values(
        NoPictureCase{"TextNamedPng", "notes.png", "This is a note, not a picture.\n",
                      "'notes.png' is not a picture that Pyrolith reads *"},
        NoPictureCase{"EmptyBitmap", "empty.bmp", "",
                      "'empty.bmp' is not a picture that Pyrolith reads *"},
        NoPictureCase{"OneByte", "b.jpg", "B", "'b.jpg' is not a picture that Pyrolith reads *"},
        NoPictureCase{"DamagedBitmap", "cut.png", "BM\x10", "Bitmap image is not valid: "},
        NoPictureCase{"Missing", "none.bmp", "<missing>", "Path not found"},
        NoPictureCase{"Folder", "folder.bmp", "<folder>", "Is a folder, not a file"}),
    [](const ::testing::TestParamInfo<NoPictureCase>& info) { return std::string(info.param.name); });

struct FormatCase {
    const char* name;
    const char* output; // the file convert writes, its prefix choosing the format
    const char* options;
    bool lossless; // the colours come back exactly
};

void PrintTo(const FormatCase& c, std::ostream* out)
{
    *out << c.name;
}

class EveryFormat : public PictureFiles, public ::testing::WithParamInterface<FormatCase> {
    bool AllowedWithoutDecoders() const override { return true; }
};

TEST_P(EveryFormat, ReadsTheSamePicture)
{
    const FormatCase& c = GetParam();
    if (!PictureDecodersAvailable() && std::string_view(c.name) != "Bitmap") {
        GTEST_SKIP() << "this build reads bitmaps only";
    }
    const fs::path file = Convert(std::string("blocks.ppm ") + c.options, c.output);
    const Bitmap picture = ReadPicture(file);
    ASSERT_EQ(picture.width, 32);
    ASSERT_EQ(picture.height, 16);

    JobSettings settings;
    settings.ImageMode = "Threshold";
    std::string expected;
    for (int y = 0; y < 16; ++y) {
        expected += y == 0 ? "" : "/";
        for (int x = 0; x < 32; ++x) {
            expected += GrayLevel(BlockColour(x, y)) < 128 ? '#' : '.';
            if (c.lossless) {
                EXPECT_EQ(picture.pixel(x, y), BlockColour(x, y)) << x << "," << y;
            }
        }
    }
    EXPECT_EQ(Drawing(MakeJobPicture(picture, settings)), expected);
    // The command line's way, straight to grey levels, gives the same image.
    const JobPicture job = ReadJobPicture(file, settings);
    EXPECT_EQ(Drawing(job.picture), expected);
    EXPECT_EQ(job.sourceWidth, 32);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, EveryFormat,
    ::testing::Values(FormatCase{"Bitmap", "BMP3:blocks.bmp", "", true},
                      FormatCase{"Png", "blocks.png", "", true},
                      FormatCase{"Png16Bit", "blocks16.png", "-depth 16", true},
                      FormatCase{"PngPalette", "PNG8:blocks8.png", "", true},
                      FormatCase{"PngGrey", "grey.png", "-colorspace Gray", false},
                      FormatCase{"PngGreyAlpha", "greyalpha.png",
                                 "-colorspace Gray -alpha on -define png:color-type=4", false},
                      FormatCase{"Jpeg", "blocks.jpg", "-quality 100 -sampling-factor 1x1", false},
                      FormatCase{"JpegProgressive", "progressive.jpg",
                                 "-quality 100 -sampling-factor 1x1 -interlace Plane", false},
                      FormatCase{"JpegCmyk", "cmyk.jpg", "-colorspace CMYK -quality 100", false},
                      FormatCase{"Gif", "blocks.gif", "", true},
                      FormatCase{"Tiff", "blocks.tif", "-compress lzw", true},
                      FormatCase{"WebP", "blocks.webp", "-define webp:lossless=true", true}),
    [](const auto& info) { return std::string(info.param.name); });

// A JPEG whose EXIF orientation asks to turn it: stored left half black, right half white.
TEST_F(PictureFiles, OrientationIsApplied)
{
    std::string kBlackOnTop, kBlackBelow;
    for (int y = 0; y < 16; ++y) {
        kBlackOnTop += std::string(y == 0 ? "" : "/") + (y < 8 ? "########" : "........");
        kBlackBelow += std::string(y == 0 ? "" : "/") + (y < 8 ? "........" : "########");
    }
    const std::vector<std::uint8_t> plain = Bytes(Convert(
        "-size 16x8 xc:white -fill black -draw 'rectangle 0,0 7,7' -quality 100", "halves.jpg"));
    for (const auto& [orientation, expected] :
         // Orientation 6 turns the picture clockwise (the black half on top), 8 the other way.
         {std::pair{6, kBlackOnTop}, std::pair{8, kBlackBelow}}) {
        // An APP1 segment with a little-endian EXIF block holding the one orientation tag.
        std::vector<std::uint8_t> exif = {
            0xFF, 0xE1, 0x00, 0x22, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 0x2A, 0, 8, 0, 0, 0,
            1,    0,    0x12, 0x01, 3,   0,   1,   0,   0, 0, 0,   0,   0,    0, 0, 0, 0, 0};
        exif[28] = static_cast<std::uint8_t>(orientation);
        std::vector<std::uint8_t> bytes(plain.begin(), plain.begin() + 2);
        bytes.insert(bytes.end(), exif.begin(), exif.end());
        bytes.insert(bytes.end(), plain.begin() + 2, plain.end());

        JobSettings settings;
        settings.ImageMode = "Threshold";
        EXPECT_EQ(Drawing(MakeJobPicture(ReadPicture(bytes), settings)), expected) << orientation;
    }
}

TEST_F(PictureFiles, TransparentPartsAreLaidOverWhite)
{
    // Black everywhere; the first pixel fully transparent, the second half transparent.
    const Bitmap picture = ReadPicture(Convert(
        "-size 3x1 xc:black -alpha set -channel A -fx 'i==0?0:(i==1?0.5:1)' +channel", "a.png"));
    EXPECT_EQ(picture.pixel(0, 0), (Rgb{255, 255, 255}));
    EXPECT_NEAR(picture.pixel(1, 0).r, 128, 1);
    EXPECT_EQ(picture.pixel(2, 0), (Rgb{0, 0, 0}));
}

// Files that must be refused with the reader's message, never read or crash.
TEST_F(PictureFiles, BadFilesAreRefused)
{
    const fs::path png = Convert("blocks.ppm", "bad.png");
    const fs::path jpg = Convert("blocks.ppm", "bad.jpg");
    const fs::path gif = Convert("blocks.ppm", "bad.gif");
    const fs::path tif = Convert("blocks.ppm", "bad.tif");
    const fs::path webp = Convert("blocks.ppm", "bad.webp");
    const auto half = [](std::vector<std::uint8_t> bytes) {
        bytes.resize(bytes.size() / 2);
        return bytes;
    };
    // A PNG that declares 100000 x 100000 pixels in a header of a few bytes.
    std::vector<std::uint8_t> bomb = Bytes(png);
    for (const std::size_t at : {16u, 20u}) { // width and height of the IHDR chunk
        bomb[at] = 0;
        bomb[at + 1] = 0x01;
        bomb[at + 2] = 0x86;
        bomb[at + 3] = 0xA0;
    }
    std::uint32_t crc = 0xFFFFFFFF; // the chunk's CRC over its type and data
    for (std::size_t i = 12; i < 29; ++i) {
        crc ^= bomb[i];
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    crc ^= 0xFFFFFFFF;
    for (int k = 0; k < 4; ++k) {
        bomb[29 + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(crc >> (24 - 8 * k));
    }

    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::string message;
    } cases[] = {
        {"truncated PNG", half(Bytes(png)), "PNG image is not valid: "},
        {"truncated JPEG", half(Bytes(jpg)), "JPEG image is not valid: "},
        {"truncated GIF", half(Bytes(gif)), "GIF image is not valid: "},
        {"truncated TIFF", half(Bytes(tif)), "TIFF image is not valid: "},
        {"truncated WebP", half(Bytes(webp)), "WebP image is not valid: "},
        {"PNG signature only",
         {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'},
         "PNG image is not valid: "},
        {"decompression bomb", bomb,
         "PNG image is too large: 100000 x 100000 pixels. Pyrolith reads pictures of up to "
         "268,435,456 pixels (16384 x 16384)."},
        {"no known format", {'h', 'e', 'l', 'l', 'o'}, "Bitmap image is not valid: "},
    };
    for (const auto& c : cases) {
        try {
            ReadPicture(c.bytes);
            ADD_FAILURE() << c.name << " was read";
        } catch (const Error& error) {
            EXPECT_EQ(std::string(error.what()).substr(0, c.message.size()), c.message) << c.name;
        }
    }
}

TEST(ThresholdMode, BlackBelowTheThresholdOnly)
{
    for (const int threshold : {0, 1, 128, 255}) {
        GrayRaster gray = Flat(2, 1, 0);
        gray.pixels[0] = static_cast<std::uint8_t>(std::max(threshold - 1, 0));
        gray.pixels[1] = static_cast<std::uint8_t>(threshold);
        EXPECT_EQ(Drawing(MonoFromGray(gray, ImageMode::Threshold, threshold)),
                  threshold == 0 ? ".." : "#.")
            << threshold;
    }
}

// Each dither on flat greys burns the share of the area that the grey level asks for: the
// errors, held in whole sixteenths, are passed on without loss.
TEST(Dithering, FlatGreysBurnTheirShare)
{
    for (const ImageMode mode : {ImageMode::FloydSteinberg, ImageMode::Atkinson, ImageMode::Jarvis,
                                 ImageMode::Stucki, ImageMode::Bayer}) {
        for (const int level : {0, 64, 128, 191, 255}) {
            // Atkinson passes on only three quarters of the error: a share at mid-grey and at
            // the ends only.
            if (mode == ImageMode::Atkinson && level != 0 && level != 128 && level != 255) {
                continue;
            }
            const MonoBitmap mono =
                MonoFromGray(Flat(256, 256, static_cast<std::uint8_t>(level)), mode, 128);
            int black = 0;
            for (std::int32_t y = 0; y < 256; ++y) {
                for (std::int32_t x = 0; x < 256; ++x) {
                    black += mono.black(x, y) ? 1 : 0;
                }
            }
            EXPECT_NEAR(black / 65536.0, (255 - level) / 255.0, 0.01)
                << ImageModeText(mode) << " at " << level;
        }
    }
}

// Worked through by hand: errors past the edges fall away; odd rows run right to left.
TEST(Dithering, SmallPictureWorkedByHand)
{
    GrayRaster gray = Flat(5, 3, 128);
    const std::uint8_t rows[2][5] = {{100, 100, 100, 100, 100}, {60, 140, 200, 30, 128}};
    std::copy(&rows[0][0], &rows[0][0] + 10, gray.pixels.begin());
    const std::pair<ImageMode, const char*> cases[] = {
        {ImageMode::FloydSteinberg, "#.##./#..##/#.#.."},
        {ImageMode::Atkinson, "###.#/#..##/.#..."},
        {ImageMode::Jarvis, "###.#/#..#./..##."},
        {ImageMode::Stucki, "##.##/#..#./.##.#"},
        {ImageMode::Bayer, ".#.#./#.###/.#.#."},
    };
    for (const auto& [mode, expected] : cases) {
        EXPECT_EQ(Drawing(MonoFromGray(gray, mode, 128)), expected) << ImageModeText(mode);
    }
}

TEST(Adjustments, ChangeTheGreyLevelInOrder)
{
    const struct {
        GrayAdjustments adjustments;
        std::vector<int> levels; // for 0, 64, 128, 192, 255
    } cases[] = {
        {{}, {0, 64, 128, 192, 255}},
        {{.brightness = 20}, {51, 115, 179, 243, 255}},
        {{.brightness = -100}, {0, 0, 0, 0, 0}},
        {{.contrast = 50}, {0, 1, 129, 255, 255}},
        {{.contrast = -100}, {128, 128, 128, 128, 128}},
        {{.gamma = 2}, {0, 128, 181, 221, 255}},
        {{.invert = true}, {255, 191, 127, 63, 0}},
        {{.brightness = 100, .invert = true}, {0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        const auto table = AdjustmentTable(c.adjustments);
        std::vector<int> levels;
        for (const int g : {0, 64, 128, 192, 255}) {
            levels.push_back(table[static_cast<std::size_t>(g)]);
        }
        EXPECT_EQ(levels, c.levels);
    }
}

TEST(Resample, AveragesWhenShrinkingAndInterpolatesWhenGrowing)
{
    Bitmap source;
    source.width = 4;
    source.height = 2;
    source.bitsPerPixel = 24;
    source.layout = PixelLayout::Rgb888;
    source.stride = 12;
    source.pixels = PixelBuffer(24);
    // Row 0: black, white, black, black; row 1: white throughout (stored blue, green, red).
    const int levels[8] = {0, 255, 0, 0, 255, 255, 255, 255};
    for (int i = 0; i < 8; ++i) {
        for (int k = 0; k < 3; ++k) {
            source.pixels[static_cast<std::size_t>(i * 3 + k)] =
                static_cast<std::uint8_t>(levels[i]);
        }
    }
    const Bitmap half = ResampleToWidth(source, 2);
    ASSERT_EQ(half.width, 2);
    ASSERT_EQ(half.height, 1);
    EXPECT_EQ(half.pixel(0, 0), (Rgb{191, 191, 191})); // (0 + 255 + 255 + 255) / 4
    EXPECT_EQ(half.pixel(1, 0), (Rgb{128, 128, 128}));

    const Bitmap twice = ResampleToWidth(source, 8);
    ASSERT_EQ(twice.width, 8);
    ASSERT_EQ(twice.height, 4);
    EXPECT_EQ(twice.pixel(7, 3), (Rgb{255, 255, 255})); // a flat part stays flat
    EXPECT_EQ(twice.pixel(0, 0), (Rgb{0, 0, 0}));

    EXPECT_EQ(ResampledRows(3, 2, 4), 3); // 2.67 rounds up
    EXPECT_THROW(ResampleToWidth(source, 1 << 20, BitmapLimits{1 << 20, 1 << 20}), Error);
}

// A picture converted while it is decoded, a row at a time, against the whole picture
// converted at once: the same image in every mode, adjusted or not, for a picture of more rows
// than the decoder may run ahead, in a lossless and a lossy format.
struct StreamedCase {
    const char* mode;
    GrayAdjustments adjustments;
};

void PrintTo(const StreamedCase& c, std::ostream* os)
{
    *os << c.mode;
}

class StreamedConversion : public PictureFiles, public ::testing::WithParamInterface<StreamedCase> {
};

TEST_P(StreamedConversion, MakesTheImageOfTheWholeGreyPicture)
{
    static const fs::path png = Convert("-size 300x700 plasma:fractal -seed 3", "plasma.png");
    static const fs::path jpeg = Convert("plasma.png -quality 80", "plasma.jpg");
    // Bitmaps are read band by band: several bands, the last one short.
    static const fs::path bitmap = Convert("plasma.png -type TrueColor", "BMP3:plasma.bmp");
    static const fs::path indexed =
        Convert("plasma.png -colors 200 -type Palette -compress None", "BMP3:plasma-8.bmp");
    const ImageMode mode = *ParseImageMode(GetParam().mode);
    for (const fs::path& file : {png, jpeg, bitmap, indexed}) {
        GrayRaster gray = GrayLevels(ReadPicture(file));
        EXPECT_EQ(ReadPictureGrayLevels(file).pixels, gray.pixels) << file;
        AdjustGrayLevels(gray, GetParam().adjustments);
        const MonoBitmap whole = mode == ImageMode::Palette
                                     ? MakeMonoBitmap(ReadPicture(file))
                                     : MonoFromGray(std::move(gray), mode, 100);
        const MonoBitmap streamed = ReadPictureMono(file, GetParam().adjustments, mode, 100);
        EXPECT_EQ(Drawing(streamed), Drawing(whole)) << file;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, StreamedConversion,
    ::testing::Values(StreamedCase{"FloydSteinberg", {}}, StreamedCase{"Atkinson", {}},
                      StreamedCase{"Jarvis", {}}, StreamedCase{"Stucki", {}},
                      StreamedCase{"Bayer", {}}, StreamedCase{"Threshold", {}},
                      StreamedCase{"FloydSteinberg", GrayAdjustments{20, 30, 1.5, true}},
                      StreamedCase{"Palette", {}}),
    [](const ::testing::TestParamInfo<StreamedCase>& info) {
        return std::string(info.param.mode) + std::to_string(info.index);
    });

TEST(JobPicture, DefaultSettingsKeepThePaletteRule)
{
    Bitmap source;
    source.width = 3;
    source.height = 1;
    source.bitsPerPixel = 24;
    source.layout = PixelLayout::Rgb888;
    source.stride = 12;
    source.pixels = PixelBuffer(12);
    source.pixels[3 * 1 + 2] = 100; // (100, 0, 0): nearest to dark red, so white, though dark
    for (int k = 6; k < 9; ++k) {
        source.pixels[static_cast<std::size_t>(k)] = 255;
    }
    JobSettings settings;
    EXPECT_EQ(Drawing(MakeJobPicture(source, settings)), "#..");
    settings.ImageMode = "Threshold";
    EXPECT_EQ(Drawing(MakeJobPicture(source, settings)), "##.");
    settings.ResizeWidth = "0.6"; // 6 columns of 0.1
    EXPECT_EQ(Drawing(MakeJobPicture(source, settings)), "####../####..");
}

// A damaged TIFF of one 16-bit band, found by fuzzing: its grey band must become three bands
// before the rows are read three bytes a pixel (the sanitizer build sees any read past them).
TEST(PictureReader, OneBandSixteenBitTiffIsReadAsGrey)
{
    if (!PictureDecodersAvailable()) {
        GTEST_SKIP() << "this build reads bitmaps only";
    }
    const fs::path file =
        fs::path(PYROLITH_SOURCE_DIR) / "fuzz/corpus/fuzz_picture_reader/tiff-one-band-ushort";
    std::ifstream in(file, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                          std::istreambuf_iterator<char>()};
    ASSERT_FALSE(bytes.empty());
    const Bitmap picture = ReadPicture(std::span<const std::uint8_t>(bytes.data(), bytes.size()));
    ASSERT_EQ(picture.width, 12);
    ASSERT_EQ(picture.height, 9);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const Rgb c = picture.pixel(x, y);
            EXPECT_TRUE(c.r == c.g && c.g == c.b) << x << "," << y;
        }
    }
}

} // namespace
} // namespace pyrolith
