#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

#include "common/Cancel.h"
#include "image/Bitmap.h"
#include "image/GrayLevels.h"

namespace pyrolith {

// The kinds of picture file, told apart by their first bytes, never by the file's name.
enum class PictureFormat { Bitmap, Png, Jpeg, Gif, Tiff, WebP, Unknown };

PictureFormat SniffPictureFormat(std::span<const std::uint8_t> firstBytes);
// "PNG", "JPEG", ... as the messages name them.
std::string_view PictureFormatName(PictureFormat format);

// True when this build reads the formats besides bitmaps.
bool PictureDecodersAvailable();

// Reads a picture of any supported format. A bitmap comes back in its own layout, exactly as
// ReadBitmap gives it; a file that begins like no picture is refused with
// NotAPictureMessage() (bytes of no known format get the bitmap reader's error);
// any other picture as a 24-bit picture: orientation applied, colour profile converted to
// sRGB, transparent parts laid over white, 16-bit samples reduced to 8, the first frame or
// page only. A picture beyond `limits` is refused from its header, before its pixels are
// decoded. Throws pyrolith::Error with the user's text; Cancelled when `cancel` asks.
Bitmap ReadPicture(const std::filesystem::path& path, const BitmapLimits& limits = {},
                   const CancelCheck& cancel = {});
Bitmap ReadPicture(std::span<const std::uint8_t> bytes, const BitmapLimits& limits = {},
                   const CancelCheck& cancel = {});

// The grey levels of a picture read as ReadPicture reads it, without keeping the colour
// picture: a picture of another format than bitmap goes from the decoder's rows straight to
// grey levels. A bitmap layout the load refuses throws UnrecognizedFormatMessage().
GrayRaster ReadPictureGrayLevels(const std::filesystem::path& path, const BitmapLimits& limits = {},
                                 const CancelCheck& cancel = {});

// The black-and-white image of a picture in any mode but Grayscale: in Palette mode
// MakeMonoBitmap(ReadPicture(path)), in the others what MonoFromGray makes of the adjusted
// ReadPictureGrayLevels. A picture of another format than bitmap is converted while its rows
// are decoded (the modes working on grey levels on a second thread), and neither its colours
// nor its grey levels are ever held whole.
MonoBitmap ReadPictureMono(const std::filesystem::path& path, const GrayAdjustments& adjustments,
                           ImageMode mode, int threshold, const BitmapLimits& limits = {},
                           const CancelCheck& cancel = {});
// Takes a picture as ReadPicture reads it, a part at a time from the top.
class PictureParts {
public:
    virtual ~PictureParts() = default;
    // The picture's size, before any of its parts.
    virtual void start(std::int32_t width, std::int32_t height) = 0;
    // A bitmap file: rows top to top + band.height - 1, in the file's own layout (a layout the
    // load refuses included: band.layout tells).
    virtual void band(const Bitmap& band, std::int32_t top) = 0;
    // Any other picture: row y as red, green and blue bytes, rows in turn.
    virtual void row(std::int32_t y, const std::uint8_t* rgb) = 0;
};
// Reads a picture into `parts`, with ReadPicture's messages, without ever holding it whole.
void ReadPictureParts(const std::filesystem::path& path, PictureParts& parts,
                      const BitmapLimits& limits = {}, const CancelCheck& cancel = {});

// "'notes.png' is not a picture that Pyrolith reads (bitmap, PNG, JPEG, GIF, TIFF, WebP)":
// the formats this build reads.
std::string NotAPictureMessage(std::string_view name);

// The message for a picture too large, as the bitmap reader words it.
std::string PictureTooLargeMessage(PictureFormat format, std::uint64_t width, std::uint64_t height);

// Frees what the decoders keep for the calling thread; worker threads call it when done.
void ReleasePictureThreadResources();

} // namespace pyrolith
