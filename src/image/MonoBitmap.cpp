#include "image/MonoBitmap.h"

#include <stdexcept>

namespace pyrolith {

const std::array<Rgb, 16>& StandardPalette()
{
    static const std::array<Rgb, 16> kPalette = {{
        {0, 0, 0},
        {128, 0, 0},
        {0, 128, 0},
        {128, 128, 0},
        {0, 0, 128},
        {128, 0, 128},
        {0, 128, 128},
        {128, 128, 128},
        {192, 192, 192},
        {255, 0, 0},
        {0, 255, 0},
        {255, 255, 0},
        {0, 0, 255},
        {255, 0, 255},
        {0, 255, 255},
        {255, 255, 255},
    }};
    return kPalette;
}

MonoBitmap::MonoBitmap(std::int32_t width, std::int32_t height, std::vector<Rgb> palette,
                       const std::vector<std::uint8_t>& indices)
    : MonoBitmap(width, height, std::move(palette), PixelBuffer(indices.begin(), indices.end()))
{
}

MonoBitmap::MonoBitmap(std::int32_t width, std::int32_t height, std::vector<Rgb> palette,
                       PixelBuffer indices)
    : width_(width), height_(height), indices_(std::move(indices))
{
    if (width < 0 || height < 0 ||
        indices_.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
        throw std::invalid_argument("MonoBitmap: pixel count does not match the size");
    }
    palette_.fill(Rgb{255, 255, 255});
    for (std::size_t i = 0; i < palette.size() && i < palette_.size(); ++i) {
        palette_[i] = palette[i];
    }
    for (std::size_t i = 0; i < palette_.size(); ++i) {
        paletteIsBlack_[i] = palette_[i] == Rgb{0, 0, 0};
    }
    for (std::uint8_t& index : indices_) {
        index &= 0x0F;
    }
}

MonoBitmap MonoBitmap::FromBlackMask(std::int32_t width, std::int32_t height,
                                     const std::vector<std::uint8_t>& blackMask)
{
    PixelBuffer indices(blackMask.size());
    for (std::size_t i = 0; i < blackMask.size(); ++i) {
        indices[i] = blackMask[i] ? 0 : 15;
    }
    const auto& palette = StandardPalette();
    return MonoBitmap(width, height, std::vector<Rgb>(palette.begin(), palette.end()),
                      std::move(indices));
}

void MonoBitmap::setIndex(std::int32_t c, std::int32_t r, std::uint8_t paletteIndex)
{
    indices_[static_cast<std::size_t>(r) * static_cast<std::size_t>(width_) +
             static_cast<std::size_t>(c)] = paletteIndex & 0x0F;
}

std::uint8_t NearestPaletteIndex(const std::array<Rgb, 16>& palette, Rgb colour)
{
    std::uint8_t best = 0;
    long bestDistance = -1;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const long dr = long{colour.r} - palette[i].r;
        const long dg = long{colour.g} - palette[i].g;
        const long db = long{colour.b} - palette[i].b;
        const long distance = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || distance < bestDistance) {
            best = static_cast<std::uint8_t>(i);
            bestDistance = distance;
        }
    }
    return best;
}

std::uint8_t MonoBitmap::whiteIndex() const
{
    return NearestPaletteIndex(palette_, Rgb{255, 255, 255});
}

} // namespace pyrolith
