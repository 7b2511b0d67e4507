#include "app/TImageGroup.h"

#include <QGridLayout>

#include "image/PictureOptions.h"
#include "ui_TImageGroup.h"

namespace {

// The list's texts; each item carries the settings file's word as its data.
const char* ModeCaption(pyrolith::ImageMode mode)
{
    switch (mode) {
    case pyrolith::ImageMode::Palette:
        return "Nearest of 16 colours";
    case pyrolith::ImageMode::Threshold:
        return "Threshold";
    case pyrolith::ImageMode::FloydSteinberg:
        return "Dither: Floyd-Steinberg";
    case pyrolith::ImageMode::Atkinson:
        return "Dither: Atkinson";
    case pyrolith::ImageMode::Jarvis:
        return "Dither: Jarvis";
    case pyrolith::ImageMode::Stucki:
        return "Dither: Stucki";
    case pyrolith::ImageMode::Bayer:
        return "Ordered (Bayer 8 x 8)";
    case pyrolith::ImageMode::Grayscale:
        return "Grayscale (power levels)";
    }
    return "";
}

} // namespace

void AddImageModes(QComboBox& list)
{
    for (int i = 0; i <= static_cast<int>(pyrolith::ImageMode::Grayscale); ++i) {
        const auto mode = static_cast<pyrolith::ImageMode>(i);
        const std::string_view word = pyrolith::ImageModeText(mode);
        list.addItem(QString::fromLatin1(ModeCaption(mode)),
                     QString::fromLatin1(word.data(), static_cast<int>(word.size())));
    }
}

TImageGroup::TImageGroup(QWidget* parent)
    : QGroupBox(parent), ui_(std::make_unique<Ui::TImageGroup>())
{
    ui_->setupUi(this);
    setObjectName(QStringLiteral("grpPicture"));
    AddImageModes(*ui_->cboImageMode);
    connect(ui_->cboImageMode, &QComboBox::currentIndexChanged, this, &TImageGroup::modeChanged);
    modeChanged();
}

TImageGroup::~TImageGroup() = default;

void InsertIntoPage(QWidget* group, QGridLayout* page)
{
    int row = page->rowCount();
    // The page's spacer moves one row down, below the group.
    for (int i = 0; i < page->count(); ++i) {
        QLayoutItem* item = page->itemAt(i);
        if (item->spacerItem() != nullptr) {
            int spacerRow = 0, column = 0, rows = 0, columns = 0;
            page->getItemPosition(i, &spacerRow, &column, &rows, &columns);
            page->takeAt(i);
            page->addItem(item, spacerRow + 1, column, rows, columns);
            row = spacerRow;
            break;
        }
    }
    page->addWidget(group, row, 0, 1, page->columnCount());
}

void TImageGroup::insertInto(QGridLayout* page)
{
    InsertIntoPage(this, page);
}

// The threshold counts only in Threshold mode; the adjustments in every mode but Palette.
void TImageGroup::modeChanged()
{
    const auto mode =
        pyrolith::ParseImageMode(ui_->cboImageMode->currentData().toString().toStdString())
            .value_or(pyrolith::ImageMode::Palette);
    const bool gray = mode != pyrolith::ImageMode::Palette;
    ui_->edtThreshold->setEnabled(mode == pyrolith::ImageMode::Threshold);
    ui_->lblThreshold->setEnabled(mode == pyrolith::ImageMode::Threshold);
    for (QWidget* widget :
         {static_cast<QWidget*>(ui_->edtBrightness), static_cast<QWidget*>(ui_->lblBrightness),
          static_cast<QWidget*>(ui_->edtContrast), static_cast<QWidget*>(ui_->lblContrast),
          static_cast<QWidget*>(ui_->edtGamma), static_cast<QWidget*>(ui_->lblGamma),
          static_cast<QWidget*>(ui_->chkInvert)}) {
        widget->setEnabled(gray);
    }
}
