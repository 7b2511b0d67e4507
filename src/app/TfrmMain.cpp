#include "app/TfrmMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <exception>

#include "app/AppLinks.h"
#include "app/AppStyle.h"
#include "app/BitmapImages.h"
#include "app/TfrmAboutBox.h"
#include "app/TfrmMachine.h"
#include "app/UserDialogs.h"
#include "common/Error.h"
#include "machine/MachineJob.h"
#include "settings/SettingsFiles.h"
#include "app/TfrmSettings.h"
#include "ui_TfrmMain.h"

namespace {

const QString kAppTitle = QStringLiteral("Pyrolith");

// The hourglass cursor for the length of a command; the normal cursor comes back on every way
// out, an exception included.
class HourglassCursor {
public:
    HourglassCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~HourglassCursor() { restore(); }
    HourglassCursor(const HourglassCursor&) = delete;
    HourglassCursor& operator=(const HourglassCursor&) = delete;
    void restore()
    {
        if (active_) {
            active_ = false;
            QApplication::restoreOverrideCursor();
        }
    }

private:
    bool active_ = true;
};

enum View { OrigView, BWView, BWCutView };

QString FolderOf(const QString& path)
{
    return QFileInfo(path).absolutePath();
}

QString NameOf(const QString& path)
{
    return QFileInfo(path).fileName();
}

} // namespace

TfrmMain::TfrmMain(Environment environment, QWidget* parent)
    : QMainWindow(parent), ui_(std::make_unique<Ui::TfrmMain>()),
      environment_(std::move(environment))
{
    AppStyle::LoadResources();
    ui_->setupUi(this);
    QPalette area = ui_->pnlImage->palette();
    area.setColor(QPalette::Window, QColor(160, 160, 164));
    ui_->pnlImage->setPalette(area);
    showView(OrigView);

    connect(ui_->Button1, &QPushButton::clicked, this, &TfrmMain::Button1Click);
    connect(ui_->LoadBitmap1, &QAction::triggered, this, &TfrmMain::LoadBitmap1Click);
    connect(ui_->btnGcode2, &QPushButton::clicked, this, &TfrmMain::btnGcode2Click);
    connect(ui_->SaveGcode1, &QAction::triggered, this, &TfrmMain::SaveGcode1Click);
    connect(ui_->btnSettings, &QPushButton::clicked, this, &TfrmMain::btnSettingsClick);
    connect(ui_->ShowSettings1, &QAction::triggered, this, &TfrmMain::ShowSettings1Click);
    connect(ui_->LoadProfile1, &QAction::triggered, this, &TfrmMain::LoadProfile1Click);
    connect(ui_->SaveDisplayedImage1, &QAction::triggered, this,
            &TfrmMain::SaveDisplayedImage1Click);
    connect(ui_->rdoOrig, &QRadioButton::clicked, this, &TfrmMain::rdoOrigClick);
    connect(ui_->rdoBW, &QRadioButton::clicked, this, &TfrmMain::rdoBWClick);
    connect(ui_->rdoBWPlusCut, &QRadioButton::clicked, this, &TfrmMain::rdoBWPlusCutClick);
    connect(ui_->ShowHelp1, &QAction::triggered, this, &TfrmMain::ShowHelp1Click);
    connect(ui_->About1, &QAction::triggered, this, &TfrmMain::About1Click);
    connect(ui_->Exit1, &QAction::triggered, this, &TfrmMain::Exit1Click);
    connect(ui_->imgZorvex, &TClickLabel::clicked, this, &TfrmMain::imgZorvexClick);

    FormCreate();
    createMachinePanel();
}

void TfrmMain::createMachinePanel()
{
    TfrmMachine::Sources sources;
    sources.settings = [this] {
        return settings_ != nullptr ? settings_->jobSettings() : pyrolith::JobSettings{};
    };
    sources.job = [this] {
        if (!imageLoaded_ || settings_ == nullptr) {
            throw pyrolith::Error("Load a picture first.");
        }
        HourglassCursor hourglass;
        return pyrolith::machine::MachineJobLines(settings_->jobSettings(), monoBitmap_,
                                                  jobEnvironment());
    };
    sources.frame = [this] {
        if (!imageLoaded_ || settings_ == nullptr) {
            throw pyrolith::Error("Load a picture first.");
        }
        return pyrolith::machine::FrameJobLines(settings_->jobSettings(), monoBitmap_,
                                                static_cast<char>(decimalSeparator_.toLatin1()));
    };
    machineDock_ = new QDockWidget(QStringLiteral("Machine"), this);
    machineDock_->setObjectName(QStringLiteral("dockMachine"));
    machine_ = new TfrmMachine(std::move(sources), environment_.dialogs, machineDock_);
    machineDock_->setWidget(machine_);
    addDockWidget(Qt::RightDockWidgetArea, machineDock_);
    machineDock_->hide();
    QAction* show = machineDock_->toggleViewAction();
    show->setObjectName(QStringLiteral("ShowMachine1"));
    show->setText(QStringLiteral("Machine"));
    ui_->Utility1->addAction(show);
}

