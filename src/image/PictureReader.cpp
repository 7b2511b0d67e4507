#include "image/PictureReader.h"

#include <array>
#include <charconv>
#include <cstring>
#include <fstream>

#include "common/Error.h"
#include "image/PictureDecoder.h"

namespace pyrolith {
namespace {

bool StartsWith(std::span<const std::uint8_t> bytes, std::string_view magic, std::size_t at = 0)
{
    return bytes.size() >= at + magic.size() &&
           std::memcmp(bytes.data() + at, magic.data(), magic.size()) == 0;
}

std::string Decimal(std::uint64_t value)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

Bitmap Decode(PictureFormat format, const std::filesystem::path* path,
              std::span<const std::uint8_t> bytes, const BitmapLimits& limits,
              const CancelCheck& cancel)
{
    if (!detail::DecoderAvailable()) {
        throw Error(std::string(PictureFormatName(format)) +
                    " pictures cannot be read by this build of Pyrolith, which reads bitmaps "
                    "only. Save the picture as a bitmap (.bmp) and load that.");
    }
    return detail::DecodePicture(format, path, bytes, limits, cancel);
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
    if (StartsWith(b, std::string_view("II*\0", 4)) || StartsWith(b, std::string_view("MM\0*", 4))) {
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

std::string PictureTooLargeMessage(PictureFormat format, std::uint64_t width, std::uint64_t height)
{
    return std::string(PictureFormatName(format)) + " image is too large: " + Decimal(width) +
           " x " + Decimal(height) + " pixels need more memory than Pyrolith allows.";
}

Bitmap ReadPicture(const std::filesystem::path& path, const BitmapLimits& limits,
                   const CancelCheck& cancel)
{
    std::array<std::uint8_t, 16> head{};
    std::size_t got = 0;
    {
        std::ifstream file(path, std::ios::binary);
        if (file) {
            file.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
            got = static_cast<std::size_t>(file.gcount());
        }
    }
    const PictureFormat format = SniffPictureFormat(std::span(head.data(), got));
    if (format == PictureFormat::Bitmap || format == PictureFormat::Unknown) {
        return ReadBitmap(path, limits); // its own messages, a missing file's included
    }
    return Decode(format, &path, {}, limits, cancel);
}

Bitmap ReadPicture(std::span<const std::uint8_t> bytes, const BitmapLimits& limits,
                   const CancelCheck& cancel)
{
    const PictureFormat format = SniffPictureFormat(bytes);
    if (format == PictureFormat::Bitmap || format == PictureFormat::Unknown) {
        return ReadBitmap(bytes, limits);
    }
    return Decode(format, nullptr, bytes, limits, cancel);
}

void ReleasePictureThreadResources()
{
    detail::ReleaseThreadResources();
}

} // namespace pyrolith
