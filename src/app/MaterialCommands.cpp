#include "app/MaterialCommands.h"

#include <QAction>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>

#include "app/TToneCurveGroup.h"
#include "app/TfrmMaterialTest.h"
#include "app/TfrmSettings.h"
#include "app/UserDialogs.h"
#include "common/Error.h"
#include "common/NumberText.h"
#include "common/PathText.h"
#include "material/RampMeasure.h"

MaterialCommands::MaterialCommands(Context context, QMenu* utility)
    : QObject(utility), context_(std::move(context))
{
    utility->addSeparator();
    QAction* test = utility->addAction(tr("Material test..."));
    test->setObjectName(QStringLiteral("MaterialTest1"));
    connect(test, &QAction::triggered, this, &MaterialCommands::MaterialTest1Click);
    QAction* measure = utility->addAction(tr("Measure tone..."));
    measure->setObjectName(QStringLiteral("MeasureTone1"));
    connect(measure, &QAction::triggered, this, &MaterialCommands::MeasureTone1Click);
}

void MaterialCommands::MaterialTest1Click()
{
    if (materialTest_ == nullptr) {
        TfrmMaterialTest::Context context;
        context.dialogs = context_.dialogs;
        context.settings = [this] { return context_.settings->jobSettings(); };
        context.environment = context_.environment;
        context.profileName = [this] {
            const QString label = context_.settings->profileLabel();
            return label == TfrmSettings::kNoProfileLabel ? tr("Default settings") : label;
        };
        context.showJob = context_.showJob;
        context.confirmJob = context_.confirmJob;
        context.showField = [this](const std::string& key) {
            context_.settings->showField(QString::fromStdString(key), context_.window);
        };
        materialTest_ = new TfrmMaterialTest(std::move(context), context_.window);
        materialTest_->setObjectName(QStringLiteral("frmMaterialTest"));
    }
    materialTest_->showFor(context_.window);
}

void MaterialCommands::MeasureTone1Click()
{
    UserDialogs::FileRequest request;
    request.title = tr("Photo of the burned tone ramp");
    request.folder = photoFolder_;
    request.filter = context_.pictureFilter();
    request.confirmOverwrite = false;
    const QString path = context_.dialogs->openFile(context_.window, request);
    if (path.isEmpty()) {
        return;
    }
    photoFolder_ = QFileInfo(path).absolutePath();
    pyrolith::RampReading reading;
    try {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        reading = pyrolith::MeasureRampFile(pyrolith::PathFromUtf8(path.toStdString()),
                                            context_.settings->jobSettings());
        QGuiApplication::restoreOverrideCursor();
    } catch (const pyrolith::Error& error) {
        QGuiApplication::restoreOverrideCursor();
        context_.dialogs->message(context_.window, QString::fromStdString(error.what()));
        return;
    }
    QString tones;
    for (std::size_t k = 0; k < reading.tones.size(); ++k) {
        tones += (k == 0 ? QString() : QStringLiteral(", ")) +
                 QString::fromStdString(pyrolith::PlainNumber(std::round(reading.tones[k]), 12));
    }
    const QString question =
        tr("The 16 patches measure, from no power to full power (255 unburned, 0 the "
           "darkest):\n%1\n\nUse this tone curve for grey engravings on this material?")
            .arg(tones);
    if (!context_.dialogs->askYesNo(context_.window, question)) {
        return;
    }
    if (TToneCurveGroup* group = TToneCurveGroup::of(context_.settings)) {
        group->useMeasurement(reading);
        context_.settings->showField(QStringLiteral("ToneCurve"), context_.window);
    }
}
