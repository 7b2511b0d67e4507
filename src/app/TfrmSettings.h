#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "settings/JobSettings.h"

class QAbstractButton;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class UserDialogs;
class NumberKeyFilter;
namespace Ui {
class TfrmSettings;
}
namespace pyrolith {
struct FieldInfo;
}

// The settings window: edits JobSettings, loads and saves profiles, keeps the settings file.
// It owns JobSettings and AppSettings for the whole run.
class TfrmSettings : public QWidget {
    Q_OBJECT
public:
    struct Context {
        QString settingsFile;   // the program's path with the extension ".ini"
        QString profilesFolder; // where the profile dialogs start (ends with a separator)
        QChar decimalSeparator; // the user's, recorded by the main window at start
        UserDialogs* dialogs = nullptr;
        // The final-size update of the main window: shows the final size and returns true
        // when a picture is loaded; returns false (and changes nothing) otherwise.
        std::function<bool()> showFinalSize;
        // A setting that changes the black-and-white image changed (the main window makes it
        // again, off the window's thread).
        std::function<void()> pictureSettingsChanged;
    };

    // The profile label while no profile has been loaded or saved.
    static const QString kNoProfileLabel;
    // The filter of the profile dialogs.
    static const QString kProfileFilter;

    // Creation selects the page "Basics" and runs the start-up read of the settings file
    // (and the last profile when asked for).
    TfrmSettings(Context context, QWidget* parent = nullptr);
    ~TfrmSettings() override;

    const pyrolith::JobSettings& jobSettings() const;
    pyrolith::AppSettings& appSettings();

    // "Load Profile" (also the main window's "Load Profile..." menu item).
    void loadProfileCommand();
    // "Save As..." (also the Yes answer of the exit prompt).
    void saveProfileCommand();
    // Reads the profile at path into the window and makes it current.
    void loadProfile(const QString& path);
    // End of the run: the exit prompt when the profile is modified, then the final write.
    void finishRun();

    // The main window's "Settings..." command: the first time the window opens beside owner
    // (see PlaceBeside; the owner may move aside), so that both stay visible; later it comes
    // to the front where the user left it. A null owner shows it where it is.
    void showBeside(QWidget* owner);
    // Shows the page of the field with that settings key and selects the field, so the user
    // sees what a refused job asks to fix. False (nothing shown) for a key without control.
    bool showField(const QString& key, QWidget* owner);

    // A setting changed outside the window (the main window's picture bar, the machine's own
    // settings): the control and the record follow, and the change counts as one made here.
    // A flag takes "1" or "0". False for a key without a control, a word its list does not
    // hold, or a flag's other text.
    bool setFieldText(const QString& key, const QString& text);

    bool profileModified() const { return profileModified_; }
    // The profile label in full; the window shows a long one shortened in the middle.
    QString profileLabel() const { return profileLabel_; }

signals:
    // A job setting changed: typed, clicked, or a profile was loaded.
    void jobSettingsChanged();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Binding {
        const pyrolith::FieldInfo* field = nullptr;
        QAbstractButton* button = nullptr; // flags: the check box or first radio button
        QAbstractButton* pair = nullptr;   // the second radio button of a pair
        QLineEdit* edit = nullptr;
        QPlainTextEdit* memo = nullptr;
        QComboBox* choice = nullptr; // a word of a fixed list
    };

    void bindControls();
    void bindFlag(const Binding& binding);
    void bindText(const Binding& binding);
    void showRecords();
    void fieldChanged(const Binding& binding);

    void startupRead();
    void profileLoaded(const QString& path);
    void setProfileModified(bool modified);
    void setProfileLabel(const QString& label);
    void applyUnit();
    void unitSwitch();
    void finalSizeUpdate();
    void pictureUpdate();
    bool writeIniFile(const QString& path);
    void writeSettingsFile();

    void btnDoneClick();
    void btnLoadProfileClick();
    void btnSaveProfileClick();

    Context context_;
    std::unique_ptr<Ui::TfrmSettings> ui_;
    NumberKeyFilter* keyFilter_ = nullptr;
    std::vector<Binding> bindings_;
    pyrolith::JobSettings job_;
    pyrolith::AppSettings app_;
    QString profileLabel_;
    bool profileModified_ = false;
    bool placed_ = false;   // opened beside the main window once
    bool finished_ = false; // the final write of the run is done
    bool showingRecords_ = false; // the controls are being set from the records
};
