// The PNG writer against a real decoder: ImageMagick reads back exactly the pixels written.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "image/PngWriter.h"

namespace {

std::string Decode(const std::filesystem::path& png)
{
    const std::string command = "/usr/bin/convert '" + png.string() + "' -depth 8 rgb:- 2>/dev/null";
    std::string bytes;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[65536];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            bytes.append(buffer, n);
        }
        ::pclose(pipe);
    }
    return bytes;
}

// Sizes around the match limits: runs longer than 258 bytes, rows longer than the pixel
// match, a single pixel, and noise that matches nothing.
TEST(PngWriter, ImageMagickReadsBackEveryPixel)
{
#ifdef _WIN32
    GTEST_SKIP() << "ImageMagick makes this test's pictures on Linux only";
#endif
    if (!std::filesystem::exists("/usr/bin/convert")) {
        GTEST_SKIP() << "ImageMagick is not installed";
    }
    const std::pair<int, int> sizes[] = {{1, 1}, {97, 3}, {300, 40}, {1000, 7}};
    std::uint32_t seed = 12345;
    for (const auto& [w, h] : sizes) {
        pyrolith::RgbImage image;
        image.width = w;
        image.height = h;
        image.pixels.assign(static_cast<std::size_t>(w * h * 3), 255);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                std::uint8_t* p = image.at(x, y);
                if (y % 3 == 0 && x > w / 4) {
                    p[0] = p[1] = p[2] = 0;  // long runs
                } else if (y % 3 == 1) {
                    seed = seed * 1103515245u + 12345u;
                    p[0] = static_cast<std::uint8_t>(seed >> 16);
                    p[1] = static_cast<std::uint8_t>(seed >> 8);
                    p[2] = static_cast<std::uint8_t>(x);
                }
            }
        }
        const auto path = std::filesystem::temp_directory_path() /
                          ("png-writer-" + std::to_string(::getpid()) + ".png");
        pyrolith::WritePng(path, image);
        const std::string decoded = Decode(path);
        std::filesystem::remove(path);
        EXPECT_EQ(decoded, std::string(image.pixels.begin(), image.pixels.end())) << w << "x" << h;
    }
}

}  // namespace
