#pragma once

#include <QMainWindow>

// The main window. Every command of the program starts here.
class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfrmMain(QWidget* parent = nullptr);
};
