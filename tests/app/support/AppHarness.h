#pragma once

#include <QDateTime>
#include <QList>
#include <QTemporaryDir>
#include <QUrl>
#include <memory>

#include "app/AppWindows.h"
#include "app/support/FakeDialogs.h"
#include "settings/JobSettings.h"

// The program's windows started as the program starts them, in a temporary program folder,
// with fake dialogs, a recording shell and a fixed clock.
class AppHarness {
public:
    AppHarness();
    ~AppHarness();

    // A settings file as the program would have written it, before start().
    void writeSettingsFile(const pyrolith::JobSettings& job, const pyrolith::AppSettings& app);
    // Creates the windows (the start-up order of the program) and shows the main window.
    void start();

    QString folder() const { return folder_.path(); }
    QString path(const QString& name) const { return folder_.filePath(name); }
    QString settingsFile() const { return locations.settingsFile; }

    TfrmMain& main() { return windows_->main(); }
    AppWindows& windows() { return *windows_; }
    template <typename T> T* find(const QString& name) { return main().findChild<T*>(name); }

    FakeDialogs dialogs;
    AppLocations locations;
    QString manualPath;
    QList<QUrl> openedUrls;
    bool shellSucceeds = true;
    QDateTime now = QDateTime(QDate(2026, 3, 14), QTime(9, 26, 53));

private:
    QTemporaryDir folder_;
    std::unique_ptr<AppWindows> windows_;
};
