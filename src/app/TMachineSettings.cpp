#include "app/TMachineSettings.h"

#include "ui_TMachineSettings.h"

TMachineSettings::TMachineSettings(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TMachineSettings>())
{
    ui_->setupUi(this);
    // Stored as the index: the time a line takes scales with the controller's class.
    ui_->cboControllerSpeed->addItem(QStringLiteral("8-bit GRBL board (16 MHz)"), QStringLiteral("0"));
    ui_->cboControllerSpeed->addItem(QStringLiteral("32-bit controller"), QStringLiteral("1"));
}

TMachineSettings::~TMachineSettings() = default;
