#pragma once

#include <memory>

#include "app/TfrmMain.h"

class TfrmAboutBox;
class TfrmSettings;
class TfrmSplash;
class UserDialogs;

// The program's windows, created in the start-up order: the main window, the settings window
// (which reads the settings file and may load the last profile), the about window, and the
// splash, which shows itself at once and closes after 2500 ms.
class AppWindows {
public:
    explicit AppWindows(TfrmMain::Environment environment);
    ~AppWindows();
    AppWindows(const AppWindows&) = delete;
    AppWindows& operator=(const AppWindows&) = delete;

    // Shows the main window, with the splash in front of it. On the first start (no settings
    // file when the windows were created) it then asks which machine the program drives.
    void showMain();

    TfrmMain& main() { return *main_; }
    TfrmSettings& settings() { return *settings_; }
    TfrmAboutBox& about() { return *about_; }
    TfrmSplash& splash() { return *splash_; }

private:
    std::unique_ptr<TfrmMain> main_;
    std::unique_ptr<TfrmSettings> settings_;
    std::unique_ptr<TfrmAboutBox> about_;
    std::unique_ptr<TfrmSplash> splash_;
    UserDialogs* dialogs_ = nullptr;
    QString profilesFolder_;
    bool firstStart_ = false;
};
