#include "app/TfrmMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QThreadPool>
#include <exception>
#include <filesystem>
#include <tuple>
#include <variant>

#include "app/AppLinks.h"
#include "app/AppStyle.h"
#include "app/BackgroundWork.h"
#include "app/BitmapImages.h"
#include "app/CutView.h"
#include "app/TJobView.h"
#include "app/TfrmAboutBox.h"
#include "app/TfrmMachine.h"
#include "app/UserDialogs.h"
#include "app/WindowPlacement.h"
#include "common/Error.h"
#include "gcode/JobWriter.h"
#include "image/JobPicture.h"
#include "image/PictureOptions.h"
#include "image/PictureReader.h"
#include "image/Resample.h"
#include "machine/MachineJob.h"
#include "settings/SettingsFiles.h"
#include "toolpath/JobReadback.h"
#include "app/TfrmSettings.h"
#include "ui_TfrmMain.h"

namespace {

// Hands `use` the picture a job engraves: the power levels of the picture's grey levels in a
// grey engraving, the black-and-white image otherwise.
template <typename Use>
auto WithJobPicture(const pyrolith::JobSettings& settings, const pyrolith::Bitmap& source,
                    const pyrolith::MonoBitmap& mono, Use&& use)
{
    if (pyrolith::EngravesPowerLevels(settings)) {
        return use(pyrolith::MakeJobGrayLevels(source, settings));
    }
    return use(mono);
}

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

// The columns a resize asks for; 0 for none.
std::int64_t ColumnsOf(const pyrolith::JobSettings& settings)
{
    return pyrolith::ResizeColumns(settings).value_or(0);
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

    loading_ = new BackgroundWork(this);
    converting_ = new BackgroundWork(this);
    busyBar_ = new QProgressBar(ui_->pnlImage);
    busyBar_->setObjectName(QStringLiteral("prgPicture"));
    busyBar_->setRange(0, 0); // busy, without a share done
    busyBar_->setTextVisible(false);
    busyBar_->setGeometry(8, 8, 160, 14);
    busyBar_->hide();
    for (BackgroundWork* work : {loading_, converting_}) {
        connect(work, &BackgroundWork::busyChanged, this, [this] {
            busyBar_->setVisible(pictureBusy());
            busyBar_->raise();
        });
    }

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
    cutView_ = new CutView(ui_->imgBWCut, this);
    cutTimer_.setSingleShot(true);
    cutTimer_.setInterval(0);
    connect(&cutTimer_, &QTimer::timeout, this, &TfrmMain::refreshCutView);

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
        waitForPicture(); // the job engraves the image of the settings it is sent with
        const pyrolith::JobSettings& settings = settings_->jobSettings();
        return WithJobPicture(settings, *sourceBitmap_, monoBitmap_, [&](const auto& picture) {
            return pyrolith::machine::MachineJobLines(settings, picture, jobEnvironment());
        });
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
    // The Job view of the picture shows the job being sent, line for line: it marks the part
    // burned. A G-code file in the view is another job.
    connect(machine_, &TfrmMachine::jobProgress, this, [this](qint64 acknowledged) {
        if (jobView_ != nullptr && gcodeFile_.isEmpty()) {
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

pyrolith::JobEnvironment TfrmMain::jobEnvironment() const
{
    const pyrolith::DateTimeTexts now = JobDateTimeTexts(environment_.clock());
    pyrolith::JobEnvironment job;
    job.decimalSeparator = static_cast<char>(decimalSeparator_.toLatin1());
    job.date = now.date;
    job.time = now.time;
    job.versionText = versionText_.toStdString();
    job.imageFileName = imageFileName_.toStdString();
    return job;
}

TfrmMain::~TfrmMain() = default;

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
    if (settings_ != nullptr) {
        connect(settings_, &TfrmSettings::jobSettingsChanged, this,
                &TfrmMain::jobSettingsChanged);
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

QString TfrmMain::PictureFilter()
{
    const QString bitmaps = QStringLiteral("Bitmap image (*.bmp)");
    if (!pyrolith::PictureDecodersAvailable()) {
        return bitmaps;
    }
    return bitmaps + QStringLiteral(
                         ";;All pictures (*.bmp *.png *.jpg *.jpeg *.gif *.tif *.tiff *.webp)"
                         ";;PNG image (*.png);;JPEG image (*.jpg *.jpeg);;GIF image (*.gif)"
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

// A picture chosen in the dialog or dropped on the window.
void TfrmMain::openPicture(const QString& path)
{
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
    enableViewCommands();
}

void TfrmMain::dragEnterEvent(QDragEnterEvent* event)
{
    if (!DroppedFile(event->mimeData()).isEmpty() && !pictureBusy()) {
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

// Reads the picture and makes its black-and-white image off the window's thread; the window
// keeps drawing meanwhile, and takes no input until the picture is in.
bool TfrmMain::loadPicture(const QString& path)
{
    HourglassCursor hourglass;
    struct Loaded {
        std::shared_ptr<const pyrolith::Bitmap> picture;
        Converted converted;
        QImage origImage;
    };
    std::variant<std::monostate, Loaded, std::string> outcome;
    const pyrolith::JobSettings settings =
        settings_ != nullptr ? settings_->jobSettings() : pyrolith::JobSettings{};
    const std::filesystem::path file = ToPath(path);
    ui_->Button1->setEnabled(false);
    loading_->start([&outcome, settings, file](const pyrolith::CancelCheck& cancel) {
        std::variant<std::monostate, Loaded, std::string> result;
        try {
            Loaded loaded;
            loaded.picture = std::make_shared<const pyrolith::Bitmap>(
                pyrolith::ReadPicture(file, {}, cancel));
            if (loaded.picture->layout != pyrolith::PixelLayout::Unrecognized) {
                loaded.converted = Convert(loaded.picture, settings, nullptr, cancel);
                loaded.origImage = ToImage(*loaded.picture);
            }
            result = std::move(loaded);
        } catch (const std::bad_alloc&) {
            result = std::string("Out of memory");
        } catch (const std::exception& error) {
            result = std::string(error.what());
        }
        return BackgroundWork::Finish(
            [&outcome, result = std::move(result)]() mutable { outcome = std::move(result); });
    });
    loading_->wait();
    ui_->Button1->setEnabled(true);
    if (const auto* message = std::get_if<std::string>(&outcome)) {
        throw pyrolith::Error(*message);
    }
    Loaded* loaded = std::get_if<Loaded>(&outcome);
    if (loaded == nullptr) {
        return false;
    }

    sourceBitmap_ = std::make_shared<const pyrolith::Bitmap>();
    if (loaded->picture->layout == pyrolith::PixelLayout::Unrecognized) {
        ui_->imgOrig->clearPicture();
        hourglass.restore();
        showMessage(QString::fromStdString(pyrolith::UnrecognizedFormatMessage()));
        return false;
    }

    ui_->imgOrig->setPicture(loaded->origImage);
    ui_->lblOrigDim->setText(QString::fromStdString(
        pyrolith::OriginalSizeLine(loaded->picture->width, loaded->picture->height)));
    sourceBitmap_ = loaded->picture;
    imageLoaded_ = true;
    gcodeFile_.clear();
    showConverted(std::move(loaded->converted));
    ui_->btnGcode2->setEnabled(true);
    ui_->SaveGcode1->setEnabled(true);

    imageFileName_ = NameOf(path);
    setWindowTitle(kAppTitle + QStringLiteral("  ") + path);
    setOpenFolder(FolderOf(path));

    ui_->rdoBW->setChecked(true);
    showView(BWView);
    // Settings changed while the picture was read: its image follows them.
    PictureSettingsChanged();
    return true;
}

TfrmMain::Converted TfrmMain::Convert(std::shared_ptr<const pyrolith::Bitmap> source,
                                      const pyrolith::JobSettings& settings,
                                      const Converted* previous,
                                      const pyrolith::CancelCheck& cancel)
{
    Converted out;
    out.source = std::move(source);
    out.settings = settings;
    const std::int64_t columns = ColumnsOf(settings);
    if (previous != nullptr && previous->source == out.source &&
        ColumnsOf(previous->settings) == columns) {
        out.working = previous->working;
        out.gray = previous->gray;
    } else if (columns > 0) {
        out.working = std::make_shared<const pyrolith::Bitmap>(
            pyrolith::ResampleToWidth(*out.source, columns, {}, cancel));
    } else {
        out.working = out.source;
    }
    const pyrolith::ConversionOptions options = pyrolith::ConversionOptionsOf(settings);
    if (options.mode == pyrolith::ImageMode::Palette) {
        out.mono = pyrolith::MakeMonoBitmap(*out.working);
    } else {
        if (!out.gray) {
            out.gray = std::make_shared<const pyrolith::GrayRaster>(
                pyrolith::GrayLevels(*out.working, cancel));
        }
        if (options.adjustments.isIdentity()) {
            out.mono = pyrolith::MonoFromGray(*out.gray, options.mode, options.threshold, cancel);
        } else {
            pyrolith::GrayRaster adjusted = *out.gray;
            pyrolith::AdjustGrayLevels(adjusted, options.adjustments);
            out.mono = pyrolith::MonoFromGray(std::move(adjusted), options.mode, options.threshold,
                                              cancel);
        }
    }
    out.monoImage = ToImage(out.mono);
    return out;
}

void TfrmMain::showConverted(Converted converted)
{
    ui_->imgBW->setPicture(converted.monoImage);
    ui_->imgBWCut->setPicture(converted.monoImage);
    converted.monoImage = QImage();
    monoBitmap_ = std::move(converted.mono);
    converted_ = std::move(converted);
    ShowFinalSize();
    if (jobView_ != nullptr) {
        jobSettingsChanged(); // the job engraves the new image
    }
}

// The cut follows the picture and the settings; it is traced while its view is shown.
void TfrmMain::refreshCutView()
{
    cutDirty_ = true;
    if (!imageLoaded_ || settings_ == nullptr || !ui_->imgBWCut->isVisible()) {
        return;
    }
    cutDirty_ = false;
    cutView_->trace(settings_->jobSettings(), sourceBitmap_,
                    std::make_shared<const pyrolith::MonoBitmap>(monoBitmap_),
                    static_cast<char>(decimalSeparator_.toLatin1()));
}

void TfrmMain::PictureSettingsChanged()
{
    if (!imageLoaded_ || settings_ == nullptr || sourceBitmap_->empty()) {
        return;
    }
    const pyrolith::JobSettings& settings = settings_->jobSettings();
    const auto same = [](const pyrolith::JobSettings& a, const pyrolith::JobSettings& b) {
        return ColumnsOf(a) == ColumnsOf(b) &&
               pyrolith::ConversionOptionsOf(a).mode == pyrolith::ConversionOptionsOf(b).mode &&
               std::tie(a.Threshold, a.Brightness, a.Contrast, a.Gamma, a.Invert) ==
                   std::tie(b.Threshold, b.Brightness, b.Contrast, b.Gamma, b.Invert);
    };
    if (converted_.source == sourceBitmap_ && same(converted_.settings, settings) &&
        !converting_->busy()) {
        return;
    }
    auto previous = std::make_shared<const Converted>(converted_);
    converting_->start([this, previous, settings, source = sourceBitmap_](
                           const pyrolith::CancelCheck& cancel) -> BackgroundWork::Finish {
        try {
            auto converted =
                std::make_shared<Converted>(Convert(source, settings, previous.get(), cancel));
            return [this, converted] {
                if (converted->source == sourceBitmap_) {
                    showConverted(std::move(*converted));
                }
            };
        } catch (const pyrolith::Cancelled&) {
            throw;
        } catch (const std::exception& error) {
            const QString message = QString::fromStdString(error.what());
            return [this, message] { showMessage(message); };
        }
    });
}

bool TfrmMain::pictureBusy() const
{
    return loading_->busy() || converting_->busy();
}

void TfrmMain::waitForPicture()
{
    converting_->wait();
}

void TfrmMain::enableViewCommands()
{
    rdoJob_->setEnabled(true);
    ui_->rdoOrig->setEnabled(true);
    ui_->rdoBW->setEnabled(true);
    ui_->rdoBWPlusCut->setEnabled(imageLoaded_);
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
    gcodeFile_ = path;
    previewDirty_ = true;
    rdoJob_->setEnabled(true);
    rdoJob_->setChecked(true);
    showView(JobView);
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

// Reads the job of the picture (generated in memory) or of the G-code file on a worker
// thread; the result is shown only if no newer reading has started meanwhile.
void TfrmMain::refreshJobPreview()
{
    if (!jobView_->isVisible() || settings_ == nullptr) {
        return;
    }
    previewDirty_ = false;
    if (previewCancel_) {
        previewCancel_->store(true);
    }
    if (gcodeFile_.isEmpty() && !imageLoaded_) {
        jobView_->setJob(nullptr);
        return;
    }
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    previewCancel_ = cancel;
    const int generation = ++previewGeneration_;
    jobView_->setStatus(QStringLiteral("Reading the job..."));

    const pyrolith::JobSettings settings = settings_->jobSettings();
    const std::filesystem::path file = gcodeFile_.isEmpty() ? std::filesystem::path()
                                                            : ToPath(gcodeFile_);
    auto picture = std::make_shared<const pyrolith::MonoBitmap>(monoBitmap_);
    const std::shared_ptr<const pyrolith::Bitmap> source = sourceBitmap_;
    pyrolith::JobEnvironment environment;
    environment.decimalSeparator = static_cast<char>(decimalSeparator_.toLatin1());
    environment.versionText = versionText_.toStdString();
    environment.imageFileName = imageFileName_.toStdString();

    QPointer<TfrmMain> self(this);
    QThreadPool::globalInstance()->start([=] {
        std::shared_ptr<const pyrolith::toolpath::JobPreview> preview;
        QString failure;
        try {
            preview = std::make_shared<const pyrolith::toolpath::JobPreview>(
                !file.empty() ? pyrolith::toolpath::ReadJobPreviewFile(
                                   file, pyrolith::toolpath::MachineProfileOf(settings),
                                   cancel.get())
                : WithJobPicture(settings, *source, *picture, [&](const auto& job) {
                      return pyrolith::toolpath::PreviewJob(settings, job, environment,
                                                            cancel.get());
                  }));
        } catch (const std::exception& error) {
            failure = QString::fromStdString(error.what());
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, preview, failure, generation] {
                if (!self || generation != self->previewGeneration_) {
                    return;
                }
                if (preview) {
                    self->jobView_->setJob(preview);
                } else {
                    self->jobView_->setJob(nullptr);
                    self->jobView_->setStatus(failure);
                }
            },
            Qt::QueuedConnection);
    });
}

// Lines of the job the firmware would refuse or misread: the first few, and whether to
// save anyway. True when there are none or the user says Yes.
bool TfrmMain::confirmRefusedLines()
{
    pyrolith::JobEnvironment environment;
    environment.decimalSeparator = static_cast<char>(decimalSeparator_.toLatin1());
    const pyrolith::JobSettings& settings = settings_->jobSettings();
    pyrolith::toolpath::FileEstimate check;
    try {
        HourglassCursor hourglass;
        check = WithJobPicture(settings, *sourceBitmap_, monoBitmap_, [&](const auto& picture) {
            return pyrolith::toolpath::CheckJob(settings, picture, environment);
        });
    } catch (const pyrolith::Error&) {
        return true;  // a setting that does not read: saving reports it
    }
    if (check.problemCount == 0) {
        return true;
    }
    const QString flavor =
        QString::fromLatin1(pyrolith::FlavorName(pyrolith::FlavorOf(settings)).data());
    QString text = QStringLiteral("%1 would refuse or misread %2 of this job:\n")
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
    text += QStringLiteral("\n\nSave anyway?");
    return environment_.dialogs->askYesNo(this, text);
}

void TfrmMain::SaveDisplayedImage1Click()
{
    const bool original = ui_->rdoOrig->isChecked();
    if (!original && !ui_->rdoBW->isChecked()) {
        return;
    }
    // A view without a picture has nothing to save: no dialog, no file, no message.
    if (original ? sourceBitmap_->empty() : monoBitmap_.empty()) {
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
            pyrolith::WriteBitmap(ToPath(path), *sourceBitmap_);
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

    statusBar()->clearMessage();
    QString fieldKey;
    try {
        if (!confirmRefusedLines()) {
            return;
        }
        HourglassCursor hourglass;
        waitForPicture(); // the job engraves the image of the settings it is written with
        const pyrolith::JobEnvironment job = jobEnvironment();
        const pyrolith::JobSettings& settings = settings_->jobSettings();
        const pyrolith::JobFileSummary written =
            WithJobPicture(settings, *sourceBitmap_, monoBitmap_, [&](const auto& picture) {
                return pyrolith::WriteJobFile(ToPath(path), settings, picture, job);
            });
        statusBar()->showMessage(QStringLiteral("Saved %1: %2 lines, %3 bytes")
                                     .arg(saveName_)
                                     .arg(written.lines)
                                     .arg(written.bytes));
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
        closing_ = true;
        // A job on the machine ends with the safe stop before the window goes.
        machine_->shutdown();
        FormClose();
        emit closed();
    }
    event->accept();
}
