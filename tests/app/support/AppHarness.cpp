#include "app/support/AppHarness.h"

#include "app/AppPlatform.h"
#include "settings/SettingsFiles.h"

AppHarness::AppHarness()
{
    locations.settingsFile = folder_.filePath(QStringLiteral("pyrolith.ini"));
    locations.profilesFolder = folder_.filePath(QStringLiteral("Profiles")) + QLatin1Char('/');
    manualPath = folder_.filePath(QStringLiteral("Pyrolith_Manual.pdf"));
}

AppHarness::~AppHarness() = default;

void AppHarness::writeSettingsFile(const pyrolith::JobSettings& job,
                                   const pyrolith::AppSettings& app)
{
    pyrolith::MakeIniFile(ToPath(locations.settingsFile), job, app);
}

void AppHarness::start()
{
    TfrmMain::Environment environment;
    environment.dialogs = &dialogs;
    environment.locations = locations;
    environment.manualPath = manualPath;
    environment.openUrl = [this](const QUrl& url) {
        openedUrls.append(url);
        return shellSucceeds;
    };
    environment.clock = [this] { return now; };
    windows_ = std::make_unique<AppWindows>(std::move(environment));
    windows_->showMain();
}
