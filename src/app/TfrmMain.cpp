#include "app/TfrmMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QToolButton>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <algorithm>
#include <exception>

#include "app/AppLinks.h"
#include "app/AppStyle.h"
#include "app/MaterialCommands.h"
#include "toolpath/MachineProfile.h"
#include "toolpath/MotionPlanner.h"
#include "app/TJobView.h"
#include "app/TPictureBar.h"
#include "app/TfrmAboutBox.h"
#include "app/TfrmMachine.h"
#include "app/UserDialogs.h"
#include "app/WindowMemory.h"
#include "app/WindowPlacement.h"
#include "common/Error.h"
#include "image/PictureOptions.h"
#include "image/PictureReader.h"
#include "settings/SettingsFiles.h"
#include "toolpath/SpeedLimits.h"
#include "toolpath/ToolpathPreview.h"
#include "app/TfrmSettings.h"
#include "toolpath/StreamModel.h"
#include "ui_TfrmMain.h"

namespace {

const QString kAppTitle = QStringLiteral("Pyrolith");

// The hourglass cursor for the length of a command; the normal cursor comes back on every way
// out, an exception included.
class HourglassCursor {
public:
    explicit HourglassCursor(Qt::CursorShape shape = Qt::WaitCursor)
    {
        QApplication::setOverrideCursor(shape);
    }
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

enum View { OrigView, BWView, BWCutView, JobView };

// How many refused lines the question before saving lists.
constexpr std::size_t kListedRefusedLines = 5;

QString FolderOf(const QString& path)
{
    return QFileInfo(path).absolutePath();
}

QString NameOf(const QString& path)
{
    return QFileInfo(path).fileName();
}

// The local file of a drop, when it brings exactly one.
QString DroppedFile(const QMimeData* data)
{
    if (data == nullptr || !data->hasUrls() || data->urls().size() != 1 ||
        !data->urls().front().isLocalFile()) {
        return {};
    }
    return data->urls().front().toLocalFile();
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
    const QString start =
        QStringLiteral("Load a picture with \"Load bmp\", or drop a picture file here.");
    ui_->imgOrig->setPlaceholder(start);
    ui_->imgBW->setPlaceholder(start);
    setAcceptDrops(true);

    document_ = new PictureDocument(environment_.clock, this);
    // Over the image area's top left while the picture is read or converted: a moving bar,
    // and while it is read its name and "Cancel" (or Escape).
    pnlLoading_ = new QFrame(ui_->pnlImage);
    pnlLoading_->setObjectName(QStringLiteral("pnlLoading"));
    pnlLoading_->setAutoFillBackground(true);
    auto* loadingLayout = new QHBoxLayout(pnlLoading_);
    loadingLayout->setContentsMargins(6, 3, 3, 3);
    busyBar_ = new QProgressBar(pnlLoading_);
    busyBar_->setObjectName(QStringLiteral("prgPicture"));
    busyBar_->setRange(0, 0); // busy, without a share done
    busyBar_->setTextVisible(false);
    busyBar_->setFixedSize(160, 14);
    lblLoading_ = new QLabel(pnlLoading_);
    lblLoading_->setObjectName(QStringLiteral("lblLoading"));
    btnCancelLoad_ = new QPushButton(QStringLiteral("Cancel"), pnlLoading_);
    btnCancelLoad_->setObjectName(QStringLiteral("btnCancelLoad"));
    btnCancelLoad_->setToolTip(QStringLiteral("Stop reading the picture and keep the one shown (Escape)"));
    loadingLayout->addWidget(busyBar_);
    loadingLayout->addWidget(lblLoading_);
    loadingLayout->addWidget(btnCancelLoad_);
    pnlLoading_->move(8, 8);
    pnlLoading_->hide();
    connect(btnCancelLoad_, &QPushButton::clicked, document_, &PictureDocument::cancelLoad);
    escapeLoad_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escapeLoad_->setContext(Qt::WindowShortcut);
    escapeLoad_->setEnabled(false);
    connect(escapeLoad_, &QShortcut::activated, document_, &PictureDocument::cancelLoad);
    connect(document_, &PictureDocument::busyChanged, this, &TfrmMain::showBusy);
    connect(document_, &PictureDocument::loadFinished, this, &TfrmMain::showBusy);
    connect(document_, &PictureDocument::pictureLoaded, this, &TfrmMain::pictureLoaded);
    connect(document_, &PictureDocument::pictureCleared, ui_->imgOrig,
            &TPictureView::clearPicture);
    connect(document_, &PictureDocument::monoChanged, this, [this](const QImage& mono) {
        ui_->imgBW->setPicture(mono);
        ui_->imgBWCut->setPicture(mono);
        jobSettingsChanged(); // the job engraves the new image
    });
    connect(document_, &PictureDocument::finalSizeChanged, ui_->lblNewDim, &QLabel::setText);
    connect(document_, &PictureDocument::failed, this, &TfrmMain::showMessage);
    connect(document_, &PictureDocument::jobPreviewRead, this, &TfrmMain::jobPreviewRead);
    connect(document_, &PictureDocument::cutTraced, this, [this](const QList<QPolygonF>& paths) {
        const auto& c = pyrolith::toolpath::kCutColour;
        ui_->imgBWCut->setOverlay(paths, QColor(c[0], c[1], c[2]));
    });
    cutTimer_.setSingleShot(true);
    cutTimer_.setInterval(0);
    connect(&cutTimer_, &QTimer::timeout, this, &TfrmMain::refreshCutView);

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
    addJobView();

    FormCreate();
    addPictureBar();
    createMachinePanel();
    restoreWindow();
}

// The size, place and panels of the last run; at the first start a size that shows every
// control with the Machine panel open, centred.
void TfrmMain::restoreWindow()
{
    const WindowMemory memory = WindowMemory::Read(environment_.locations.settingsFile);
    jobView_->setShowTravel(memory.showTravel);
    if (!memory.mainGeometry.isEmpty() && restoreGeometry(memory.mainGeometry)) {
        restoreState(memory.mainState);
        return;
    }
    ensurePolished();
    ui_->pnlClient->ensurePolished();
    ui_->layClient->activate();
    const QSize client = ui_->layClient->totalSizeHint();
    const QSize panel = machine_->sizeHint();
    QSize size(client.width() + panel.width() + 24,
               std::max({height(), panel.height() + menuBar()->sizeHint().height() + 40,
                         client.height() + 200}));
    if (const QScreen* screen = this->screen()) {
        size = size.boundedTo(screen->availableGeometry().size() - QSize(16, 48));
    }
    resize(size.expandedTo(this->size()));
    CentreOnScreen(*this);
}

// The bar of the picture settings above the views and the photo hint below them.
void TfrmMain::addPictureBar()
{
    pictureBar_ = new TPictureBar(decimalSeparator_, ui_->pnlClient);
    ui_->layClient->removeWidget(ui_->pnlImage);
    ui_->layClient->addWidget(pictureBar_, 2, 0, 1, 2);
    ui_->layClient->addWidget(ui_->pnlImage, 3, 0, 1, 2);

    photoHint_ = new QFrame(ui_->pnlClient);
    photoHint_->setObjectName(QStringLiteral("pnlPhotoHint"));
    photoHint_->setFrameShape(QFrame::StyledPanel);
    auto* hintLayout = new QHBoxLayout(photoHint_);
    hintLayout->setContentsMargins(6, 2, 2, 2);
    auto* hint = new QLabel(
        QStringLiteral("This looks like a photo: a dither or Grayscale engraves its greys"),
        photoHint_);
    hint->setObjectName(QStringLiteral("lblPhotoHint"));
    auto* dismiss = new QToolButton(photoHint_);
    dismiss->setObjectName(QStringLiteral("btnDismissPhotoHint"));
    dismiss->setText(QStringLiteral("\u00D7"));
    dismiss->setToolTip(QStringLiteral("Dismiss"));
    dismiss->setAutoRaise(true);
    hintLayout->addWidget(hint, 1);
    hintLayout->addWidget(dismiss);
    ui_->layClient->addWidget(photoHint_, 4, 0, 1, 2);
    photoHint_->hide();
    connect(dismiss, &QToolButton::clicked, this, [this] {
        photoHintDismissed_ = true;
        updatePhotoHint();
    });
}

// Shown while a photo is converted by the nearest of 16 colours, until dismissed for it.
void TfrmMain::updatePhotoHint()
{
    const bool palette =
        pyrolith::ConversionOptionsOf(document_->settings()).mode == pyrolith::ImageMode::Palette;
    photoHint_->setVisible(document_->imageLoaded() && document_->looksLikePhoto() && palette &&
                           !photoHintDismissed_);
}

void TfrmMain::createMachinePanel()
{
    TfrmMachine::Sources sources;
    sources.settings = [this] { return document_->settings(); };
    sources.job = [this] {
        HourglassCursor hourglass;
        return document_->machineJobLines();
    };
    sources.frame = [this] { return document_->frameJobLines(); };
    sources.setSetting = [this](const QString& key, const QString& text) {
        return settings_ != nullptr && settings_->setFieldText(key, text);
    };
    machineDock_ = new QDockWidget(QStringLiteral("Machine"), this);
    machineDock_->setObjectName(QStringLiteral("dockMachine"));
    machine_ = new TfrmMachine(std::move(sources), environment_.dialogs, machineDock_);
    machineDock_->setWidget(machine_);
    // The Job view of the picture shows the job being sent, line for line: it marks the part
    // burned. A G-code file in the view is another job.
    connect(machine_, &TfrmMachine::connectedChanged, this, &TfrmMain::showBusy);
    connect(machine_, &TfrmMachine::jobProgress, this, [this](qint64 acknowledged) {
        if (jobView_ != nullptr && document_->gcodeFile().isEmpty()) {
            jobView_->setBurnedLines(acknowledged);
        }
    });
    addDockWidget(Qt::RightDockWidgetArea, machineDock_);
    machineDock_->hide();
    QAction* show = machineDock_->toggleViewAction();
    show->setObjectName(QStringLiteral("ShowMachine1"));
    show->setText(QStringLiteral("Machine"));
    ui_->Utility1->addAction(show);
}

TfrmMain::~TfrmMain()
{
    // The panel closes its port as it goes, after this window's members are gone.
    disconnect(machine_, nullptr, this, nullptr);
    disconnect(document_, nullptr, this, nullptr);
}

void TfrmMain::FormCreate()
{
    decimalSeparator_ = DecimalSeparator();

    // A link to a folder counts as the folder; a plain file of that name is no folder, and
    // none can be made in its place.
    const QString& profiles = environment_.locations.profilesFolder;
    if (!QFileInfo(profiles).isDir() && !QDir().mkpath(profiles)) {
        showMessage(QStringLiteral("Unable tp create Profiles folder"));
    }

    setWindowTitle(kAppTitle);
    VersionInformationClick();
    document_->setJobTexts(decimalSeparator_, versionText_);
    ui_->lblOrigDim->clear();
    ui_->lblNewDim->clear();

    statusBar(); // the line that reports a saved job, there from the start
    CentreOnScreen(*this);

    // The usual shortcuts; the captions stay as they are.
    ui_->LoadBitmap1->setShortcut(QKeySequence::Open);
    ui_->SaveGcode1->setShortcut(QKeySequence::Save);
    ui_->ShowHelp1->setShortcut(QKeySequence::HelpContents);
    ui_->Exit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
}

void TfrmMain::VersionInformationClick()
{
    versionText_ = VersionText();
}

void TfrmMain::attachWindows(TfrmSettings* settings, TfrmAboutBox* about)
{
    settings_ = settings;
    about_ = about;
    document_->setSettings(settings_ != nullptr ? &settings_->jobSettings() : nullptr);
    if (settings_ != nullptr) {
        // The bar and the settings window show the same settings.
        connect(pictureBar_, &TPictureBar::fieldEdited, settings_, &TfrmSettings::setFieldText);
        connect(settings_, &TfrmSettings::jobSettingsChanged, this, [this] {
            pictureBar_->showSettings(settings_->jobSettings());
            updatePhotoHint();
        });
        pictureBar_->showSettings(settings_->jobSettings());
        connect(settings_, &TfrmSettings::jobSettingsChanged, this,
                &TfrmMain::jobSettingsChanged);
        openFolder_ = QString::fromStdString(settings_->appSettings().InitialOpenDir);
        saveFolder_ = QString::fromStdString(settings_->appSettings().InitialSaveDir);
        MaterialCommands::Context material;
        material.window = this;
        material.dialogs = environment_.dialogs;
        material.settings = settings_;
        material.environment = [this] { return document_->jobEnvironment(); };
        material.showJob = [this](const QString& path) { showGcodeFile(path); };
        material.pictureFilter = [] { return PictureFilter(); };
        material.confirmJob = [this](std::string_view text) {
            return confirmRefusedLines(
                pyrolith::toolpath::EstimateText(
                    text, pyrolith::toolpath::MachineProfileOf(settings_->jobSettings())),
                [] {});
        };
        material_ = new MaterialCommands(std::move(material), ui_->Utility1);
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

// The window's messages report failures: boxes of the warning kind.
void TfrmMain::showMessage(const QString& text)
{
    environment_.dialogs->warning(this, text);
}

// ---- Loading a picture ------------------------------------------------------------------

void TfrmMain::LoadBitmap1Click()
{
    Button1Click();
}

QString TfrmMain::PictureFilter()
{
    const QString bitmaps = QStringLiteral("Bitmap image (*.bmp)");
    if (!pyrolith::PictureDecodersAvailable()) {
        return bitmaps;
    }
    // The first filter is the one the dialog selects.
    return QStringLiteral("Pictures (*.bmp *.png *.jpg *.jpeg *.gif *.tif *.tiff *.webp);;") +
           bitmaps +
           QStringLiteral(";;PNG image (*.png);;JPEG image (*.jpg *.jpeg);;GIF image (*.gif)"
                          ";;TIFF image (*.tif *.tiff);;WebP image (*.webp);;Any file (*)");
}

void TfrmMain::Button1Click()
{
    UserDialogs::FileRequest request;
    request.folder = openFolder_;
    request.fileName = openName_;
    request.filter = PictureFilter();
    request.confirmOverwrite = false;
    const QString path = environment_.dialogs->openFile(this, request);
    if (!path.isEmpty()) {
        openPicture(path);
        return;
    }
    enableViewCommands();
}

// A picture chosen in the dialog or dropped on the window. It is read off the window's
// thread; the window keeps drawing meanwhile, and takes no input until the picture is in.
void TfrmMain::openPicture(const QString& path)
{
    if (document_->loading()) {
        return;
    }
    openName_ = NameOf(path);
    {
        HourglassCursor busy(Qt::BusyCursor); // the window answers meanwhile
        ui_->Button1->setEnabled(false);
        ui_->LoadBitmap1->setEnabled(false);
        lblLoading_->setText(QStringLiteral("Reading %1...").arg(openName_));
        document_->load(path);
        showBusy();
        document_->waitForLoad();
        ui_->Button1->setEnabled(true);
        ui_->LoadBitmap1->setEnabled(true);
    }
    if (!closing_) {
        pictureLoadFinished();
    }
}

void TfrmMain::showBusy()
{
    const bool loading = document_->loading();
    lblLoading_->setVisible(loading);
    btnCancelLoad_->setVisible(loading);
    // Escape stops the machine while it is connected; the Cancel button is there anyway.
    escapeLoad_->setEnabled(loading && !machine_->connected());
    pnlLoading_->adjustSize();
    pnlLoading_->setVisible(document_->busy() || loading);
    pnlLoading_->raise();
}

void TfrmMain::pictureLoadFinished()
{
    const PictureDocument::LoadOutcome& outcome = document_->lastLoad();
    switch (outcome.result) {
    case PictureDocument::LoadOutcome::Loaded:
        enableViewCommands();
        break;
    case PictureDocument::LoadOutcome::Refused:
    case PictureDocument::LoadOutcome::Failed:
        // The reader's message; every view, picture, label and command stays as it was.
        showMessage(outcome.message);
        break;
    case PictureDocument::LoadOutcome::Cancelled:
        break;
    }
}

// A new picture replaced the old one: the window shows it.
void TfrmMain::pictureLoaded(const QImage& original)
{
    const PictureDocument::SourcePicture& picture = document_->sourcePicture();
    ui_->imgOrig->setPicture(original, QSize(picture.width, picture.height));
    photoHintDismissed_ = false;
    updatePhotoHint();
    ui_->lblOrigDim->setText(
        QString::fromStdString(pyrolith::OriginalSizeLine(picture.width, picture.height)));
    ui_->btnGcode2->setEnabled(true);
    ui_->SaveGcode1->setEnabled(true);
    const QString& path = document_->imagePath();
    setWindowTitle(kAppTitle + QStringLiteral("  ") + path);
    setOpenFolder(FolderOf(path));
    ui_->rdoBW->setChecked(true);
    showView(BWView);
}

void TfrmMain::dragEnterEvent(QDragEnterEvent* event)
{
    if (!DroppedFile(event->mimeData()).isEmpty() && !document_->busy()) {
        event->acceptProposedAction();
    }
}

void TfrmMain::dropEvent(QDropEvent* event)
{
    const QString path = DroppedFile(event->mimeData());
    if (path.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    openPicture(path);
}

void TfrmMain::enableViewCommands()
{
    rdoJob_->setEnabled(true);
    ui_->rdoOrig->setEnabled(true);
    ui_->rdoBW->setEnabled(true);
    ui_->rdoBWPlusCut->setEnabled(document_->imageLoaded());
    ui_->SaveDisplayedImage1->setEnabled(true);
}

// ---- Views ------------------------------------------------------------------------------

void TfrmMain::showView(int view)
{
    ui_->imgOrig->setVisible(view == OrigView);
    ui_->imgBW->setVisible(view == BWView);
    ui_->imgBWCut->setVisible(view == BWCutView);
    if (view == BWCutView && cutDirty_) {
        refreshCutView();
    }
    if (jobView_ != nullptr) {
        jobView_->setVisible(view == JobView);
        if (view == JobView && previewDirty_) {
            refreshJobPreview();
        }
    }
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

void TfrmMain::rdoJobClick()
{
    showView(JobView);
}

// ---- Job view ---------------------------------------------------------------------------

// The fourth view, its radio button and "File > Open G-code...", added to the form here.
void TfrmMain::addJobView()
{
    rdoJob_ = new QRadioButton(QStringLiteral("Job"), this);
    rdoJob_->setObjectName(QStringLiteral("rdoJob"));
    rdoJob_->setEnabled(false);
    ui_->layViews->addWidget(rdoJob_);
    connect(rdoJob_, &QRadioButton::clicked, this, &TfrmMain::rdoJobClick);

    jobView_ = new TJobView(ui_->pnlImage);
    jobView_->setObjectName(QStringLiteral("jobView"));
    jobView_->setVisible(false);
    ui_->layImage->addWidget(jobView_, 0, 0);

    OpenGcode1_ = new QAction(QStringLiteral("Open G-code..."), this);
    OpenGcode1_->setObjectName(QStringLiteral("OpenGcode1"));
    ui_->File1->insertAction(ui_->LoadProfile1, OpenGcode1_);
    connect(OpenGcode1_, &QAction::triggered, this, &TfrmMain::OpenGcode1Click);

    // Changes come in bursts (every key typed); the preview follows the last of them.
    previewTimer_.setSingleShot(true);
    previewTimer_.setInterval(150);
    connect(&previewTimer_, &QTimer::timeout, this, &TfrmMain::refreshJobPreview);
}

void TfrmMain::OpenGcode1Click()
{
    UserDialogs::FileRequest request;
    request.folder = gcodeFolder_.isEmpty() ? saveFolder_ : gcodeFolder_;
    request.filter = QStringLiteral("G-code (*.gcode *.nc *.ngc *.txt);;Any File (*)");
    request.confirmOverwrite = false;
    const QString path = environment_.dialogs->openFile(this, request);
    if (path.isEmpty()) {
        return;
    }
    gcodeFolder_ = FolderOf(path);
    showGcodeFile(path);
}

void TfrmMain::openGiven(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("gcode") || suffix == QLatin1String("nc") ||
        suffix == QLatin1String("ngc")) {
        gcodeFolder_ = FolderOf(path);
        showGcodeFile(path);
        return;
    }
    openPicture(path);
}

void TfrmMain::showGcodeFile(const QString& path)
{
    document_->setGcodeFile(path);
    previewDirty_ = true;
    rdoJob_->setEnabled(true);
    rdoJob_->setChecked(true);
    showView(JobView);
}

// The cut follows the picture and the settings; it is traced while its view is shown.
void TfrmMain::refreshCutView()
{
    cutDirty_ = true;
    if (!ui_->imgBWCut->isVisible()) {
        return;
    }
    cutDirty_ = false;
    document_->traceCut();
}

void TfrmMain::jobSettingsChanged()
{
    cutDirty_ = true;
    cutTimer_.start();
    previewDirty_ = true;
    if (jobView_->isVisible()) {
        previewTimer_.start();
    }
}

// Reads the job of the picture or of the G-code file off the window's thread.
void TfrmMain::refreshJobPreview()
{
    if (!jobView_->isVisible() || settings_ == nullptr) {
        return;
    }
    previewDirty_ = false;
    if (document_->gcodeFile().isEmpty() && !document_->imageLoaded()) {
        document_->cancelJobPreview();
        jobView_->setJob(nullptr);
        return;
    }
    jobView_->setStatus(QStringLiteral("Reading the job..."));
    document_->readJobPreview();
}

void TfrmMain::jobPreviewRead(std::shared_ptr<const pyrolith::toolpath::JobPreview> job,
                              const QString& failure)
{
    if (job) {
        jobView_->setJob(std::move(job));
    } else {
        jobView_->setJob(nullptr);
        jobView_->setStatus(failure);
    }
}

// Lines of the job the firmware would refuse or misread (the first few), speeds above the
// machine's rates and a controller that cannot keep up with the lines: whether to save anyway.
// True when there is nothing to say or the user says Yes.
bool TfrmMain::confirmRefusedLines(const pyrolith::toolpath::FileEstimate& check,
                                   const std::function<void()>& beforeAsking)
{
    const pyrolith::JobSettings& settings = settings_->jobSettings();
    const QString lineRate =
        QString::fromStdString(pyrolith::toolpath::LineRateWarning(check.stream));
    const std::vector<std::string> fast = pyrolith::toolpath::SpeedsAboveMaxRate(settings);
    if (check.problemCount == 0 && fast.empty() && lineRate.isEmpty()) {
        return true;
    }
    QString text;
    if (check.problemCount > 0) {
        const QString flavor =
            QString::fromLatin1(pyrolith::FlavorName(pyrolith::FlavorOf(settings)).data());
        text = QStringLiteral("%1 would refuse or misread %2 of this job:\n")
                   .arg(flavor == QStringLiteral("GRBL") ? QStringLiteral("GRBL")
                                                         : QStringLiteral("The 3D printer"))
                   .arg(check.problemCount == 1 ? QStringLiteral("1 line")
                                                : QStringLiteral("%1 lines").arg(
                                                      check.problemCount));
        for (std::size_t i = 0; i < check.problems.size() && i < kListedRefusedLines; ++i) {
            text += QStringLiteral("\nLine %1: %2")
                        .arg(check.problems[i].line)
                        .arg(QString::fromStdString(check.problems[i].reason));
        }
        if (check.problemCount > kListedRefusedLines) {
            text += QStringLiteral("\n...");
        }
    }
    if (!fast.empty()) {
        text += QLatin1String(text.isEmpty() ? "" : "\n\n") +
                QStringLiteral("The machine moves at its maximum rate where a speed asks for "
                               "more:\n");
        for (const std::string& line : fast) {
            text += QStringLiteral("\n") + QString::fromStdString(line);
        }
    }
    if (!lineRate.isEmpty()) {
        text += QLatin1String(text.isEmpty() ? "" : "\n\n") + lineRate;
    }
    text += QStringLiteral("\n\nSave anyway?");
    beforeAsking();
    return environment_.dialogs->askYesNo(this, text);
}

void TfrmMain::SaveDisplayedImage1Click()
{
    const bool original = ui_->rdoOrig->isChecked();
    if (!original && !ui_->rdoBW->isChecked()) {
        return;
    }
    // A view without a picture has nothing to save: no dialog, no file, no message.
    if (original ? document_->sourcePicture().empty() : document_->monoBitmap().empty()) {
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
        document_->writePicture(path, original);
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
    if (!document_->imageLoaded() || settings_ == nullptr) {
        return;
    }
    UserDialogs::FileRequest request;
    request.folder = saveFolder_;
    request.fileName = saveName_;
    request.filter = QStringLiteral("G-code (*.gcode);;Text (*.txt);;Any File (*)");
    request.defaultSuffix = QStringLiteral("txt");
    const QString path = environment_.dialogs->saveFile(this, request);
    if (path.isEmpty()) {
        environment_.dialogs->message(this, QStringLiteral("Cancelled..."));
        return;
    }
    saveName_ = NameOf(path);
    setSaveFolder(FolderOf(path));

    statusBar()->clearMessage();
    QString fieldKey;
    try {
        // The job is checked as it is written; the question comes before the complete file
        // replaces the target.
        HourglassCursor hourglass;
        const pyrolith::toolpath::SavedJob saved =
            document_->writeJob(path, [&](const pyrolith::toolpath::FileEstimate& check) {
                return confirmRefusedLines(check, [&] { hourglass.restore(); });
            });
        if (!saved.saved) {
            return;
        }
        statusBar()->showMessage(QStringLiteral("Saved %1: %2 lines, %3 bytes")
                                     .arg(saveName_)
                                     .arg(saved.written.lines)
                                     .arg(saved.written.bytes));
        return;
    } catch (const pyrolith::Error& error) {
        fieldKey = QString::fromStdString(error.fieldKey());
        showMessage(QString::fromStdString(error.what()));
    } catch (const std::exception& error) {
        showMessage(QString::fromStdString(error.what()));
    }
    // A refused setting: the settings window shows it, ready to be corrected.
    if (!fieldKey.isEmpty()) {
        settings_->showField(fieldKey, this);
    }
}

// ---- Settings, help, about --------------------------------------------------------------

void TfrmMain::btnSettingsClick()
{
    if (settings_ != nullptr) {
        settings_->showBeside(this);
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
        // A desktop that cannot open the manual says so, and where the manual is, so that the
        // user can open it with a program of their choice.
        if (!environment_.openUrl(QUrl::fromLocalFile(manual))) {
            showMessage(QStringLiteral("Show Help failed: no program here opens the manual, a "
                                       "PDF file. It is at:\n%1")
                            .arg(QDir::toNativeSeparators(manual)));
        }
    } catch (const std::exception&) {
        showMessage(QStringLiteral("Show Help failed"));
    }
}

void TfrmMain::About1Click()
{
    if (about_ != nullptr) {
        CentreOnScreen(*about_); // on the screen, not over the main window
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
    // The settings window's exit prompt and the final write of the settings file, which
    // holds the two dialog folders as well: the file is written once, and a failure to write
    // it is reported once.
    // The windows' memory goes first; the final write keeps it.
    WindowMemory memory;
    memory.mainGeometry = saveGeometry();
    memory.mainState = saveState();
    memory.showTravel = jobView_->showsTravel();
    try {
        memory.write(environment_.locations.settingsFile);
    } catch (const std::exception& error) {
        if (settings_ == nullptr) {
            showMessage(QString::fromStdString(error.what()));
            return;
        }
        // The settings window's write meets the same fault and reports it.
    }
    if (settings_ != nullptr) {
        settings_->finishRun();
        return;
    }
    try {
        pyrolith::WriteIniValues(ToPath(environment_.locations.settingsFile),
                                 {{"InitialOpenDir", openFolder_.toStdString()},
                                  {"InitialSaveDir", saveFolder_.toStdString()}});
    } catch (const std::exception& error) {
        showMessage(QString::fromStdString(error.what()));
    }
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    if (!closing_) {
        // One stray key must not end a long burn: a running job stops only when the user
        // says so, and No leaves everything as it was.
        if (machine_->jobActive() &&
            !environment_.dialogs->askYesNo(
                this, QStringLiteral("A job is running on the machine. Stop it and quit?"))) {
            event->ignore();
            return;
        }
        closing_ = true;
        document_->cancelLoad();
        // A job on the machine ends with the safe stop before the window goes.
        machine_->shutdown();
        FormClose();
        emit closed();
    }
    event->accept();
}
