// The shell's windows as the window system shows them: titles, where each window opens, the
// shortcuts. Run on X (xvfb-run, platform xcb) for the titles and the placement beside the
// main window; the offscreen run skips those two.
#include <QAction>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include "app/AppPlatform.h"
#include "app/TfrmAboutBox.h"
#include "app/TfrmSettings.h"
#include "app/TfrmSplash.h"
#include "app/WindowPlacement.h"
#include "app/support/AppHarness.h"
#include "app/support/TestBitmaps.h"

namespace {

// The title the window system holds for the window (what a window manager draws).
QString ShownTitle(const QWidget& window)
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window.winId()),
                                          QStringLiteral("_NET_WM_NAME")});
    if (!xprop.waitForFinished(10000)) {
        return QStringLiteral("<xprop failed>");
    }
    const QString out = QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
    const qsizetype first = out.indexOf(u'"');
    return first < 0 ? out : out.mid(first + 1, out.lastIndexOf(u'"') - first - 1);
}

bool OnX()
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

} // namespace

class ShellTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { ConfigureApplication(); }

    void placeBeside_data()
    {
        QTest::addColumn<QRect>("owner");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QPoint>("window");
        QTest::addColumn<QPoint>("ownerMovedTo");
        const QRect screen(0, 0, 1280, 800);
        QTest::newRow("room on the right") << QRect(100, 100, 660, 480) << QSize(500, 400)
                                           << screen << QPoint(760, 100) << QPoint(100, 100);
        QTest::newRow("room on the left only") << QRect(700, 100, 500, 480) << QSize(500, 400)
                                               << screen << QPoint(200, 100) << QPoint(700, 100);
        QTest::newRow("owner centred: moves aside") << QRect(317, 50, 646, 480) << QSize(600, 400)
                                                    << screen << QPoint(680, 50)
                                                    << QPoint(34, 50);
        QTest::newRow("screen too narrow: right edge")
            << QRect(200, 50, 900, 480) << QSize(500, 400) << screen << QPoint(780, 50)
            << QPoint(200, 50);
        QTest::newRow("owner low on the screen") << QRect(100, 600, 600, 180) << QSize(500, 400)
                                                 << screen << QPoint(700, 400)
                                                 << QPoint(100, 600);
        QTest::newRow("second screen") << QRect(1300, 20, 600, 400) << QSize(500, 300)
                                       << QRect(1280, 0, 1920, 1080) << QPoint(1900, 20)
                                       << QPoint(1300, 20);
    }
    void placeBeside()
    {
        QFETCH(QRect, owner);
        QFETCH(QSize, size);
        QFETCH(QRect, screen);
        QFETCH(QPoint, window);
        QFETCH(QPoint, ownerMovedTo);
        const BesidePlacement placement = PlaceBeside(owner, size, screen);
        QCOMPARE(placement.window, window);
        QCOMPARE(placement.owner, ownerMovedTo);
    }

    // Titles are exactly the program's texts: nothing is added to them.
    void titlesAsTheWindowSystemShowsThem()
    {
        if (!OnX()) {
            QSKIP("the titles a window system shows need X (xvfb-run, -platform xcb)");
        }
        AppHarness app;
        app.start();
        const QString picture = app.path(QStringLiteral("p.bmp"));
        WriteBmp24(picture, 2, 2, [](int, int) { return QColor(Qt::black); });
        app.dialogs.openAnswers.append(picture);
        app.main().Button1Click();
        app.main().btnSettingsClick();
        QVERIFY(QTest::qWaitForWindowExposed(&app.windows().settings()));
        QVERIFY(QTest::qWaitForWindowExposed(&app.windows().splash()));
        QTRY_COMPARE(ShownTitle(app.main()), QStringLiteral("Pyrolith  ") + picture);
        QCOMPARE(ShownTitle(app.windows().settings()), QStringLiteral("Settings"));
        QCOMPARE(ShownTitle(app.windows().splash()), QStringLiteral(" "));
        TfrmAboutBox& about = app.windows().about();
        QString aboutTitle;
        QTimer::singleShot(0, &about, [&] {
            QVERIFY(QTest::qWaitForWindowExposed(&about));
            aboutTitle = ShownTitle(about);
            about.accept();
        });
        app.main().About1Click();
        QCOMPARE(aboutTitle, QStringLiteral("About"));
    }

    // The first "Settings..." opens the window beside the main window, clear of it and on the
    // screen; later it comes back where the user left it.
    void settingsOpenBesideAndStayWhereLeft()
    {
        AppHarness app;
        app.start();
        TfrmMain& main = app.main();
        TfrmSettings& settings = app.windows().settings();
        const QRect screen = main.screen()->availableGeometry();
        settings.adjustSize();
        if (screen.width() < main.frameGeometry().width() + settings.width()) {
            QSKIP(qPrintable(QStringLiteral("no room beside the main window (%1 + %2 > %3); use "
                                            "xvfb-run -s \"-screen 0 1920x1080x24\"")
                                 .arg(main.frameGeometry().width())
                                 .arg(settings.width())
                                 .arg(screen.width())));
        }
        main.btnSettingsClick(); // the main window opened centred

        QVERIFY(QTest::qWaitForWindowExposed(&settings));
        const QRect placed = settings.frameGeometry();
        QVERIFY2(!placed.intersects(main.frameGeometry()), "over the main window");
        QVERIFY2(screen.contains(placed), "off the screen");
        QVERIFY(screen.contains(main.frameGeometry()));

        // Already open: to the front, not moved.
        const QPoint left = placed.topLeft() + QPoint(-5, 7);
        settings.move(left);
        QTRY_COMPARE(settings.frameGeometry().topLeft(), left);
        main.btnSettingsClick();
        QTest::qWait(50);
        QCOMPARE(settings.frameGeometry().topLeft(), left);
        // Closed and opened again: where it was left.
        QVERIFY(settings.close());
        main.btnSettingsClick();
        QVERIFY(QTest::qWaitForWindowExposed(&settings));
        QTRY_COMPARE(settings.frameGeometry().topLeft(), left);
    }

    void aboutCentredOnTheScreen()
    {
        AppHarness app;
        app.start();
        TfrmMain& main = app.main();
        const QRect screen = main.screen()->availableGeometry();
        main.move(screen.topLeft()); // far from the centre
        TfrmAboutBox& about = app.windows().about();
        QPoint centre;
        QTimer::singleShot(0, &about, [&] {
            centre = about.frameGeometry().center();
            about.accept();
        });
        main.About1Click();
        // Within the rounding of the two centres.
        QVERIFY2((centre - screen.center()).manhattanLength() <= 4, "not centred on the screen");
    }

    void shortcutsKeepCaptions_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("shortcut");
        QTest::newRow("load") << "LoadBitmap1" << "Load Bitmap..." << "Ctrl+O";
        QTest::newRow("save G-code") << "SaveGcode1" << "Save G-code..." << "Ctrl+S";
        QTest::newRow("help") << "ShowHelp1" << "Show Help..." << "F1";
        QTest::newRow("exit") << "Exit1" << "Exit" << "Ctrl+Q";
    }
    void shortcutsKeepCaptions()
    {
        QFETCH(QString, action);
        QFETCH(QString, caption);
        QFETCH(QString, shortcut);
        AppHarness app;
        app.start();
        const QAction* item = app.find<QAction>(action);
        QVERIFY(item != nullptr);
        QCOMPARE(item->text(), caption);
        QCOMPARE(item->shortcut().toString(QKeySequence::PortableText), shortcut);
    }
};

QTEST_MAIN(ShellTest)
#include "ShellTest.moc"
