#pragma once

#include <array>
#include <cstdint>
#include <vector>

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
               std::vector<std::uint8_t> indices);

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
        return paletteIsBlack_[indices_[static_cast<std::size_t>(r) * static_cast<std::size_t>(width_) +
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
    const std::vector<std::uint8_t>& indices() const { return indices_; }

    // The palette index that whitening uses: the exact white entry, or else the entry
    // nearest to white.
    std::uint8_t whiteIndex() const;

private:
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::array<Rgb, 16> palette_{};
    std::array<bool, 16> paletteIsBlack_{};
    std::vector<std::uint8_t> indices_;
};

// The 16-colour palette of the black-and-white image.
const std::array<Rgb, 16>& StandardPalette();

}  // namespace pyrolith
