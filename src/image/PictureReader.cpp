#include "image/PictureReader.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <condition_variable>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

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

// Rows straight into the black-and-white image: each decoded row goes through a ring of rows
// to a second thread that makes its grey levels and then black and white while the next rows
// are decoded (the decoder's thread only copies the row). Only the image and the ring are
// held, never the whole picture's colours or grey levels.
class MonoSink final : public detail::RowSink {
public:
    MonoSink(const std::array<std::uint8_t, 256>& adjustment, ImageMode mode, int threshold)
        : adjustment_(adjustment), mode_(mode), threshold_(threshold)
    {
    }
    ~MonoSink() override { stop(); }
    MonoSink(const MonoSink&) = delete;
    MonoSink& operator=(const MonoSink&) = delete;

    void start(std::int32_t width, std::int32_t height) override
    {
        width_ = static_cast<std::size_t>(width);
        height_ = static_cast<std::size_t>(height);
        rows_ = std::make_unique<MonoRows>(mode_, threshold_, width);
        ring_.assign(kRing * 3 * width_, 0);
        gray_.assign(width_, 0);
        indices_ = PixelBuffer(width_ * height_);
        worker_ = std::thread([this] { convert(); });
    }
    void row(std::int32_t y, const std::uint8_t* rgb) override
    {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return decoded_ - converted_ < kRing; });
        }
        std::copy_n(rgb, 3 * width_,
                    ring_.data() + static_cast<std::size_t>(y) % kRing * 3 * width_);
        std::size_t decoded = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            decoded = ++decoded_;
        }
        // The other side is woken a few rows at a time, not for every row.
        if (decoded % kWakeRows == 0 || decoded == height_) {
            changed_.notify_all();
        }
    }
    // The image once every row is decoded.
    MonoBitmap finish()
    {
        bool complete = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            complete = worker_.joinable() && decoded_ == height_;
        }
        if (!complete) {
            stop();
            throw Error("The picture ended before its last row.");
        }
        worker_.join();
        return MonoBitmap(static_cast<std::int32_t>(width_), static_cast<std::int32_t>(height_),
                          std::vector<Rgb>(StandardPalette().begin(), StandardPalette().end()),
                          std::move(indices_));
    }

private:
    // A side that waits is woken once kWakeRows rows are ready for it: the decoder is never
    // kept waiting for long, as the ring holds two strips of the decoder's. A larger ring
    // was no faster and holds 3 MB more on a picture 10000 pixels wide.
    static constexpr std::size_t kRing = 32;
    static constexpr std::size_t kWakeRows = 16;

    void convert()
    {
        for (std::size_t y = 0; y < height_; ++y) {
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [&] { return decoded_ > y || stopping_; });
                if (stopping_) {
                    return;
                }
            }
            const std::uint8_t* rgb = ring_.data() + y % kRing * 3 * width_;
            for (std::size_t x = 0; x < width_; ++x, rgb += 3) {
                gray_[x] = adjustment_[GrayLevel(Rgb{rgb[0], rgb[1], rgb[2]})];
            }
            rows_->row(y, gray_.data(), indices_.data() + y * width_);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                ++converted_;
            }
            if ((y + 1) % kWakeRows == 0) {
                changed_.notify_all();
            }
        }
    }
    void stop()
    {
        if (worker_.joinable()) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                stopping_ = true;
            }
            changed_.notify_all();
            worker_.join();
        }
    }

    const std::array<std::uint8_t, 256>& adjustment_;
    ImageMode mode_;
    int threshold_;
    std::size_t width_ = 0;
    std::size_t height_ = 0;
    std::unique_ptr<MonoRows> rows_;
    std::vector<std::uint8_t> ring_; // kRing rows of red, green and blue
    std::vector<std::uint8_t> gray_; // the row being converted
    PixelBuffer indices_;
    std::size_t decoded_ = 0;
    std::size_t converted_ = 0;
    bool stopping_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread worker_;
};

