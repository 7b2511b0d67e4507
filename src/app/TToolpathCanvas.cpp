#include "app/TToolpathCanvas.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QThreadPool>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace tp = pyrolith::toolpath;

TToolpathCanvas::TToolpathCanvas(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);
    setMinimumSize(100, 100);
    setCursor(Qt::OpenHandCursor);
    // A machine acknowledges lines by the hundred a second: the mark follows a few times a
    // second.
    burnTimer_.setSingleShot(true);
    burnTimer_.setInterval(250);
    connect(&burnTimer_, &QTimer::timeout, this, &TToolpathCanvas::drawBurned);
}

TToolpathCanvas::~TToolpathCanvas()
{
    if (cancel_) {
        cancel_->store(true);
    }
}

void TToolpathCanvas::setJob(std::shared_ptr<const tp::JobPreview> job)
{
    job_ = std::move(job);
    image_ = QImage();
    pixels_.reset();
    burned_ = imageBurned_ = 0;
    burnTimer_.stop();
    // The user's zoom stays while the new job shows in it.
    const double halfW = width() / 2.0 / scale_;
    const double halfH = height() / 2.0 / scale_;
    const bool shows = job_ && !job_->bounds.empty && job_->bounds.maxX >= centreX_ - halfW &&
                       job_->bounds.minX <= centreX_ + halfW &&
                       job_->bounds.maxY >= centreY_ - halfH &&
                       job_->bounds.minY <= centreY_ + halfH;
    if (!shows) {
        fitted_ = true;
    }
    if (fitted_) {
        fit();
    }
    requestDrawing();
    update();
}

void TToolpathCanvas::fitJob()
{
    fitted_ = true;
    fit();
    requestDrawing();
    update();
}

void TToolpathCanvas::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        fitJob();
    }
}

void TToolpathCanvas::setBurnedLines(std::uint64_t lines)
{
    if (!job_) {
        return;
    }
    burned_ = tp::SegmentsThrough(*job_, lines);
    if (!burnTimer_.isActive()) {
        burnTimer_.start();
    }
}

// The segments burned since the image was drawn or last marked.
void TToolpathCanvas::drawBurned()
{
    if (!job_ || !pixels_ || burned_ == imageBurned_) {
        return;
    }
    if (burned_ < imageBurned_) {
        // A new send: drawn afresh, once; a drawing under way is marked when it arrives.
        if (pending_ == 0) {
            requestDrawing();
        }
        return;
    }
    tp::DrawBurned(*job_, imageView_, *pixels_, imageBurned_, burned_);
    imageBurned_ = burned_;
    showPixels(pixels_);
}

void TToolpathCanvas::showPixels(std::shared_ptr<pyrolith::RgbImage> pixels)
{
    pixels_ = std::move(pixels);
    // The image keeps the pixels alive through its cleanup function.
    auto* keep = new std::shared_ptr<pyrolith::RgbImage>(pixels_);
    image_ = QImage(
        pixels_->pixels.data(), pixels_->width, pixels_->height, pixels_->width * 3,
        QImage::Format_RGB888,
        [](void* data) { delete static_cast<std::shared_ptr<pyrolith::RgbImage>*>(data); }, keep);
    update();
}

void TToolpathCanvas::setShowTravel(bool show)
{
    if (show != showTravel_) {
        showTravel_ = show;
        requestDrawing();
    }
}

// The whole job in the widget with a small margin.
void TToolpathCanvas::fit()
{
    if (!job_ || job_->bounds.empty) {
        scale_ = 1.0;
        centreX_ = centreY_ = 0.0;
        return;
    }
    const tp::PreviewBounds& b = job_->bounds;
    const double w = std::max(b.maxX - b.minX, 1e-3);
    const double h = std::max(b.maxY - b.minY, 1e-3);
    scale_ = std::min((width() - 20) / w, (height() - 20) / h);
    scale_ = std::max(scale_, 1e-6);
    centreX_ = (b.minX + b.maxX) / 2.0;
    centreY_ = (b.minY + b.maxY) / 2.0;
}

bool TToolpathCanvas::drawingCoversView() const
{
    if (image_.isNull() || imageView_.pixelsPerMm != scale_ ||
        imageView_.showTravel != showTravel_) {
        return false;
    }
    const double left = centreX_ - width() / 2.0 / scale_;
    const double top = centreY_ + height() / 2.0 / scale_;
    const double right = left + width() / scale_;
    const double bottom = top - height() / scale_;
    return left >= imageView_.left && top <= imageView_.top &&
           right <= imageView_.left + imageView_.width / scale_ &&
           bottom >= imageView_.top - imageView_.height / scale_;
}

