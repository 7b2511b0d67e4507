#include "image/PhotoCheck.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "image/GrayLevels.h"

namespace pyrolith {

namespace {

constexpr int kMinMidToneShare = 5; // one pixel in five
constexpr int kMinLevels = 64;
constexpr std::uint8_t kDarkest = 32;
constexpr std::uint8_t kLightest = 223;
constexpr double kSamples = 262144.0;

} // namespace

bool LooksLikePhoto(const Bitmap& picture)
{
    if (picture.empty() || picture.layout == PixelLayout::Unrecognized) {
        return false;
    }
    const double pixels = static_cast<double>(picture.width) * static_cast<double>(picture.height);
    const auto step = static_cast<std::int32_t>(std::max(1.0, std::ceil(std::sqrt(pixels / kSamples))));
    std::array<bool, 256> seen{};
    std::uint64_t samples = 0;
    std::uint64_t midTones = 0;
    for (std::int32_t y = step / 2; y < picture.height; y += step) {
        for (std::int32_t x = step / 2; x < picture.width; x += step) {
            const std::uint8_t level = GrayLevel(picture.pixel(x, y));
            seen[level] = true;
            ++samples;
            midTones += level >= kDarkest && level <= kLightest ? 1 : 0;
        }
    }
    int levels = 0;
    for (const bool level : seen) {
        levels += level ? 1 : 0;
    }
    return levels >= kMinLevels && midTones * kMinMidToneShare >= samples;
}

} // namespace pyrolith
