#include "app/PictureReading.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "image/Bitmap.h"
#include "image/PhotoCheck.h"
#include "image/PictureReader.h"
#include "image/Resample.h"

namespace {

// Stops the reading of a bitmap layout the load refuses.
struct RefusedLayout {};

class WindowParts final : public pyrolith::PictureParts {
public:
    WindowParts(const PictureReadRequest& request, const pyrolith::CancelCheck& cancel)
        : request_(request), cancel_(cancel)
    {
    }

    void start(std::int32_t width, std::int32_t height) override
    {
        read.width = width;
        read.height = height;
        if (request_.viewSide > 0) {
            const std::int64_t longSide = std::max(width, height);
            if (longSide <= request_.viewSide) {
                read.view = QImage(width, height, QImage::Format_RGB32);
            } else {
                const std::int64_t columns =
                    std::max<std::int64_t>(1, width * request_.viewSide / longSide);
                viewResampler_.emplace(width, height, columns,
                                       [this](std::int64_t y, const std::uint8_t* rgb) {
                                           viewRow(static_cast<int>(y), rgb);
                                       });
                read.view = QImage(static_cast<int>(columns),
                                   static_cast<int>(viewResampler_->rows()),
                                   QImage::Format_RGB32);
            }
            if (read.view.isNull()) {
                throw std::bad_alloc();
            }
            photo_.emplace(width, height);
        }
        width_ = static_cast<std::size_t>(width);
        height_ = static_cast<std::size_t>(height);
        if (request_.columns > 0) {
            working_.emplace(width, height, request_.columns,
                             [this](std::int64_t y, const std::uint8_t* rgb) {
                                 workingRow(static_cast<std::size_t>(y), rgb);
                             });
            width_ = static_cast<std::size_t>(working_->columns());
            height_ = static_cast<std::size_t>(working_->rows());
        }
        if (request_.gray) {
            gray_ = pyrolith::PixelBuffer(width_ * height_);
        }
        if (request_.palette) {
            indices_ = pyrolith::PixelBuffer(width_ * height_);
        }
    }

    void band(const pyrolith::Bitmap& band, std::int32_t top) override
    {
        if (band.layout == pyrolith::PixelLayout::Unrecognized) {
            throw RefusedLayout{};
        }
        if (request_.viewSide > 0 || working_) {
            for (std::int32_t y = 0; y < band.height; ++y) {
                pyrolith::PictureRowRgb(band, y, rgb_);
                sourceRow(top + y, rgb_.data(), false);
            }
        }
        if (working_) {
            return;
        }
        // The picture is the one the job engraves: each band its grey levels and image as the
        // whole picture's (a 4-bit bitmap keeps its own colour table).
        const std::size_t at = static_cast<std::size_t>(top) * width_;
        if (request_.gray) {
            const pyrolith::GrayRaster part = pyrolith::GrayLevels(band, cancel_);
            std::copy(part.pixels.begin(), part.pixels.end(), gray_.begin() + at);
        }
        if (request_.palette) {
            const pyrolith::MonoBitmap part = pyrolith::MakeMonoBitmap(band);
            std::copy(part.indices().begin(), part.indices().end(), indices_.begin() + at);
            palette_.assign(part.palette().begin(), part.palette().end());
        }
    }

    void row(std::int32_t y, const std::uint8_t* rgb) override { sourceRow(y, rgb, true); }

    PictureRead finish()
    {
        if (photo_) {
            read.photo = photo_->looksLikePhoto();
        }
        const auto width = static_cast<std::int32_t>(width_);
        const auto height = static_cast<std::int32_t>(height_);
        if (request_.gray) {
            auto gray = std::make_shared<pyrolith::GrayRaster>();
            gray->width = width;
            gray->height = height;
            gray->pixels = std::move(gray_);
            read.gray = std::move(gray);
        }
        if (request_.palette) {
            if (palette_.empty()) {
                palette_.assign(pyrolith::StandardPalette().begin(),
                                pyrolith::StandardPalette().end());
            }
            read.palette = std::make_shared<const pyrolith::MonoBitmap>(
                width, height, std::move(palette_), std::move(indices_));
        }
        return std::move(read);
    }

