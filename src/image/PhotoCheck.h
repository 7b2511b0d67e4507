#pragma once

#include <array>
#include <cstdint>

#include "image/Bitmap.h"

namespace pyrolith {

// Whether a picture has the many greys of a photo, which the nearest of 16 colours turns into
// a few black blobs while a dither or a grey engraving keeps them: at least a fifth of its
// pixels are mid-tones (grey levels 32 to 223) and at least 64 grey levels occur. A drawing
// in a few colours, or black on white with smoothed edges, is none. Large pictures are
// judged on an even grid of about a quarter million of their pixels.
bool LooksLikePhoto(const Bitmap& picture);

// The same judgement of a picture whose rows come one at a time.
class PhotoCheckRows {
public:
    PhotoCheckRows(std::int32_t width, std::int32_t height);
    // Row y as red, green and blue bytes; rows may come in any order, each once.
    void row(std::int32_t y, const std::uint8_t* rgb);
    bool looksLikePhoto() const;

private:
    friend bool LooksLikePhoto(const Bitmap& picture);
    void add(std::uint8_t level);

    std::int32_t width_;
    std::int32_t step_;
    std::array<bool, 256> seen_{};
    std::uint64_t samples_ = 0;
    std::uint64_t midTones_ = 0;
};

} // namespace pyrolith
