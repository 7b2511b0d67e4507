#pragma once

#include <QString>
#include <QWidget>
#include <functional>

#include "settings/JobSettings.h"

class UserDialogs;

// The settings window: edits JobSettings, loads and saves profiles, keeps the settings file.
// It owns JobSettings and AppSettings for the whole run.
class TfrmSettings : public QWidget {
    Q_OBJECT
public:
    struct Context {
        QString settingsFile;    // the program's path with the extension ".ini"
        QString profilesFolder;  // where the profile dialogs start (ends with a separator)
        QChar decimalSeparator;  // the user's, recorded by the main window at start
        UserDialogs* dialogs = nullptr;
        // The final-size update of the main window: shows the final size and returns true
        // when a picture is loaded; returns false (and changes nothing) otherwise.
        std::function<bool()> showFinalSize;
    };

    // Creation selects the page "Basics" and runs the start-up read of the settings file
    // (and the last profile when asked for).
    TfrmSettings(Context context, QWidget* parent = nullptr);
    ~TfrmSettings() override;

    const pyrolith::JobSettings& jobSettings() const;
    pyrolith::AppSettings& appSettings();

    // "Load Profile" (also the main window's "Load Profile..." menu item).
    void loadProfileCommand();
    // End of the run: the exit prompt when the profile is modified, then the final write.
    void finishRun();
};
