#include "app/AppWindows.h"

#include <QFileInfo>

#include "app/FirstStart.h"
#include "app/TfrmAboutBox.h"
#include "app/TfrmSplash.h"
#include "app/TfrmSettings.h"

AppWindows::AppWindows(TfrmMain::Environment environment)
{
    UserDialogs* dialogs = environment.dialogs;
    const AppLocations locations = environment.locations;
    auto openUrl = environment.openUrl;
    dialogs_ = dialogs;
    profilesFolder_ = locations.profilesFolder;
    firstStart_ = !QFileInfo::exists(locations.settingsFile);

    main_ = std::make_unique<TfrmMain>(std::move(environment));

    TfrmSettings::Context context;
    context.settingsFile = locations.settingsFile;
    context.profilesFolder = locations.profilesFolder;
    context.decimalSeparator = main_->decimalSeparator();
    context.dialogs = dialogs;
    // The settings window tells the picture what changed; it knows no other window.
    PictureDocument* document = &main_->document();
    context.showFinalSize = [document] { return document->showFinalSize(); };
    context.pictureSettingsChanged = [document] { document->pictureSettingsChanged(); };
    settings_ = std::make_unique<TfrmSettings>(std::move(context));

    about_ = std::make_unique<TfrmAboutBox>(main_->versionText(), openUrl, main_.get());
    main_->attachWindows(settings_.get(), about_.get());

    splash_ = std::make_unique<TfrmSplash>(main_->versionText(), main_.get());
}

AppWindows::~AppWindows()
{
    // The children of the main window go first; the settings window holds a callback into the
    // main window's document, so it goes before the main window too.
    splash_.reset();
    about_.reset();
    settings_.reset();
    main_.reset();
}

void AppWindows::showMain()
{
    main_->show();
    if (splash_->isVisible()) {
        splash_->raise();
    }
    if (firstStart_) {
        firstStart_ = false;
        FirstStart::AskForMachine(*settings_, *dialogs_, main_.get(), profilesFolder_);
    }
}
