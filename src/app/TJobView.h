#pragma once

#include <QWidget>
#include <memory>

#include "toolpath/ToolpathPreview.h"

namespace Ui {
class TJobView;
}

// The Job view beside Orig, B+W and B+W+Cut: the toolpath as the machine will run it, "Fit"
// (the whole job), a check box that shows the laser-off moves, and a status line with the estimated time
// (total, burning, moving) and the burn and travel distances in the job's unit.
class TJobView : public QWidget {
    Q_OBJECT
public:
    explicit TJobView(QWidget* parent = nullptr);
    ~TJobView() override;

    void setJob(std::shared_ptr<const pyrolith::toolpath::JobPreview> job);
    // While the job is sent: the burn moves of its lines 1 to `lines` are drawn as burned,
    // until the next job is set.
    void setBurnedLines(qint64 lines);
    // Whether the laser-off moves are drawn (off at first).
    bool showsTravel() const;
    void setShowTravel(bool show);

    // Shows `text` in the status line, for example while the job is read.
    void setStatus(const QString& text);
    QString status() const;

    // "Estimated time: 0:12:04 (burning 0:08:10, moving 0:03:54); burn 1234.5 mm,
    // travel 2345.6 mm", with ", waiting 0:01:00" after the moving time where the head stands
    // still for a hundredth of the job or more
    static QString StatusText(const pyrolith::toolpath::JobPreview& job);

signals:
    // The user showed or hid the laser-off moves.
    void showTravelChanged(bool show);

private:
    std::unique_ptr<Ui::TJobView> ui_;
};
