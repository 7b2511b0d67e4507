#pragma once

#include <QDateTime>
#include <QMainWindow>
#include <QUrl>
#include <functional>
#include <memory>

#include "app/AppPlatform.h"
#include "image/Bitmap.h"
#include "gcode/JobWriter.h"
#include "image/MonoBitmap.h"

namespace Ui {
class TfrmMain;
}
class QDockWidget;
class TfrmAboutBox;
class TfrmMachine;
class TfrmSettings;
class UserDialogs;

// The main window. Every command of the program starts here: loading a picture, the two
// views, saving the displayed image, saving the G-code job, the settings, help and about.
// It owns the picture as read (SourceBitmap) and the black-and-white image (MonoBitmap).
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
    bool imageLoaded() const { return imageLoaded_; }
    const QString& imageFileName() const { return imageFileName_; }
    const pyrolith::Bitmap& sourceBitmap() const { return sourceBitmap_; }
    const pyrolith::MonoBitmap& monoBitmap() const { return monoBitmap_; }
    // The current starting folders of the bitmap open dialog and the G-code save dialog.
    const QString& openDialogFolder() const { return openFolder_; }
    const QString& saveDialogFolder() const { return saveFolder_; }

    // The final-size line from the picture size, DistPerPixel and UseInches. False (and
    // nothing changed) while no picture is loaded.
    bool ShowFinalSize();

    // Builds the version text of the program (the start-up calls it once).
    void VersionInformationClick();

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
    void ShowHelp1Click();
    void About1Click();
    void Exit1Click();
    void imgZorvexClick();

signals:
    // The window has closed and written what it keeps: the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormClose();
    bool loadPicture(const QString& path);
    void enableViewCommands();
    void showView(int view);
    void setOpenFolder(const QString& folder);
    void setSaveFolder(const QString& folder);
    void showMessage(const QString& text);
    pyrolith::JobEnvironment jobEnvironment() const;
    void createMachinePanel();

    std::unique_ptr<Ui::TfrmMain> ui_;
    Environment environment_;
    TfrmSettings* settings_ = nullptr;
    TfrmAboutBox* about_ = nullptr;

    QChar decimalSeparator_ = QLatin1Char('.');
    QString versionText_;

    pyrolith::Bitmap sourceBitmap_;
    pyrolith::MonoBitmap monoBitmap_;
    bool imageLoaded_ = false;
    QString imageFileName_;

    // What each file dialog keeps between commands: its initial folder and file name.
    QString openFolder_, openName_;
    QString saveFolder_, saveName_;
    QString bmpFolder_, bmpName_;
    bool closing_ = false;

    // The Machine panel, docked at the right and shown from the Utility menu.
    QDockWidget* machineDock_ = nullptr;
    TfrmMachine* machine_ = nullptr;
};
