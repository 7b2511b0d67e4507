#include "image/PictureReader.h"

#include <array>
#include <charconv>
#include <cstring>
#include <fstream>

#include "common/Error.h"
#include "common/PathText.h"
#include "image/GrayLevels.h"
#include "image/PictureDecoder.h"

namespace pyrolith {
namespace {

bool StartsWith(std::span<const std::uint8_t> bytes, std::string_view magic, std::size_t at = 0)
{
    return bytes.size() >= at + magic.size() &&
           std::memcmp(bytes.data() + at, magic.data(), magic.size()) == 0;
}

// Rows into a 24-bit picture.
class BitmapSink final : public detail::RowSink {
public:
    void start(std::int32_t width, std::int32_t height) override
    {
        bitmap.width = width;
        bitmap.height = height;
        bitmap.bitsPerPixel = 24;
        bitmap.layout = PixelLayout::Rgb888;
        bitmap.stride =
            static_cast<std::size_t>(BitmapRowBytes(static_cast<std::uint64_t>(width), 24));
        bitmap.pixels = PixelBuffer(bitmap.stride * static_cast<std::size_t>(height));
    }
    void row(std::int32_t y, const std::uint8_t* rgb) override
    {
        std::uint8_t* target = bitmap.pixels.data() + static_cast<std::size_t>(y) * bitmap.stride;
        for (std::int32_t x = 0; x < bitmap.width; ++x, rgb += 3, target += 3) {
            target[0] = rgb[2];
            target[1] = rgb[1];
            target[2] = rgb[0];
        }
    }
    Bitmap bitmap;
};

// Rows straight into grey levels, without the colour picture.
class GraySink final : public detail::RowSink {
public:
    void start(std::int32_t width, std::int32_t height) override
    {
        gray.width = width;
        gray.height = height;
        gray.pixels =
            PixelBuffer(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    }
    void row(std::int32_t y, const std::uint8_t* rgb) override
    {
        std::uint8_t* target =
            gray.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(gray.width);
        for (std::int32_t x = 0; x < gray.width; ++x, rgb += 3) {
            target[x] = GrayLevel(Rgb{rgb[0], rgb[1], rgb[2]});
        }
    }
    GrayRaster gray;
};

void Decode(PictureFormat format, const std::filesystem::path* path,
            std::span<const std::uint8_t> bytes, const BitmapLimits& limits,
            const CancelCheck& cancel, detail::RowSink& sink)
{
    if (!detail::DecoderAvailable()) {
        throw Error(std::string(PictureFormatName(format)) +
                    " pictures cannot be read by this build of Pyrolith, which reads bitmaps "
                    "only. Save the picture as a bitmap (.bmp) and load that.");
    }
    detail::DecodePicture(format, path, bytes, limits, cancel, sink);
}

PictureFormat SniffFile(const std::filesystem::path& path)
{
    std::array<std::uint8_t, 16> head{};
    std::size_t got = 0;
    std::ifstream file(path, std::ios::binary);
    const bool opened = file.is_open();
    if (opened) {
        file.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
        got = static_cast<std::size_t>(file.gcount());
    }
    const PictureFormat format = SniffPictureFormat(std::span(head.data(), got));
    // A file that opens and begins like no picture (a text file, an empty file) is none; one
    // that does not open gets the bitmap reader's message, which says why.
    std::error_code error;
    if (format == PictureFormat::Unknown && opened && std::filesystem::is_regular_file(path, error)) {
        throw Error(NotAPictureMessage(Utf8FromPath(path.filename())));
    }
    return format;
}

} // namespace

PictureFormat SniffPictureFormat(std::span<const std::uint8_t> b)
{
    if (StartsWith(b, "BM")) {
        return PictureFormat::Bitmap;
    }
    if (StartsWith(b, "\x89PNG\r\n\x1A\n")) {
        return PictureFormat::Png;
    }
    if (StartsWith(b, "\xFF\xD8\xFF")) {
        return PictureFormat::Jpeg;
    }
    if (StartsWith(b, "GIF87a") || StartsWith(b, "GIF89a")) {
        return PictureFormat::Gif;
    }
    if (StartsWith(b, std::string_view("II*\0", 4)) ||
        StartsWith(b, std::string_view("MM\0*", 4))) {
        return PictureFormat::Tiff;
    }
    if (StartsWith(b, "RIFF") && StartsWith(b, "WEBP", 8)) {
        return PictureFormat::WebP;
    }
    return PictureFormat::Unknown;
}

std::string_view PictureFormatName(PictureFormat format)
{
    constexpr std::array<std::string_view, 7> kNames = {"Bitmap", "PNG",  "JPEG",   "GIF",
                                                        "TIFF",   "WebP", "Picture"};
    return kNames[static_cast<std::size_t>(format)];
}

bool PictureDecodersAvailable()
{
    return detail::DecoderAvailable();
}

std::string NotAPictureMessage(std::string_view name)
{
    return "'" + std::string(name) + "' is not a picture that Pyrolith reads (" +
           (PictureDecodersAvailable() ? "bitmap, PNG, JPEG, GIF, TIFF, WebP" : "bitmap") + ")";
}

std::string PictureTooLargeMessage(PictureFormat format, std::uint64_t width, std::uint64_t height)
{
    return PictureTooLargeText(PictureFormatName(format), width, height);
}

Bitmap ReadPicture(const std::filesystem::path& path, const BitmapLimits& limits,
                   const CancelCheck& cancel)
{
    const PictureFormat format = SniffFile(path);
    if (format == PictureFormat::Bitmap || format == PictureFormat::Unknown) {
        return ReadBitmap(path, limits); // its own messages, a missing file's included
    }
    BitmapSink sink;
    Decode(format, &path, {}, limits, cancel, sink);
    return std::move(sink.bitmap);
}

GrayRaster ReadPictureGrayLevels(const std::filesystem::path& path, const BitmapLimits& limits,
                                 const CancelCheck& cancel)
{
    const PictureFormat format = SniffFile(path);
    if (format == PictureFormat::Bitmap || format == PictureFormat::Unknown) {
        const Bitmap bitmap = ReadBitmap(path, limits);
        if (bitmap.layout == PixelLayout::Unrecognized) {
            throw Error(UnrecognizedFormatMessage());
        }
        return GrayLevels(bitmap, cancel);
    }
    GraySink sink;
    Decode(format, &path, {}, limits, cancel, sink);
    return std::move(sink.gray);
}

Bitmap ReadPicture(std::span<const std::uint8_t> bytes, const BitmapLimits& limits,
                   const CancelCheck& cancel)
{
    const PictureFormat format = SniffPictureFormat(bytes);
    if (format == PictureFormat::Bitmap || format == PictureFormat::Unknown) {
        return ReadBitmap(bytes, limits);
    }
    BitmapSink sink;
    Decode(format, nullptr, bytes, limits, cancel, sink);
    return std::move(sink.bitmap);
}

void ReleasePictureThreadResources()
{
    detail::ReleaseThreadResources();
}

} // namespace pyrolith
