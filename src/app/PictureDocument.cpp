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
#include "common/Error.h"
#include "gcode/CutPass.h"
#include "image/JobPicture.h"
#include "image/PhotoCheck.h"
#include "image/PictureOptions.h"
#include "image/PictureReader.h"
#include "image/Resample.h"
#include "machine/MachineJob.h"

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

// The Orig view's image of a picture: the picture itself, or for a picture longer than a
// screen shows a copy at most kOrigViewSide pixels on its long side (the view shows it at the
// picture's size), never a full-size colour image beside the picture as read.
constexpr std::int64_t kOrigViewSide = 4096;

QImage OrigViewImage(const pyrolith::Bitmap& picture, const pyrolith::CancelCheck& cancel)
{
    const std::int64_t longSide = std::max(picture.width, picture.height);
    if (longSide <= kOrigViewSide) {
        return ToImage(picture);
    }
    const std::int64_t columns =
        std::max<std::int64_t>(1, picture.width * kOrigViewSide / longSide);
    return ToImage(pyrolith::ResampleToWidth(picture, columns, {}, cancel));
}

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
        std::shared_ptr<const pyrolith::Bitmap> picture;
        Converted converted;
        QImage origImage;
        bool photo = false;
    };
    const pyrolith::JobSettings settings = this->settings();
    const std::filesystem::path file = ToPath(path);
    lastLoad_ = {};
    loadPending_ = true;
    loading_->start([this, settings, file, path](const pyrolith::CancelCheck& cancel) {
        QString failure;
        auto loaded = std::make_shared<Loaded>();
        try {
            loaded->picture = std::make_shared<const pyrolith::Bitmap>(
                pyrolith::ReadPicture(file, {}, cancel));
            if (loaded->picture->layout != pyrolith::PixelLayout::Unrecognized) {
                loaded->converted = Convert(loaded->picture, settings, nullptr, cancel);
                loaded->origImage = OrigViewImage(*loaded->picture, cancel);
                loaded->photo = pyrolith::LooksLikePhoto(*loaded->picture);
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
            } else if (loaded->picture->layout == pyrolith::PixelLayout::Unrecognized) {
                sourceBitmap_ = std::make_shared<const pyrolith::Bitmap>();
                lastLoad_ = {LoadOutcome::Refused,
                             QString::fromStdString(pyrolith::UnrecognizedFormatMessage())};
                emit pictureCleared();
            } else {
                sourceBitmap_ = loaded->picture;
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

PictureDocument::Converted PictureDocument::Convert(std::shared_ptr<const pyrolith::Bitmap> source,
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

void PictureDocument::showConverted(Converted converted)
{
    const QImage image = std::move(converted.monoImage);
    converted.monoImage = QImage();
    monoBitmap_ = std::move(converted.mono);
    converted_ = std::move(converted);
    emit monoChanged(image);
    showFinalSize();
}

void PictureDocument::pictureSettingsChanged()
{
    if (!imageLoaded_ || settings_ == nullptr || sourceBitmap_->empty()) {
        return;
    }
    const pyrolith::JobSettings& settings = *settings_;
    if (converted_.source == sourceBitmap_ && SamePicture(converted_.settings, settings) &&
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
        monoBitmap_.width(), monoBitmap_.height(), settings_->DistPerPixel, settings_->UseInches,
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
    job.sourceWidth = sourceBitmap_->width;
    job.sourceHeight = sourceBitmap_->height;
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
    return WithJobPicture(settings, *sourceBitmap_, monoBitmap_, [&](const auto& picture) {
        return pyrolith::machine::MachineJobLines(settings, picture, jobEnvironment());
    });
}

std::vector<std::string> PictureDocument::frameJobLines() const
{
    requirePicture();
    return pyrolith::machine::FrameJobLines(*settings_, monoBitmap_,
                                            static_cast<char>(decimalSeparator_.toLatin1()));
}

pyrolith::toolpath::FileEstimate PictureDocument::checkJob() const
{
    const pyrolith::JobEnvironment environment = jobEnvironment(); // the header's lines too
    const pyrolith::JobSettings& settings = *settings_;
    return WithJobPicture(settings, *sourceBitmap_, monoBitmap_, [&](const auto& picture) {
        return pyrolith::toolpath::CheckJob(settings, picture, environment);
    });
}

pyrolith::toolpath::SavedJob PictureDocument::writeJob(const QString& path,
                                                      const pyrolith::toolpath::ConfirmSave& confirm)
{
    waitForPicture(); // the job engraves the image of the settings it is written with
    const pyrolith::JobEnvironment job = jobEnvironment();
    const pyrolith::JobSettings& settings = *settings_;
    return WithJobPicture(settings, *sourceBitmap_, monoBitmap_, [&](const auto& picture) {
        return pyrolith::toolpath::SaveJob(ToPath(path), settings, picture, job, confirm);
    });
}

void PictureDocument::writePicture(const QString& path, bool original) const
{
    if (original) {
        pyrolith::WriteBitmap(ToPath(path), *sourceBitmap_);
    } else {
        pyrolith::WriteBitmap(ToPath(path), monoBitmap_);
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
    auto picture = std::make_shared<const pyrolith::MonoBitmap>(monoBitmap_);
    const std::shared_ptr<const pyrolith::Bitmap> source = sourceBitmap_;
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
                              : WithJobPicture(settings, *source, *picture, [&](const auto& job) {
                                    return pyrolith::toolpath::PreviewJob(settings, job,
                                                                          environment,
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
    auto picture = std::make_shared<const pyrolith::MonoBitmap>(monoBitmap_);
    const std::shared_ptr<const pyrolith::Bitmap> source = sourceBitmap_;
    const char separator = static_cast<char>(decimalSeparator_.toLatin1());
    QPointer<PictureDocument> self(this);
    QThreadPool::globalInstance()->start([=] {
        QList<QPolygonF> paths;
        try {
            const auto shapes = WithJobPicture(settings, *source, *picture, [&](const auto& job) {
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
