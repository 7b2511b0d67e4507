#pragma once

// The constants of the Windows bitmap file and the decoding of masked pixels, shared by the
// reader, the writer and the black-and-white conversion.

#include <bit>
#include <cstdint>

#include "image/MonoBitmap.h"

namespace pyrolith::bmp {

inline constexpr std::uint32_t kFileHeaderBytes = 14;
inline constexpr std::uint32_t kCoreHeaderBytes = 12;
inline constexpr std::uint32_t kInfoHeaderBytes = 40;
inline constexpr std::uint32_t kV4HeaderBytes = 108;

// Compression values of the info header.
inline constexpr std::uint32_t kRgb = 0;
inline constexpr std::uint32_t kRle8 = 1;
inline constexpr std::uint32_t kRle4 = 2;
inline constexpr std::uint32_t kBitfields = 3;
inline constexpr std::uint32_t kJpeg = 4;
inline constexpr std::uint32_t kPng = 5;
inline constexpr std::uint32_t kAlphaBitfields = 6;

struct Masks {
    std::uint32_t red = 0;
    std::uint32_t green = 0;
    std::uint32_t blue = 0;
};

// A 16-bit pixel without masks: 5 bits each of red, green and blue, the top bit unused.
inline constexpr Masks kDefault16Masks{0x7C00, 0x03E0, 0x001F};

// One colour channel under a contiguous mask, scaled to 0..255 with rounding, so that the
// largest value of any width is 255 (a 5-bit 31 is 255, not 248).
class Channel {
public:
    explicit Channel(std::uint32_t mask)
        : mask_(mask), shift_(mask == 0 ? 0 : static_cast<unsigned>(std::countr_zero(mask))),
          max_(mask == 0 ? 1 : (std::uint64_t{mask} >> shift_))
    {
    }
    std::uint8_t operator()(std::uint32_t value) const
    {
        const std::uint64_t raw = (value & mask_) >> shift_;
        return static_cast<std::uint8_t>((raw * 255 + max_ / 2) / max_);
    }

private:
    std::uint32_t mask_;
    unsigned shift_;
    std::uint64_t max_;
};

inline Rgb DecodeMasked(std::uint32_t value, const Masks& masks)
{
    return Rgb{Channel(masks.red)(value), Channel(masks.green)(value), Channel(masks.blue)(value)};
}

} // namespace pyrolith::bmp
