// The Job view, "File > Open G-code..." and the question before saving a job the firmware
// would refuse, on the running windows.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QCheckBox>
#include <QSignalSpy>
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
    void fastSpeedsAreFlaggedBeforeSaving();
    void viewFollowsTheSettings();
    void openGcodeShowsAnyFile();
    void fileGivenAtStartOpens_data();
    void fileGivenAtStartOpens();
    void burnedPartIsMarked_data();
    void burnedPartIsMarked();
    void statusNamesTheTimeStandingStill_data();
    void statusNamesTheTimeStandingStill();

private:
    void loadPicture();
    QString saveAnswering(const pyrolith::JobSettings& job, bool answer);
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

// The program started with these settings and a picture, "Save G-code" pressed and its
// question answered; the path of the job.
QString JobViewTest::saveAnswering(const pyrolith::JobSettings& job, bool answer)
{
    app_->writeSettingsFile(job, {});
    app_->start();
    loadPicture();
    const QString target = app_->path(QStringLiteral("job.gcode"));
    app_->dialogs.saveAnswers.append(target);
    app_->dialogs.yesNoAnswers.append(answer);
    QTest::mouseClick(app_->find<QPushButton>(QStringLiteral("btnGcode2")), Qt::LeftButton);
    return target;
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
    const QString target = saveAnswering(job, answer);

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

// A speed the machine cannot reach is named in the question before saving, not refused.
void JobViewTest::fastSpeedsAreFlaggedBeforeSaving()
{
    pyrolith::JobSettings job;
    job.UseInches = false;
    job.OffSpeed = "15003000";
    job.StartComment = "; ";
    const QString target = saveAnswering(job, true);

    QCOMPARE(app_->dialogs.questions,
             QStringList({QStringLiteral(
                 "The machine moves at its maximum rate where a speed asks for more:\n\n"
                 "Speeds, Laser Off: 15003000 mm/min is above the machine's maximum rate of "
                 "6000 mm/min (Machine page, Max rate X)\n\nSave anyway?")}));
    QVERIFY(QFile::exists(target));
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
void JobViewTest::fileGivenAtStartOpens_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("view"); // the view button checked afterwards
    QTest::newRow("a job") << QStringLiteral("Job.NC") << QStringLiteral("rdoJob");
    QTest::newRow("a picture") << QStringLiteral("pic.bmp") << QStringLiteral("rdoBW");
}

void JobViewTest::fileGivenAtStartOpens()
{
    QFETCH(QString, name);
    QFETCH(QString, view);
    app_->start();
    const QString path = app_->path(name);
    const bool job = view == QLatin1String("rdoJob");
    if (job) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("G0 X10\n") > 0);
    } else {
        WriteBmp24(path, 6, 3, [](int x, int) { return x < 3 ? QColor(Qt::black) : QColor(Qt::white); });
    }
    app_->main().openGiven(path);
    QVERIFY(app_->find<QRadioButton>(view)->isChecked());
    QCOMPARE(app_->main().gcodeFile(), job ? path : QString());
    QCOMPARE(app_->main().sourceBitmap().width, job ? 0 : 6);
}

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

// What the middle columns of the canvas show in its top and bottom halves: burn moves not
// yet burned (grey to black), burned ones (dark red), both, or none.
static QString Marks(QWidget* canvas)
{
    const QImage shown = canvas->grab().toImage();
    QStringList halves;
    for (const bool top : {true, false}) {
        bool red = false;
        bool grey = false;
        const int half = shown.height() / 2;
        for (int y = top ? 0 : half; y < (top ? half : shown.height()); ++y) {
            for (int x = shown.width() / 2 - 10; x <= shown.width() / 2 + 10; ++x) {
                const QColor c = shown.pixelColor(x, y);
                red |= c.red() >= 100 && c.green() < 60 && c.blue() < 60;
                grey |= c.red() == c.green() && c.green() == c.blue() && c.red() < 128;
            }
        }
        const QString seen = red && grey ? QStringLiteral("red+grey")
                             : red       ? QStringLiteral("red")
                             : grey      ? QStringLiteral("grey")
                                         : QStringLiteral("none");
        halves << (top ? QStringLiteral("top: ") : QStringLiteral("bottom: ")) + seen;
    }
    return halves.join(QStringLiteral("; "));
}

