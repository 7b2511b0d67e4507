#include "app/TfrmAboutBox.h"

#include "app/AppLinks.h"
#include "app/AppStyle.h"
#include "ui_TfrmAboutBox.h"

TfrmAboutBox::TfrmAboutBox(const QString& versionText, std::function<bool(const QUrl&)> openUrl,
                           QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TfrmAboutBox>()), openUrl_(std::move(openUrl))
{
    AppStyle::LoadResources();
    ui_->setupUi(this);
    setFixedSize(386, 376);
    QPalette white = ui_->Panel1->palette();
    white.setColor(QPalette::Window, Qt::white);
    ui_->Panel1->setPalette(white);

    AppStyle::SetProductName(*ui_->ProductName);
    ui_->Copyright->setText(AppLinks::kCopyrightLine1);
    QFont underlined = ui_->Copyright->font();
    underlined.setUnderline(true);
    ui_->Copyright->setFont(underlined);
    ui_->Copyright->setCursor(Qt::PointingHandCursor);
    ui_->Copyright2->setText(AppLinks::kCopyrightLine2);
    AppStyle::SetDistributedByLine(*ui_->lblDistributedBy);
    ui_->lblDistributor->setText(AppLinks::kDistributorName);
    AppStyle::SetLink(*ui_->lblDistributor);
    QFont italic = ui_->lblSupport->font();
    italic.setItalic(true);
    ui_->lblSupport->setFont(italic);
    ui_->Label4->setText(AppLinks::kSupportMail);
    AppStyle::SetLink(*ui_->Label4);

    connect(ui_->Copyright, &TClickLabel::clicked, this, &TfrmAboutBox::CopyrightClick);
    connect(ui_->lblDistributor, &TClickLabel::clicked, this, &TfrmAboutBox::Image1Click);
    connect(ui_->Image1, &TClickLabel::clicked, this, &TfrmAboutBox::Image1Click);
    connect(ui_->Image2, &TClickLabel::clicked, this, &TfrmAboutBox::Image1Click);
    connect(ui_->Label4, &TClickLabel::clicked, this, &TfrmAboutBox::Label4Click);
    connect(ui_->OKButton, &QPushButton::clicked, this, &TfrmAboutBox::OKButtonClick);

    FormCreate(versionText);
}

TfrmAboutBox::~TfrmAboutBox() = default;

void TfrmAboutBox::FormCreate(const QString& versionText)
{
    ui_->lblVersion->setText(QStringLiteral("Version ") + versionText);
}

void TfrmAboutBox::CopyrightClick()
{
    openUrl_(QUrl(QStringLiteral("mailto:") + AppLinks::kMakerMail));
}

void TfrmAboutBox::Image1Click()
{
    openUrl_(QUrl(AppLinks::kDistributorUrl));
}

void TfrmAboutBox::Label4Click()
{
    openUrl_(QUrl(QStringLiteral("mailto:") + AppLinks::kSupportMail));
}

void TfrmAboutBox::OKButtonClick()
{
    accept();
}
