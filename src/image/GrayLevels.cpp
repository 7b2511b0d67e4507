#include "image/GrayLevels.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "image/Bitmap.h"
#include "image/BitmapFormat.h"

namespace pyrolith {
namespace {

constexpr std::uint8_t kBlackIndex = 0;
constexpr std::uint8_t kWhiteIndex = 15;

std::uint8_t Clamp255(double value)
{
    return static_cast<std::uint8_t>(std::clamp(std::round(value), 0.0, 255.0));
}

// One table lookup per pixel for the layouts whose pixels take few values.
void MapRows(const Bitmap& source, const std::vector<std::uint8_t>& table, unsigned bits,
             GrayRaster& gray, const CancelCheck& cancel)
{
    const auto width = static_cast<std::size_t>(source.width);
    const unsigned perByte = bits < 8 ? 8 / bits : 1;
    const unsigned valueMask = bits < 8 ? (1u << bits) - 1 : 0xFFu;
    for (std::size_t y = 0; y < static_cast<std::size_t>(source.height); ++y) {
        ThrowIfCancelled(cancel);
        const std::uint8_t* row = source.pixels.data() + y * source.stride;
        std::uint8_t* target = gray.pixels.data() + y * width;
        for (std::size_t x = 0; x < width; ++x) {
            std::size_t value = 0;
            if (bits == 16) {
                value = static_cast<std::size_t>(row[2 * x] | (row[2 * x + 1] << 8));
            } else if (bits == 8) {
                value = row[x];
            } else {
                const unsigned shift = 8 - bits * (1 + static_cast<unsigned>(x % perByte));
                value = (row[x / perByte] >> shift) & valueMask;
            }
            // Indices past a short colour table are not burned, as in the palette rule.
            target[x] = value < table.size() ? table[value] : 255;
        }
    }
}

// The standard 8 x 8 ordered-dither matrix, values 0 to 63.
constexpr std::array<std::array<std::uint8_t, 8>, 8> BayerMatrix()
{
    std::array<std::array<std::uint8_t, 8>, 8> m{};
    m[0][0] = 0;
    for (int size = 1; size < 8; size *= 2) {
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const int v = 4 * m[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)];
                const auto at = [&](int dy, int dx) -> std::uint8_t& {
                    return m[static_cast<std::size_t>(y + dy)][static_cast<std::size_t>(x + dx)];
                };
                at(0, 0) = static_cast<std::uint8_t>(v);
                at(0, size) = static_cast<std::uint8_t>(v + 2);
                at(size, 0) = static_cast<std::uint8_t>(v + 3);
                at(size, size) = static_cast<std::uint8_t>(v + 1);
            }
        }
    }
    return m;
}

// Errors are held in whole sixteenths of a grey level, in integers: every pixel's error is
// passed on whole, all taps but one getting their share rounded and one tap the rest, so that no part of it is lost to rounding and a
// flat grey burns its share of the area. Atkinson's kernel passes on six eighths by design.
constexpr std::int32_t kErrorScale = 16;
constexpr std::int32_t kMidGrey = 128 * kErrorScale;
constexpr std::int32_t kWhiteLevel = 255 * kErrorScale;

struct Tap {
    int dx;
    int dy;
    std::int32_t weight;
};

struct Kernel {
    std::vector<Tap> taps; // the first is the next pixel of the row: it takes the rest
    std::int32_t divisor = 1;
    bool whole = true; // the weights add up to the divisor
};

