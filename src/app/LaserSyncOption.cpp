#include "app/LaserSyncOption.h"

#include "ui_LaserSyncOption.h"

LaserSyncOption::LaserSyncOption(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::LaserSyncOption>())
{
    ui_->setupUi(this);
}

LaserSyncOption::~LaserSyncOption() = default;
