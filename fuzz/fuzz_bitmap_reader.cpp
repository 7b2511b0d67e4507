// Feeds arbitrary bytes to the bitmap reader. Whatever it reads must convert to the
// black-and-white image and survive a write and read back unchanged; anything else must be
// refused with pyrolith::Error.

#include <cstdint>
#include <cstdlib>
#include <span>

#include "common/Error.h"
#include "image/Bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace pyrolith;
    // Smaller limits than the program's keep every run fast, and keep every buffer on the
    // heap (large ones are mapped), where the address sanitizer watches its edges.
    BitmapLimits limits;
    limits.maxPixelBytes = std::uint64_t{2} << 20;
    limits.maxPixelCount = std::uint64_t{2} << 20;
    try {
        const Bitmap bitmap = ReadBitmap(std::span<const std::uint8_t>(data, size), limits);
        if (bitmap.width <= 0 || bitmap.height <= 0 ||
            bitmap.stride !=
                BitmapRowBytes(static_cast<std::uint64_t>(bitmap.width), bitmap.bitsPerPixel) ||
            bitmap.pixels.size() != bitmap.stride * static_cast<std::size_t>(bitmap.height)) {
            std::abort();
        }
        const MonoBitmap mono = MakeMonoBitmap(bitmap);
        if (mono.width() != bitmap.width || mono.height() != bitmap.height) {
            std::abort();
        }
        unsigned black = 0;
        for (std::int32_t y = 0; y < mono.height(); ++y) {
            for (std::int32_t x = 0; x < mono.width(); ++x) {
                black += mono.black(x, y);
            }
        }
        const Rgb corner = bitmap.pixel(bitmap.width - 1, bitmap.height - 1);
        const Bitmap back = ReadBitmap(EncodeBitmap(bitmap), limits);
        if (back.layout != bitmap.layout || back.palette != bitmap.palette ||
            back.pixels != bitmap.pixels || back.redMask != bitmap.redMask ||
            back.greenMask != bitmap.greenMask || back.blueMask != bitmap.blueMask ||
            back.alphaMask != bitmap.alphaMask ||
            back.pixel(bitmap.width - 1, bitmap.height - 1) != corner) {
            std::abort();
        }
        const MonoBitmap monoBack = MakeMonoBitmap(ReadBitmap(EncodeBitmap(mono), limits));
        if (monoBack.indices() != mono.indices() || monoBack.palette() != mono.palette()) {
            std::abort();
        }
        static volatile unsigned sink;
        sink = black;
    } catch (const Error&) {
    }
    return 0;
}