Kernel DiffusionKernel(ImageMode mode)
{
    const auto make = [](std::initializer_list<std::array<int, 3>> taps, std::int32_t divisor) {
        Kernel kernel;
        kernel.divisor = divisor;
        std::int32_t sum = 0;
        for (const auto& t : taps) {
            kernel.taps.push_back(Tap{t[0], t[1], t[2]});
            sum += t[2];
        }
        kernel.whole = sum == divisor;
        return kernel;
    };
    switch (mode) {
    case ImageMode::Atkinson: // passes on six eighths of the error by design
        return make({{1, 0, 1}, {2, 0, 1}, {-1, 1, 1}, {0, 1, 1}, {1, 1, 1}, {0, 2, 1}}, 8);
    case ImageMode::Jarvis:
        return make({{1, 0, 7},
                     {2, 0, 5},
                     {-2, 1, 3},
                     {-1, 1, 5},
                     {0, 1, 7},
                     {1, 1, 5},
                     {2, 1, 3},
                     {-2, 2, 1},
                     {-1, 2, 3},
                     {0, 2, 5},
                     {1, 2, 3},
                     {2, 2, 1}},
                    48);
    case ImageMode::Stucki:
        return make({{1, 0, 8},
                     {2, 0, 4},
                     {-2, 1, 2},
                     {-1, 1, 4},
                     {0, 1, 8},
                     {1, 1, 4},
                     {2, 1, 2},
                     {-2, 2, 1},
                     {-1, 2, 2},
                     {0, 2, 4},
                     {1, 2, 2},
                     {2, 2, 1}},
                    42);
    default:
        return make({{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}}, 16);
    }
}

// Floyd-Steinberg along one row: the error for the next pixel stays in a register, the row
// below receives its shares in memory (the pixel below ahead takes the rest).
template <int Step>
void FloydSteinbergRow(const std::uint8_t* source, std::uint8_t* target, std::int32_t* here,
                       std::int32_t* below, std::ptrdiff_t first, std::size_t width)
{
    std::int32_t carry = 0;
    std::ptrdiff_t x = first;
    for (std::size_t n = 0; n < width; ++n, x += Step) {
        const std::int32_t value = source[x] * kErrorScale + here[x] + carry;
        here[x] = 0; // read for the last time: clean for its next turn as a row below
        const bool black = value < kMidGrey;
        target[x] = black ? kBlackIndex : kWhiteIndex;
        const std::int32_t error = value - (black ? 0 : kWhiteLevel);
        // Shares rounded down (a shift), the rest to the pixel below ahead: the error is
        // passed on whole, and the next pixel's wait is short.
        carry = (error * 7) >> 4;
        const std::int32_t left = (error * 3) >> 4;
        const std::int32_t under = (error * 5) >> 4;
        below[x - Step] += left;
        below[x] += under;
        below[x + Step] += error - carry - left - under;
    }
}

} // namespace

// Error diffusion over three rows of errors (this row and the two below), two columns of
// margin on each side so that errors past the edges fall away without tests in the loop.
// Each error cell is cleared when its pixel is done, so a row is clean again when it comes
// round as the lowest row.
struct MonoRows::Diffusion {
    static constexpr std::size_t kMargin = 2;
    Kernel kernel;
    std::array<std::vector<std::int32_t>, 3> rows; // errors in sixteenths of a grey level
};

MonoRows::MonoRows(ImageMode mode, int threshold, std::int32_t width)
    : mode_(mode), width_(static_cast<std::size_t>(width))
{
    for (int g = 0; g < 256; ++g) {
        threshold_[static_cast<std::size_t>(g)] = g < threshold ? kBlackIndex : kWhiteIndex;
    }
    if (mode == ImageMode::FloydSteinberg || mode == ImageMode::Atkinson ||
        mode == ImageMode::Jarvis || mode == ImageMode::Stucki) {
        diffusion_ = std::make_unique<Diffusion>();
        diffusion_->kernel = DiffusionKernel(mode);
        for (auto& row : diffusion_->rows) {
            row.assign(width_ + 2 * Diffusion::kMargin, 0);
        }
    }
}

MonoRows::~MonoRows() = default;

