// The Save G-code command of the main window, and what the window writes when it closes.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QSignalSpy>
#include <QTest>

#include "app/AppPlatform.h"
#include "app/TfrmSettings.h"
#include "app/support/AppHarness.h"
#include "app/support/TestBitmaps.h"
#include "gcode/JobWriter.h"
#include "image/Bitmap.h"
#include "image/JobPicture.h"
#include "settings/SettingsFields.h"
#include "settings/SettingsFiles.h"

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

} // namespace

class SaveGcodeTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void jobEqualsTheCoreJob_data();
    void jobEqualsTheCoreJob();
    void dialogRequestAndRememberedFolder();
    void cancelledSaveLeavesExistingFile();
    void badNumberShowsMessageAndKeepsFile();
    void refusedJobShowsTheFieldToFix_data();
    void refusedJobShowsTheFieldToFix();
    void unwritableTargetShowsFileError();
    void exitWritesTheDialogFolders();
    void exitWithoutLoadKeepsFoldersRead();
    void exitWithSettingsOpenWritesOnce();

private:
    void startWith(const pyrolith::JobSettings& job);
    QString loadSample();

    std::unique_ptr<AppHarness> app_;
    pyrolith::AppSettings appSettings_;
};

void SaveGcodeTest::init()
{
    app_ = std::make_unique<AppHarness>();
    appSettings_ = {};
    appSettings_.InitialOpenDir = app_->path(QStringLiteral("in")).toStdString();
    appSettings_.InitialSaveDir = app_->path(QStringLiteral("out")).toStdString();
}

void SaveGcodeTest::cleanup()
{
    app_.reset();
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void SaveGcodeTest::startWith(const pyrolith::JobSettings& job)
{
    app_->writeSettingsFile(job, appSettings_);
    app_->start();
}

QString SaveGcodeTest::loadSample()
{
    const QString path = app_->path(QStringLiteral("heart.bmp"));
    // A small picture with runs of black of different lengths on every row.
    WriteBmp24(path, 9, 5, [](int x, int y) {
        return (x * 7 + y * 3) % 5 < 2 ? QColor(Qt::black) : QColor(250, 240, 230);
    });
    app_->dialogs.openAnswers.append(path);
    app_->main().Button1Click();
    return path;
}

void SaveGcodeTest::jobEqualsTheCoreJob_data()
{
    QTest::addColumn<bool>("grbl");
    QTest::addColumn<bool>("inches");
    QTest::addColumn<bool>("alignment");
    QTest::addColumn<bool>("grayscale");
    QTest::newRow("3D printer, mm") << false << false << false << false;
    QTest::newRow("GRBL, inches, alignment aids") << true << true << true << false;
    QTest::newRow("3D printer, grayscale, overscan, M400") << false << false << true << true;
}

void SaveGcodeTest::jobEqualsTheCoreJob()
{
    QFETCH(bool, grbl);
    QFETCH(bool, inches);
    QFETCH(bool, alignment);
    QFETCH(bool, grayscale);
    pyrolith::JobSettings job;
    job.GRBL = grbl;
    job.UseInches = inches;
    job.DistPerPixel = "0.2";
    job.LaserOnCommand = "M106 S255";
    job.LaserOffCommand = "M107";
    job.LaserLowPower = "M106 S5";
    job.StartComment = "; ";
    job.IndicateCenter = alignment;
    job.IndicateBoundary = alignment;
    job.DwellTime = "2500";
    if (grayscale) {
        job.ImageMode = "Grayscale";
        job.Overscan = "1";
        job.SyncLaserCommands = true;
    }
    startWith(job);
    const QString picture = loadSample();

    const QString target = app_->path(QStringLiteral("job.gcode"));
    app_->dialogs.saveAnswers.append(target);
    app_->dialogs.yesNoAnswers.append(true);  // GRBL refuses M106: save anyway
    QTest::mouseClick(app_->find<QPushButton>(QStringLiteral("btnGcode2")), Qt::LeftButton);
    QCOMPARE(app_->dialogs.messages, QStringList());
    QCOMPARE(app_->dialogs.questions.size(), grbl ? 1 : 0);

    // The same job from the core, from the settings file and the picture file.
    pyrolith::JobSettings stored;
    pyrolith::AppSettings storedApp;
    pyrolith::ReadSettingsFile(ToPath(app_->settingsFile()), stored, storedApp);
    pyrolith::JobEnvironment environment;
    environment.decimalSeparator = '.';
    environment.date = "03/14/26"; // the C locale's texts of the harness's clock
    environment.time = "09:26:53";
    environment.versionText = PYROLITH_VERSION_TEXT;
    environment.imageFileName = "heart.bmp";
    const QString expected = app_->path(QStringLiteral("expected.gcode"));
    const pyrolith::Bitmap source = pyrolith::ReadBitmap(ToPath(picture));
    if (grayscale) {
        pyrolith::WriteJobFile(ToPath(expected), stored,
                               pyrolith::MakeJobGrayLevels(source, stored), environment);
    } else {
        pyrolith::WriteJobFile(ToPath(expected), stored, pyrolith::MakeMonoBitmap(source),
                               environment);
    }

    const QByteArray written = ReadAll(target);
    QVERIFY(written.contains("\r\n"));
    QVERIFY(written.contains("heart.bmp"));
    QCOMPARE(written, ReadAll(expected));
    QCOMPARE(app_->main().statusBar()->currentMessage(),
             QStringLiteral("Saved job.gcode: %1 lines, %2 bytes")
                 .arg(written.count("\r\n"))
                 .arg(written.size()));
}

void SaveGcodeTest::dialogRequestAndRememberedFolder()
{
    startWith({});
    loadSample();
    QVERIFY(QDir().mkpath(app_->path(QStringLiteral("jobs"))));
    const QString target = app_->path(QStringLiteral("jobs/first.txt"));
    app_->dialogs.saveAnswers.append(target);
    app_->find<QAction>(QStringLiteral("SaveGcode1"))->trigger();
    app_->find<QAction>(QStringLiteral("SaveGcode1"))->trigger(); // cancelled

    const auto& requests = app_->dialogs.saveRequests;
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests[0].filter, QStringLiteral("G-code (*.gcode);;Text (*.txt);;Any File (*)"));
    QCOMPARE(requests[0].defaultSuffix, QStringLiteral("txt"));
    QVERIFY(requests[0].confirmOverwrite);
    QCOMPARE(requests[0].folder, app_->path(QStringLiteral("out"))); // InitialSaveDir
    QCOMPARE(requests[0].fileName, QString());
    QCOMPARE(requests[1].folder, app_->path(QStringLiteral("jobs")));
    QCOMPARE(requests[1].fileName, QStringLiteral("first.txt"));
    QVERIFY(QFile::exists(target));
}