pyrolith::JobEnvironment TfrmMain::jobEnvironment() const
{
    const QDateTime now = environment_.clock();
    pyrolith::JobEnvironment job;
    job.decimalSeparator = static_cast<char>(decimalSeparator_.toLatin1());
    job.date = ShortDateText(now).toStdString();
    job.time = LongTimeText(now).toStdString();
    job.versionText = versionText_.toStdString();
    job.imageFileName = imageFileName_.toStdString();
    return job;
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::FormCreate()
{
    decimalSeparator_ = DecimalSeparator();

    const QString& profiles = environment_.locations.profilesFolder;
    if (!QFileInfo::exists(profiles) && !QDir().mkpath(profiles)) {
        showMessage(QStringLiteral("Unable tp create Profiles folder"));
    }

    setWindowTitle(kAppTitle);
    VersionInformationClick();
    ui_->lblOrigDim->clear();
    ui_->lblNewDim->clear();

    // Open centred on the screen.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TfrmMain::VersionInformationClick()
{
    versionText_ = VersionText();
}

void TfrmMain::attachWindows(TfrmSettings* settings, TfrmAboutBox* about)
{
    settings_ = settings;
    about_ = about;
    if (settings_ != nullptr) {
        openFolder_ = QString::fromStdString(settings_->appSettings().InitialOpenDir);
        saveFolder_ = QString::fromStdString(settings_->appSettings().InitialSaveDir);
    }
}

void TfrmMain::setOpenFolder(const QString& folder)
{
    openFolder_ = folder;
    if (settings_ != nullptr) {
        settings_->appSettings().InitialOpenDir = folder.toStdString();
    }
}

void TfrmMain::setSaveFolder(const QString& folder)
{
    saveFolder_ = folder;
    if (settings_ != nullptr) {
        settings_->appSettings().InitialSaveDir = folder.toStdString();
    }
}

void TfrmMain::showMessage(const QString& text)
{
    environment_.dialogs->message(this, text);
}

// ---- Loading a picture ------------------------------------------------------------------

void TfrmMain::LoadBitmap1Click()
{
    Button1Click();
}

void TfrmMain::Button1Click()
{
    UserDialogs::FileRequest request;
    request.folder = openFolder_;
    request.fileName = openName_;
    request.filter = QStringLiteral("Bitmap image (*.bmp)");
    request.confirmOverwrite = false;
    const QString path = environment_.dialogs->openFile(this, request);
    if (!path.isEmpty()) {
        openName_ = NameOf(path);
        try {
            if (!loadPicture(path)) {
                return;
            }
        } catch (const std::exception& error) {
            // The reader's message; every view, picture, label and command stays as it was.
            showMessage(QString::fromStdString(error.what()));
            return;
        }
    }
    enableViewCommands();
}

bool TfrmMain::loadPicture(const QString& path)
{
    HourglassCursor hourglass;
    pyrolith::Bitmap picture = pyrolith::ReadBitmap(ToPath(path));

    sourceBitmap_ = pyrolith::Bitmap{};
    if (picture.layout == pyrolith::PixelLayout::Unrecognized) {
        ui_->imgOrig->clearPicture();
        hourglass.restore();
        showMessage(QString::fromStdString(pyrolith::UnrecognizedFormatMessage()));
        return false;
    }

    // Everything that can fail comes first, so that a failure keeps the previous state.
    pyrolith::MonoBitmap mono = pyrolith::MakeMonoBitmap(picture);
    QImage origImage = ToImage(picture);
    QImage monoImage = ToImage(mono);

    ui_->imgOrig->setPicture(origImage);
    ui_->lblOrigDim->setText(
        QString::fromStdString(pyrolith::OriginalSizeLine(picture.width, picture.height)));
    monoBitmap_ = std::move(mono);
    sourceBitmap_ = std::move(picture);
    imageLoaded_ = true;
    ShowFinalSize();
    ui_->btnGcode2->setEnabled(true);
    ui_->SaveGcode1->setEnabled(true);

    imageFileName_ = NameOf(path);
    setWindowTitle(kAppTitle + QStringLiteral("  ") + path);
    setOpenFolder(FolderOf(path));

    ui_->imgBW->setPicture(monoImage);
    ui_->rdoBW->setChecked(true);
    showView(BWView);
    return true;
}

void TfrmMain::enableViewCommands()
{
    ui_->rdoOrig->setEnabled(true);
    ui_->rdoBW->setEnabled(true);
    ui_->rdoBWPlusCut->setEnabled(false);
    ui_->SaveDisplayedImage1->setEnabled(true);
}

bool TfrmMain::ShowFinalSize()
{
    if (!imageLoaded_ || settings_ == nullptr) {
        return false;
    }
    // The size of the picture that the job engraves: after a refused picture format this is
    // still the previous picture, which the job and the B+W view go on using.
    const pyrolith::JobSettings& settings = settings_->jobSettings();
    ui_->lblNewDim->setText(QString::fromStdString(pyrolith::FinalSizeLine(
        monoBitmap_.width(), monoBitmap_.height(), settings.DistPerPixel, settings.UseInches,
        static_cast<char>(decimalSeparator_.toLatin1()))));
    return true;
}

// ---- Views ------------------------------------------------------------------------------

void TfrmMain::showView(int view)
{
    ui_->imgOrig->setVisible(view == OrigView);
    ui_->imgBW->setVisible(view == BWView);
    ui_->imgBWCut->setVisible(view == BWCutView);
}

void TfrmMain::rdoOrigClick()
{
    showView(OrigView);
}

void TfrmMain::rdoBWClick()
{
    showView(BWView);
}

void TfrmMain::rdoBWPlusCutClick()
{
    showView(BWCutView);
}

void TfrmMain::SaveDisplayedImage1Click()
{
    const bool original = ui_->rdoOrig->isChecked();
    if (!original && !ui_->rdoBW->isChecked()) {
        return;
    }
    // A view without a picture has nothing to save: no dialog, no file, no message.
    if (original ? sourceBitmap_.empty() : monoBitmap_.empty()) {
        return;
    }
    UserDialogs::FileRequest request;
    request.title =
        original ? QStringLiteral("Save Original Image") : QStringLiteral("Save B & W Image");
    request.folder = bmpFolder_;
    request.fileName = bmpName_;
    request.filter = QStringLiteral("Bitmap (*.bmp)");
    request.defaultSuffix = QStringLiteral("bmp");
    const QString path = environment_.dialogs->saveFile(this, request);
    if (path.isEmpty()) {
        return;
    }
    bmpName_ = NameOf(path);
    bmpFolder_ = FolderOf(path);
    try {
        HourglassCursor hourglass;
        if (original) {
            pyrolith::WriteBitmap(ToPath(path), sourceBitmap_);
        } else {
            pyrolith::WriteBitmap(ToPath(path), monoBitmap_);
        }
    } catch (const std::exception& error) {
        showMessage(QString::fromStdString(error.what()));
    }
}

// ---- Save G-code ------------------------------------------------------------------------

void TfrmMain::SaveGcode1Click()
{
    btnGcode2Click();
}

void TfrmMain::btnGcode2Click()
{
    if (!imageLoaded_ || settings_ == nullptr) {
        return;
    }
    UserDialogs::FileRequest request;
    request.folder = saveFolder_;
    request.fileName = saveName_;
    request.filter = QStringLiteral("G-code (*.gcode);;Text (*.txt);;Any File (*)");
    request.defaultSuffix = QStringLiteral("txt");
    const QString path = environment_.dialogs->saveFile(this, request);
    if (path.isEmpty()) {
        showMessage(QStringLiteral("Cancelled..."));
        return;
    }
    saveName_ = NameOf(path);
    setSaveFolder(FolderOf(path));

    try {
        HourglassCursor hourglass;
        pyrolith::WriteJobFile(ToPath(path), settings_->jobSettings(), monoBitmap_,
                               jobEnvironment());
    } catch (const std::exception& error) {
        showMessage(QString::fromStdString(error.what()));
    }
}

// ---- Settings, help, about --------------------------------------------------------------

void TfrmMain::btnSettingsClick()
{
    if (settings_ != nullptr) {
        settings_->showCentredOver(this);
    }
}

void TfrmMain::ShowSettings1Click()
{
    btnSettingsClick();
}

void TfrmMain::LoadProfile1Click()
{
    if (settings_ != nullptr) {
        settings_->loadProfileCommand();
    }
}

void TfrmMain::ShowHelp1Click()
{
    try {
        const QString manual = environment_.manualPath;
        if (!QFileInfo::exists(manual)) {
            showMessage(QStringLiteral("Help file not found"));
            return;
        }
        // A desktop that cannot open the manual says so; the user would otherwise see nothing.
        if (!environment_.openUrl(QUrl::fromLocalFile(manual))) {
            showMessage(QStringLiteral("Show Help failed"));
        }
    } catch (const std::exception&) {
        showMessage(QStringLiteral("Show Help failed"));
    }
}

void TfrmMain::About1Click()
{
    if (about_ != nullptr) {
        about_->exec();
    }
}

void TfrmMain::imgZorvexClick()
{
    environment_.openUrl(QUrl(AppLinks::kDistributorUrl));
}

void TfrmMain::Exit1Click()
{
    close();
}

// ---- Closing ----------------------------------------------------------------------------

void TfrmMain::FormClose()
{
    try {
        pyrolith::WriteIniValues(ToPath(environment_.locations.settingsFile),
                                 {{"InitialOpenDir", openFolder_.toStdString()},
                                  {"InitialSaveDir", saveFolder_.toStdString()}});
    } catch (const std::exception& error) {
        showMessage(QString::fromStdString(error.what()));
    }
    // The settings window's exit prompt and the final write of the settings file.
    if (settings_ != nullptr) {
        settings_->finishRun();
    }
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    if (!closing_) {
        closing_ = true;
        // A job on the machine ends with the safe stop before the window goes.
        machine_->shutdown();
        FormClose();
        emit closed();
    }
    event->accept();
}
