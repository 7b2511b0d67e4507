#include "image/PhotoCheck.h"

#include <algorithm>
#include <cmath>

#include "image/GrayLevels.h"

namespace pyrolith {

namespace {

constexpr int kMinMidToneShare = 5; // one pixel in five
constexpr int kMinLevels = 64;
constexpr std::uint8_t kDarkest = 32;
constexpr std::uint8_t kLightest = 223;
constexpr double kSamples = 262144.0;

} // namespace

PhotoCheckRows::PhotoCheckRows(std::int32_t width, std::int32_t height) : width_(width)
{
    const double pixels = static_cast<double>(width) * static_cast<double>(height);
    step_ = static_cast<std::int32_t>(std::max(1.0, std::ceil(std::sqrt(pixels / kSamples))));
}

void PhotoCheckRows::add(std::uint8_t level)
{
    seen_[level] = true;
    ++samples_;
    midTones_ += level >= kDarkest && level <= kLightest ? 1 : 0;
}

void PhotoCheckRows::row(std::int32_t y, const std::uint8_t* rgb)
{
    if (y % step_ != step_ / 2) {
        return;
    }
    for (std::int32_t x = step_ / 2; x < width_; x += step_) {
        const std::uint8_t* p = rgb + 3 * static_cast<std::size_t>(x);
        add(GrayLevel(Rgb{p[0], p[1], p[2]}));
    }
}

bool PhotoCheckRows::looksLikePhoto() const
{
    const auto levels = std::count(seen_.begin(), seen_.end(), true);
    return levels >= kMinLevels && midTones_ * kMinMidToneShare >= samples_;
}

bool LooksLikePhoto(const Bitmap& picture)
{
    if (picture.empty() || picture.layout == PixelLayout::Unrecognized) {
        return false;
    }
    PhotoCheckRows check(picture.width, picture.height);
    for (std::int32_t y = check.step_ / 2; y < picture.height; y += check.step_) {
        for (std::int32_t x = check.step_ / 2; x < picture.width; x += check.step_) {
            check.add(GrayLevel(picture.pixel(x, y)));
        }
    }
    return check.looksLikePhoto();
}

} // namespace pyrolith