void SaveGcodeTest::cancelledSaveLeavesExistingFile()
{
    startWith({});
    loadSample();
    const QString existing = app_->path(QStringLiteral("job.txt"));
    WriteAll(existing, "keep me\r\n");
    const QStringList before = QDir(app_->folder()).entryList(QDir::Files);

    app_->main().btnGcode2Click(); // the fake dialog answers "cancelled"

    QCOMPARE(app_->dialogs.messages, QStringList({QStringLiteral("Cancelled...")}));
    QCOMPARE(ReadAll(existing), QByteArray("keep me\r\n"));
    QCOMPARE(QDir(app_->folder()).entryList(QDir::Files), before);
}

void SaveGcodeTest::badNumberShowsMessageAndKeepsFile()
{
    pyrolith::JobSettings job;
    job.DwellTime = ""; // read even when the centre dwell is off
    job.IndicateCenter = false;
    startWith(job);
    loadSample();
    const QString existing = app_->path(QStringLiteral("job.txt"));
    WriteAll(existing, "previous job\r\n");
    app_->dialogs.saveAnswers.append(existing);

    app_->main().btnGcode2Click();

    QCOMPARE(app_->dialogs.messages,
             QStringList({QStringLiteral("'' is not a valid floating point value")}));
    QCOMPARE(app_->dialogs.hourglassAtMessage, QList<bool>({false}));
    QCOMPARE(ReadAll(existing), QByteArray("previous job\r\n"));
}

void SaveGcodeTest::refusedJobShowsTheFieldToFix_data()
{
    QTest::addColumn<QString>("flag"); // set as well; empty: none
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("control");
    // clang-format off
    QTest::newRow("pitch") << "" << "DistPerPixel" << "." << "Travel, per pixel: '.' is not a number greater than 0" << "tabBasics" << "edtDperPixel";
    QTest::newRow("X offset") << "UseXOffset" << "XOffset" << "--2" << "Print Offset, X Offset: '--2' is not a number" << "tabImage" << "edtXOffset";
    QTest::newRow("pause") << "" << "FrontCenterDwellTime" << "5s" << "'5s' is not a valid floating point value" << "tabImage" << "edtDwellTime2";
    // clang-format on
}

