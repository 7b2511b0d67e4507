#pragma once

#include <QDateTime>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPolygonF>
#include <QString>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/Cancel.h"
#include "gcode/JobWriter.h"
#include "image/GrayLevels.h"
#include "image/MonoBitmap.h"
#include "settings/JobSettings.h"
#include "toolpath/JobReadback.h"
#include "toolpath/ToolpathPreview.h"

class BackgroundWork;

// The picture the windows show and the job made of it: the picture as read (its file and
// size, and the Orig view's image at most a screen's size), the grey levels and the
// black-and-white image (MonoBitmap) of the picture the job engraves, the G-code file the Job
// view shows instead, and the work that reads, converts and turns them into jobs off the
// window's thread. The colours of a large picture are never held whole: what needs them again
// (another resize, the Palette mode after another, saving the original) reads the file again.
// It holds no widget: the main window shows what it announces, the settings window tells it
// what changed, the Machine panel takes its jobs from it.
class PictureDocument : public QObject {
    Q_OBJECT
public:
    explicit PictureDocument(std::function<QDateTime()> clock, QObject* parent = nullptr);
    ~PictureDocument() override;

    // The settings the picture and the jobs follow (the settings window's); null for none.
    void setSettings(const pyrolith::JobSettings* settings) { settings_ = settings; }
    bool hasSettings() const { return settings_ != nullptr; }
    // The current settings, or the defaults while there are none.
    pyrolith::JobSettings settings() const;
    // The texts every job carries: the user's decimal separator and the version text.
    void setJobTexts(QChar decimalSeparator, const QString& versionText);

    bool imageLoaded() const { return imageLoaded_; }
    const QString& imageFileName() const { return imageFileName_; }
    const QString& imagePath() const { return imagePath_; } // as given to load()
    // Whether the picture has the many greys of a photo (see LooksLikePhoto).
    bool looksLikePhoto() const { return looksLikePhoto_; }
    // The picture as read: its size (empty after a file of a format the reader does not take).
    struct SourcePicture {
        std::int32_t width = 0;
        std::int32_t height = 0;
        bool empty() const { return width == 0 || height == 0; }
    };
    const SourcePicture& sourcePicture() const { return *source_; }
    const pyrolith::MonoBitmap& monoBitmap() const { return *monoBitmap_; }

    // ---- Loading
    // How the last load ended, read when loadFinished is announced.
    struct LoadOutcome {
        enum Result { Loaded, Refused, Failed, Cancelled };
        Result result = Cancelled;
        QString message; // Refused and Failed: what the user reads
    };
    // Reads the picture and makes its black-and-white image off the window's thread; a newer
    // load cancels an older one. Loaded replaces the picture (and announces pictureLoaded and
    // monoChanged first); Refused (a format the reader does not take) clears the picture as
    // read and keeps the black-and-white image; Failed and Cancelled change nothing.
    void load(const QString& path);
    void cancelLoad();
    bool loading() const;
    // Handles the window's events, user input included, until the load has finished or is
    // cancelled.
    void waitForLoad();
    const LoadOutcome& lastLoad() const { return lastLoad_; }

    // The settings of the black-and-white image changed: it is made again off the window's
    // thread (a newer change cancels an older one) and announced when ready.
    void pictureSettingsChanged();
    // True while a picture is read (and not cancelled) or its black-and-white image made.
    bool busy() const;
    // Handles the window's events until the black-and-white image is up to date.
    void waitForPicture();

    // The final-size line of the picture the job engraves; false (and nothing announced)
    // while no picture is loaded or there are no settings.
    bool showFinalSize();

    // ---- The job
    // The G-code file the Job view shows instead of the picture's job; empty for the picture's.
    const QString& gcodeFile() const { return gcodeFile_; }
    void setGcodeFile(const QString& path) { gcodeFile_ = path; }

