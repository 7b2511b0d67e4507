#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "image/PixelBuffer.h"

namespace pyrolith {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    bool operator==(const Rgb&) const = default;
};

// The black-and-white working image: 4 bits per pixel with a 16-entry colour table, one
// palette index per pixel in memory, rows top-down (row 0 is the top of the picture).
// A pixel is black exactly when its colour is (0, 0, 0).
class MonoBitmap {
public:
    MonoBitmap() = default;
    // indices: width * height palette indices, row 0 first. The palette has 16 entries
    // (a shorter one is padded with white).
    MonoBitmap(std::int32_t width, std::int32_t height, std::vector<Rgb> palette,
               PixelBuffer indices);
    MonoBitmap(std::int32_t width, std::int32_t height, std::vector<Rgb> palette,
               const std::vector<std::uint8_t>& indices);

    // A picture of black and white only, with the standard 16-colour palette;
    // blackMask holds width * height bytes, non-zero for black.
    static MonoBitmap FromBlackMask(std::int32_t width, std::int32_t height,
                                    const std::vector<std::uint8_t>& blackMask);

    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    bool empty() const { return width_ == 0 || height_ == 0; }

    // c and r must lie inside the picture.
    bool black(std::int32_t c, std::int32_t r) const
    {
        return paletteIsBlack_[indices_[static_cast<std::size_t>(r) *
                                            static_cast<std::size_t>(width_) +
                                        static_cast<std::size_t>(c)]];
    }
    Rgb pixel(std::int32_t c, std::int32_t r) const { return palette_[index(c, r)]; }
    std::uint8_t index(std::int32_t c, std::int32_t r) const
    {
        return indices_[static_cast<std::size_t>(r) * static_cast<std::size_t>(width_) +
                        static_cast<std::size_t>(c)];
    }
    void setIndex(std::int32_t c, std::int32_t r, std::uint8_t paletteIndex);

    const std::array<Rgb, 16>& palette() const { return palette_; }
    const PixelBuffer& indices() const { return indices_; }

    // The palette index that whitening uses: the exact white entry, or else the entry
    // nearest to white.
    std::uint8_t whiteIndex() const;

private:
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::array<Rgb, 16> palette_{};
    std::array<bool, 16> paletteIsBlack_{};
    PixelBuffer indices_;
};

// The 16-colour palette of the black-and-white image.
const std::array<Rgb, 16>& StandardPalette();

// The entry of `palette` nearest to `colour`: plain squared distance in RGB, the lowest index
// among entries at equal distance.
//
// Why: the palette's entries lie on a regular grid of RGB values (0, 128, 192, 255), so the
// plain distance splits every axis at the midpoints between them, the same border for red,
// green and blue, which is what a picture mapped without dithering is expected to show; a
// weighted (luminance) distance would move those borders unevenly per channel. Ties take the
// lowest index because the entries are ordered from black upward: a colour exactly between
// black and another entry, such as (64, 64, 64) between black and dark grey or (0, 0, 64)
// between black and dark blue, becomes black, so dark lines drawn at the midpoint grey are
// burned rather than lost. Every channel at 64 or below is therefore black; (20, 20, 20) is
// black, while (65, 0, 0) and anything brighter is not.
std::uint8_t NearestPaletteIndex(const std::array<Rgb, 16>& palette, Rgb colour);

} // namespace pyrolith