// The message names the field; the settings window then opens on its page with the field
// selected, and the file chosen is left as it was.
void SaveGcodeTest::refusedJobShowsTheFieldToFix()
{
    QFETCH(QString, flag);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, message);
    QFETCH(QString, page);
    QFETCH(QString, control);
    pyrolith::JobSettings job;
    pyrolith::AppSettings unused;
    if (!flag.isEmpty()) {
        *pyrolith::FlagOf(*pyrolith::FindStoredField(flag.toStdString()), job, unused) = true;
    }
    *pyrolith::TextOf(*pyrolith::FindStoredField(key.toStdString()), job, unused) =
        value.toStdString();
    startWith(job);
    loadSample();
    const QString existing = app_->path(QStringLiteral("job.gcode"));
    WriteAll(existing, "previous job\r\n");
    app_->dialogs.saveAnswers.append(existing);

    QTest::mouseClick(app_->find<QPushButton>(QStringLiteral("btnGcode2")), Qt::LeftButton);

    QCOMPARE(app_->dialogs.messages, QStringList({message}));
    QCOMPARE(ReadAll(existing), QByteArray("previous job\r\n"));
    QCOMPARE(app_->main().statusBar()->currentMessage(), QString());
    TfrmSettings& settings = app_->windows().settings();
    QVERIFY(settings.isVisible());
    QCOMPARE(settings.findChild<QTabWidget*>(QStringLiteral("pgcSettings"))
                 ->currentWidget()
                 ->objectName(),
             page);
    auto* field = settings.findChild<QLineEdit*>(control);
    QCOMPARE(settings.focusWidget(), field);
    QCOMPARE(field->selectedText(), value);
}

void SaveGcodeTest::unwritableTargetShowsFileError()
{
    startWith({});
    loadSample();
    // A target inside a plain file cannot be created, whoever runs the test.
    WriteAll(app_->path(QStringLiteral("plain")), "x");
    app_->dialogs.saveAnswers.append(app_->path(QStringLiteral("plain/job.txt")));

    app_->main().btnGcode2Click();

    QCOMPARE(app_->dialogs.messages.size(), 1);
    QVERIFY(!app_->dialogs.messages[0].isEmpty());
    QVERIFY(app_->dialogs.messages[0] != QStringLiteral("Cancelled..."));
    QCOMPARE(app_->dialogs.hourglassAtMessage, QList<bool>({false}));
}

void SaveGcodeTest::exitWritesTheDialogFolders()
{
    startWith({});
    QVERIFY(QDir().mkpath(app_->path(QStringLiteral("pictures"))));
    const QString picture = app_->path(QStringLiteral("pictures/p.bmp"));
    WriteBmp24(picture, 2, 2, [](int, int) { return QColor(Qt::black); });
    app_->dialogs.openAnswers.append(picture);
    app_->main().Button1Click();
    QVERIFY(QDir().mkpath(app_->path(QStringLiteral("jobs"))));
    app_->dialogs.saveAnswers.append(app_->path(QStringLiteral("jobs/p.gcode")));
    app_->main().btnGcode2Click();
    QCOMPARE(app_->dialogs.messages, QStringList());

    QSignalSpy closed(&app_->main(), &TfrmMain::closed);
    app_->find<QAction>(QStringLiteral("Exit1"))->trigger();
    QCOMPARE(closed.count(), 1);

    pyrolith::JobSettings job;
    pyrolith::AppSettings written;
    pyrolith::ReadSettingsFile(ToPath(app_->settingsFile()), job, written);
    QCOMPARE(QString::fromStdString(written.InitialOpenDir),
             app_->path(QStringLiteral("pictures")));
    QCOMPARE(QString::fromStdString(written.InitialSaveDir), app_->path(QStringLiteral("jobs")));
}

void SaveGcodeTest::exitWithoutLoadKeepsFoldersRead()
{
    startWith({});
    app_->main().close();
    pyrolith::JobSettings job;
    pyrolith::AppSettings written;
    pyrolith::ReadSettingsFile(ToPath(app_->settingsFile()), job, written);
    QCOMPARE(written.InitialOpenDir, appSettings_.InitialOpenDir);
    QCOMPARE(written.InitialSaveDir, appSettings_.InitialSaveDir);
}

// The settings file is written once at the end, also when the settings window is still open
// and closed with the program: a file that cannot be written gives one message.
void SaveGcodeTest::exitWithSettingsOpenWritesOnce()
{
    app_->locations.settingsFile = app_->path(QStringLiteral("missing/pyrolith.ini"));
    app_->start();
    app_->main().btnSettingsClick();
    QVERIFY(app_->windows().settings().isVisible());
    app_->find<QAction>(QStringLiteral("Exit1"))->trigger();
    app_->windows().settings().close(); // as the application's quit closes every window
    QCOMPARE(app_->dialogs.messages,
             QStringList({QStringLiteral("Unable to write to %1")
                              .arg(QDir::toNativeSeparators(app_->settingsFile()))}));
}

QTEST_MAIN(SaveGcodeTest)
#include "SaveGcodeTest.moc"
