#include "app/TfrmMain.h"

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Pyrolith"));
    resize(646, 422);
}
