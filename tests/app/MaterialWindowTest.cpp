// Utility > "Material test..." and "Measure tone...", and the tone curve of the Image page,
// on the running windows.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/MaterialCommands.h"
#include "app/PictureDocument.h"
#include "app/TJobView.h"
#include "app/TToneCurveGroup.h"
#include "app/TfrmMaterialTest.h"
#include "app/TfrmSettings.h"
#include "app/support/AppHarness.h"
#include "app/support/TestBitmaps.h"
#include "gcode/JobSink.h"
#include "material/RampMeasure.h"
#include "material/TestGrid.h"
#include "material/ToneRamp.h"
#include "support/SyntheticRamp.h"

class MaterialWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void savesTheJobAndShowsIt_data();
    void savesTheJobAndShowsIt();
    void measuredCurveGoesToTheImagePage();
    void badPhotoChangesNothing();

private:
    void trigger(const char* action) { app_->find<QAction>(QString::fromLatin1(action))->trigger(); }
    QString writePhoto(const pyrolith::test::RampPhoto& photo);
    TfrmSettings& settings() { return app_->windows().settings(); }

    std::unique_ptr<AppHarness> app_;
};

void MaterialWindowTest::init()
{
    app_ = std::make_unique<AppHarness>();
    pyrolith::JobSettings job;
    job.UseInches = false;
    job.DistPerPixel = "0.2";
    job.StartComment = "; ";
    job.LaserOffCommand = "M107";
    job.LaserOnCommand = "M106 S255";
    job.LaserLowPower = "M106 S15";
    job.OffSpeed = "1500";
    job.OnSpeed = "400";
    app_->writeSettingsFile(job, {});
    app_->start();
}

void MaterialWindowTest::cleanup()
{
    app_.reset();
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

QString MaterialWindowTest::writePhoto(const pyrolith::test::RampPhoto& photo)
{
    const pyrolith::GrayRaster grey = photo.render();
    const QString path = app_->path(QStringLiteral("ramp.bmp"));
    WriteBmp24(path, grey.width, grey.height, [&](int x, int y) {
        const int g = grey.at(x, y);
        return QColor(g, g, g);
    });
    return path;
}

void MaterialWindowTest::savesTheJobAndShowsIt_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("grid") << QStringLiteral("btnSaveGrid");
    QTest::newRow("ramp") << QStringLiteral("btnSaveRamp");
}

// The job saved is the one the core writes for the window's settings (the grid with the
// window's powers, speeds and size, titled with the profile and the date), and the Job view
// shows it.
void MaterialWindowTest::savesTheJobAndShowsIt()
{
    QFETCH(QString, button);
    trigger("MaterialTest1");
    TfrmMaterialTest* window = app_->main().materialCommands()->materialTest();
    QVERIFY(window != nullptr && window->isVisible());
    window->findChild<QLineEdit*>(QStringLiteral("edtGridPowerFrom"))->setText(QStringLiteral("20"));
    window->findChild<QLineEdit*>(QStringLiteral("edtGridPowerCount"))->setText(QStringLiteral("3"));
    window->findChild<QLineEdit*>(QStringLiteral("edtGridSpeedCount"))->setText(QStringLiteral("2"));
    const QString target = app_->path(QStringLiteral("card.gcode"));
    app_->dialogs.saveAnswers.append(target);
    QTest::mouseClick(window->findChild<QPushButton*>(button), Qt::LeftButton);

    pyrolith::JobEnvironment environment = app_->main().document().jobEnvironment();
    pyrolith::StringJobSink expected;
    if (button == QStringLiteral("btnSaveGrid")) {
        pyrolith::TestGridOptions options;
        options.powers = {20, 100, 3};
        options.speeds = pyrolith::GridRange{100, 400, 2};
        options.title = "Default settings  " + environment.date;
        environment.imageFileName = "Material test grid";
        pyrolith::WriteTestGridJob(expected, settings().jobSettings(), options, environment);
    } else {
        pyrolith::WriteToneRampJob(expected, settings().jobSettings(), environment);
    }
    QFile saved(target);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll().toStdString(), expected.text());
    QCOMPARE(app_->dialogs.messages, QStringList());
    QCOMPARE(app_->main().gcodeFile(), target);
    QVERIFY(app_->main().jobView()->isVisible());
}

// A photo of a burned ramp: the tones asked about, then the curve in the settings (as a
// change of the profile) and in the plot; Clear takes it away.
void MaterialWindowTest::measuredCurveGoesToTheImagePage()
{
    pyrolith::test::RampPhoto photo;
    photo.width = 900;
    photo.height = 500;
    photo.pixelsPerMm = 6;
    photo.powers = pyrolith::RampPatchPowers(settings().jobSettings());
    photo.response = [](double u) { return 1 - std::pow(u, 0.5); };
    const QString path = writePhoto(photo);
    app_->dialogs.openAnswers.append(path);
    app_->dialogs.yesNoAnswers.append(true);
    trigger("MeasureTone1");

    const pyrolith::RampReading reading =
        pyrolith::MeasureRampFile(path.toStdString(), settings().jobSettings());
    QCOMPARE(app_->dialogs.questions.size(), 1);
    QVERIFY(app_->dialogs.questions[0].startsWith(QStringLiteral(
        "The 16 patches measure, from no power to full power (255 unburned, 0 the darkest):\n255, ")));
    QCOMPARE(settings().jobSettings().ToneCurve, pyrolith::ToneCurveText(reading.curve));
    QVERIFY(settings().profileModified());
    TToneCurveGroup* group = TToneCurveGroup::of(&settings());
    QVERIFY(group != nullptr);
    QPushButton* clear = group->findChild<QPushButton*>(QStringLiteral("btnClearToneCurve"));
    QVERIFY(clear->isEnabled());
    QTest::mouseClick(clear, Qt::LeftButton);
    QCOMPARE(settings().jobSettings().ToneCurve, std::string());
    QVERIFY(!clear->isEnabled());
}

void MaterialWindowTest::badPhotoChangesNothing()
{
    pyrolith::test::RampPhoto photo;
    photo.width = 400;
    photo.height = 300;
    photo.response = [](double) { return 1.0; }; // nothing burned: no frame
    const QString path = writePhoto(photo);
    app_->dialogs.openAnswers.append(path);
    app_->dialogs.yesNoAnswers.append(true);
    trigger("MeasureTone1");
    QCOMPARE(app_->dialogs.messages, QStringList({QString::fromLatin1(pyrolith::kRampFrameNotFound)}));
    QCOMPARE(app_->dialogs.questions, QStringList());
    QCOMPARE(settings().jobSettings().ToneCurve, std::string());
    QVERIFY(!settings().profileModified());
}

QTEST_MAIN(MaterialWindowTest)
#include "MaterialWindowTest.moc"
