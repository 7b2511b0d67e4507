#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QPolygonF>
#include <QTimer>
#include <QWidget>

// One picture view of the image area: shows its picture scaled to fit and centred
// (FitAndCentre), re-fitted whenever the view changes size. The scaling is for display only:
// an enlarged picture keeps its pixels crisp, a reduced one shows each screen pixel as the
// mean of the pixels it covers (a dither then shows the tone it burns, not a moire of its
// dots).
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
    // The picture reduced to `size`, area averaged.
    QImage reduced(QSize size) const;

    QImage picture_;
    QImage reduced_;  // the picture at the size it was last drawn at, when that is smaller
    // A large picture is averaged anew once the view has stopped changing its size; meanwhile
    // the last average is stretched.
    QTimer reduceTimer_;
    QSize pictureSize_;
    QString placeholder_;
    QList<QPolygonF> overlay_;
    QColor overlayColour_;
};
