// The formats besides bitmaps, decoded by libvips. Only this file sees libvips.

#include <algorithm>
#include <array>
#include <atomic>
#include <mutex>
#include <string>

#include "common/Error.h"
#include "image/PictureDecoder.h"
#include <vips/vips8>

namespace pyrolith::detail {
namespace {

using vips::VError;
using vips::VImage;
using vips::VRegion;
using vips::VSource;

std::atomic<bool> started{false};

// A sequential loader keeps the rows it decoded in a line cache of 3 * (1 + n / h) strips of
// h rows (16 for PNG and JPEG, a TIFF's own strip height), n the library's tile height (128 by
// default) or 16 rows a thread it plans for: on a picture 10000 pixels wide in 16-bit colour,
// 27 strips of 16 rows, 26 MB. Copy takes the rows 16 at a time from the top, on one thread:
// with a tile height of 16 and one thread the cache keeps 6 strips (a TIFF 3). The tile
// height is set through the library's command line option; it has no call of its own.
void PlanForStrips()
{
    vips_concurrency_set(1);
    GOptionContext* context = g_option_context_new(nullptr);
    GOptionGroup* group = g_option_group_new("vips", "", "", nullptr, nullptr);
    vips_add_option_entries(group);
    g_option_context_set_main_group(context, group); // the context's from here
    std::array<char*, 3> arguments{const_cast<char*>("pyrolith"),
                                   const_cast<char*>("--vips-tile-height=16"), nullptr};
    int count = 2;
    char** argv = arguments.data();
    g_option_context_parse(context, &count, &argv, nullptr);
    g_option_context_free(context);
}

bool StartLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // The loaders called below are built into the library. Its modules (ImageMagick, PDF,
        // HEIF, JPEG XL, slide scanners) are never called, yet loading them at the start
        // keeps 6 MB more memory in use. The library looks for them, and for its messages'
        // translations, under the folder VIPSHOME names (it sets VIPSHOME itself when it is
        // not set): unless the user has set it, that is a folder that does not exist, and
        // the library's messages are in English like this program's.
        g_setenv("VIPSHOME", "/nonexistent-vips-home", FALSE);
        if (VIPS_INIT("pyrolith") != 0) {
            vips_error_clear();
            return;
        }
        vips_cache_set_max(0);          // every picture is read once
        vips_block_untrusted_set(TRUE); // only the loaders named below run anyway
        PlanForStrips();
        started = true;
    });
    return started;
}

// The first line of libvips' error text, without the loader's name in front.
std::string Reason(const VError& error)
{
    std::string text = error.what();
    vips_error_clear();
    text = text.substr(0, text.find('\n'));
    if (const auto colon = text.find(": "); colon != std::string::npos && colon < 24) {
        text.erase(0, colon + 2);
    }
    while (!text.empty() && (text.back() == '.' || text.back() == ' ')) {
        text.pop_back();
    }
    return text.empty() ? std::string("the file is damaged") : text;
}

VImage Open(PictureFormat format, const VSource& source, VipsAccess access)
{
    vips::VOption* options = VImage::option()
                                 ->set("access", static_cast<int>(access))
                                 ->set("fail_on", static_cast<int>(VIPS_FAIL_ON_ERROR));
    switch (format) {
    case PictureFormat::Png:
        return VImage::pngload_source(source, options);
    case PictureFormat::Jpeg:
        return VImage::jpegload_source(source, options);
    case PictureFormat::Gif:
        return VImage::gifload_source(source, options);
    case PictureFormat::Tiff:
        return VImage::tiffload_source(source, options);
    default:
        return VImage::webpload_source(source, options);
    }
}

VSource SourceOf(const std::filesystem::path* path, std::span<const std::uint8_t> bytes)
{
    return path != nullptr ? VSource::new_from_file(path->string().c_str())
                           : VSource::new_from_memory(bytes.data(), bytes.size());
}

