#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <string_view>

#include "gcode/JobWriter.h"

class QAction;
class QMenu;
class QWidget;
class TfrmMaterialTest;
class TfrmSettings;
class UserDialogs;

// The material commands of the Utility menu: "Material test..." (the test grid and the tone
// ramp) and "Measure tone..." (a photo of the burned ramp becomes the tone curve).
class MaterialCommands : public QObject {
    Q_OBJECT
public:
    struct Context {
        QWidget* window = nullptr; // the main window
        UserDialogs* dialogs = nullptr;
        TfrmSettings* settings = nullptr;
        std::function<pyrolith::JobEnvironment()> environment;
        std::function<void(const QString&)> showJob; // shows a G-code file in the Job view
        std::function<QString()> pictureFilter;      // the open dialog's picture filter
        // The pre-flight check of a job's text: true when it may be saved.
        std::function<bool(std::string_view)> confirmJob;
    };

    // Adds the two items to the end of `utility`.
    MaterialCommands(Context context, QMenu* utility);

    void MaterialTest1Click();
    void MeasureTone1Click();

    TfrmMaterialTest* materialTest() const { return materialTest_; }

private:
    Context context_;
    TfrmMaterialTest* materialTest_ = nullptr;
    QString photoFolder_;
};
