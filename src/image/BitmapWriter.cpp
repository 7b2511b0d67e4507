#include <algorithm>
#include <stdexcept>
#include <string_view>

#include "common/AtomicFile.h"
#include "image/Bitmap.h"
#include "image/BitmapFormat.h"

namespace pyrolith {
namespace {

constexpr std::uint32_t kPixelsPerMetre = 2835;        // 72 dots per inch
constexpr std::uint32_t kSrgbColourSpace = 0x73524742; // 'sRGB'

// Little-endian fields into a small buffer.
class Fields {
public:
    void u16(std::uint32_t value)
    {
        bytes_.push_back(static_cast<char>(value & 0xFF));
        bytes_.push_back(static_cast<char>((value >> 8) & 0xFF));
    }
    void u32(std::uint32_t value)
    {
        u16(value & 0xFFFF);
        u16(value >> 16);
    }
    void zeros(std::size_t count) { bytes_.append(count, '\0'); }
    void colour(const Rgb& c)
    {
        bytes_.push_back(static_cast<char>(c.b));
        bytes_.push_back(static_cast<char>(c.g));
        bytes_.push_back(static_cast<char>(c.r));
        bytes_.push_back('\0');
    }
    std::string_view view() const { return bytes_; }

private:
    std::string bytes_;
};

struct Layout {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t bitsPerPixel = 0;
    const std::vector<Rgb>* palette = nullptr;
    std::uint32_t masks[4] = {0, 0, 0, 0};
    bool hasMasks = false;
};

// The headers and colour table, everything before the rows.
Fields Headers(const Layout& layout)
{
    const bool alpha = layout.hasMasks && layout.masks[3] != 0;
    // Colour masks go after a 40-byte header; a V4 header holds all four when there is alpha.
    const std::uint32_t headerBytes = alpha ? bmp::kV4HeaderBytes : bmp::kInfoHeaderBytes;
    const std::uint32_t maskBytes = layout.hasMasks && !alpha ? 12 : 0;
    const auto paletteEntries = static_cast<std::uint32_t>(layout.palette->size());
    const std::uint32_t pixelStart =
        bmp::kFileHeaderBytes + headerBytes + maskBytes + 4 * paletteEntries;
    const std::uint64_t imageBytes =
        BitmapRowBytes(static_cast<std::uint64_t>(layout.width), layout.bitsPerPixel) *
        static_cast<std::uint64_t>(layout.height);
    const std::uint64_t fileBytes = pixelStart + imageBytes;
    const auto saturated = [](std::uint64_t value) {
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(value, 0xFFFFFFFFu));
    };

    Fields out;
    out.u16('B' | ('M' << 8));
    out.u32(saturated(fileBytes));
    out.u32(0);
    out.u32(pixelStart);
    out.u32(headerBytes);
    out.u32(static_cast<std::uint32_t>(layout.width));
    out.u32(static_cast<std::uint32_t>(layout.height)); // positive: rows bottom-up
    out.u16(1);
    out.u16(layout.bitsPerPixel);
    out.u32(layout.hasMasks ? bmp::kBitfields : bmp::kRgb);
    out.u32(saturated(imageBytes));
    out.u32(kPixelsPerMetre);
    out.u32(kPixelsPerMetre);
    out.u32(paletteEntries);
    out.u32(0);
    if (alpha) {
        for (std::uint32_t mask : layout.masks) {
            out.u32(mask);
        }
        out.u32(kSrgbColourSpace);
        out.zeros(bmp::kV4HeaderBytes - 60); // end points and gamma, unused for sRGB
    } else if (layout.hasMasks) {
        out.u32(layout.masks[0]);
        out.u32(layout.masks[1]);
        out.u32(layout.masks[2]);
    }
    for (const Rgb& colour : *layout.palette) {
        out.colour(colour);
    }
    return out;
}

Layout LayoutOf(const Bitmap& bitmap)
{
    const std::size_t rowBytes =
        BitmapRowBytes(static_cast<std::uint64_t>(bitmap.width), bitmap.bitsPerPixel);
    if (bitmap.width < 0 || bitmap.height < 0 || bitmap.stride != rowBytes ||
        bitmap.pixels.size() != rowBytes * static_cast<std::size_t>(bitmap.height)) {
        throw std::invalid_argument("WriteBitmap: the rows do not match the size");
    }
    Layout layout;
    layout.width = bitmap.width;
    layout.height = bitmap.height;
    layout.bitsPerPixel = bitmap.bitsPerPixel;
    layout.palette = &bitmap.palette;
    layout.hasMasks = bitmap.hasMasks();
    layout.masks[0] = bitmap.redMask;
    layout.masks[1] = bitmap.greenMask;
    layout.masks[2] = bitmap.blueMask;
    layout.masks[3] = bitmap.alphaMask;
    return layout;
}

std::string_view Bytes(const std::uint8_t* data, std::size_t count)
{
    return {reinterpret_cast<const char*>(data), count};
}

template <typename Sink> void Encode(const Bitmap& bitmap, Sink& sink)
{
    sink.write(Headers(LayoutOf(bitmap)).view());
    for (std::int32_t y = bitmap.height - 1; y >= 0; --y) {
        sink.write(Bytes(bitmap.pixels.data() + static_cast<std::size_t>(y) * bitmap.stride,
                         bitmap.stride));
    }
}

template <typename Sink> void Encode(const MonoBitmap& bitmap, Sink& sink)
{
    const std::vector<Rgb> palette(bitmap.palette().begin(), bitmap.palette().end());
    Layout layout;
    layout.width = bitmap.width();
    layout.height = bitmap.height();
    layout.bitsPerPixel = 4;
    layout.palette = &palette;
    sink.write(Headers(layout).view());

    const std::size_t rowBytes = BitmapRowBytes(static_cast<std::uint64_t>(bitmap.width()), 4);
    std::vector<std::uint8_t> row(rowBytes);
    for (std::int32_t y = bitmap.height() - 1; y >= 0; --y) {
        std::fill(row.begin(), row.end(), 0);
        for (std::int32_t x = 0; x < bitmap.width(); ++x) {
            const std::uint8_t index = bitmap.index(x, y);
            row[static_cast<std::size_t>(x / 2)] |=
                static_cast<std::uint8_t>(x % 2 == 0 ? index << 4 : index);
        }
        sink.write(Bytes(row.data(), row.size()));
    }
}

struct VectorSink {
    std::vector<std::uint8_t> bytes;
    void write(std::string_view data) { bytes.insert(bytes.end(), data.begin(), data.end()); }
};

template <typename Picture>
void WriteFile(const std::filesystem::path& path, const Picture& picture)
{
    AtomicFile file(path);
    Encode(picture, file);
    file.commit();
}

} // namespace

std::vector<std::uint8_t> EncodeBitmap(const Bitmap& bitmap)
{
    VectorSink sink;
    Encode(bitmap, sink);
    return std::move(sink.bytes);
}

std::vector<std::uint8_t> EncodeBitmap(const MonoBitmap& bitmap)
{
    VectorSink sink;
    Encode(bitmap, sink);
    return std::move(sink.bytes);
}

void WriteBitmap(const std::filesystem::path& path, const Bitmap& bitmap)
{
    WriteFile(path, bitmap);
}

void WriteBitmap(const std::filesystem::path& path, const MonoBitmap& bitmap)
{
    WriteFile(path, bitmap);
}

} // namespace pyrolith
