#include "app/PictureDocument.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QPointer>
#include <QThreadPool>
#include <algorithm>
#include <exception>
#include <filesystem>
#include <tuple>

#include "app/AppPlatform.h"
#include "app/BackgroundWork.h"
#include "app/BitmapImages.h"
#include "app/PictureReading.h"
#include "common/Error.h"
#include "gcode/CutPass.h"
#include "common/PathText.h"
#include "image/JobPicture.h"
#include "image/PictureOptions.h"
#include "image/PictureReader.h"
#include "machine/MachineJob.h"

namespace {

// The columns a resize asks for; 0 for none.
std::int64_t ColumnsOf(const pyrolith::JobSettings& settings)
{
    return pyrolith::ResizeColumns(settings).value_or(0);
}

// Whether two settings make the same black-and-white image of a picture.
bool SamePicture(const pyrolith::JobSettings& a, const pyrolith::JobSettings& b)
{
    return ColumnsOf(a) == ColumnsOf(b) &&
           pyrolith::ConversionOptionsOf(a).mode == pyrolith::ConversionOptionsOf(b).mode &&
           std::tie(a.Threshold, a.Brightness, a.Contrast, a.Gamma, a.Invert, a.ToneCurve) ==
               std::tie(b.Threshold, b.Brightness, b.Contrast, b.Gamma, b.Invert, b.ToneCurve);
}

// The file's size and time of change, which tell whether it is still the picture loaded.
std::pair<std::uintmax_t, std::filesystem::file_time_type>
FileStamp(const std::filesystem::path& file)
{
    std::error_code error;
    const std::uintmax_t bytes = std::filesystem::file_size(file, error);
    if (error) {
        return {};
    }
    return {bytes, std::filesystem::last_write_time(file, error)};
}

std::string ChangedMessage(const std::filesystem::path& file)
{
    return "The picture '" + pyrolith::Utf8FromPath(file.filename()) +
           "' was changed or removed after it was loaded. Load it again to go on with it.";
}

} // namespace

PictureDocument::PictureDocument(std::function<QDateTime()> clock, QObject* parent)
    : QObject(parent), clock_(std::move(clock))
{
    loading_ = new BackgroundWork(this);
    converting_ = new BackgroundWork(this);
    for (BackgroundWork* work : {loading_, converting_}) {
        connect(work, &BackgroundWork::busyChanged, this, [this] { emit busyChanged(busy()); });
    }
}

PictureDocument::~PictureDocument()
{
    cancelJobPreview();
}

pyrolith::JobSettings PictureDocument::settings() const
{
    return settings_ != nullptr ? *settings_ : pyrolith::JobSettings{};
}

void PictureDocument::setJobTexts(QChar decimalSeparator, const QString& versionText)
{
    decimalSeparator_ = decimalSeparator;
    versionText_ = versionText;
}

// ---- Loading ----------------------------------------------------------------------------

void PictureDocument::load(const QString& path)
{
    struct Loaded {
        bool refused = false;
        Converted converted;
        QImage origImage;
        bool photo = false;
    };
    const pyrolith::JobSettings settings = this->settings();
    const std::filesystem::path file = ToPath(path);
    const std::int64_t viewSide = OrigViewSide();
    lastLoad_ = {};
    loadPending_ = true;
    loading_->start([this, settings, file, path, viewSide](const pyrolith::CancelCheck& cancel) {
        QString failure;
        auto loaded = std::make_shared<Loaded>();
        try {
            auto source = std::make_shared<SourceFile>();
            source->path = file;
            std::tie(source->bytes, source->modified) = FileStamp(file);
            PictureReadRequest request;
            request.columns = ColumnsOf(settings);
            request.viewSide = viewSide;
            request.gray = true;
            request.palette =
                pyrolith::ConversionOptionsOf(settings).mode == pyrolith::ImageMode::Palette;
            PictureRead read = ReadForWindow(file, request, cancel);
            loaded->refused = read.refused;
            if (!read.refused) {
                source->width = read.width;
                source->height = read.height;
                // What the reading made, completed as a conversion of the same settings.
                const Converted made{source, settings, std::move(read.gray),
                                     std::move(read.palette)};
                loaded->converted = Convert(source, settings, &made, cancel);
                loaded->origImage = std::move(read.view);
                loaded->photo = read.photo;
            }
        } catch (const std::bad_alloc&) {
            failure = QStringLiteral("Out of memory");
        } catch (const std::exception& error) {
            failure = QString::fromStdString(error.what());
        }
        return BackgroundWork::Finish([this, loaded, failure, path] {
            loadPending_ = false;
            if (!failure.isEmpty()) {
                // The reader's message; the picture and its image stay as they were.
                lastLoad_ = {LoadOutcome::Failed, failure};
            } else if (loaded->refused) {
                source_ = std::make_shared<const SourceFile>();
                lastLoad_ = {LoadOutcome::Refused,
                             QString::fromStdString(pyrolith::UnrecognizedFormatMessage())};
                emit pictureCleared();
            } else {
                source_ = loaded->converted.source;
                imageLoaded_ = true;
                imageFileName_ = QFileInfo(path).fileName();
                imagePath_ = path;
                looksLikePhoto_ = loaded->photo;
                gcodeFile_.clear();
                emit pictureLoaded(loaded->origImage);
                showConverted(std::move(loaded->converted));
                lastLoad_ = {LoadOutcome::Loaded, {}};
            }
            emit loadFinished();
            if (lastLoad_.result == LoadOutcome::Loaded) {
                // Settings changed while the picture was read: its image follows them.
                pictureSettingsChanged();
            }
        });
    });
}

