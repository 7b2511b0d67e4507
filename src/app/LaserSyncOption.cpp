#include "app/LaserSyncOption.h"

#include "ui_LaserSyncOption.h"

namespace {

struct LaserChoice {
    const char* caption;
    const char* notes;
};

// In the order of the PrinterLaserMode numbers.
constexpr LaserChoice kChoices[] = {
    {"Fan commands as they are",
     "Stock firmware applies a fan command up to 100 ms late: short burns may not burn at all"},
    {"Wait for moves before each fan command (M400)",
     "Exact, but the head stops at every switch of the laser"},
    {"Firmware applies fan commands in step (synchronous fan)",
     "Needs firmware built with LASER_SYNCHRONOUS_M106_M107; the same lines as the first "
     "choice"},
    {"Marlin laser, inline power",
     "Needs firmware built with LASER_FEATURE: \"M3 I\", the power as S on each move, "
     "\"M5 I\"; set the laser commands to M3 and M5"},
};

}  // namespace

LaserSyncOption::LaserSyncOption(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::LaserSyncOption>())
{
    ui_->setupUi(this);
    int number = 0;
    for (const LaserChoice& choice : kChoices) {
        ui_->cboPrinterLaserMode->addItem(QString::fromLatin1(choice.caption),
                                          QString::number(number++));
    }
    const auto showNotes = [this](int index) {
        ui_->lblPrinterLaserNotes->setText(
            index >= 0 && index < static_cast<int>(std::size(kChoices))
                ? QString::fromLatin1(kChoices[index].notes)
                : QString());
    };
    connect(ui_->cboPrinterLaserMode, &QComboBox::currentIndexChanged, this, showNotes);
    showNotes(ui_->cboPrinterLaserMode->currentIndex());
}

LaserSyncOption::~LaserSyncOption() = default;
