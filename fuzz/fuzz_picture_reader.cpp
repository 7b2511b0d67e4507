// Feeds arbitrary bytes to the picture reader (PNG, JPEG, GIF, TIFF, WebP and bitmaps, told
// apart by their first bytes). Whatever it reads must be a whole picture within the limits
// and convert in every mode; anything else must be refused with pyrolith::Error.

#include <cstdint>
#include <cstdlib>
#include <span>

#include "common/Error.h"
#include "image/GrayLevels.h"
#include "image/PictureReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace pyrolith;
    BitmapLimits limits;
    limits.maxPixelBytes = std::uint64_t{2} << 20;
    limits.maxPixelCount = std::uint64_t{2} << 20;
    try {
        const Bitmap picture = ReadPicture(std::span<const std::uint8_t>(data, size), limits);
        if (picture.width <= 0 || picture.height <= 0 ||
            static_cast<std::uint64_t>(picture.width) * static_cast<std::uint64_t>(picture.height) >
                limits.maxPixelCount ||
            picture.pixels.size() != picture.stride * static_cast<std::size_t>(picture.height)) {
            std::abort();
        }
        // The mode comes from the input's last byte, so the corpus reaches every one.
        const auto mode = static_cast<ImageMode>(size == 0 ? 0 : data[size - 1] % 7);
        ConversionOptions options;
        options.mode = mode;
        options.adjustments.invert = size % 2 == 1;
        const MonoBitmap mono = MakeMonoBitmap(picture, options);
        if (mono.width() != picture.width || mono.height() != picture.height) {
            std::abort();
        }
    } catch (const Error&) {
    }
    return 0;
}
