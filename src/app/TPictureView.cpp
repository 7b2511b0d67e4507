#include "app/TPictureView.h"

#include <QPainter>
#include <QPen>

#include "app/ViewFit.h"

TPictureView::TPictureView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void TPictureView::setPicture(const QImage& picture, QSize size)
{
    picture_ = picture;
    pictureSize_ = size.isEmpty() ? picture.size() : size;
    update();
}

void TPictureView::clearPicture()
{
    picture_ = QImage();
    pictureSize_ = QSize();
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
    // enlarged.
    QPainter painter(this);
    painter.drawImage(target, picture_);
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
