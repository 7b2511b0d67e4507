#include "app/EngravingGroup.h"

#include "ui_EngravingGroup.h"

EngravingGroup::EngravingGroup(QWidget* parent)
    : QGroupBox(parent), ui_(std::make_unique<Ui::EngravingGroup>())
{
    ui_->setupUi(this);
}

EngravingGroup::~EngravingGroup() = default;