void JobViewTest::burnedPartIsMarked_data()
{
    QTest::addColumn<QList<int>>("steps");  // lines acknowledged, one after the other
    QTest::addColumn<bool>("redraw");       // drawn afresh after the last step
    QTest::addColumn<QString>("marks");
    const QString none = QStringLiteral("top: grey; bottom: grey");
    const QString top = QStringLiteral("top: red; bottom: grey");
    const QString both = QStringLiteral("top: red; bottom: red");
    QTest::newRow("the top burn taken") << QList<int>{4} << false << top;
    QTest::newRow("the laser on for the bottom burn")
        << QList<int>{1, 2, 3, 4, 5, 6, 7} << false << top;
    QTest::newRow("the rest added") << QList<int>{4, 9} << false << both;
    QTest::newRow("kept when drawn afresh") << QList<int>{4} << true << top;
    QTest::newRow("a new send starts unmarked") << QList<int>{9, 0} << false << none;
}

// A job of two burns, the top one on line 4 and the bottom one on line 8, marked through the
// view as the machine takes its lines.
void JobViewTest::burnedPartIsMarked()
{
    QFETCH(QList<int>, steps);
    QFETCH(bool, redraw);
    QFETCH(QString, marks);
    TJobView view;
    view.resize(440, 360);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    auto* canvas = view.findChild<TToolpathCanvas*>(QStringLiteral("cnvToolpath"));
    view.setJob(std::make_shared<const pyrolith::toolpath::JobPreview>(
        pyrolith::toolpath::ReadJobPreview("G21 G90\nG0 X0 Y10\nM3 S1000\nG1 X20 F1000\nM5\n"
                                           "G0 X0 Y0\nM3 S1000\nG1 X20\nM5\n",
                                           pyrolith::toolpath::MachineProfile{})));
    QTRY_VERIFY(!canvas->drawing());
    QCOMPARE(Marks(canvas), QStringLiteral("top: grey; bottom: grey"));
    for (const int lines : steps) {
        view.setBurnedLines(lines);
        QTest::qWait(300);  // the mark follows a few times a second
    }
    if (redraw) {
        QSignalSpy drawn(canvas, &TToolpathCanvas::drawn);
        view.findChild<QCheckBox*>(QStringLiteral("chkShowTravel"))->click();
        QVERIFY(drawn.wait());
    }
    QTRY_COMPARE(Marks(canvas), marks);
}

void JobViewTest::statusNamesTheTimeStandingStill_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<double>("burning");
    QTest::addColumn<double>("moving");
    QTest::addColumn<QString>("status");
    const QString distances = QStringLiteral("; burn 12.0 mm, travel 3.0 mm");
    QTest::newRow("all in motion") << 3.0 << 2.0 << 1.0
                                   << QStringLiteral("Estimated time: 0:00:03 (burning 0:00:02, "
                                                     "moving 0:00:01)") + distances;
    QTest::newRow("stops of a printer")
        << 7200.0 << 1800.0 << 600.0
        << QStringLiteral("Estimated time: 2:00:00 (burning 0:30:00, moving 0:10:00, waiting "
                          "1:20:00)") + distances;
    QTest::newRow("under a hundredth left out")
        << 1000.0 << 600.0 << 395.0
        << QStringLiteral("Estimated time: 0:16:40 (burning 0:10:00, moving 0:06:35)") +
               distances;
    QTest::newRow("under half a second left out")
        << 20.4 << 10.0 << 10.0
        << QStringLiteral("Estimated time: 0:00:20 (burning 0:00:10, moving 0:00:10)") +
               distances;
}

// The parts of the time add up to the whole: what the head spends standing still is named.
void JobViewTest::statusNamesTheTimeStandingStill()
{
    QFETCH(double, seconds);
    QFETCH(double, burning);
    QFETCH(double, moving);
    pyrolith::toolpath::JobPreview job;
    job.estimate.times = {seconds, burning, moving, 12.0, 3.0};
    QFETCH(QString, status);
    QCOMPARE(TJobView::StatusText(job), status);
}

QTEST_MAIN(JobViewTest)
#include "JobViewTest.moc"
