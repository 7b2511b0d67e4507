#pragma once

#include <QWidget>
#include <memory>

namespace Ui {
class TMachineSettings;
}

// The settings window's "Machine" page: the controller's rates, accelerations, junction
// deviation, planner depth, idle lock and laser mode, the serial speed and the controller's
// class, that the time estimate uses. The settings window
// binds its controls by name like those of its other pages.
class TMachineSettings : public QWidget {
    Q_OBJECT
public:
    explicit TMachineSettings(QWidget* parent = nullptr);
    ~TMachineSettings() override;

private:
    std::unique_ptr<Ui::TMachineSettings> ui_;
};
