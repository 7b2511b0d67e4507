#include "app/TPictureBar.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

#include "app/NumberKeyFilter.h"
#include "app/TImageGroup.h"
#include "image/PictureOptions.h"

namespace {

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

void ShowText(QLineEdit& edit, const QString& text)
{
    if (edit.text() != text) {
        edit.setText(text);
    }
}

} // namespace

TPictureBar::TPictureBar(QChar decimalSeparator, QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("barPicture"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    auto* modeLabel = new QLabel(QStringLiteral("Picture:"), this);
    mode_ = new QComboBox(this);
    mode_->setObjectName(QStringLiteral("cboBarImageMode"));
    mode_->setToolTip(QStringLiteral("How the picture becomes dots (also on the Image page of the settings)"));
    AddImageModes(*mode_);
    modeLabel->setBuddy(mode_);

    thresholdLabel_ = new QLabel(QStringLiteral("Threshold"), this);
    threshold_ = new QLineEdit(this);
    threshold_->setObjectName(QStringLiteral("edtBarThreshold"));
    threshold_->setToolTip(QStringLiteral("0 to 255: a grey level below it is black"));
    threshold_->setMaximumWidth(48);
    thresholdLabel_->setBuddy(threshold_);

    auto* widthLabel = new QLabel(QStringLiteral("Width"), this);
    width_ = new QLineEdit(this);
    width_->setObjectName(QStringLiteral("edtBarResizeWidth"));
    width_->setToolTip(
        QStringLiteral("The engraved width; empty: one pixel per distance per pixel"));
    width_->setMaximumWidth(64);
    widthLabel->setBuddy(width_);
    widthUnit_ = new QLabel(this);
    widthUnit_->setObjectName(QStringLiteral("lblBarWidthUnit"));

    for (QWidget* widget : std::initializer_list<QWidget*>{modeLabel, mode_, thresholdLabel_,
                                                           threshold_, widthLabel, width_,
                                                           widthUnit_}) {
        layout->addWidget(widget);
    }
    layout->addStretch(1);

    // The filters of the settings window's fields of the same kinds; what they let through
    // counts as a change when the settings window takes it.
    auto* filter = new NumberKeyFilter(decimalSeparator, [] {}, this);
    filter->attach(threshold_, KeyFilterKind::IntOnly);
    filter->attach(width_, KeyFilterKind::IntOrFloatOnly);

    connect(mode_, &QComboBox::activated, this, [this] {
        modeShown();
        emit fieldEdited(QStringLiteral("ImageMode"), mode_->currentData().toString());
    });
    connect(threshold_, &QLineEdit::textEdited, this,
            [this](const QString& text) { emit fieldEdited(QStringLiteral("Threshold"), text); });
    connect(width_, &QLineEdit::textEdited, this,
            [this](const QString& text) { emit fieldEdited(QStringLiteral("ResizeWidth"), text); });
    modeShown();
}

void TPictureBar::showSettings(const pyrolith::JobSettings& settings)
{
    // The item whose word the setting is, in any letter case; an unknown word shows the first.
    const auto mode = pyrolith::ParseImageMode(settings.ImageMode);
    const int index =
        mode ? mode_->findData(QString::fromLatin1(pyrolith::ImageModeText(*mode).data())) : 0;
    mode_->setCurrentIndex(std::max(index, 0));
    modeShown();
    ShowText(*threshold_, Text(settings.Threshold));
    ShowText(*width_, Text(settings.ResizeWidth));
    widthUnit_->setText(Text(std::string(pyrolith::UnitWord(settings))));
}

// The threshold counts only in Threshold mode.
void TPictureBar::modeShown()
{
    const bool threshold = mode_->currentData().toString() ==
                           QString::fromLatin1(
                               pyrolith::ImageModeText(pyrolith::ImageMode::Threshold).data());
    threshold_->setEnabled(threshold);
    thresholdLabel_->setEnabled(threshold);
}
