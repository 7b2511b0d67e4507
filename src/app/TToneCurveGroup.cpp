#include "app/TToneCurveGroup.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

#include "app/TImageGroup.h"
#include "material/RampMeasure.h"

TToneCurvePlot::TToneCurvePlot(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("pltToneCurve"));
    setMinimumSize(200, 120);
}

void TToneCurvePlot::setCurve(std::vector<pyrolith::TonePoint> curve)
{
    curve_ = std::move(curve);
    update();
}

void TToneCurvePlot::setMeasured(std::vector<pyrolith::TonePoint> measured)
{
    measured_ = std::move(measured);
    update();
}

void TToneCurvePlot::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics metrics(font());
    const int margin = metrics.height() + 4;
    const QRectF area(margin + metrics.horizontalAdvance(QStringLiteral("100%")), 6,
                      width() - margin - metrics.horizontalAdvance(QStringLiteral("100%")) - 8,
                      height() - margin - 10);
    // The grey of the picture under the axis, black to white.
    QLinearGradient greys(area.bottomLeft(), area.bottomRight());
    greys.setColorAt(0, Qt::black);
    greys.setColorAt(1, Qt::white);
    painter.fillRect(QRectF(area.left(), area.bottom() + 2, area.width(), 5), greys);
    painter.fillRect(area, palette().base());
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(area);
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(QRectF(0, area.top() - 2, area.left() - 4, metrics.height()),
                     Qt::AlignRight, QStringLiteral("100%"));
    painter.drawText(QRectF(0, area.bottom() - metrics.height() + 2, area.left() - 4,
                            metrics.height()),
                     Qt::AlignRight, QStringLiteral("0"));
    painter.drawText(QRectF(area.left(), area.bottom() + 8, area.width(), metrics.height()),
                     Qt::AlignHCenter, tr("picture grey"));
    const auto at = [&](double grey, double power) {
        return QPointF(area.left() + area.width() * grey / 255.0,
                       area.bottom() - area.height() * power);
    };
    if (curve_.empty()) {
        // No curve: the power falls in proportion to the grey.
        painter.setPen(QPen(palette().color(QPalette::Mid), 1, Qt::DashLine));
        painter.drawLine(at(0, 1), at(255, 0));
        return;
    }
    QPainterPath path;
    path.moveTo(at(0, curve_.front().power));
    for (const pyrolith::TonePoint& point : curve_) {
        path.lineTo(at(point.grey, point.power));
    }
    path.lineTo(at(255, curve_.back().power));
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawPath(path);
    painter.setBrush(palette().color(QPalette::Highlight));
    for (const pyrolith::TonePoint& point : curve_) {
        painter.drawEllipse(at(point.grey, point.power), 2.5, 2.5);
    }
    painter.setPen(QPen(QColor(200, 60, 30), 1.5));
    painter.setBrush(Qt::NoBrush);
    for (const pyrolith::TonePoint& point : measured_) {
        painter.drawEllipse(at(point.grey, point.power), 4, 4);
    }
}

TToneCurveGroup::TToneCurveGroup(QWidget* parent) : QGroupBox(parent)
{
    setObjectName(QStringLiteral("grpToneCurve"));
    setTitle(tr("Tone Curve of the Material"));
    auto* layout = new QGridLayout(this);
    plot_ = new TToneCurvePlot(this);
    lblToneCurve_ = new QLabel(this);
    lblToneCurve_->setObjectName(QStringLiteral("lblToneCurve"));
    lblToneCurve_->setWordWrap(true);
    edtToneCurve_ = new QLineEdit(this);
    edtToneCurve_->setObjectName(QStringLiteral("edtToneCurve"));
    edtToneCurve_->setReadOnly(true);
    btnClearToneCurve_ = new QPushButton(tr("Clear"), this);
    btnClearToneCurve_->setObjectName(QStringLiteral("btnClearToneCurve"));
    layout->addWidget(plot_, 0, 0, 1, 2);
    layout->addWidget(lblToneCurve_, 1, 0);
    layout->addWidget(btnClearToneCurve_, 1, 1, Qt::AlignRight | Qt::AlignTop);
    layout->addWidget(edtToneCurve_, 2, 0, 1, 2);
    connect(edtToneCurve_, &QLineEdit::textChanged, this, &TToneCurveGroup::curveChanged);
    connect(btnClearToneCurve_, &QPushButton::clicked, this, [this] {
        plot_->setMeasured({});
        edtToneCurve_->clear();
    });
    curveChanged();
}

void TToneCurveGroup::insertInto(QGridLayout* page)
{
    InsertIntoPage(this, page);
}

TToneCurveGroup* TToneCurveGroup::of(QWidget* settingsWindow)
{
    return settingsWindow == nullptr ? nullptr : settingsWindow->findChild<TToneCurveGroup*>();
}

void TToneCurveGroup::useMeasurement(const pyrolith::RampReading& reading)
{
    std::vector<pyrolith::TonePoint> measured;
    for (std::size_t k = 0; k < reading.tones.size(); ++k) {
        measured.push_back({static_cast<int>(std::lround(reading.tones[k])), reading.powers[k]});
    }
    edtToneCurve_->setText(QString::fromStdString(pyrolith::ToneCurveText(reading.curve)));
    plot_->setMeasured(std::move(measured));
}

void TToneCurveGroup::curveChanged()
{
    const std::string text = edtToneCurve_->text().toStdString();
    const auto curve = pyrolith::ParseToneCurve(text);
    plot_->setCurve(curve ? *curve : std::vector<pyrolith::TonePoint>());
    btnClearToneCurve_->setEnabled(pyrolith::HasToneCurve(text));
    if (!pyrolith::HasToneCurve(text)) {
        plot_->setMeasured({});
        lblToneCurve_->setText(tr("No curve: the power follows the grey in proportion. Burn a "
                                  "tone ramp (Utility > Material test...) and measure its photo "
                                  "(Utility > Measure tone...)."));
    } else if (!curve) {
        lblToneCurve_->setText(tr("The curve does not read: clear it or measure again."));
    } else {
        lblToneCurve_->setText(tr("Grey engravings burn each grey at the power the curve gives "
                                  "(%1 points).")
                                   .arg(curve->size()));
    }
}