void TToolpathCanvas::requestDrawing()
{
    if (!job_) {
        return;
    }
    if (cancel_) {
        cancel_->store(true);
    }
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    cancel_ = cancel;
    tp::PreviewView view;
    view.pixelsPerMm = scale_;
    view.width = std::max(1, 3 * width());
    view.height = std::max(1, 3 * height());
    view.left = centreX_ - view.width / 2.0 / scale_;
    view.top = centreY_ + view.height / 2.0 / scale_;
    view.showTravel = showTravel_;
    const int generation = ++generation_;
    ++pending_;
    QPointer<TToolpathCanvas> self(this);
    std::shared_ptr<const tp::JobPreview> job = job_;
    const std::size_t burned = burned_;
    QThreadPool::globalInstance()->start([self, job, view, cancel, generation, burned] {
        pyrolith::RgbImage rgb = tp::RenderPreview(*job, view, cancel.get(), burned);
        auto shared = std::make_shared<pyrolith::RgbImage>(std::move(rgb));
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, shared, view, cancel, generation, burned] {
                if (!self) {
                    return;
                }
                --self->pending_;
                if (cancel->load() || generation != self->generation_) {
                    return;
                }
                self->imageView_ = view;
                self->imageBurned_ = burned;
                self->showPixels(shared);
                self->drawBurned();  // what was burned while it was drawn
                emit self->drawn();
            },
            Qt::QueuedConnection);
    });
}

void TToolpathCanvas::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!image_.isNull()) {
        // The drawing where it belongs at the current scale; stretched while a new one is
        // drawn after a zoom.
        const double left = centreX_ - width() / 2.0 / scale_;
        const double top = centreY_ + height() / 2.0 / scale_;
        const double factor = scale_ / imageView_.pixelsPerMm;
        const QRectF target((imageView_.left - left) * scale_, (top - imageView_.top) * scale_,
                            image_.width() * factor, image_.height() * factor);
        painter.drawImage(target, image_);
    }
    drawScale(painter);
}

// A bar of one tick step with its length in the job's unit.
void TToolpathCanvas::drawScale(QPainter& painter) const
{
    if (!job_) {
        return;
    }
    const double step = tp::ScaleStep(scale_, job_->inches);
    const double length = step * scale_;
    const double unit = job_->inches ? 25.4 : 1.0;
    const QString text = QString::number(step / unit, 'g', 6) +
                         (job_->inches ? QStringLiteral(" in") : QStringLiteral(" mm"));
    const int x = 10;
    const int y = height() - 10;
    painter.setPen(QPen(Qt::black, 2));
    painter.drawLine(QPointF(x, y), QPointF(x + length, y));
    painter.drawLine(QPointF(x, y - 4), QPointF(x, y + 1));
    painter.drawLine(QPointF(x + length, y - 4), QPointF(x + length, y + 1));
    painter.drawText(QPointF(x + length + 6, y + 4), text);
}

void TToolpathCanvas::resizeEvent(QResizeEvent*)
{
    if (fitted_) {
        fit();
    }
    if (!drawingCoversView()) {
        requestDrawing();
    }
}

void TToolpathCanvas::wheelEvent(QWheelEvent* event)
{
    if (!job_) {
        return;
    }
    const double factor = std::pow(1.0015, event->angleDelta().y());
    const QPointF at = event->position();
    // The point under the pointer stays where it is.
    const double mmX = centreX_ + (at.x() - width() / 2.0) / scale_;
    const double mmY = centreY_ - (at.y() - height() / 2.0) / scale_;
    scale_ = std::clamp(scale_ * factor, 1e-6, 1e6);
    centreX_ = mmX - (at.x() - width() / 2.0) / scale_;
    centreY_ = mmY + (at.y() - height() / 2.0) / scale_;
    fitted_ = false;
    requestDrawing();
    update();
}

void TToolpathCanvas::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        dragging_ = true;
        dragFrom_ = event->pos();
        setCursor(Qt::ClosedHandCursor);
    }
}

void TToolpathCanvas::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging_) {
        return;
    }
    const QPoint delta = event->pos() - dragFrom_;
    dragFrom_ = event->pos();
    centreX_ -= delta.x() / scale_;
    centreY_ += delta.y() / scale_;
    fitted_ = false;
    if (!drawingCoversView() && pending_ == 0) {
        requestDrawing();
    }
    update();
}

void TToolpathCanvas::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        dragging_ = false;
        setCursor(Qt::OpenHandCursor);
        if (!drawingCoversView()) {
            requestDrawing();
        }
    }
}
