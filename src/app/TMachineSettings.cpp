#include "app/TMachineSettings.h"

#include "ui_TMachineSettings.h"

TMachineSettings::TMachineSettings(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TMachineSettings>())
{
    ui_->setupUi(this);
}

TMachineSettings::~TMachineSettings() = default;