void PictureDocument::cancelLoad()
{
    if (loadPending_) {
        loading_->cancel(); // the reading stops at its next check, its picture is dropped
        loadPending_ = false;
        lastLoad_ = {};
        emit loadFinished();
    }
}

bool PictureDocument::loading() const
{
    return loadPending_;
}

void PictureDocument::waitForLoad()
{
    if (!loadPending_) {
        return;
    }
    QEventLoop loop;
    connect(this, &PictureDocument::loadFinished, &loop, &QEventLoop::quit);
    loop.exec();
}

namespace {

// The picture file read again for what `request` asks, after a check that it is the picture
// loaded; a file changed or removed since throws ChangedMessage.
template <typename Source>
PictureRead ReadAgain(const Source& source, const PictureReadRequest& request,
                      const pyrolith::CancelCheck& cancel)
{
    if (FileStamp(source.path) != std::make_pair(source.bytes, source.modified)) {
        throw pyrolith::Error(ChangedMessage(source.path));
    }
    PictureRead read = ReadForWindow(source.path, request, cancel);
    if (read.refused || read.width != source.width || read.height != source.height) {
        throw pyrolith::Error(ChangedMessage(source.path));
    }
    return read;
}

} // namespace

PictureDocument::Converted PictureDocument::Convert(std::shared_ptr<const SourceFile> source,
                                                    const pyrolith::JobSettings& settings,
                                                    const Converted* previous,
                                                    const pyrolith::CancelCheck& cancel)
{
    Converted out{std::move(source), settings, nullptr, nullptr};
    const std::int64_t columns = ColumnsOf(settings);
    const pyrolith::ConversionOptions options = pyrolith::ConversionOptionsOf(settings);
    const bool palette = options.mode == pyrolith::ImageMode::Palette;
    if (previous != nullptr && previous->source == out.source &&
        ColumnsOf(previous->settings) == columns) {
        out.gray = previous->gray;
        if (palette && previous->mono &&
            pyrolith::ConversionOptionsOf(previous->settings).mode == options.mode) {
            out.mono = previous->mono; // the adjustments do not change the palette rule
            return out;
        }
    }
    if (palette || !out.gray) {
        PictureReadRequest request;
        request.columns = columns;
        request.gray = !out.gray;
        request.palette = palette;
        PictureRead read = ReadAgain(*out.source, request, cancel);
        if (!out.gray) {
            out.gray = std::move(read.gray);
        }
        out.mono = std::move(read.palette);
    }
    if (!palette) {
        out.mono = MonoOfGray(*out.gray, options, cancel);
    }
    return out;
}

pyrolith::GrayRaster PictureDocument::JobGrayLevels(const pyrolith::JobSettings& settings,
                                                    const std::shared_ptr<const SourceFile>& source,
                                                    const Converted& converted,
                                                    const pyrolith::CancelCheck& cancel)
{
    if (source->empty()) {
        return {}; // a file of a format the reader does not take replaced the picture
    }
    const std::int64_t columns = ColumnsOf(settings);
    std::shared_ptr<const pyrolith::GrayRaster> gray;
    if (converted.source == source && ColumnsOf(converted.settings) == columns) {
        gray = converted.gray;
    }
    if (!gray) {
        PictureReadRequest request;
        request.columns = columns;
        request.gray = true;
        gray = ReadAgain(*source, request, cancel).gray;
    }
    pyrolith::GrayRaster levels = *gray;
    pyrolith::AdjustGrayLevels(levels, pyrolith::ConversionOptionsOf(settings).adjustments);
    return levels;
}

