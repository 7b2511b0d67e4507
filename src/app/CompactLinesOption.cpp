#include "app/CompactLinesOption.h"

#include "ui_CompactLinesOption.h"

CompactLinesOption::CompactLinesOption(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::CompactLinesOption>())
{
    ui_->setupUi(this);
}

CompactLinesOption::~CompactLinesOption() = default;
