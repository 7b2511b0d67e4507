#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "image/Bitmap.h"
#include "image/BitmapFormat.h"

namespace pyrolith {
namespace {

constexpr std::uint8_t kBlack = 0;
constexpr std::uint8_t kWhite = 15;

// After the nearest-colour step every pixel is either palette entry 0, the only black entry
// of the 16-colour palette, or another entry that whitening turns white. So the conversion
// only has to know whether black is the nearest entry, which is true exactly when
// |c|^2 <= |c - p|^2, that is 2 c.p <= |p|^2, for every other entry p (ties go to the lowest
// index, black). The entries have no negative channels, so for a given red and green the
// blues that pass form a range 0..maxBlue; this table holds maxBlue (-1: none) for every red
// and green, and one comparison per pixel decides.
class BlackRegion {
public:
    BlackRegion()
    {
        const auto& palette = StandardPalette();
        for (int r = 0; r < 256; ++r) {
            for (int g = 0; g < 256; ++g) {
                long maxBlue = 255;
                for (std::size_t i = 1; i < palette.size() && maxBlue >= 0; ++i) {
                    const long pr = palette[i].r;
                    const long pg = palette[i].g;
                    const long pb = palette[i].b;
                    const long room = pr * pr + pg * pg + pb * pb - 2 * (r * pr + g * pg);
                    if (room < 0) {
                        maxBlue = -1;
                    } else if (pb > 0 && room / (2 * pb) < maxBlue) {
                        maxBlue = room / (2 * pb);
                    }
                }
                maxBlue_[static_cast<std::size_t>(r * 256 + g)] =
                    static_cast<std::int16_t>(maxBlue);
            }
        }
    }

