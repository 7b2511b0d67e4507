#pragma once

#include <QImage>
#include <QPoint>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <memory>

#include "toolpath/ToolpathPreview.h"

// Shows a job's toolpath: the wheel zooms about the pointer, dragging pans, a double click
// shows the whole job again. A new job keeps the zoom the user chose while it shows part of
// the new one (the same picture with other settings), else the whole job is shown. The
// toolpath is
// drawn by the core (RenderPreview) off the window's thread, once per scale, into an image
// three times the widget's size; panning within it only moves the image, and a newer drawing
// cancels an older one. While a job is sent, the burned part is drawn over the drawing a few
// times a second, only the moves burned since the last time.
class TToolpathCanvas : public QWidget {
    Q_OBJECT
public:
    explicit TToolpathCanvas(QWidget* parent = nullptr);
    ~TToolpathCanvas() override;

    // Shows a job (see above); null shows nothing.
    void setJob(std::shared_ptr<const pyrolith::toolpath::JobPreview> job);
    // The whole job in the view, following the view's size until the user zooms or pans.
    void fitJob();
    bool fitted() const { return fitted_; }
    void setShowTravel(bool show);
    // Marks the burn moves of the job's lines 1 to `lines` as burned; the mark stays until the
    // next job.
    void setBurnedLines(std::uint64_t lines);

    double pixelsPerMm() const { return scale_; }
    // True while a drawing is under way.
    bool drawing() const { return pending_ != 0; }

signals:
    // A drawing arrived and is shown.
    void drawn();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void fit();
    void requestDrawing();
    bool drawingCoversView() const;
    void drawScale(class QPainter& painter) const;
    void showPixels(std::shared_ptr<pyrolith::RgbImage> pixels);
    void drawBurned();

    std::shared_ptr<const pyrolith::toolpath::JobPreview> job_;
    bool showTravel_ = false;
    bool fitted_ = true;       // follows the widget's size until the user zooms or pans
    double scale_ = 1.0;       // pixels per mm
    double centreX_ = 0.0;     // mm at the widget's centre
    double centreY_ = 0.0;

    QImage image_;                                // the last drawing, over pixels_
    std::shared_ptr<pyrolith::RgbImage> pixels_;
    std::size_t imageBurned_ = 0;                 // segments drawn burned in it
    std::size_t burned_ = 0;                      // segments burned
    QTimer burnTimer_;
    pyrolith::toolpath::PreviewView imageView_;   // what it shows
    std::shared_ptr<std::atomic<bool>> cancel_;   // of the drawing under way
    int generation_ = 0;
    int pending_ = 0;
    bool dragging_ = false;
    QPoint dragFrom_;
};
