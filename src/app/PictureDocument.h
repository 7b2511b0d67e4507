#pragma once

#include <QDateTime>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPolygonF>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/Cancel.h"
#include "gcode/JobWriter.h"
#include "image/Bitmap.h"
#include "image/GrayLevels.h"
#include "image/MonoBitmap.h"
#include "settings/JobSettings.h"
#include "toolpath/JobReadback.h"
#include "toolpath/ToolpathPreview.h"

class BackgroundWork;

// The picture the windows show and the job made of it: the picture as read (SourceBitmap),
// its black-and-white image (MonoBitmap), the G-code file the Job view shows instead, and the
// work that reads, converts and turns them into jobs off the window's thread. It holds no
// widget: the main window shows what it announces, the settings window tells it what changed,
// the Machine panel takes its jobs from it.
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
    const pyrolith::Bitmap& sourceBitmap() const { return *sourceBitmap_; }
    const pyrolith::MonoBitmap& monoBitmap() const { return monoBitmap_; }

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
    // Handles the window's events, user input excepted, until the load has finished.
    void waitForLoad();
    const LoadOutcome& lastLoad() const { return lastLoad_; }

    // The settings of the black-and-white image changed: it is made again off the window's
    // thread (a newer change cancels an older one) and announced when ready.
    void pictureSettingsChanged();
    // True while a picture is read or its black-and-white image made.
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
    // Writes the job to a file, after the black-and-white image is up to date.
    pyrolith::JobFileSummary writeJob(const QString& path);
    // Writes the picture as read (original) or the black-and-white image as a bitmap file.
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
    // The black-and-white image of a picture, and what it keeps to make the next one faster.
    struct Converted {
        std::shared_ptr<const pyrolith::Bitmap> source;
        pyrolith::JobSettings settings;                   // the picture settings it follows
        std::shared_ptr<const pyrolith::Bitmap> working;  // the source, resized when asked
        std::shared_ptr<const pyrolith::GrayRaster> gray; // working's grey levels, unadjusted
        pyrolith::MonoBitmap mono;                        // moved to monoBitmap_ when shown
        QImage monoImage;
    };
    static Converted Convert(std::shared_ptr<const pyrolith::Bitmap> source,
                             const pyrolith::JobSettings& settings, const Converted* previous,
                             const pyrolith::CancelCheck& cancel);
    void showConverted(Converted converted);
    void requirePicture() const;

    std::function<QDateTime()> clock_;
    const pyrolith::JobSettings* settings_ = nullptr;
    QChar decimalSeparator_ = QLatin1Char('.');
    QString versionText_;

    std::shared_ptr<const pyrolith::Bitmap> sourceBitmap_ =
        std::make_shared<const pyrolith::Bitmap>();
    pyrolith::MonoBitmap monoBitmap_;
    Converted converted_; // what monoBitmap_ was made from
    bool imageLoaded_ = false;
    QString imageFileName_;
    QString imagePath_;
    BackgroundWork* loading_ = nullptr;
    BackgroundWork* converting_ = nullptr;
    LoadOutcome lastLoad_;

    QString gcodeFile_;
    std::shared_ptr<std::atomic<bool>> previewCancel_;
    int previewGeneration_ = 0;
    int cutGeneration_ = 0;
};