    bool black(std::uint8_t r, std::uint8_t g, std::uint8_t b) const
    {
        return b <= maxBlue_[static_cast<std::size_t>(r << 8 | g)];
    }
    std::uint8_t index(std::uint8_t r, std::uint8_t g, std::uint8_t b) const
    {
        return black(r, g, b) ? kBlack : kWhite;
    }
    std::uint8_t index(Rgb c) const { return index(c.r, c.g, c.b); }

private:
    std::array<std::int16_t, 256 * 256> maxBlue_{};
};

const BlackRegion& Region()
{
    static const BlackRegion region;
    return region;
}

// Every row of an indexed source through a table of what each palette index becomes.
void MapIndexed(const Bitmap& source, const std::vector<std::uint8_t>& table, PixelBuffer& out)
{
    const unsigned bits = source.bitsPerPixel;
    const unsigned perByte = 8 / bits;
    const unsigned valueMask = (1u << bits) - 1;
    const auto width = static_cast<std::size_t>(source.width);
    for (std::size_t y = 0; y < static_cast<std::size_t>(source.height); ++y) {
        const std::uint8_t* row = source.pixels.data() + y * source.stride;
        std::uint8_t* target = out.data() + y * width;
        if (bits == 8) {
            for (std::size_t x = 0; x < width; ++x) {
                target[x] = table[row[x]];
            }
            continue;
        }
        for (std::size_t x = 0; x < width; ++x) {
            const unsigned shift = 8 - bits * (1 + static_cast<unsigned>(x % perByte));
            const unsigned index = (row[x / perByte] >> shift) & valueMask;
            // The reader refuses indices past the table; should a hand-made Bitmap have them,
            // they are not burned.
            target[x] = index < table.size() ? table[index] : kWhite;
        }
    }
}

MonoBitmap FromFourBitSource(const Bitmap& source)
{
    const auto width = static_cast<std::size_t>(source.width);
    PixelBuffer indices(width * static_cast<std::size_t>(source.height));
    std::vector<std::uint8_t> identity(16);
    for (std::uint8_t i = 0; i < 16; ++i) {
        identity[i] = i;
    }
    MapIndexed(source, identity, indices);
    MonoBitmap mono(source.width, source.height, source.palette, std::move(indices));

    // Whitening keeps exact black and exact white; every other entry becomes the entry
    // nearest to white, the whitest colour the picture's own table has.
    const std::uint8_t white = mono.whiteIndex();
    std::array<std::uint8_t, 16> whiten{};
    for (std::uint8_t i = 0; i < 16; ++i) {
        const Rgb colour = mono.palette()[i];
        const bool keep = colour == Rgb{0, 0, 0} || colour == Rgb{255, 255, 255};
        whiten[i] = keep ? i : white;
    }
    for (std::int32_t r = 0; r < mono.height(); ++r) {
        for (std::int32_t c = 0; c < mono.width(); ++c) {
            mono.setIndex(c, r, whiten[mono.index(c, r)]);
        }
    }
    return mono;
}

} // namespace

void MonoPaletteRow(const std::uint8_t* rgb, std::size_t width, std::uint8_t* target)
{
    const BlackRegion& region = Region();
    for (std::size_t x = 0; x < width; ++x, rgb += 3) {
        target[x] = region.index(rgb[0], rgb[1], rgb[2]);
    }
}

MonoBitmap MakeMonoBitmap(const Bitmap& source)
{
    if (source.empty()) {
        return MonoBitmap();
    }
    if (source.bitsPerPixel == 4) {
        return FromFourBitSource(source);
    }

    const BlackRegion& region = Region();
    const auto width = static_cast<std::size_t>(source.width);
    const auto height = static_cast<std::size_t>(source.height);
    PixelBuffer indices(width * height);

    switch (source.bitsPerPixel) {
    case 24:
    case 32:
        if (!source.hasMasks()) {
            const std::size_t step = source.bitsPerPixel / 8;
            for (std::size_t y = 0; y < height; ++y) {
                const std::uint8_t* p = source.pixels.data() + y * source.stride;
                std::uint8_t* target = indices.data() + y * width;
                for (std::size_t x = 0; x < width; ++x, p += step) {
                    target[x] = region.index(p[2], p[1], p[0]);
                }
            }
        } else {
            const bmp::Channel red(source.redMask), green(source.greenMask), blue(source.blueMask);
            for (std::size_t y = 0; y < height; ++y) {
                const std::uint8_t* p = source.pixels.data() + y * source.stride;
                std::uint8_t* target = indices.data() + y * width;
                for (std::size_t x = 0; x < width; ++x, p += 4) {
                    const std::uint32_t value = static_cast<std::uint32_t>(p[0]) |
                                                (static_cast<std::uint32_t>(p[1]) << 8) |
                                                (static_cast<std::uint32_t>(p[2]) << 16) |
                                                (static_cast<std::uint32_t>(p[3]) << 24);
                    target[x] = region.index(red(value), green(value), blue(value));
                }
            }
        }
        break;
    case 16: {
        const bmp::Masks masks = source.hasMasks()
                                     ? bmp::Masks{source.redMask, source.greenMask, source.blueMask}
                                     : bmp::kDefault16Masks;
        std::vector<std::uint8_t> table(65536);
        for (std::uint32_t value = 0; value < table.size(); ++value) {
            table[value] = region.index(bmp::DecodeMasked(value, masks));
        }
        for (std::size_t y = 0; y < height; ++y) {
            const std::uint8_t* p = source.pixels.data() + y * source.stride;
            std::uint8_t* target = indices.data() + y * width;
            for (std::size_t x = 0; x < width; ++x, p += 2) {
                target[x] = table[static_cast<std::size_t>(p[0] | (p[1] << 8))];
            }
        }
        break;
    }
    case 1:
    case 2:
    case 8: {
        std::vector<std::uint8_t> table;
        for (const Rgb& colour : source.palette) {
            table.push_back(region.index(colour));
        }
        MapIndexed(source, table, indices);
        break;
    }
    default: // a bit count the reader never gives: nothing to burn
        std::fill(indices.begin(), indices.end(), kWhite);
        break;
    }
    return MonoBitmap(source.width, source.height,
                      std::vector<Rgb>(StandardPalette().begin(), StandardPalette().end()),
                      std::move(indices));
}

} // namespace pyrolith