    PictureRead read;

private:
    // Row y of the picture as read, as red, green and blue bytes; `engraved`: the row is
    // also the one the job engraves, when there is no resize.
    void sourceRow(std::int32_t y, const std::uint8_t* rgb, bool engraved)
    {
        if (y % 64 == 0) {
            pyrolith::ThrowIfCancelled(cancel_);
        }
        if (viewResampler_) {
            viewResampler_->row(rgb);
        } else if (request_.viewSide > 0) {
            viewRow(y, rgb);
        }
        if (photo_) {
            photo_->row(y, rgb);
        }
        if (working_) {
            working_->row(rgb);
        } else if (engraved) {
            workingRow(static_cast<std::size_t>(y), rgb);
        }
    }

    void viewRow(int y, const std::uint8_t* rgb)
    {
        auto* line = reinterpret_cast<QRgb*>(read.view.scanLine(y));
        for (int x = 0; x < read.view.width(); ++x, rgb += 3) {
            line[x] = qRgb(rgb[0], rgb[1], rgb[2]);
        }
    }

    // Row y of the picture the job engraves.
    void workingRow(std::size_t y, const std::uint8_t* rgb)
    {
        if (request_.gray) {
            std::uint8_t* target = gray_.data() + y * width_;
            for (std::size_t x = 0; x < width_; ++x) {
                target[x] = pyrolith::GrayLevel(
                    pyrolith::Rgb{rgb[3 * x], rgb[3 * x + 1], rgb[3 * x + 2]});
            }
        }
        if (request_.palette) {
            pyrolith::MonoPaletteRow(rgb, width_, indices_.data() + y * width_);
        }
    }

    const PictureReadRequest& request_;
    const pyrolith::CancelCheck& cancel_;
    std::optional<pyrolith::RowResampler> viewResampler_;
    std::optional<pyrolith::PhotoCheckRows> photo_;
    std::optional<pyrolith::RowResampler> working_;
    std::size_t width_ = 0; // the picture the job engraves
    std::size_t height_ = 0;
    pyrolith::PixelBuffer gray_;
    pyrolith::PixelBuffer indices_;
    std::vector<pyrolith::Rgb> palette_;
    std::vector<std::uint8_t> rgb_;
};

} // namespace

std::int64_t OrigViewSide()
{
    qreal side = 0;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QSize size = screen->size();
        side = std::max(side, std::max(size.width(), size.height()) * screen->devicePixelRatio());
    }
    return std::clamp<std::int64_t>(std::llround(side), 1024, 4096);
}

PictureRead ReadForWindow(const std::filesystem::path& path, const PictureReadRequest& request,
                          const pyrolith::CancelCheck& cancel)
{
    WindowParts parts(request, cancel);
    try {
        pyrolith::ReadPictureParts(path, parts, {}, cancel);
    } catch (const RefusedLayout&) {
        PictureRead refused;
        refused.refused = true;
        return refused;
    }
    return parts.finish();
}

std::shared_ptr<const pyrolith::MonoBitmap> MonoOfGray(const pyrolith::GrayRaster& gray,
                                                      const pyrolith::ConversionOptions& options,
                                                      const pyrolith::CancelCheck& cancel)
{
    if (options.mode == pyrolith::ImageMode::Grayscale || gray.empty()) {
        pyrolith::GrayRaster adjusted = gray;
        pyrolith::AdjustGrayLevels(adjusted, options.adjustments);
        return std::make_shared<const pyrolith::MonoBitmap>(pyrolith::MonoFromGray(
            std::move(adjusted), options.mode, options.threshold, cancel));
    }
    const auto width = static_cast<std::size_t>(gray.width);
    const std::array<std::uint8_t, 256> table = pyrolith::AdjustmentTable(options.adjustments);
    pyrolith::MonoRows rows(options.mode, options.threshold, gray.width);
    pyrolith::PixelBuffer indices(width * static_cast<std::size_t>(gray.height));
    std::vector<std::uint8_t> line(width);
    for (std::size_t y = 0; y < static_cast<std::size_t>(gray.height); ++y) {
        if (y % 64 == 0) {
            pyrolith::ThrowIfCancelled(cancel);
        }
        const std::uint8_t* levels = gray.pixels.data() + y * width;
        std::transform(levels, levels + width, line.begin(),
                       [&table](std::uint8_t level) { return table[level]; });
        rows.row(y, line.data(), indices.data() + y * width);
    }
    return std::make_shared<const pyrolith::MonoBitmap>(
        gray.width, gray.height,
        std::vector<pyrolith::Rgb>(pyrolith::StandardPalette().begin(),
                                   pyrolith::StandardPalette().end()),
        std::move(indices));
}
