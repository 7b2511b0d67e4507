#include "app/TfrmSplash.h"

#include "app/AppLinks.h"
#include "app/AppStyle.h"
#include "app/WindowPlacement.h"
#include "ui_TfrmSplash.h"

TfrmSplash::TfrmSplash(const QString& versionText, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint),
      ui_(std::make_unique<Ui::TfrmSplash>())
{
    AppStyle::LoadResources();
    ui_->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFixedSize(378, 278);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);

    AppStyle::SetProductName(*ui_->ProductName);
    ui_->Copyright->setText(AppLinks::kCopyrightLine1);
    ui_->Copyright2->setText(AppLinks::kCopyrightLine2);
    AppStyle::SetDistributedByLine(*ui_->lblDistributedBy);
    ui_->lblDistributor->setText(AppLinks::kDistributorName);

    FormCreate(versionText);

    // An empty title bar. Qt puts the application name into a title that is empty, so the
    // title is one blank, which shows as nothing.
    setWindowTitle(QStringLiteral(" "));
    CentreOnScreen(*this);
    Timer1.setInterval(kShowMilliseconds);
    connect(&Timer1, &QTimer::timeout, this, &TfrmSplash::Timer1Timer);
    show();
    Timer1.start();
}

TfrmSplash::~TfrmSplash() = default;

void TfrmSplash::FormCreate(const QString& versionText)
{
    ui_->lblVersion->setText(versionText);
}

void TfrmSplash::Timer1Timer()
{
    Timer1.stop();
    close();
}