    // The texts of a job written now: separator, date and time, version, picture name.
    pyrolith::JobEnvironment jobEnvironment() const;
    // The job the window would save, as lines, after the black-and-white image is up to date;
    // throws pyrolith::Error with the user's text.
    std::vector<std::string> machineJobLines();
    // The frame trace of the picture, as lines.
    std::vector<std::string> frameJobLines() const;
    // The pre-flight check of the job as it would be written.
    pyrolith::toolpath::FileEstimate checkJob() const;
    // Writes the job to a file, after the black-and-white image is up to date, and checks it
    // in the same pass; `confirm` is asked with the check before the file replaces the target.
    pyrolith::toolpath::SavedJob writeJob(const QString& path,
                                          const pyrolith::toolpath::ConfirmSave& confirm);
    // Writes the picture as read (original: read from its file again, which must not have
    // changed since it was loaded) or the black-and-white image as a bitmap file.
    void writePicture(const QString& path, bool original) const;
    // Reads the job of the picture (generated in memory) or of the G-code file on a worker
    // thread; only the newest reading is announced by jobPreviewRead.
    void readJobPreview();
    void cancelJobPreview();
    // Traces the path of the perimeter cut over the job's picture on a worker thread; only the
    // newest tracing is announced by cutTraced.
    void traceCut();

signals:
    void busyChanged(bool busy);
    // The load started by load() has ended; lastLoad() says how.
    void loadFinished();
    // A new picture replaced the old one.
    void pictureLoaded(const QImage& original);
    // The picture as read is gone: a file of a format the reader does not take.
    void pictureCleared();
    // A new black-and-white image, the one the job engraves.
    void monoChanged(const QImage& mono);
    void finalSizeChanged(const QString& line);
    // A failure of work the user did not wait for (making the black-and-white image).
    void failed(const QString& message);
    // The newest Job view reading: a job, or null and why not.
    void jobPreviewRead(std::shared_ptr<const pyrolith::toolpath::JobPreview> job,
                        const QString& failure);
    // The newest cut path in the picture's pixels (0, 0 its top-left corner), one closed path
    // a shape; empty without a cut or when the settings would refuse the job.
    void cutTraced(const QList<QPolygonF>& paths);

private:
    // The file the picture was read from, to read it again.
    struct SourceFile : SourcePicture {
        std::filesystem::path path;
        std::uintmax_t bytes = 0;
        std::filesystem::file_time_type modified;
    };
    // The black-and-white image of a picture, and what it keeps to make the next one faster.
    struct Converted {
        std::shared_ptr<const SourceFile> source;
        pyrolith::JobSettings settings; // the picture settings it follows
        // The grey levels of the picture the job engraves (the source, resized when asked),
        // unadjusted; null when they are to be read again.
        std::shared_ptr<const pyrolith::GrayRaster> gray;
        std::shared_ptr<const pyrolith::MonoBitmap> mono; // null: to be made
    };
    static Converted Convert(std::shared_ptr<const SourceFile> source,
                             const pyrolith::JobSettings& settings, const Converted* previous,
                             const pyrolith::CancelCheck& cancel);
    // The grey levels a Grayscale job of `settings` burns.
    static pyrolith::GrayRaster JobGrayLevels(const pyrolith::JobSettings& settings,
                                              const std::shared_ptr<const SourceFile>& source,
                                              const Converted& converted,
                                              const pyrolith::CancelCheck& cancel);
    // Hands `use` the picture a job of `settings` engraves: the power levels of the grey
    // levels in a grey engraving, the black-and-white image `mono` otherwise.
    template <typename Use>
    static auto WithJobPicture(const pyrolith::JobSettings& settings,
                               const std::shared_ptr<const SourceFile>& source,
                               const Converted& converted, const pyrolith::MonoBitmap& mono,
                               Use&& use, const pyrolith::CancelCheck& cancel = {});
    void showConverted(Converted converted);
    void requirePicture() const;

    std::function<QDateTime()> clock_;
    const pyrolith::JobSettings* settings_ = nullptr;
    QChar decimalSeparator_ = QLatin1Char('.');
    QString versionText_;

    std::shared_ptr<const SourceFile> source_ = std::make_shared<const SourceFile>();
    std::shared_ptr<const pyrolith::MonoBitmap> monoBitmap_ =
        std::make_shared<const pyrolith::MonoBitmap>();
    Converted converted_; // what monoBitmap_ was made from
    bool imageLoaded_ = false;
    QString imageFileName_;
    QString imagePath_;
    bool looksLikePhoto_ = false;
    BackgroundWork* loading_ = nullptr;
    BackgroundWork* converting_ = nullptr;
    LoadOutcome lastLoad_;
    bool loadPending_ = false;

    QString gcodeFile_;
    std::shared_ptr<std::atomic<bool>> previewCancel_;
    int previewGeneration_ = 0;
    int cutGeneration_ = 0;
};
