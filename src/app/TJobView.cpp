#include "app/TJobView.h"

#include <algorithm>

#include "toolpath/MotionPlanner.h"
#include "toolpath/StreamModel.h"
#include "ui_TJobView.h"

namespace tp = pyrolith::toolpath;

TJobView::TJobView(QWidget* parent) : QWidget(parent), ui_(std::make_unique<Ui::TJobView>())
{
    ui_->setupUi(this);
    connect(ui_->chkShowTravel, &QCheckBox::toggled, ui_->cnvToolpath,
            &TToolpathCanvas::setShowTravel);
    connect(ui_->chkShowTravel, &QCheckBox::clicked, this, &TJobView::showTravelChanged);
    connect(ui_->btnFit, &QPushButton::clicked, ui_->cnvToolpath, &TToolpathCanvas::fitJob);
}

bool TJobView::showsTravel() const
{
    return ui_->chkShowTravel->isChecked();
}

void TJobView::setShowTravel(bool show)
{
    ui_->chkShowTravel->setChecked(show);
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
    const QString distances = QStringLiteral("burn %1 %3, travel %2 %3")
                                  .arg(QString::number(t.burnDistance / unit, 'f', 1),
                                       QString::number(t.travelDistance / unit, 'f', 1), unitWord);
    // Where the controller's reading of lines sets the pace, the motion's own split of the
    // time says little: the note takes its place, and the pre-flight warning follows.
    const std::string note = tp::LineRateNote(job.estimate.stream, job.inches);
    // The time the head stands still (stops, dwells without the laser, a printer's serial
    // line) is named where it counts, so that the parts add up to the whole.
    const double waiting = t.seconds - t.burnSeconds - t.moveSeconds;
    const QString still = waiting >= 0.5 && waiting >= 0.01 * t.seconds
                              ? QStringLiteral(", waiting %1").arg(duration(waiting))
                              : QString();
    QString text =
        note.empty()
            ? QStringLiteral("Estimated time: %1 (burning %2, moving %3%4); %5")
                  .arg(duration(t.seconds), duration(t.burnSeconds), duration(t.moveSeconds),
                       still, distances)
            : QStringLiteral("Estimated time: %1 (%2); %3")
                  .arg(duration(t.seconds), QString::fromStdString(note), distances);
    if (!note.empty()) {
        text += QStringLiteral("\n") +
                QString::fromStdString(tp::LineRateWarning(job.estimate.stream, job.inches));
    }
    const std::string late = tp::LateBurnWarning(job.estimate.lateBurn, job.inches);
    if (!late.empty()) {
        text += QStringLiteral("\n") + QString::fromStdString(late);
    }
    return text;
}
