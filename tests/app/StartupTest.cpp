// Start-up: the profiles folder, the version text, the splash and about windows, the manual,
// the distributor's link, and where the settings live.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/AppPlatform.h"
#include "app/TClickLabel.h"
#include "app/TfrmAboutBox.h"
#include "app/TfrmSettings.h"
#include "app/TfrmSplash.h"
#include "app/support/AppHarness.h"
#include "settings/SettingsFiles.h"

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void firstStartCreatesProfilesFolder();
    void profilesFolderThatCannotBeMade_data();
    void profilesFolderThatCannotBeMade();
    void versionTextOfTheBuild();
    void splashShowsVersionAndClosesItself();
    void aboutShowsVersionAndLinks();
    void showHelp_data();
    void showHelp();
    void logoOpensDistributorPage();
    void settingsBesideAWritableProgram();
    void settingsOfAnInstalledProgram();
    void manualBesideOrInstalled();
    void firstStartAsksForTheMachine_data();
    void firstStartAsksForTheMachine();
};

void StartupTest::firstStartCreatesProfilesFolder()
{
    AppHarness app;
    QVERIFY(!QDir(app.locations.profilesFolder).exists());
    app.start();
    QVERIFY(QDir(app.locations.profilesFolder).exists());
    QCOMPARE(app.dialogs.messages, QStringList());
    QCOMPARE(app.main().windowTitle(), QStringLiteral("Pyrolith"));
}

void StartupTest::profilesFolderThatCannotBeMade_data()
{
    QTest::addColumn<QString>("profiles");
    // A folder inside a plain file cannot be created, even by the administrator.
    QTest::newRow("inside a plain file") << QStringLiteral("blocker/Profiles/");
    // A plain file of that name is no folder, and none can be made in its place.
    QTest::newRow("a plain file of that name") << QStringLiteral("blocker/");
}