template <typename Use>
auto PictureDocument::WithJobPicture(const pyrolith::JobSettings& settings,
                                     const std::shared_ptr<const SourceFile>& source,
                                     const Converted& converted, const pyrolith::MonoBitmap& mono,
                                     Use&& use, const pyrolith::CancelCheck& cancel)
{
    if (pyrolith::EngravesPowerLevels(settings)) {
        return use(JobGrayLevels(settings, source, converted, cancel));
    }
    return use(mono);
}

void PictureDocument::showConverted(Converted converted)
{
    monoBitmap_ = converted.mono;
    converted_ = std::move(converted);
    emit monoChanged(ToImage(monoBitmap_));
    showFinalSize();
}

void PictureDocument::pictureSettingsChanged()
{
    if (!imageLoaded_ || settings_ == nullptr || source_->empty()) {
        return;
    }
    const pyrolith::JobSettings& settings = *settings_;
    if (converted_.source == source_ && SamePicture(converted_.settings, settings) &&
        !converting_->busy()) {
        return;
    }
    if (ColumnsOf(converted_.settings) != ColumnsOf(settings)) {
        // The grey levels of another size are not kept beside the new ones while they are
        // read (they are read again should the size come back).
        converted_.gray.reset();
    }
    auto previous = std::make_shared<const Converted>(converted_);
    converting_->start([this, previous, settings, source = source_](
                           const pyrolith::CancelCheck& cancel) -> BackgroundWork::Finish {
        try {
            auto converted =
                std::make_shared<Converted>(Convert(source, settings, previous.get(), cancel));
            return [this, converted] {
                if (converted->source == source_) {
                    showConverted(std::move(*converted));
                }
            };
        } catch (const pyrolith::Cancelled&) {
            throw;
        } catch (const std::bad_alloc&) {
            return [this] { emit failed(QStringLiteral("Out of memory")); };
        } catch (const std::exception& error) {
            const QString message = QString::fromStdString(error.what());
            return [this, message] { emit failed(message); };
        }
    });
}

bool PictureDocument::busy() const
{
    return loadPending_ || converting_->busy();
}

void PictureDocument::waitForPicture()
{
    converting_->wait();
}

bool PictureDocument::showFinalSize()
{
    if (!imageLoaded_ || settings_ == nullptr) {
        return false;
    }
    // The size of the picture that the job engraves: after a refused picture format this is
    // still the previous picture, which the job and the B+W view go on using.
    emit finalSizeChanged(QString::fromStdString(pyrolith::FinalSizeLine(
        monoBitmap_->width(), monoBitmap_->height(), settings_->DistPerPixel, settings_->UseInches,
        static_cast<char>(decimalSeparator_.toLatin1()))));
    return true;
}

// ---- The job ----------------------------------------------------------------------------

pyrolith::JobEnvironment PictureDocument::jobEnvironment() const
{
    const pyrolith::DateTimeTexts now = JobDateTimeTexts(clock_());
    pyrolith::JobEnvironment job;
    job.decimalSeparator = static_cast<char>(decimalSeparator_.toLatin1());
    job.date = now.date;
    job.time = now.time;
    job.versionText = versionText_.toStdString();
    job.imageFileName = imageFileName_.toStdString();
    job.sourceWidth = source_->width;
    job.sourceHeight = source_->height;
    return job;
}

void PictureDocument::requirePicture() const
{
    if (!imageLoaded_ || settings_ == nullptr) {
        throw pyrolith::Error("Load a picture first.");
    }
}

std::vector<std::string> PictureDocument::machineJobLines()
{
    requirePicture();
    waitForPicture(); // the job engraves the image of the settings it is sent with
    const pyrolith::JobSettings& settings = *settings_;
    return WithJobPicture(settings, source_, converted_, *monoBitmap_, [&](const auto& picture) {
        return pyrolith::machine::MachineJobLines(settings, picture, jobEnvironment());
    });
}

std::vector<std::string> PictureDocument::frameJobLines() const
{
    requirePicture();
    return pyrolith::machine::FrameJobLines(*settings_, *monoBitmap_,
                                            static_cast<char>(decimalSeparator_.toLatin1()));
}

pyrolith::toolpath::FileEstimate PictureDocument::checkJob() const
{
    const pyrolith::JobEnvironment environment = jobEnvironment(); // the header's lines too
    const pyrolith::JobSettings& settings = *settings_;
    return WithJobPicture(settings, source_, converted_, *monoBitmap_, [&](const auto& picture) {
        return pyrolith::toolpath::CheckJob(settings, picture, environment);
    });
}

pyrolith::toolpath::SavedJob PictureDocument::writeJob(const QString& path,
                                                      const pyrolith::toolpath::ConfirmSave& confirm)
{
    waitForPicture(); // the job engraves the image of the settings it is written with
    const pyrolith::JobEnvironment job = jobEnvironment();
    const pyrolith::JobSettings& settings = *settings_;
    return WithJobPicture(settings, source_, converted_, *monoBitmap_, [&](const auto& picture) {
        return pyrolith::toolpath::SaveJob(ToPath(path), settings, picture, job, confirm);
    });
}

