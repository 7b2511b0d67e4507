#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <limits>
#include <string>

#include "common/Error.h"
#include "common/FileBytes.h"
#include "image/Bitmap.h"
#include "image/BitmapFormat.h"

namespace pyrolith {
namespace {

[[noreturn]] void Invalid(std::string_view reason)
{
    throw Error("Bitmap image is not valid: " + std::string(reason) + ".");
}

[[noreturn]] void NotSupported(std::string_view reason)
{
    throw Error("Bitmap image is not supported: " + std::string(reason) + ".");
}

std::string Decimal(std::uint64_t value)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::uint16_t U16(std::span<const std::uint8_t> bytes, std::uint64_t at)
{
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

std::uint32_t U32(std::span<const std::uint8_t> bytes, std::uint64_t at)
{
    return static_cast<std::uint32_t>(bytes[at]) |
           (static_cast<std::uint32_t>(bytes[at + 1]) << 8) |
           (static_cast<std::uint32_t>(bytes[at + 2]) << 16) |
           (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

std::int32_t I32(std::span<const std::uint8_t> bytes, std::uint64_t at)
{
    return static_cast<std::int32_t>(U32(bytes, at));
}

bool Contiguous(std::uint32_t mask)
{
    if (mask == 0) {
        return true;
    }
    const std::uint32_t shifted = mask >> std::countr_zero(mask);
    return (shifted & (shifted + 1)) == 0;
}

// What the headers say, after every field has been checked.
struct Header {
    std::uint32_t headerSize = 0;
    std::uint64_t width = 0;
    std::uint64_t rows = 0;
    bool topDown = false;
    std::uint16_t bitsPerPixel = 0;
    std::uint32_t compression = bmp::kRgb;
    std::uint32_t masks[4] = {0, 0, 0, 0}; // red, green, blue, alpha
    bool hasMasks = false;
    std::uint64_t paletteStart = 0;
    std::uint32_t paletteEntryBytes = 4;
    std::uint64_t paletteEntries = 0; // as many as the file holds and the bit count can use
    std::uint64_t pixelStart = 0;
};

bool KnownHeaderSize(std::uint32_t size)
{
    // 12: OS/2 1.x core header; 16 to 64: OS/2 2.x header, which may stop after any field
    // (40 is also the Windows info header, 52 and 56 its forms with masks); 108: V4; 124: V5.
    return size == 12 || (size >= 16 && size <= 64 && size % 4 == 0) || size == 108 || size == 124;
}

Header ReadHeader(std::span<const std::uint8_t> bytes)
{
    const std::uint64_t fileSize = bytes.size();
    if (fileSize < bmp::kFileHeaderBytes + 4 || bytes[0] != 'B' || bytes[1] != 'M') {
        Invalid("the file is not a Windows bitmap");
    }
    Header header;
    header.headerSize = U32(bytes, 14);
    if (!KnownHeaderSize(header.headerSize)) {
        Invalid("its header size of " + Decimal(header.headerSize) + " bytes is unknown");
    }
    const std::uint64_t info = bmp::kFileHeaderBytes;
    if (info + header.headerSize > fileSize) {
        Invalid("the file ends inside its header");
    }
    const std::uint64_t pixelOffset = U32(bytes, 10);

    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint16_t planes = 0;
    std::uint32_t colorsUsed = 0;
    if (header.headerSize == bmp::kCoreHeaderBytes) {
        width = U16(bytes, info + 4);
        height = U16(bytes, info + 6);
        planes = U16(bytes, info + 8);
        header.bitsPerPixel = U16(bytes, info + 10);
        header.paletteEntryBytes = 3;
    } else {
        width = I32(bytes, info + 4);
        height = I32(bytes, info + 8);
        planes = U16(bytes, info + 12);
        header.bitsPerPixel = U16(bytes, info + 14);
        if (header.headerSize >= 20) {
            header.compression = U32(bytes, info + 16);
        }
        if (header.headerSize >= 36) {
            colorsUsed = U32(bytes, info + 32);
        }
    }

    // OS/2 2.x gives compression values 3 and 4 other meanings than Windows does.
    const bool os2 = header.headerSize > bmp::kCoreHeaderBytes && header.headerSize <= 64 &&
                     header.headerSize != bmp::kInfoHeaderBytes && header.headerSize != 52 &&
                     header.headerSize != 56;
    if (os2 && header.compression == 3) {
        NotSupported("its pixels are compressed with the Huffman 1D method");
    }
    if (os2 && header.compression == 4) {
        NotSupported("its pixels are compressed with the 24-bit run-length method");
    }

    if (planes != 1) {
        Invalid("its number of colour planes is " + Decimal(planes) + " instead of 1");
    }
    if (width <= 0) {
        Invalid("its width is not a positive number");
    }
    if (height == 0) {
        Invalid("it has no rows");
    }
    header.width = static_cast<std::uint64_t>(width);
    header.topDown = height < 0;
    header.rows = static_cast<std::uint64_t>(height < 0 ? -height : height);
    if (header.rows > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
        Invalid("its height is out of range");
    }

    const std::uint16_t bits = header.bitsPerPixel;
    switch (header.compression) {
    case bmp::kRgb:
        if (bits == 64) {
            throw Error(UnrecognizedFormatMessage());
        }
        if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 &&
            bits != 32) {
            Invalid("its bit count of " + Decimal(bits) + " per pixel is not valid");
        }
        break;
    case bmp::kRle8:
    case bmp::kRle4:
        if (bits != (header.compression == bmp::kRle8 ? 8 : 4)) {
            Invalid("its run-length compression does not match its bit count");
        }
        if (header.topDown) {
            Invalid("run-length encoded rows cannot be stored top-down");
        }
        break;
    case bmp::kBitfields:
    case bmp::kAlphaBitfields:
        if (bits != 16 && bits != 32) {
            Invalid("colour masks need 16 or 32 bits per pixel, not " + Decimal(bits));
        }
        header.hasMasks = true;
        break;
    case bmp::kJpeg:
        NotSupported("it holds a JPEG picture");
    case bmp::kPng:
        NotSupported("it holds a PNG picture");
    default:
        NotSupported("its compression method " + Decimal(header.compression) + " is unknown");
    }

    std::uint64_t afterHeader = info + header.headerSize;
    if (header.hasMasks) {
        const int maskCount = header.compression == bmp::kAlphaBitfields ? 4 : 3;
        // The 40-byte header is followed by the masks; the larger headers hold them.
        std::uint64_t maskAt = info + bmp::kInfoHeaderBytes;
        if (header.headerSize == bmp::kInfoHeaderBytes) {
            afterHeader += 4u * static_cast<unsigned>(maskCount);
            if (afterHeader > fileSize) {
                Invalid("the file ends inside its colour masks");
            }
        } else if (header.headerSize < bmp::kInfoHeaderBytes + 12) {
            Invalid("its header is too short for its colour masks");
        }
        for (int i = 0; i < 4; ++i) {
            const bool stored = i < maskCount || header.headerSize >= bmp::kInfoHeaderBytes + 16;
            if (stored && maskAt + 4 <= afterHeader) {
                header.masks[i] = U32(bytes, maskAt);
            }
            maskAt += 4;
        }
        for (std::uint32_t mask : header.masks) {
            if (!Contiguous(mask)) {
                Invalid("a colour mask has gaps in its bits");
            }
            if (bits == 16 && (mask >> 16) != 0) {
                Invalid("a colour mask reaches past the 16 bits of a pixel");
            }
        }
        if ((header.masks[0] | header.masks[1] | header.masks[2]) == 0) {
            Invalid("its colour masks are all empty");
        }
    }

    header.paletteStart = afterHeader;
    if (pixelOffset < header.paletteStart) {
        Invalid("its pixels start inside its header");
    }
    if (pixelOffset > fileSize) {
        Invalid("its pixels start past the end of the file");
    }
    header.pixelStart = pixelOffset;
    const std::uint64_t room = (pixelOffset - header.paletteStart) / header.paletteEntryBytes;
    if (colorsUsed > room) {
        Invalid("its colour table of " + Decimal(colorsUsed) +
                " entries does not fit before its pixels");
    }
    if (bits <= 8) {
        const std::uint64_t usable = std::uint64_t{1} << bits;
        const std::uint64_t declared = colorsUsed != 0 ? colorsUsed : usable;
        header.paletteEntries = std::min({declared, usable, room});
        if (header.paletteEntries == 0) {
            Invalid("it has no colour table");
        }
    }
    return header;
}

void CheckLimits(const Header& header, std::uint64_t rowBytes, const BitmapLimits& limits)
{
    if (header.width > limits.maxPixelCount / header.rows ||
        rowBytes > limits.maxPixelBytes / header.rows) {
        throw Error(PictureTooLargeText("Bitmap", header.width, header.rows));
    }
}

// The last row's padding may be missing; its pixels may not.
void CheckUncompressedSize(std::span<const std::uint8_t> bytes, const Header& header,
                           std::uint64_t rowBytes)
{
    const std::uint64_t lastRowBytes = (header.width * header.bitsPerPixel + 7) / 8;
    const std::uint64_t needed = (header.rows - 1) * rowBytes + lastRowBytes;
    if (needed > bytes.size() - header.pixelStart) {
        Invalid("the file ends before the last of its pixels");
    }
}

// Rows first .. first + count - 1 (from the top) into `target`. Only the pixels are copied:
// the padding of every row stays zero, so that equal pictures have equal rows whatever the
// file held there.
void CopyUncompressedRows(std::span<const std::uint8_t> bytes, const Header& header,
                          std::uint64_t rowBytes, std::uint64_t first, std::uint64_t count,
                          std::uint8_t* target)
{
    const std::uint64_t lastRowBytes = (header.width * header.bitsPerPixel + 7) / 8;
    const unsigned usedBits = static_cast<unsigned>(header.width * header.bitsPerPixel % 8);
    const std::uint8_t lastByteMask =
        usedBits == 0 ? std::uint8_t{0xFF} : static_cast<std::uint8_t>(0xFF00u >> usedBits);
    const std::uint8_t* source = bytes.data() + header.pixelStart;
    for (std::uint64_t row = first; row < first + count; ++row, target += rowBytes) {
        const std::uint64_t fileRow = header.topDown ? row : header.rows - 1 - row;
        std::memcpy(target, source + fileRow * rowBytes, lastRowBytes);
        target[lastRowBytes - 1] &= lastByteMask;
    }
}

void ReadUncompressed(std::span<const std::uint8_t> bytes, const Header& header, Bitmap& bitmap)
{
    CheckUncompressedSize(bytes, header, bitmap.stride);
    bitmap.pixels = PixelBuffer(bitmap.stride * header.rows);
    CopyUncompressedRows(bytes, header, bitmap.stride, 0, header.rows, bitmap.pixels.data());
}

// Run-length encoded rows, 8 or 4 bits per pixel, bottom-up. Every step consumes at least
// two bytes of the file and writes at most 255 pixels, each checked against the picture.
void ReadRunLength(std::span<const std::uint8_t> bytes, const Header& header, Bitmap& bitmap)
{
    const bool four = header.compression == bmp::kRle4;
    const std::uint64_t width = header.width;
    const std::uint64_t rows = header.rows;
    bitmap.pixels = PixelBuffer(bitmap.stride * rows);
    auto put = [&](std::uint64_t x, std::uint64_t y, std::uint8_t value) {
        std::uint8_t* row = bitmap.pixels.data() + (rows - 1 - y) * bitmap.stride;
        if (four) {
            std::uint8_t& cell = row[x / 2];
            cell = (x % 2 == 0) ? static_cast<std::uint8_t>((cell & 0x0F) | (value << 4))
                                : static_cast<std::uint8_t>((cell & 0xF0) | (value & 0x0F));
        } else {
            row[x] = value;
        }
    };
    auto outside = [] { Invalid("its compressed pixels run outside the picture"); };

    const std::uint64_t end = bytes.size();
    std::uint64_t at = header.pixelStart;
    std::uint64_t x = 0;
    std::uint64_t y = 0;
    for (;;) {
        if (end - at < 2) {
            if (y >= rows) {
                return; // the end-of-bitmap mark is missing after the last row
            }
            Invalid("the file ends before the last of its pixels");
        }
        const std::uint8_t count = bytes[at];
        const std::uint8_t code = bytes[at + 1];
        at += 2;
        if (count > 0) {
            if (y >= rows || count > width - x) {
                outside();
            }
            for (unsigned i = 0; i < count; ++i) {
                const std::uint8_t value =
                    four ? static_cast<std::uint8_t>(i % 2 == 0 ? code >> 4 : code & 0x0F) : code;
                put(x++, y, value);
            }
            continue;
        }
        switch (code) {
        case 0: // end of row
            x = 0;
            ++y;
            break;
        case 1: // end of bitmap
            return;
        case 2: { // move right and up
            if (end - at < 2) {
                Invalid("the file ends before the last of its pixels");
            }
            x += bytes[at];
            y += bytes[at + 1];
            at += 2;
            if (x > width || y > rows) {
                outside();
            }
            break;
        }
        default: { // `code` pixels stored one by one, padded to a 16-bit boundary
            const std::uint64_t dataBytes = four ? (code + 1u) / 2 : code;
            if (end - at < dataBytes) {
                Invalid("the file ends before the last of its pixels");
            }
            if (y >= rows || code > width - x) {
                outside();
            }
            for (unsigned i = 0; i < code; ++i) {
                const std::uint8_t packed = bytes[at + (four ? i / 2 : i)];
                const std::uint8_t value =
                    four ? static_cast<std::uint8_t>(i % 2 == 0 ? packed >> 4 : packed & 0x0F)
                         : packed;
                put(x++, y, value);
            }
            at += std::min<std::uint64_t>(dataBytes + dataBytes % 2, end - at);
            break;
        }
        }
    }
}

// An index past the colour table has no colour; such a file is refused rather than guessed.
void CheckIndices(const Bitmap& bitmap)
{
    const unsigned bits = bitmap.bitsPerPixel;
    if (bitmap.palette.size() >= (std::size_t{1} << bits)) {
        return;
    }
    const unsigned limit = static_cast<unsigned>(bitmap.palette.size());
    const unsigned perByte = 8 / bits;
    const unsigned valueMask = (1u << bits) - 1;
    const auto width = static_cast<std::size_t>(bitmap.width);
    for (std::size_t y = 0; y < static_cast<std::size_t>(bitmap.height); ++y) {
        const std::uint8_t* row = bitmap.pixels.data() + y * bitmap.stride;
        for (std::size_t x = 0; x < width; ++x) {
            const unsigned shift = 8 - bits * (1 + static_cast<unsigned>(x % perByte));
            if (((row[x / perByte] >> shift) & valueMask) >= limit) {
                Invalid("some pixels use colours that are missing from its colour table");
            }
        }
    }
}

PixelLayout LayoutOf(const Bitmap& bitmap)
{
    switch (bitmap.bitsPerPixel) {
    case 1:
    case 4:
    case 8:
        return bitmap.palette.empty() ? PixelLayout::Unrecognized : PixelLayout::Indexed;
    case 16:
        if (!bitmap.hasMasks()) {
            return PixelLayout::Rgb555;
        }
        return bitmap.greenMask == 0x07E0 ? PixelLayout::Rgb565 : PixelLayout::Unrecognized;
    case 24:
        return PixelLayout::Rgb888;
    case 32:
        return bitmap.hasMasks() ? PixelLayout::Unrecognized : PixelLayout::Rgb888x;
    default:
        return PixelLayout::Unrecognized;
    }
}

} // namespace

std::uint64_t BitmapRowBytes(std::uint64_t width, std::uint32_t bitsPerPixel)
{
    return (width * bitsPerPixel + 31) / 32 * 4;
}

namespace {

// The bitmap of a header without its pixels.
Bitmap Describe(std::span<const std::uint8_t> bytes, const Header& header, const BitmapLimits& limits)
{
    const std::uint64_t rowBytes = BitmapRowBytes(header.width, header.bitsPerPixel);
    CheckLimits(header, rowBytes, limits);

    Bitmap bitmap;
    bitmap.width = static_cast<std::int32_t>(header.width);
    bitmap.height = static_cast<std::int32_t>(header.rows);
    bitmap.bitsPerPixel = header.bitsPerPixel;
    bitmap.stride = static_cast<std::size_t>(rowBytes);
    if (header.hasMasks) {
        bitmap.redMask = header.masks[0];
        bitmap.greenMask = header.masks[1];
        bitmap.blueMask = header.masks[2];
        bitmap.alphaMask = header.masks[3];
    }
    bitmap.palette.reserve(header.paletteEntries);
    for (std::uint64_t i = 0; i < header.paletteEntries; ++i) {
        const std::uint64_t at = header.paletteStart + i * header.paletteEntryBytes;
        bitmap.palette.push_back(Rgb{bytes[at + 2], bytes[at + 1], bytes[at]});
    }
    return bitmap;
}

bool RunLength(const Header& header)
{
    return header.compression == bmp::kRle8 || header.compression == bmp::kRle4;
}

template <typename Read> auto WithFile(const std::filesystem::path& path, bool streamed, Read&& read)
{
    try {
        const FileBytes file(path, std::numeric_limits<std::uint64_t>::max(), streamed);
        return read(file);
    } catch (const FileReadError& error) {
        if (error.kind() == FileReadError::Kind::NotRegular) {
            Invalid("it is not a regular file");
        }
        throw;
    }
}

} // namespace

Bitmap ReadBitmap(std::span<const std::uint8_t> bytes, const BitmapLimits& limits)
{
    const Header header = ReadHeader(bytes);
    Bitmap bitmap = Describe(bytes, header, limits);
    if (RunLength(header)) {
        ReadRunLength(bytes, header, bitmap);
    } else {
        ReadUncompressed(bytes, header, bitmap);
    }
    if (bitmap.bitsPerPixel <= 8) {
        CheckIndices(bitmap);
    }
    bitmap.layout = LayoutOf(bitmap);
    return bitmap;
}

Bitmap ReadBitmap(const std::filesystem::path& path, const BitmapLimits& limits)
{
    return WithFile(path, false, [&](const FileBytes& file) { return ReadBitmap(file.bytes(), limits); });
}

void ReadBitmapBands(const std::filesystem::path& path, const BitmapLimits& limits,
                     std::int32_t bandRows, const BitmapBandUse& use)
{
    WithFile(path, true, [&](const FileBytes& file) {
        const std::span<const std::uint8_t> bytes = file.bytes();
        const Header header = ReadHeader(bytes);
        if (RunLength(header)) {
            const Bitmap whole = ReadBitmap(bytes, limits);
            use(whole, 0, whole.height);
            return;
        }
        Bitmap band = Describe(bytes, header, limits);
        CheckUncompressedSize(bytes, header, band.stride);
        band.layout = LayoutOf(band);
        const std::int32_t height = band.height;
        const std::uint64_t rowBytes = band.stride;
        band.pixels = PixelBuffer(rowBytes * static_cast<std::size_t>(std::min(bandRows, height)));
        for (std::int32_t top = 0; top < height; top += bandRows) {
            const std::int32_t rows = std::min(bandRows, height - top);
            band.height = rows;
            const auto first = static_cast<std::uint64_t>(top);
            const auto count = static_cast<std::uint64_t>(rows);
            CopyUncompressedRows(bytes, header, rowBytes, first, count, band.pixels.data());
            // The file's rows of this band are not read again.
            const std::uint64_t firstFileRow = header.topDown ? first : header.rows - first - count;
            file.release(static_cast<std::size_t>(header.pixelStart + firstFileRow * rowBytes),
                         static_cast<std::size_t>(count * rowBytes));
            if (band.bitsPerPixel <= 8) {
                CheckIndices(band);
            }
            use(band, top, height);
        }
    });
}

Rgb Bitmap::pixel(std::int32_t x, std::int32_t y) const
{
    const std::uint8_t* row = pixels.data() + static_cast<std::size_t>(y) * stride;
    const auto column = static_cast<std::size_t>(x);
    switch (bitsPerPixel) {
    case 1:
    case 2:
    case 4:
    case 8: {
        const unsigned perByte = 8u / bitsPerPixel;
        const unsigned shift = 8u - bitsPerPixel * (1u + static_cast<unsigned>(column % perByte));
        const std::size_t index = (row[column / perByte] >> shift) & ((1u << bitsPerPixel) - 1);
        return index < palette.size() ? palette[index] : Rgb{};
    }
    case 16: {
        const std::uint32_t value = row[column * 2] | (row[column * 2 + 1] << 8);
        if (!hasMasks()) {
            return bmp::DecodeMasked(value, bmp::kDefault16Masks);
        }
        return bmp::DecodeMasked(value, {redMask, greenMask, blueMask});
    }
    case 24:
        return Rgb{row[column * 3 + 2], row[column * 3 + 1], row[column * 3]};
    case 32: {
        const std::uint8_t* p = row + column * 4;
        if (!hasMasks()) {
            return Rgb{p[2], p[1], p[0]};
        }
        const std::uint32_t value =
            static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
            (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
        return bmp::DecodeMasked(value, {redMask, greenMask, blueMask});
    }
    default:
        return Rgb{};
    }
}

} // namespace pyrolith