void StartupTest::profilesFolderThatCannotBeMade()
{
    QFETCH(QString, profiles);
    AppHarness app;
    QFile blocker(app.path(QStringLiteral("blocker")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    app.locations.profilesFolder = app.path(profiles);
    app.start();
    QCOMPARE(app.dialogs.messages,
             QStringList({QStringLiteral("Unable tp create Profiles folder")}));
    // The window works on: a load dialog still opens.
    app.main().Button1Click();
    QCOMPARE(app.dialogs.openRequests.size(), 1);
}

void StartupTest::versionTextOfTheBuild()
{
    AppHarness app;
    app.start();
    QCOMPARE(app.main().versionText(), QStringLiteral("1.3.0.4"));
    QCOMPARE(VersionText(), QStringLiteral(PYROLITH_VERSION_TEXT));
}

void StartupTest::splashShowsVersionAndClosesItself()
{
    AppHarness app;
    app.start();
    TfrmSplash& splash = app.windows().splash();
    QVERIFY(splash.isVisible());
    QCOMPARE(splash.findChild<QLabel*>(QStringLiteral("lblVersion"))->text(),
             QStringLiteral("1.3.0.4"));
    QCOMPARE(splash.size(), QSize(378, 278));
    QCOMPARE(splash.Timer1.interval(), 2500);
    QVERIFY(splash.Timer1.isActive());
    // The main window is usable while the splash shows.
    QVERIFY(app.main().isVisible());
    QVERIFY(app.main().isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!splash.isVisible(), 6000);
    QVERIFY(!splash.Timer1.isActive());
}

void StartupTest::aboutShowsVersionAndLinks()
{
    AppHarness app;
    app.start();
    TfrmAboutBox& about = app.windows().about();
    QVERIFY(!about.isVisible());
    QCOMPARE(about.windowTitle(), QStringLiteral("About"));
    QCOMPARE(about.findChild<QLabel*>(QStringLiteral("lblVersion"))->text(),
             QStringLiteral("Version 1.3.0.4"));
    auto* ok = about.findChild<QPushButton*>(QStringLiteral("OKButton"));
    QVERIFY(ok->isDefault());

    // "About..." shows it modally; OK closes it, and it can be shown again.
    for (int round = 0; round < 2; ++round) {
        QTimer::singleShot(0, ok, [ok] { QTest::mouseClick(ok, Qt::LeftButton); });
        app.find<QAction>(QStringLiteral("About1"))->trigger();
        QVERIFY(!about.isVisible());
    }

    const auto click = [&about](const char* name) {
        auto* label = about.findChild<TClickLabel*>(QLatin1String(name));
        QVERIFY2(label != nullptr, name);
        emit label->clicked();
    };
    click("Copyright");
    click("lblDistributor");
    click("Image1");
    click("Image2");
    click("Label4");
    QCOMPARE(app.openedUrls.size(), 5);
    QCOMPARE(app.openedUrls[0].scheme(), QStringLiteral("mailto"));
    QCOMPARE(app.openedUrls[4].scheme(), QStringLiteral("mailto"));
    QVERIFY(app.openedUrls[4].path() != app.openedUrls[0].path());
    QCOMPARE(about.findChild<QLabel*>(QStringLiteral("Label4"))->text(), app.openedUrls[4].path());
    for (int i = 1; i <= 3; ++i) {
        QCOMPARE(app.openedUrls[i].scheme(), QStringLiteral("https"));
        QCOMPARE(app.openedUrls[i], app.openedUrls[1]);
    }
    for (const QUrl& url : app.openedUrls) {
        const QString host = url.scheme() == QStringLiteral("mailto")
                                 ? url.path().section(QLatin1Char('@'), 1)
                                 : url.host();
        QVERIFY2(host.endsWith(QStringLiteral("example.com")), qPrintable(url.toString()));
    }
}

void StartupTest::showHelp_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<bool>("shellSucceeds");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("manual present") << true << true << QStringList();
    QTest::newRow("manual missing")
        << false << true << QStringList({QStringLiteral("Help file not found")});
    QTest::newRow("desktop cannot open it")
        << true << false
        << QStringList({QStringLiteral("Show Help failed: no program here opens the manual, a PDF "
                                       "file. It is at:\n%1")});
}

void StartupTest::showHelp()
{
    QFETCH(bool, present);
    QFETCH(bool, shellSucceeds);
    QFETCH(QStringList, messages);
    AppHarness app;
    if (present) {
        QFile manual(app.manualPath);
        QVERIFY(manual.open(QIODevice::WriteOnly));
        manual.write("%PDF-1.4\n");
    }
    app.shellSucceeds = shellSucceeds;
    app.start();
    app.find<QAction>(QStringLiteral("ShowHelp1"))->trigger();
    for (QString& message : messages) {
        message.replace(QStringLiteral("%1"), QDir::toNativeSeparators(app.manualPath));
    }
    QCOMPARE(app.dialogs.messages, messages);
    QCOMPARE(app.dialogs.warnings, messages); // each a failure
    if (present) {
        QCOMPARE(app.openedUrls, QList<QUrl>({QUrl::fromLocalFile(app.manualPath)}));
    } else {
        QCOMPARE(app.openedUrls, QList<QUrl>());
    }
}

void StartupTest::logoOpensDistributorPage()
{
    AppHarness app;
    app.start();
    auto* logo = app.find<TClickLabel>(QStringLiteral("imgZorvex"));
    QTest::mouseClick(logo, Qt::LeftButton);
    QCOMPARE(app.openedUrls.size(), 1);
    QCOMPARE(app.openedUrls[0].scheme(), QStringLiteral("https"));
    QVERIFY(app.openedUrls[0].host().endsWith(QStringLiteral("example.com")));
    QCOMPARE(app.dialogs.messages, QStringList());
}

void StartupTest::settingsBesideAWritableProgram()
{
    QTemporaryDir folder;
    const AppLocations locations =
        ResolveLocations(folder.filePath(QStringLiteral("pyrolith")), QStringLiteral("/unused"));
    QCOMPARE(locations.settingsFile, folder.filePath(QStringLiteral("pyrolith.ini")));
    QCOMPARE(locations.profilesFolder, folder.filePath(QStringLiteral("Profiles/")));
}

void StartupTest::settingsOfAnInstalledProgram()
{
    // A program folder that cannot be written (it does not even exist as a folder here).
    QTemporaryDir config;
    QFile plain(config.filePath(QStringLiteral("bin")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    const AppLocations locations = ResolveLocations(config.filePath(QStringLiteral("bin/pyrolith")),
                                                    config.filePath(QStringLiteral("cfg")));
    QCOMPARE(locations.settingsFile, config.filePath(QStringLiteral("cfg/pyrolith.ini")));
    QCOMPARE(locations.profilesFolder, config.filePath(QStringLiteral("cfg/Profiles/")));
}

void StartupTest::manualBesideOrInstalled()
{
    QTemporaryDir prefix;
    QVERIFY(QDir().mkpath(prefix.filePath(QStringLiteral("bin"))));
    QVERIFY(QDir().mkpath(prefix.filePath(QStringLiteral("share/doc/pyrolith"))));
    const QString programFolder = prefix.filePath(QStringLiteral("bin"));
    const QString beside = prefix.filePath(QStringLiteral("bin/Pyrolith_Manual.pdf"));
    const QString installed =
        prefix.filePath(QStringLiteral("share/doc/pyrolith/Pyrolith_Manual.pdf"));
    const auto create = [](const QString& path) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    };

    // Neither exists: the path beside the program, so that "Help file not found" names it.
    QCOMPARE(ManualPath(programFolder), beside);
    create(installed);
    QCOMPARE(ManualPath(programFolder), installed);
    create(beside);
    QCOMPARE(ManualPath(programFolder), beside);
}

// With no settings file the program asks once which machine it drives and loads the example
// profile of that machine (copied into the profiles folder) as the current profile.
void StartupTest::firstStartAsksForTheMachine_data()
{
    QTest::addColumn<bool>("settingsFile");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("example"); // empty: the settings stay as they are
    QTest::newRow("printer") << false << 0 << QStringLiteral("printer-fan-laser");
    QTest::newRow("GRBL") << false << 1 << QStringLiteral("grbl-laser");
    QTest::newRow("decide later") << false << 2 << QString();
    QTest::newRow("box closed") << false << -1 << QString();
    QTest::newRow("not the first start") << true << 1 << QString();
}

void StartupTest::firstStartAsksForTheMachine()
{
    QFETCH(bool, settingsFile);
    QFETCH(int, answer);
    QFETCH(QString, example);
    AppHarness app;
    pyrolith::JobSettings expected;
    pyrolith::AppSettings expectedApp;
    if (settingsFile) {
        app.writeSettingsFile(pyrolith::JobSettings{}, pyrolith::AppSettings{});
    } else {
        // What a first run that loads nothing holds: the empty profile name loaded.
        pyrolith::ReadSettingsFile(ToPath(app.path(QStringLiteral("none.ini"))), expected,
                                   expectedApp);
        pyrolith::LoadProfile(std::filesystem::path(), expected, expectedApp);
    }
    if (!example.isEmpty()) {
        pyrolith::LoadProfile(ToPath(QStringLiteral(PYROLITH_SOURCE_DIR "/examples/") + example +
                                     QStringLiteral(".prf")),
                              expected, expectedApp);
    }
    app.dialogs.choiceAnswers.append(answer);
    app.start();

    QCOMPARE(app.dialogs.choices,
             settingsFile ? QList<QStringList>()
                          : QList<QStringList>({{QStringLiteral("3D printer with a laser on the fan output"),
                                                 QStringLiteral("GRBL laser engraver"),
                                                 QStringLiteral("Decide later")}}));
    QCOMPARE(app.dialogs.messages, QStringList());
    TfrmSettings& settings = app.windows().settings();
    QVERIFY(settings.jobSettings() == expected);
    const QString copy = app.locations.profilesFolder + example + QStringLiteral(".prf");
    if (!example.isEmpty()) {
        QCOMPARE(settings.profileLabel(), example);
        QCOMPARE(QString::fromStdString(settings.appSettings().Profile), copy);
        QVERIFY(!settings.profileModified());
        QVERIFY(settings.appSettings().AutoLoadProfile); // loaded again at the next start
    }
    QCOMPARE(QDir(app.locations.profilesFolder).entryList(QDir::Files),
             example.isEmpty() ? QStringList() : QStringList{example + QStringLiteral(".prf")});
}

QTEST_MAIN(StartupTest)
#include "StartupTest.moc"