void MonoRows::row(std::size_t y, const std::uint8_t* source, std::uint8_t* target)
{
    const std::size_t width = width_;
    if (mode_ == ImageMode::Bayer) {
        // Black when g < 4 m + 2 for the matrix value m: the levels 2, 6, ..., 254 split the
        // grey range into 64 equal steps, so a flat grey g burns (255 - g) / 255 of its area.
        static constexpr auto kMatrix = BayerMatrix();
        const auto& levels = kMatrix[y % 8];
        for (std::size_t x = 0; x < width; ++x) {
            target[x] = source[x] < 4 * levels[x % 8] + 2 ? kBlackIndex : kWhiteIndex;
        }
        return;
    }
    if (!diffusion_) {
        for (std::size_t x = 0; x < width; ++x) {
            target[x] = threshold_[source[x]];
        }
        return;
    }
    auto& rows = diffusion_->rows;
    const auto last = static_cast<std::ptrdiff_t>(width) - 1;
    std::int32_t* here = rows[0].data() + Diffusion::kMargin;
    std::int32_t* below = rows[1].data() + Diffusion::kMargin;
    std::int32_t* below2 = rows[2].data() + Diffusion::kMargin;
    const bool forward = y % 2 == 0;
    if (mode_ == ImageMode::FloydSteinberg) {
        if (forward) {
            FloydSteinbergRow<1>(source, target, here, below, 0, width);
        } else {
            FloydSteinbergRow<-1>(source, target, here, below, last, width);
        }
    } else {
        const Kernel& kernel = diffusion_->kernel;
        const std::ptrdiff_t step = forward ? 1 : -1;
        std::ptrdiff_t x = forward ? 0 : last;
        for (std::size_t n = 0; n < width; ++n, x += step) {
            const std::int32_t value = source[x] * kErrorScale + here[x];
            here[x] = 0;
            const bool black = value < kMidGrey;
            target[x] = black ? kBlackIndex : kWhiteIndex;
            const std::int32_t error = value - (black ? 0 : kWhiteLevel);
            std::int32_t rest = error;
            for (std::size_t t = 1; t < kernel.taps.size(); ++t) {
                const Tap& tap = kernel.taps[t];
                std::int32_t* row = tap.dy == 0 ? here : tap.dy == 1 ? below : below2;
                const std::int32_t share = error * tap.weight / kernel.divisor;
                row[x + tap.dx * step] += share;
                rest -= share;
            }
            here[x + step] += kernel.whole ? rest : error * kernel.taps[0].weight / kernel.divisor;
        }
    }
    std::rotate(rows.begin(), rows.begin() + 1, rows.end());
}

namespace {

} // namespace

GrayRaster GrayLevels(const Bitmap& source, const CancelCheck& cancel)
{
    GrayRaster gray;
    if (source.empty()) {
        return gray;
    }
    gray.width = source.width;
    gray.height = source.height;
    const auto width = static_cast<std::size_t>(source.width);
    gray.pixels = PixelBuffer(width * static_cast<std::size_t>(source.height));

    const unsigned bits = source.bitsPerPixel;
    if ((bits == 24 || bits == 32) && !source.hasMasks()) {
        const std::size_t step = bits / 8;
        for (std::size_t y = 0; y < static_cast<std::size_t>(source.height); ++y) {
            ThrowIfCancelled(cancel);
            const std::uint8_t* p = source.pixels.data() + y * source.stride;
            std::uint8_t* target = gray.pixels.data() + y * width;
            for (std::size_t x = 0; x < width; ++x, p += step) {
                target[x] = GrayLevel(Rgb{p[2], p[1], p[0]});
            }
        }
    } else if (bits <= 8) {
        std::vector<std::uint8_t> table;
        for (const Rgb& colour : source.palette) {
            table.push_back(GrayLevel(colour));
        }
        MapRows(source, table, bits, gray, cancel);
    } else if (bits == 16) {
        const bmp::Masks masks = source.hasMasks()
                                     ? bmp::Masks{source.redMask, source.greenMask, source.blueMask}
                                     : bmp::kDefault16Masks;
        std::vector<std::uint8_t> table(65536);
        for (std::uint32_t value = 0; value < table.size(); ++value) {
            table[value] = GrayLevel(bmp::DecodeMasked(value, masks));
        }
        MapRows(source, table, 16, gray, cancel);
    } else {
        for (std::int32_t y = 0; y < source.height; ++y) {
            ThrowIfCancelled(cancel);
            for (std::int32_t x = 0; x < source.width; ++x) {
                gray.pixels[static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x)] =
                    GrayLevel(source.pixel(x, y));
            }
        }
    }
    return gray;
}