void PictureDocument::writePicture(const QString& path, bool original) const
{
    if (original) {
        // The picture in its own layout, as ReadPicture gives it, read again.
        const SourceFile& source = *source_;
        if (FileStamp(source.path) != std::make_pair(source.bytes, source.modified)) {
            throw pyrolith::Error(ChangedMessage(source.path));
        }
        const pyrolith::Bitmap picture = pyrolith::ReadPicture(source.path);
        if (picture.width != source.width || picture.height != source.height ||
            picture.layout == pyrolith::PixelLayout::Unrecognized) {
            throw pyrolith::Error(ChangedMessage(source.path));
        }
        pyrolith::WriteBitmap(ToPath(path), picture);
    } else {
        pyrolith::WriteBitmap(ToPath(path), *monoBitmap_);
    }
}

void PictureDocument::cancelJobPreview()
{
    if (previewCancel_) {
        previewCancel_->store(true);
    }
}

void PictureDocument::readJobPreview()
{
    cancelJobPreview();
    if (gcodeFile_.isEmpty() && !imageLoaded_) {
        ++previewGeneration_;
        emit jobPreviewRead(nullptr, {});
        return;
    }
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    previewCancel_ = cancel;
    const int generation = ++previewGeneration_;

    const pyrolith::JobSettings settings = this->settings();
    const std::filesystem::path file =
        gcodeFile_.isEmpty() ? std::filesystem::path() : ToPath(gcodeFile_);
    const std::shared_ptr<const pyrolith::MonoBitmap> picture = monoBitmap_;
    const std::shared_ptr<const SourceFile> source = source_;
    const Converted converted = converted_;
    pyrolith::JobEnvironment environment;
    environment.decimalSeparator = static_cast<char>(decimalSeparator_.toLatin1());
    environment.versionText = versionText_.toStdString();
    environment.imageFileName = imageFileName_.toStdString();
    environment.sourceWidth = source->width;
    environment.sourceHeight = source->height;

    QPointer<PictureDocument> self(this);
    QThreadPool::globalInstance()->start([=] {
        std::shared_ptr<const pyrolith::toolpath::JobPreview> preview;
        QString failure;
        try {
            preview = std::make_shared<const pyrolith::toolpath::JobPreview>(
                !file.empty() ? pyrolith::toolpath::ReadJobPreviewFile(
                                    file, pyrolith::toolpath::MachineProfileOf(settings),
                                    cancel.get())
                              : WithJobPicture(
                                    settings, source, converted, *picture,
                                    [&](const auto& job) {
                                        return pyrolith::toolpath::PreviewJob(
                                            settings, job, environment, cancel.get());
                                    },
                                    [&cancel] { return cancel->load(); }));
        } catch (const std::exception& error) {
            failure = QString::fromStdString(error.what());
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, preview, failure, generation] {
                if (!self || generation != self->previewGeneration_) {
                    return;
                }
                emit self->jobPreviewRead(preview, failure);
            },
            Qt::QueuedConnection);
    });
}

void PictureDocument::traceCut()
{
    const int generation = ++cutGeneration_;
    if (!imageLoaded_) {
        emit cutTraced({});
        return;
    }
    const pyrolith::JobSettings settings = this->settings();
    const std::shared_ptr<const pyrolith::MonoBitmap> picture = monoBitmap_;
    const std::shared_ptr<const SourceFile> source = source_;
    const Converted converted = converted_;
    const char separator = static_cast<char>(decimalSeparator_.toLatin1());
    QPointer<PictureDocument> self(this);
    QThreadPool::globalInstance()->start([=] {
        QList<QPolygonF> paths;
        try {
            const auto shapes =
                WithJobPicture(settings, source, converted, *picture, [&](const auto& job) {
                    return pyrolith::CutPathInPixels(settings, job, separator);
                });
            // The path's y grows upward from the picture's bottom edge, the picture's rows
            // downward from its top.
            const double height = picture->height();
            for (const pyrolith::outline::Shape& shape : shapes) {
                QPolygonF path;
                path.reserve(static_cast<qsizetype>(shape.size()));
                for (const pyrolith::outline::Point& p : shape) {
                    path.append(QPointF(p.x, height - p.y));
                }
                paths.append(path);
            }
        } catch (const std::exception&) {
            paths.clear(); // a setting the job refuses: the job has no cut to show
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, paths, generation] {
                if (self && generation == self->cutGeneration_) {
                    emit self->cutTraced(paths);
                }
            },
            Qt::QueuedConnection);
    });
}
