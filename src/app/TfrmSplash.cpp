#include "app/TfrmSplash.h"

#include <QGuiApplication>
#include <QScreen>

#include "app/AppLinks.h"
#include "app/AppStyle.h"
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

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
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