std::array<std::uint8_t, 256> AdjustmentTable(const GrayAdjustments& a)
{
    std::array<std::uint8_t, 256> table{};
    for (int g = 0; g < 256; ++g) {
        double v = g;
        if (a.brightness != 0) {
            v = std::clamp(std::round(v + a.brightness * 255.0 / 100.0), 0.0, 255.0);
        }
        if (a.contrast != 0) {
            // Around mid-grey: 100 makes a hard step, -100 a flat mid-grey.
            const double factor = a.contrast >= 100 ? 1e9
                                  : a.contrast > 0  ? 100.0 / (100.0 - a.contrast)
                                                    : (100.0 + a.contrast) / 100.0;
            v = std::clamp(std::round((v - 127.5) * factor + 127.5), 0.0, 255.0);
        }
        if (a.gamma != 1) {
            v = std::round(255.0 * std::pow(v / 255.0, 1.0 / a.gamma));
        }
        if (a.invert) {
            v = 255 - v;
        }
        table[static_cast<std::size_t>(g)] = Clamp255(v);
        if (a.tone) {
            table[static_cast<std::size_t>(g)] = (*a.tone)[table[static_cast<std::size_t>(g)]];
        }
    }
    return table;
}

void AdjustGrayLevels(GrayRaster& gray, const GrayAdjustments& adjustments)
{
    if (adjustments.isIdentity()) {
        return;
    }
    const auto table = AdjustmentTable(adjustments);
    for (std::uint8_t& g : gray.pixels) {
        g = table[g];
    }
}

GrayRaster AdjustedGrayLevels(const Bitmap& source, const GrayAdjustments& adjustments,
                              const CancelCheck& cancel)
{
    GrayRaster gray = GrayLevels(source, cancel);
    AdjustGrayLevels(gray, adjustments);
    return gray;
}

MonoBitmap MonoFromGray(GrayRaster gray, ImageMode mode, int threshold, const CancelCheck& cancel)
{
    if (gray.empty()) {
        return MonoBitmap();
    }
    const auto width = static_cast<std::size_t>(gray.width);
    const auto height = static_cast<std::size_t>(gray.height);
    // Each mode reads a pixel's grey level once, before it writes the pixel's index: the
    // indices take the grey levels' place, and a large picture needs no second buffer.
    PixelBuffer& indices = gray.pixels;
    if (mode == ImageMode::Grayscale) {
        // What a grey engraving burns, in the 16 greys the image can hold: entry k is the
        // grey 17 k, black to white.
        std::vector<Rgb> greys;
        for (int k = 0; k < 16; ++k) {
            const auto grey = static_cast<std::uint8_t>(17 * k);
            greys.push_back(Rgb{grey, grey, grey});
        }
        for (std::size_t i = 0; i < indices.size(); ++i) {
            indices[i] = static_cast<std::uint8_t>(gray.pixels[i] / 16);
        }
        return MonoBitmap(gray.width, gray.height, std::move(greys), std::move(indices));
    }
    MonoRows rows(mode, threshold, gray.width);
    for (std::size_t y = 0; y < height; ++y) {
        if (y % 64 == 0) {
            ThrowIfCancelled(cancel);
        }
        rows.row(y, gray.pixels.data() + y * width, indices.data() + y * width);
    }
    return MonoBitmap(gray.width, gray.height,
                      std::vector<Rgb>(StandardPalette().begin(), StandardPalette().end()),
                      std::move(gray.pixels));
}

MonoBitmap MakeMonoBitmap(const Bitmap& source, const ConversionOptions& options,
                          const CancelCheck& cancel)
{
    if (options.mode == ImageMode::Palette) {
        return MakeMonoBitmap(source);
    }
    return MonoFromGray(AdjustedGrayLevels(source, options.adjustments, cancel), options.mode,
                        options.threshold, cancel);
}

} // namespace pyrolith
