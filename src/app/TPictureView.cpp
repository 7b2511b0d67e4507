#include "app/TPictureView.h"

#include <QPainter>
#include <QPen>

#include <cstdint>
#include <exception>
#include <vector>

#include "app/ViewFit.h"
#include "image/Resample.h"

TPictureView::TPictureView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    reduceTimer_.setSingleShot(true);
    reduceTimer_.setInterval(150);
    connect(&reduceTimer_, &QTimer::timeout, this, [this] {
        const QRect target = shownRect();
        if (!target.isEmpty() && target.width() < picture_.width()) {
            reduced_ = reduced(target.size());
            update();
        }
    });
}

void TPictureView::setPicture(const QImage& picture, QSize size)
{
    picture_ = picture;
    pictureSize_ = size.isEmpty() ? picture.size() : size;
    reduced_ = QImage();
    reduceTimer_.stop();
    update();
}

void TPictureView::clearPicture()
{
    picture_ = QImage();
    pictureSize_ = QSize();
    reduced_ = QImage();
    reduceTimer_.stop();
    update();
}

void TPictureView::setOverlay(const QList<QPolygonF>& paths, const QColor& colour)
{
    overlay_ = paths;
    overlayColour_ = colour;
    update();
}

void TPictureView::setPlaceholder(const QString& text)
{
    placeholder_ = text;
    update();
}

QRect TPictureView::shownRect() const
{
    if (picture_.isNull()) {
        return {};
    }
    return FitAndCentre(pictureSize_.width(), pictureSize_.height(), width(), height());
}

QImage TPictureView::reduced(QSize size) const
{
    // Drawing must not fail: without memory for the average, the nearest pixels.
    try {
        const int width = picture_.width();
        QImage out;
        pyrolith::RowResampler resampler(
            width, picture_.height(), size.width(), [&out](std::int64_t y, const std::uint8_t* rgb) {
                auto* row = reinterpret_cast<QRgb*>(out.scanLine(static_cast<int>(y)));
                for (int x = 0; x < out.width(); ++x, rgb += 3) {
                    row[x] = qRgb(rgb[0], rgb[1], rgb[2]);
                }
            });
        out = QImage(static_cast<int>(resampler.columns()), static_cast<int>(resampler.rows()),
                     QImage::Format_RGB32);
        std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * 3);
        const QList<QRgb> table = picture_.colorTable();
        const bool direct = picture_.format() == QImage::Format_RGB32 ||
                            picture_.format() == QImage::Format_ARGB32;
        const bool indexed = picture_.format() == QImage::Format_Indexed8;
        for (int y = 0; y < picture_.height(); ++y) {
            QImage converted;
            const QRgb* pixels = nullptr;
            if (direct) {
                pixels = reinterpret_cast<const QRgb*>(picture_.constScanLine(y));
            } else if (!indexed) {
                converted = picture_.copy(0, y, width, 1).convertToFormat(QImage::Format_RGB32);
                pixels = reinterpret_cast<const QRgb*>(converted.constScanLine(0));
            }
            const uchar* indices = picture_.constScanLine(y);
            for (int x = 0; x < width; ++x) {
                const QRgb c = pixels ? pixels[x]
                               : indices[x] < table.size() ? table[indices[x]]
                                                           : qRgb(0, 0, 0);
                rgb[3 * x] = static_cast<std::uint8_t>(qRed(c));
                rgb[3 * x + 1] = static_cast<std::uint8_t>(qGreen(c));
                rgb[3 * x + 2] = static_cast<std::uint8_t>(qBlue(c));
            }
            resampler.row(rgb.data());
        }
        return out;
    } catch (const std::exception&) {
        return picture_.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    }
}

void TPictureView::paintEvent(QPaintEvent* /*event*/)
{
    const QRect target = shownRect();
    if (target.isEmpty()) {
        if (!placeholder_.isEmpty()) {
            QPainter painter(this);
            painter.drawText(rect().adjusted(12, 12, -12, -12),
                             Qt::AlignCenter | Qt::TextWordWrap, placeholder_);
        }
        return;
    }
    // Nearest-pixel scaling keeps the black-and-white pixels crisp when a small picture is
    // enlarged; a reduced picture is averaged once for the size it is shown at.
    QPainter painter(this);
    if (target.width() < picture_.width()) {
        // About a quarter of a second for 80 megapixels: not for every step of a drag.
        constexpr qint64 kLargePicture = 4'000'000;
        if (reduced_.width() != target.width()) {
            if (reduced_.isNull() ||
                static_cast<qint64>(picture_.width()) * picture_.height() <= kLargePicture) {
                reduced_ = reduced(target.size());
            } else {
                reduceTimer_.start();
                painter.setRenderHint(QPainter::SmoothPixmapTransform);
            }
        }
        painter.drawImage(target, reduced_);
    } else {
        painter.drawImage(target, picture_);
    }
    if (overlay_.isEmpty()) {
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(target.topLeft());
    painter.scale(static_cast<double>(target.width()) / pictureSize_.width(),
                  static_cast<double>(target.height()) / pictureSize_.height());
    QPen pen(overlayColour_, 2.0);
    pen.setCosmetic(true);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    for (const QPolygonF& path : overlay_) {
        painter.drawPolygon(path);
    }
}
