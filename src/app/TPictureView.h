#pragma once

#include <QImage>
#include <QWidget>

// One picture view of the image area: shows its picture scaled to fit and centred
// (FitAndCentre), re-fitted whenever the view changes size. The scaling is for display only.
class TPictureView : public QWidget {
    Q_OBJECT
public:
    explicit TPictureView(QWidget* parent = nullptr);

    void setPicture(const QImage& picture);
    void clearPicture();
    // The text shown centred while the view has no picture.
    void setPlaceholder(const QString& text);
    const QImage& picture() const { return picture_; }
    bool hasPicture() const { return !picture_.isNull(); }

    // Where the picture is drawn, in the view's coordinates; empty without a picture.
    QRect shownRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
    QString placeholder_;
};
