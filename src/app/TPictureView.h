#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QPolygonF>
#include <QWidget>

// One picture view of the image area: shows its picture scaled to fit and centred
// (FitAndCentre), re-fitted whenever the view changes size. The scaling is for display only.
class TPictureView : public QWidget {
    Q_OBJECT
public:
    explicit TPictureView(QWidget* parent = nullptr);

    // `size`: the size of the picture the image shows, when the image is a smaller copy of it
    // (the view fits and lays the overlay out in the picture's pixels); empty: the image's.
    void setPicture(const QImage& picture, QSize size = {});
    void clearPicture();
    // The text shown centred while the view has no picture.
    void setPlaceholder(const QString& text);
    const QImage& picture() const { return picture_; }
    bool hasPicture() const { return !picture_.isNull(); }

    // Where the picture is drawn, in the view's coordinates; empty without a picture.
    QRect shownRect() const;

    // Closed paths drawn over the picture, in the picture's pixels (0, 0 its top-left
    // corner), with a pen of two screen pixels in `colour`.
    void setOverlay(const QList<QPolygonF>& paths, const QColor& colour);
    const QList<QPolygonF>& overlay() const { return overlay_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
    QSize pictureSize_;
    QString placeholder_;
    QList<QPolygonF> overlay_;
    QColor overlayColour_;
};
