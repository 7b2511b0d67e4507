#include <gtest/gtest.h>

#include <vector>

#include "image/GrayLevels.h"

namespace pyrolith {
namespace {

// Grayscale mode shows the picture in 16 greys, black to white, what a grey engraving burns.
TEST(GrayscalePreview, SixteenGreysFromBlackToWhite)
{
    GrayRaster gray;
    gray.width = 6;
    gray.height = 1;
    for (const std::uint8_t g : {0, 15, 16, 128, 254, 255}) {
        gray.pixels.push_back(g);
    }
    const MonoBitmap preview = MonoFromGray(gray, ImageMode::Grayscale, 128);
    std::vector<int> greys;
    for (std::int32_t c = 0; c < preview.width(); ++c) {
        const Rgb pixel = preview.pixel(c, 0);
        EXPECT_TRUE(pixel.r == pixel.g && pixel.g == pixel.b);
        greys.push_back(pixel.r);
    }
    EXPECT_EQ(greys, (std::vector<int>{0, 0, 17, 136, 255, 255}));
}

} // namespace
} // namespace pyrolith
