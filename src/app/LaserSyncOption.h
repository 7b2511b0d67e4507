#pragma once

#include <QWidget>
#include <memory>

namespace Ui {
class LaserSyncOption;
}

// The 3D printer's option on the settings window's "GCode Flavor" page: wait for the queued
// moves (M400) before each laser command. The settings window binds it by its object name.
class LaserSyncOption : public QWidget {
    Q_OBJECT
public:
    explicit LaserSyncOption(QWidget* parent = nullptr);
    ~LaserSyncOption() override;

private:
    std::unique_ptr<Ui::LaserSyncOption> ui_;
};