// Orientation, colour profile, alpha over white, sRGB, 8 bits, three bands.
VImage ToEightBitRgb(VImage image)
{
    if (image.get_typeof(VIPS_META_ORIENTATION) != 0 && image.get_int(VIPS_META_ORIENTATION) > 1) {
        image = image.autorot();
    }
    if (image.get_typeof(VIPS_META_ICC_NAME) != 0) {
        try {
            image = image.icc_transform("srgb", VImage::option()->set("embedded", true));
        } catch (const VError&) {
            vips_error_clear(); // a broken profile: the colours as stored
        }
    }
    if (image.has_alpha()) {
        const VipsInterpretation kind = image.interpretation();
        const bool sixteen =
            kind == VIPS_INTERPRETATION_GREY16 || kind == VIPS_INTERPRETATION_RGB16;
        const double opaque = sixteen ? 65535.0 : 255.0;
        image = image.flatten(VImage::option()->set(
            "background",
            std::vector<double>(static_cast<std::size_t>(image.bands() - 1), opaque)));
    }
    const VipsInterpretation kind = image.interpretation();
    if (kind == VIPS_INTERPRETATION_CMYK || kind == VIPS_INTERPRETATION_B_W ||
        kind == VIPS_INTERPRETATION_GREY16 || kind == VIPS_INTERPRETATION_RGB16 ||
        kind == VIPS_INTERPRETATION_LAB || kind == VIPS_INTERPRETATION_scRGB) {
        image = image.colourspace(VIPS_INTERPRETATION_sRGB);
    }
    if (image.format() == VIPS_FORMAT_USHORT) {
        image = (image / 257).cast(VIPS_FORMAT_UCHAR);
    } else if (image.format() != VIPS_FORMAT_UCHAR) {
        image = image.cast(VIPS_FORMAT_UCHAR);
    }
    if (image.bands() < 3) {
        // Grey (a second band of a grey picture is no colour): the grey band three times.
        const VImage grey = image.extract_band(0);
        image = grey.bandjoin(grey).bandjoin(grey);
    } else if (image.bands() > 3) {
        image = image.extract_band(0, VImage::option()->set("n", 3));
    }
    return image;
}

void CheckSize(PictureFormat format, const VImage& image, const BitmapLimits& limits)
{
    const auto width = static_cast<std::uint64_t>(std::max(image.width(), 0));
    const auto height = static_cast<std::uint64_t>(std::max(image.height(), 0));
    if (width == 0 || height == 0) {
        throw Error(std::string(PictureFormatName(format)) +
                    " image is not valid: it has no pixels.");
    }
    if (width > limits.maxPixelCount / height ||
        BitmapRowBytes(width, 24) > limits.maxPixelBytes / height) {
        throw Error(PictureTooLargeMessage(format, width, height));
    }
}

void Copy(const VImage& image, const BitmapLimits& limits, PictureFormat format,
          const CancelCheck& cancel, RowSink& sink)
{
    CheckSize(format, image, limits);
    // The rows below are read as three bytes a pixel: anything else would be read past the
    // end of the decoder's rows.
    if (image.bands() != 3 || image.format() != VIPS_FORMAT_UCHAR ||
        image.coding() != VIPS_CODING_NONE) {
        throw Error(std::string(PictureFormatName(format)) +
                    " image is not valid: its colours cannot be read.");
    }
    const int width = image.width();
    const int height = image.height();
    sink.start(width, height);
    // Strips in top-to-bottom order, as a sequential picture allows.
    const VRegion region = image.region();
    constexpr int kStrip = 16;
    for (int top = 0; top < height; top += kStrip) {
        ThrowIfCancelled(cancel);
        const int rows = std::min(kStrip, height - top);
        region.prepare(0, top, width, rows);
        for (int y = top; y < top + rows; ++y) {
            sink.row(y, region.addr(0, y));
        }
    }
}

} // namespace

bool DecoderAvailable()
{
    return true;
}

void DecodePicture(PictureFormat format, const std::filesystem::path* path,
                   std::span<const std::uint8_t> bytes, const BitmapLimits& limits,
                   const CancelCheck& cancel, RowSink& sink)
{
    const std::string name(PictureFormatName(format));
    if (!StartLibrary()) {
        throw Error(name + " pictures cannot be read: the image library did not start.");
    }
    try {
        VImage image = Open(format, SourceOf(path, bytes), VIPS_ACCESS_SEQUENTIAL);
        // Refused from the header, before a pixel is decoded.
        CheckSize(format, image, limits);
        // Turning the picture needs its rows in any order.
        if (image.get_typeof(VIPS_META_ORIENTATION) != 0 &&
            image.get_int(VIPS_META_ORIENTATION) > 1) {
            image = Open(format, SourceOf(path, bytes), VIPS_ACCESS_RANDOM);
        }
        Copy(ToEightBitRgb(image), limits, format, cancel, sink);
        vips_thread_shutdown();
    } catch (const VError& error) {
        const std::string reason = Reason(error);
        vips_thread_shutdown();
        throw Error(name + " image is not valid: " + reason + ".");
    } catch (...) {
        vips_error_clear();
        vips_thread_shutdown();
        throw;
    }
}

void ReleaseThreadResources()
{
    if (started) {
        vips_thread_shutdown();
    }
}

} // namespace pyrolith::detail
