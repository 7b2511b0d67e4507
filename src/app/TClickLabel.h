#pragma once

#include <QLabel>

// A label that reports a click of the left mouse button: the logo pictures and the links of
// the splash and about windows.
class TClickLabel : public QLabel {
    Q_OBJECT
public:
    explicit TClickLabel(QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};
