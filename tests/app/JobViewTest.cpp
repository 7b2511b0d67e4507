// The Job view, "File > Open G-code..." and the question before saving a job the firmware
// would refuse, on the running windows.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "app/TJobView.h"
#include "app/TToolpathCanvas.h"
#include "app/TfrmSettings.h"
#include "app/support/AppHarness.h"
#include "app/support/TestBitmaps.h"

class JobViewTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void refusedLinesAskBeforeSaving_data();
    void refusedLinesAskBeforeSaving();
    void viewFollowsTheSettings();
    void openGcodeShowsAnyFile();

private:
    void loadPicture();
    QString status() { return app_->main().jobView()->status(); }

    std::unique_ptr<AppHarness> app_;
};

void JobViewTest::init()
{
    app_ = std::make_unique<AppHarness>();
}

void JobViewTest::cleanup()
{
    app_.reset();
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void JobViewTest::loadPicture()
{
    const QString path = app_->path(QStringLiteral("dots.bmp"));
    WriteBmp24(path, 6, 3, [](int x, int y) {
        return (x + y) % 3 == 0 ? QColor(Qt::black) : QColor(Qt::white);
    });
    app_->dialogs.openAnswers.append(path);
    app_->main().Button1Click();
}

void JobViewTest::refusedLinesAskBeforeSaving_data()
{
    QTest::addColumn<bool>("answer");
    QTest::newRow("No keeps the file away") << false;
    QTest::newRow("Yes saves anyway") << true;
}

// A GRBL job with the fan command of a printer on each of its ten burn moves: the first
// five listed, as `pyrolith-cli check` lists them for the saved file.
void JobViewTest::refusedLinesAskBeforeSaving()
{
    QFETCH(bool, answer);
    pyrolith::JobSettings job;
    job.GRBL = true;
    job.UseInches = false;
    job.LaserOnCommand = "M106 S255";
    job.LaserOffCommand = "M5";
    job.LaserLowPower = "M3 S5";
    job.StartComment = "; ";
    app_->writeSettingsFile(job, {});
    app_->start();
    loadPicture();
    const QString target = app_->path(QStringLiteral("job.gcode"));
    app_->dialogs.saveAnswers.append(target);
    app_->dialogs.yesNoAnswers.append(answer);
    QTest::mouseClick(app_->find<QPushButton>(QStringLiteral("btnGcode2")), Qt::LeftButton);

    QCOMPARE(app_->dialogs.questions,
             QStringList({QStringLiteral(
                 "GRBL would refuse or misread 10 lines of this job:\n\n"
                 "Line 43: M106 is not a GRBL command (error:20)\n"
                 "Line 45: M106 is not a GRBL command (error:20)\n"
                 "Line 48: M106 is not a GRBL command (error:20)\n"
                 "Line 50: M106 is not a GRBL command (error:20)\n"
                 "Line 53: M106 is not a GRBL command (error:20)\n...\n\nSave anyway?")}));
    QCOMPARE(QFile::exists(target), answer);
    QCOMPARE(app_->dialogs.messages, QStringList());
}

void JobViewTest::viewFollowsTheSettings()
{
    app_->start();
    loadPicture();
    auto* job = app_->find<QRadioButton>(QStringLiteral("rdoJob"));
    QVERIFY(job->isEnabled());
    QTest::mouseClick(job, Qt::LeftButton);
    QVERIFY(app_->main().jobView()->isVisible());
    QTRY_VERIFY(status().startsWith(QStringLiteral("Estimated time: ")));
    const QString before = status();

    // A slower burn: a longer job.
    auto* onSpeed = app_->windows().settings().findChild<QLineEdit*>(QStringLiteral("edtOnSpeed"));
    QVERIFY(onSpeed != nullptr);
    onSpeed->setText(QStringLiteral("1"));
    QTRY_VERIFY(status() != before && status().startsWith(QStringLiteral("Estimated time: ")));
}

// Any G-code file: a rapid of 100 mm on the default machine (6000 mm/min, 500 mm/s^2), then
// a burn of 100 mm at 3000 mm/min round a right-angled corner: about 1.2 s and 2.1 s.
void JobViewTest::openGcodeShowsAnyFile()
{
    pyrolith::JobSettings grbl;
    grbl.GRBL = true;
    app_->writeSettingsFile(grbl, {});
    app_->start();
    const QString path = app_->path(QStringLiteral("any.nc"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("G21 G90\nM4 S1000\nG0 X100\nG1 Y100 F3000\nM5\n");
    file.close();
    app_->dialogs.openAnswers.append(path);
    app_->main().findChild<QAction*>(QStringLiteral("OpenGcode1"))->trigger();

    QCOMPARE(app_->main().gcodeFile(), path);
    QVERIFY(app_->find<QRadioButton>(QStringLiteral("rdoJob"))->isChecked());
    QTRY_COMPARE(status(), QStringLiteral("Estimated time: 0:00:03 (burning 0:00:02, moving "
                                          "0:00:01); burn 100.0 mm, travel 100.0 mm"));
    auto* canvas = app_->main().jobView()->findChild<TToolpathCanvas*>(QStringLiteral("cnvToolpath"));
    QTRY_VERIFY(!canvas->drawing());
    // The burn runs up the right side of the job: dark pixels there, none at the left
    // above the scale bar.
    const QImage shown = canvas->grab().toImage();
    int darkRight = 0;
    int darkLeft = 0;
    for (int y = 0; y < shown.height() - 30; ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            if (qGray(shown.pixel(x, y)) < 60) {
                (x > shown.width() / 2 ? darkRight : darkLeft) += 1;
            }
        }
    }
    QVERIFY2(darkRight > shown.height() / 2, qPrintable(QString::number(darkRight)));
    QCOMPARE(darkLeft, 0);
}

QTEST_MAIN(JobViewTest)
#include "JobViewTest.moc"
