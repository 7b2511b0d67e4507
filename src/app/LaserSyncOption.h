#pragma once

#include <QWidget>
#include <memory>

namespace Ui {
class LaserSyncOption;
}

// The 3D printer's laser choice on the settings window's "GCode Flavor" page: how the
// firmware switches the laser (PrinterLaserMode). The settings window binds the choice by its
// object name; the notes below it say what the firmware needs.
class LaserSyncOption : public QWidget {
    Q_OBJECT
public:
    explicit LaserSyncOption(QWidget* parent = nullptr);
    ~LaserSyncOption() override;

private:
    std::unique_ptr<Ui::LaserSyncOption> ui_;
};
