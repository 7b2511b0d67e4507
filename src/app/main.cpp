#include <QApplication>
#include <QIcon>

#include "app/AppPlatform.h"
#include "app/AppStyle.h"
#include "app/AppWindows.h"
#include "app/UserDialogs.h"
#include "common/FileError.h"

int main(int argc, char* argv[])
{
    // A job written past the file size limit must end in a message, not kill the program.
    pyrolith::IgnoreFileSizeSignal();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pyrolith"));
    QApplication::setApplicationDisplayName(QStringLiteral("Pyrolith"));
    QApplication::setApplicationVersion(VersionText());
    QApplication::setDesktopFileName(QStringLiteral("pyrolith"));
    AppStyle::LoadResources();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pyrolith/icon-256.png")));

    QtUserDialogs dialogs;
    TfrmMain::Environment environment;
    environment.dialogs = &dialogs;
    environment.locations =
        ResolveLocations(QApplication::applicationFilePath(), UserConfigFolder());
    environment.manualPath = ManualPath(ProgramFolder());

    AppWindows windows(std::move(environment));
    QObject::connect(&windows.main(), &TfrmMain::closed, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    windows.showMain();
    return QApplication::exec();
}
