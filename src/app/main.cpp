#include <QApplication>
#include <QFileInfo>
#include <QStringList>
#include <QTimer>

#include "app/AppPlatform.h"
#include "app/AppWindows.h"
#include "app/UserDialogs.h"
#include "common/FileError.h"

int main(int argc, char* argv[])
{
    // A job written past the file size limit must end in a message, not kill the program.
    pyrolith::IgnoreFileSizeSignal();

    QApplication app(argc, argv);
    ConfigureApplication();

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
    // "pyrolith FILE", as a file manager opens a file with the program.
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1) {
        const QString given = QFileInfo(arguments.at(1)).absoluteFilePath();
        QTimer::singleShot(0, &windows.main(), [&windows, given] { windows.main().openGiven(given); });
    }
    return QApplication::exec();
}
