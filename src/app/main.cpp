#include <QApplication>

#include "app/TfrmMain.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pyrolith"));
    QApplication::setApplicationDisplayName(QStringLiteral("Pyrolith"));
    TfrmMain mainWindow;
    mainWindow.show();
    return QApplication::exec();
}
