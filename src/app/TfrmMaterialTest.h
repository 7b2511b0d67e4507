#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <string_view>

#include "gcode/JobWriter.h"
#include "settings/JobSettings.h"

class UserDialogs;

namespace pyrolith {
class JobSink;
}

namespace Ui {
class TfrmMaterialTest;
}

// The window of Utility > "Material test...": saves the power and speed test grid and the
// tone ramp as G-code with the current settings, then shows the saved job in the Job view.
class TfrmMaterialTest : public QWidget {
    Q_OBJECT
public:
    struct Context {
        UserDialogs* dialogs = nullptr;
        std::function<pyrolith::JobSettings()> settings;
        std::function<pyrolith::JobEnvironment()> environment;
        std::function<QString()> profileName; // the grid's title names it
        std::function<void(const QString&)> showJob; // a job saved
        std::function<void(const std::string&)> showField; // a refused setting's key
        // The pre-flight check of a job's text: true when it may be saved.
        std::function<bool(std::string_view)> confirmJob;
    };

    explicit TfrmMaterialTest(Context context, QWidget* parent = nullptr);
    ~TfrmMaterialTest() override;

    // Refreshes the speeds' hint from the settings; the window keeps what was typed.
    void showFor(QWidget* owner);

    void btnSaveGridClick();
    void btnSaveRampClick();

private:
    QString saveAs(const QString& name);
    // Makes the job in memory, checks it, asks when the firmware would refuse lines, then
    // writes it and shows it in the Job view.
    void save(const QString& path, const std::function<void(pyrolith::JobSink&)>& write);
    void report(const std::exception& error, const std::string& key);

    Context context_;
    std::unique_ptr<Ui::TfrmMaterialTest> ui_;
    QString folder_;
};