// Rows straight into the black-and-white image of the palette rule.
class PaletteSink final : public detail::RowSink {
public:
    void start(std::int32_t width, std::int32_t height) override
    {
        width_ = width;
        height_ = height;
        indices_ = PixelBuffer(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    }
    void row(std::int32_t y, const std::uint8_t* rgb) override
    {
        const auto width = static_cast<std::size_t>(width_);
        MonoPaletteRow(rgb, width, indices_.data() + static_cast<std::size_t>(y) * width);
    }
    MonoBitmap finish()
    {
        return MonoBitmap(width_, height_,
                          std::vector<Rgb>(StandardPalette().begin(), StandardPalette().end()),
                          std::move(indices_));
    }

private:
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    PixelBuffer indices_;
};

// A bitmap file band by band into one byte a pixel, each band made by `convert` (a MonoBitmap
// or a GrayRaster of the band), without the whole picture in memory.
constexpr std::int32_t kBandRows = 64;

template <typename Convert>
void BitmapBands(const std::filesystem::path& path, const BitmapLimits& limits,
                 const CancelCheck& cancel, PixelBuffer& pixels, Convert&& convert)
{
    ReadBitmapBands(path, limits, kBandRows,
                    [&](const Bitmap& band, std::int32_t top, std::int32_t height) {
                        if (band.layout == PixelLayout::Unrecognized) {
                            throw Error(UnrecognizedFormatMessage());
                        }
                        ThrowIfCancelled(cancel);
                        const auto width = static_cast<std::size_t>(band.width);
                        if (pixels.empty()) {
                            pixels = PixelBuffer(width * static_cast<std::size_t>(height));
                        }
                        const auto part = convert(band);
                        std::copy_n(part.data(), width * static_cast<std::size_t>(band.height),
                                    pixels.data() + static_cast<std::size_t>(top) * width);
                    });
}

GrayRaster BitmapGrayLevels(const std::filesystem::path& path, const BitmapLimits& limits,
                            const CancelCheck& cancel)
{
    GrayRaster gray;
    BitmapBands(path, limits, cancel, gray.pixels, [&](const Bitmap& band) {
        gray.width = band.width;
        gray.height += band.height;
        return GrayLevels(band, cancel).pixels;
    });
    return gray;
}

MonoBitmap BitmapMono(const std::filesystem::path& path, const BitmapLimits& limits,
                      const CancelCheck& cancel)
{
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<Rgb> palette;
    PixelBuffer indices;
    BitmapBands(path, limits, cancel, indices, [&](const Bitmap& band) {
        MonoBitmap part = MakeMonoBitmap(band);
        width = band.width;
        height += band.height;
        palette.assign(part.palette().begin(), part.palette().end());
        return part.indices();
    });
    return MonoBitmap(width, height, std::move(palette), std::move(indices));
}

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
        return BitmapGrayLevels(path, limits, cancel);
    }
    GraySink sink;
    Decode(format, &path, {}, limits, cancel, sink);
    return std::move(sink.gray);
}

MonoBitmap ReadPictureMono(const std::filesystem::path& path, const GrayAdjustments& adjustments,
                           ImageMode mode, int threshold, const BitmapLimits& limits,
                           const CancelCheck& cancel)
{
    const PictureFormat format = SniffFile(path);
    const bool bitmap = format == PictureFormat::Bitmap || format == PictureFormat::Unknown;
    if (mode == ImageMode::Palette) {
        if (bitmap) {
            return BitmapMono(path, limits, cancel);
        }
        PaletteSink sink;
        Decode(format, &path, {}, limits, cancel, sink);
        return sink.finish();
    }
    if (bitmap) {
        GrayRaster gray = ReadPictureGrayLevels(path, limits, cancel);
        AdjustGrayLevels(gray, adjustments);
        return MonoFromGray(std::move(gray), mode, threshold, cancel);
    }
    const std::array<std::uint8_t, 256> adjustment = AdjustmentTable(adjustments);
    MonoSink sink(adjustment, mode, threshold);
    Decode(format, &path, {}, limits, cancel, sink);
    return sink.finish();
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

void ReadPictureParts(const std::filesystem::path& path, PictureParts& parts,
                      const BitmapLimits& limits, const CancelCheck& cancel)
{
    const PictureFormat format = SniffFile(path);
    if (format == PictureFormat::Bitmap || format == PictureFormat::Unknown) {
        ReadBitmapBands(path, limits, kBandRows,
                        [&](const Bitmap& band, std::int32_t top, std::int32_t height) {
                            ThrowIfCancelled(cancel);
                            if (top == 0) {
                                parts.start(band.width, height);
                            }
                            parts.band(band, top);
                        });
        return;
    }
    class Rows final : public detail::RowSink {
    public:
        explicit Rows(PictureParts& parts) : parts_(parts) {}
        void start(std::int32_t width, std::int32_t height) override
        {
            parts_.start(width, height);
        }
        void row(std::int32_t y, const std::uint8_t* rgb) override { parts_.row(y, rgb); }

    private:
        PictureParts& parts_;
    } rows(parts);
    Decode(format, &path, {}, limits, cancel, rows);
}

void ReleasePictureThreadResources()
{
    detail::ReleaseThreadResources();
}

} // namespace pyrolith
