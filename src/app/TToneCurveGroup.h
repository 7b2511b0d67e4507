#pragma once

#include <QGroupBox>
#include <QWidget>

#include <vector>

#include "image/ToneCurve.h"

class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace pyrolith {
struct RampReading;
}

// A small plot of a tone curve: the picture's grey across (black left, white right), the
// power up; the curve as a line, its points and the tones measured last as dots.
class TToneCurvePlot : public QWidget {
    Q_OBJECT
public:
    explicit TToneCurvePlot(QWidget* parent = nullptr);

    void setCurve(std::vector<pyrolith::TonePoint> curve);
    // The patches of the last measurement: each patch's tone and power; empty: none.
    void setMeasured(std::vector<pyrolith::TonePoint> measured);

    QSize sizeHint() const override { return {240, 150}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<pyrolith::TonePoint> curve_;
    std::vector<pyrolith::TonePoint> measured_;
};

// The group of the settings window's "Image" page that shows the material's tone curve
// (the setting ToneCurve, bound by the settings window through edtToneCurve like any other
// field) and clears it.
class TToneCurveGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit TToneCurveGroup(QWidget* parent = nullptr);

    // Puts the group into a grid page below its other groups, above the page's last spacer.
    void insertInto(QGridLayout* page);

    // The group inside a settings window; null when it has none.
    static TToneCurveGroup* of(QWidget* settingsWindow);

    // A measured ramp becomes the curve (the setting changes as if typed) and its patches
    // are shown.
    void useMeasurement(const pyrolith::RampReading& reading);

    TToneCurvePlot* plot() const { return plot_; }

private:
    void curveChanged();

    QLineEdit* edtToneCurve_ = nullptr;
    QLabel* lblToneCurve_ = nullptr;
    QPushButton* btnClearToneCurve_ = nullptr;
    TToneCurvePlot* plot_ = nullptr;
};
