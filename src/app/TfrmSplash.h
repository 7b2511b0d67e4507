#pragma once

#include <QTimer>
#include <QWidget>
#include <memory>

namespace Ui {
class TfrmSplash;
}

// The splash window: shown at once when created, in front of the main window, and closed by
// its timer 2500 ms later. It is not shown again during the run.
class TfrmSplash : public QWidget {
    Q_OBJECT
public:
    static constexpr int kShowMilliseconds = 2500;

    TfrmSplash(const QString& versionText, QWidget* parent = nullptr);
    ~TfrmSplash() override;

    QTimer Timer1;

public slots:
    void Timer1Timer();

private:
    void FormCreate(const QString& versionText);

    std::unique_ptr<Ui::TfrmSplash> ui_;
};
