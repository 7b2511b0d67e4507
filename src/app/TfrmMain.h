#pragma once

#include <QDateTime>
#include <QMainWindow>
#include <QUrl>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/AppPlatform.h"
#include "app/PictureDocument.h"

namespace Ui {
class TfrmMain;
}
class QFrame;
class QLabel;
class QPushButton;
class QShortcut;
class QProgressBar;
class TPictureBar;
class QAction;
class QRadioButton;
class MaterialCommands;
class TJobView;
class QDockWidget;
class TfrmAboutBox;
class TfrmMachine;
class TfrmSettings;
class UserDialogs;

// The main window. Every command of the program starts here: loading a picture, the two
// views, saving the displayed image, saving the G-code job, the settings, help and about.
// The picture and its work belong to its document (PictureDocument); the window shows them.
class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    // What the window needs of the world; tests replace the dialogs, the shell and the clock.
    struct Environment {
        UserDialogs* dialogs = nullptr;
        AppLocations locations;
        QString manualPath;
        std::function<bool(const QUrl&)> openUrl = ShellOpen;
        std::function<QDateTime()> clock = [] { return QDateTime::currentDateTime(); };
    };

    // Creation (FormCreate): records the decimal separator, creates the profiles folder,
    // sets the caption, builds the version text and clears the size lines.
    explicit TfrmMain(Environment environment, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // The settings window and the about window, created after the main window. The settings
    // window hands over the starting folders of the bitmap and G-code dialogs it read.
    void attachWindows(TfrmSettings* settings, TfrmAboutBox* about);

    QChar decimalSeparator() const { return decimalSeparator_; }
    const QString& versionText() const { return versionText_; }
    // The picture the window shows and the jobs made of it.
    PictureDocument& document() const { return *document_; }
    bool imageLoaded() const { return document_->imageLoaded(); }
    const QString& imageFileName() const { return document_->imageFileName(); }
    // The picture as read: its size.
    const PictureDocument::SourcePicture& sourceBitmap() const
    {
        return document_->sourcePicture();
    }
    const pyrolith::MonoBitmap& monoBitmap() const { return document_->monoBitmap(); }
    // The current starting folders of the bitmap open dialog and the G-code save dialog.
    const QString& openDialogFolder() const { return openFolder_; }
    const QString& saveDialogFolder() const { return saveFolder_; }

    // The final-size line from the picture size, DistPerPixel and UseInches. False (and
    // nothing changed) while no picture is loaded.
    bool ShowFinalSize() { return document_->showFinalSize(); }
    // Handles the window's events until the black-and-white image is up to date.
    void waitForPicture() { document_->waitForPicture(); }

    // The open dialog's filter: every picture this build reads first, then bitmaps and each
    // other format alone.
    static QString PictureFilter();
    // Shows a G-code file in the Job view, as "File > Open G-code..." does.
    void showGcodeFile(const QString& path);
    // Utility > "Material test..." and "Measure tone..."; null until attachWindows.
    MaterialCommands* materialCommands() const { return material_; }

    // Builds the version text of the program (the start-up calls it once).
    void VersionInformationClick();

    // The Job view and the G-code file it shows ("File > Open G-code..."); empty while it
    // shows the job of the loaded picture.
    TJobView* jobView() const { return jobView_; }
    const QString& gcodeFile() const { return document_->gcodeFile(); }

public slots:
    void Button1Click();
    void LoadBitmap1Click();
    void btnGcode2Click();
    void SaveGcode1Click();
    void btnSettingsClick();
    void ShowSettings1Click();
    void LoadProfile1Click();
    void SaveDisplayedImage1Click();
    void rdoOrigClick();
    void rdoBWClick();
    void rdoBWPlusCutClick();
    void rdoJobClick();
    void OpenGcode1Click();
    // A file named when the program starts (a file manager's "Open with"): a G-code file
    // (.gcode, .nc, .ngc) is shown in the Job view, any other file is loaded as a picture.
    void openGiven(const QString& path);
    void ShowHelp1Click();
    void About1Click();
    void Exit1Click();
    void imgZorvexClick();

signals:
    // The window has closed and written what it keeps: the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void FormCreate();
    void FormClose();
    void openPicture(const QString& path);
    void pictureLoadFinished();
    void showBusy();
    void pictureLoaded(const QImage& original);
    void enableViewCommands();
    void showView(int view);
    void setOpenFolder(const QString& folder);
    void setSaveFolder(const QString& folder);
    void showMessage(const QString& text);
    void addJobView();
    void jobSettingsChanged();
    void refreshJobPreview();
    void refreshCutView();
    void jobPreviewRead(std::shared_ptr<const pyrolith::toolpath::JobPreview> job,
                        const QString& failure);
    bool confirmRefusedLines(const pyrolith::toolpath::FileEstimate& check,
                             const std::function<void()>& beforeAsking);
    void createMachinePanel();
    void addPictureBar();
    void restoreWindow();
    void updatePhotoHint();

    std::unique_ptr<Ui::TfrmMain> ui_;
    Environment environment_;
    TfrmSettings* settings_ = nullptr;
    MaterialCommands* material_ = nullptr;
    TfrmAboutBox* about_ = nullptr;

    QChar decimalSeparator_ = QLatin1Char('.');
    QString versionText_;

    PictureDocument* document_ = nullptr;
    QFrame* pnlLoading_ = nullptr;
    QProgressBar* busyBar_ = nullptr;
    QLabel* lblLoading_ = nullptr;
    QPushButton* btnCancelLoad_ = nullptr;
    QShortcut* escapeLoad_ = nullptr;
    TPictureBar* pictureBar_ = nullptr;
    QFrame* photoHint_ = nullptr;
    bool photoHintDismissed_ = false;

    // What each file dialog keeps between commands: its initial folder and file name.
    QString openFolder_, openName_;
    QString saveFolder_, saveName_;
    QString bmpFolder_, bmpName_;
    bool closing_ = false;

    // The Job view: the job of the picture, or of a G-code file, read off the window's
    // thread; a newer reading cancels an older one.
    TJobView* jobView_ = nullptr;
    QRadioButton* rdoJob_ = nullptr;
    QAction* OpenGcode1_ = nullptr;
    QString gcodeFolder_;
    QTimer previewTimer_;
    bool previewDirty_ = true;
    // The B+W+Cut view's path, traced again when the view is shown after a change; the
    // settings window reports a change before it takes it, so the tracing waits a turn.
    QTimer cutTimer_;
    bool cutDirty_ = true;
    // The Machine panel, docked at the right and shown from the Utility menu.
    QDockWidget* machineDock_ = nullptr;
    TfrmMachine* machine_ = nullptr;
};
