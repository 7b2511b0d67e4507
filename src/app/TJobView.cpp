#include "app/TJobView.h"

#include <algorithm>

#include "toolpath/MotionPlanner.h"
#include "ui_TJobView.h"

namespace tp = pyrolith::toolpath;

TJobView::TJobView(QWidget* parent) : QWidget(parent), ui_(std::make_unique<Ui::TJobView>())
{
    ui_->setupUi(this);
    connect(ui_->chkShowTravel, &QCheckBox::toggled, ui_->cnvToolpath,
            &TToolpathCanvas::setShowTravel);
}

TJobView::~TJobView() = default;

void TJobView::setJob(std::shared_ptr<const tp::JobPreview> job)
{
    ui_->lblJobStatus->setText(job ? StatusText(*job) : QString());
    ui_->cnvToolpath->setJob(std::move(job));
}

void TJobView::setBurnedLines(qint64 lines)
{
    ui_->cnvToolpath->setBurnedLines(static_cast<std::uint64_t>(std::max<qint64>(lines, 0)));
}

void TJobView::setStatus(const QString& text)
{
    ui_->lblJobStatus->setText(text);
}

QString TJobView::status() const
{
    return ui_->lblJobStatus->text();
}

QString TJobView::StatusText(const tp::JobPreview& job)
{
    const tp::JobTimes& t = job.estimate.times;
    const double unit = job.inches ? 25.4 : 1.0;
    const QString unitWord = job.inches ? QStringLiteral("in") : QStringLiteral("mm");
    auto duration = [](double seconds) {
        return QString::fromStdString(tp::DurationText(seconds));
    };
    QString text =
        QStringLiteral("Estimated time: %1 (burning %2, moving %3); burn %4 %6, travel %5 %6")
            .arg(duration(t.seconds), duration(t.burnSeconds), duration(t.moveSeconds),
                 QString::number(t.burnDistance / unit, 'f', 1),
                 QString::number(t.travelDistance / unit, 'f', 1), unitWord);
    const std::string late = tp::LateBurnWarning(job.estimate.lateBurn, job.inches);
    if (!late.empty()) {
        text += QStringLiteral("\n") + QString::fromStdString(late);
    }
    return text;
}
