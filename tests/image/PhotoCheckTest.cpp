// Which pictures get the hint that a dither would keep their greys.
#include <gtest/gtest.h>

#include <functional>

#include "image/PhotoCheck.h"
#include "image/Resample.h"

namespace pyrolith {
namespace {

using Colour = std::function<Rgb(std::int32_t x, std::int32_t y)>;

Bitmap Rgb24(std::int32_t width, std::int32_t height, const Colour& colour)
{
    Bitmap picture;
    picture.width = width;
    picture.height = height;
    picture.bitsPerPixel = 24;
    picture.layout = PixelLayout::Rgb888;
    picture.stride = BitmapRowBytes(static_cast<std::uint64_t>(width), 24);
    picture.pixels.resize(picture.stride * static_cast<std::size_t>(height));
    for (std::int32_t y = 0; y < height; ++y) {
        std::uint8_t* row = picture.pixels.data() + static_cast<std::size_t>(y) * picture.stride;
        for (std::int32_t x = 0; x < width; ++x) {
            const Rgb c = colour(x, y);
            row[x * 3] = c.b;
            row[x * 3 + 1] = c.g;
            row[x * 3 + 2] = c.r;
        }
    }
    return picture;
}

Rgb Grey(int level)
{
    const auto v = static_cast<std::uint8_t>(level);
    return {v, v, v};
}

struct PhotoCase {
    const char* name;
    std::function<Bitmap()> picture;
    bool photo;
};

void PrintTo(const PhotoCase& c, std::ostream* os)
{
    *os << c.name;
}

class PhotoCheck : public ::testing::TestWithParam<PhotoCase> {};

TEST_P(PhotoCheck, TellsPhotosFromDrawings)
{
    const Bitmap picture = GetParam().picture();
    EXPECT_EQ(LooksLikePhoto(picture), GetParam().photo);
    // The same judgement of the rows one at a time, last row first.
    PhotoCheckRows rows(picture.width, picture.height);
    std::vector<std::uint8_t> rgb;
    for (std::int32_t y = picture.height - 1; y >= 0; --y) {
        PictureRowRgb(picture, y, rgb);
        rows.row(y, rgb.data());
    }
    EXPECT_EQ(rows.looksLikePhoto(), GetParam().photo);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, PhotoCheck,
    ::testing::Values(
        PhotoCase{"SmoothShades",
                  [] { return Rgb24(256, 256, [](auto x, auto y) { return Grey((x + y) / 2); }); },
                  true},
        // 3000 x 2000 pixels are judged on a grid of every fourth pixel.
        PhotoCase{"LargeColourShades",
                  [] {
                      return Rgb24(3000, 2000, [](auto x, auto y) {
                          return Rgb{static_cast<std::uint8_t>(x % 256),
                                     static_cast<std::uint8_t>(y % 200), 90};
                      });
                  },
                  true},
        PhotoCase{"IndexedGreyShades",
                  [] {
                      Bitmap picture;
                      picture.width = picture.height = 64;
                      picture.bitsPerPixel = 8;
                      picture.layout = PixelLayout::Indexed;
                      for (int i = 0; i < 256; ++i) {
                          picture.palette.push_back(Grey(i));
                      }
                      picture.stride = 64;
                      picture.pixels.resize(64 * 64);
                      for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
                          picture.pixels[i] = static_cast<std::uint8_t>(i % 256);
                      }
                      return picture;
                  },
                  true},
        // Black on white with a smoothed edge of every grey: few mid-tones.
        PhotoCase{"BlackOnWhiteWithSmoothEdge",
                  [] {
                      return Rgb24(2048, 64, [](auto x, auto) {
                          return Grey(x < 900 ? 0 : x < 1156 ? x - 900 : 255);
                      });
                  },
                  false},
        // Eight flat colours of mid grey: many mid-tones, few greys.
        PhotoCase{"FlatColourDrawing",
                  [] {
                      return Rgb24(400, 100, [](auto x, auto) {
                          const auto k = static_cast<std::uint8_t>(x / 50);
                          return Rgb{static_cast<std::uint8_t>(40 + 20 * k), 120,
                                     static_cast<std::uint8_t>(200 - 15 * k)};
                      });
                  },
                  false},
        // Shades in a band of a tenth of the picture, the rest white.
        PhotoCase{"ShadesInANarrowBand",
                  [] {
                      return Rgb24(256, 300, [](auto x, auto y) {
                          return Grey(y < 30 ? x : 255);
                      });
                  },
                  false},
        PhotoCase{"Empty", [] { return Bitmap{}; }, false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace pyrolith
