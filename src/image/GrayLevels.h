#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "common/Cancel.h"
#include "image/MonoBitmap.h"
#include "image/PictureOptions.h"
#include "image/PixelBuffer.h"

namespace pyrolith {

struct Bitmap;

// One grey level per pixel, 0 black to 255 white, rows top-down without padding.
struct GrayRaster {
    std::int32_t width = 0;
    std::int32_t height = 0;
    PixelBuffer pixels; // width * height bytes

    bool empty() const { return width == 0 || height == 0; }
    std::uint8_t at(std::int32_t x, std::int32_t y) const
    {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

// The grey level of a colour: (299 R + 587 G + 114 B + 500) / 1000, in whole numbers.
constexpr std::uint8_t GrayLevel(Rgb c)
{
    return static_cast<std::uint8_t>((299u * c.r + 587u * c.g + 114u * c.b + 500u) / 1000u);
}

// The grey level of every pixel of a source picture, as it is (no adjustment).
GrayRaster GrayLevels(const Bitmap& source, const CancelCheck& cancel = {});

// What each grey level becomes under the adjustments: brightness, then contrast, then gamma,
// then inversion, each result rounded and kept within 0..255, then the tone curve.
std::array<std::uint8_t, 256> AdjustmentTable(const GrayAdjustments& adjustments);

// The adjustments applied in place.
void AdjustGrayLevels(GrayRaster& gray, const GrayAdjustments& adjustments);

// The adjusted grey level of every pixel: what every mode but Palette works on.
GrayRaster AdjustedGrayLevels(const Bitmap& source, const GrayAdjustments& adjustments,
                              const CancelCheck& cancel = {});

// The rows of the black-and-white image of grey levels, one after the other from the top, in
// one of the modes working on grey levels (Threshold, the error diffusions, Bayer; Palette is
// treated as Threshold): what MonoFromGray makes of the whole picture, for a picture whose
// rows come as they are decoded. A target row may be its source row.
class MonoRows {
public:
    MonoRows(ImageMode mode, int threshold, std::int32_t width);
    ~MonoRows();
    MonoRows(const MonoRows&) = delete;
    MonoRows& operator=(const MonoRows&) = delete;

    // Row y (0, 1, 2, ... in turn): `width` grey levels into as many palette indices.
    void row(std::size_t y, const std::uint8_t* gray, std::uint8_t* target);

private:
    struct Diffusion;
    ImageMode mode_;
    std::size_t width_;
    std::array<std::uint8_t, 256> threshold_{};
    std::unique_ptr<Diffusion> diffusion_;
};

// The black-and-white image of grey levels in one of the modes working on them (Threshold,
// the error diffusions, Bayer; Palette is treated as Threshold). Error diffusion compares
// with mid-grey (128) and runs left to right on even rows, right to left on odd rows. The
// image takes over the memory of the grey levels (pass them with std::move to spare a copy).
// In Grayscale mode the image is the picture in 16 greys (entry k is the grey 17 k): what a
// grey engraving burns.
MonoBitmap MonoFromGray(GrayRaster gray, ImageMode mode, int threshold,
                        const CancelCheck& cancel = {});

// The black-and-white image of a source picture under the conversion options: Palette mode
// is the nearest-colour rule of MakeMonoBitmap(source); the other modes work on the adjusted
// grey levels.
MonoBitmap MakeMonoBitmap(const Bitmap& source, const ConversionOptions& options,
                          const CancelCheck& cancel = {});

} // namespace pyrolith
