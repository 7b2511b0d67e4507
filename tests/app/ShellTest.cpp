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
        // clang-format off
        QTest::newRow("room on the right") << QRect(100, 100, 660, 480) << QSize(500, 400) << screen << QPoint(760, 100) << QPoint(100, 100);
        QTest::newRow("room on the left only") << QRect(700, 100, 500, 480) << QSize(500, 400) << screen << QPoint(200, 100) << QPoint(700, 100);
        QTest::newRow("owner centred: moves aside") << QRect(317, 50, 646, 480) << QSize(600, 400) << screen << QPoint(680, 50) << QPoint(34, 50);
        QTest::newRow("screen too narrow: right edge") << QRect(200, 50, 900, 480) << QSize(500, 400) << screen << QPoint(780, 50) << QPoint(200, 50);
        QTest::newRow("owner low on the screen") << QRect(100, 600, 600, 180) << QSize(500, 400) << screen << QPoint(700, 400) << QPoint(100, 600);
        QTest::newRow("second screen") << QRect(1300, 20, 600, 400) << QSize(500, 300) << QRect(1280, 0, 1920, 1080) << QPoint(1900, 20) << QPoint(1300, 20);
        // clang-format on
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

    // Titles are exactly the program's texts: nothing is added to them. The about window
    // opens centred on the screen, not over the main window.
    void titlesAndTheAboutWindow()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {
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
        const QRect screen = app.main().screen()->availableGeometry();
        app.main().move(screen.topLeft());
        TfrmAboutBox& about = app.windows().about();
        QString aboutTitle;
        QPoint centre;
        QTimer::singleShot(0, &about, [&] {
            QVERIFY(QTest::qWaitForWindowExposed(&about));
            aboutTitle = ShownTitle(about);
            centre = about.frameGeometry().center();
            about.accept();
        });
        app.main().About1Click();
        QCOMPARE(aboutTitle, QStringLiteral("About"));
        QVERIFY2((centre - screen.center()).manhattanLength() <= 4, "not centred on the screen");
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
            QSKIP("no room beside the main window: use xvfb-run -s \"-screen 0 1920x1080x24\"");
        }
        main.btnSettingsClick(); // the main window opened centred
        QVERIFY(QTest::qWaitForWindowExposed(&settings));
        const QRect placed = settings.frameGeometry();
        QVERIFY2(!placed.intersects(main.frameGeometry()), "over the main window");
        QVERIFY2(screen.contains(placed) && screen.contains(main.frameGeometry()), "off screen");

        // Already open: to the front, not moved; closed and opened again: where it was left.
        const QPoint left = placed.topLeft() + QPoint(-5, 7);
        settings.move(left);
        QTRY_COMPARE(settings.frameGeometry().topLeft(), left);
        main.btnSettingsClick();
        QTest::qWait(50);
        QCOMPARE(settings.frameGeometry().topLeft(), left);
        QVERIFY(settings.close());
        main.btnSettingsClick();
        QVERIFY(QTest::qWaitForWindowExposed(&settings));
        QTRY_COMPARE(settings.frameGeometry().topLeft(), left);
    }

    // The usual shortcuts, the captions unchanged.
    void shortcutsKeepCaptions()
    {
        AppHarness app;
        app.start();
        const char* const rows[][3] = {{"LoadBitmap1", "Load Bitmap...", "Ctrl+O"},
                                       {"SaveGcode1", "Save G-code...", "Ctrl+S"},
                                       {"ShowHelp1", "Show Help...", "F1"},
                                       {"Exit1", "Exit", "Ctrl+Q"}};
        for (const auto& row : rows) {
            const QAction* item = app.find<QAction>(QLatin1String(row[0]));
            QCOMPARE(item->text(), QLatin1String(row[1]));
            QCOMPARE(item->shortcut().toString(QKeySequence::PortableText), QLatin1String(row[2]));
        }
    }
};

QTEST_MAIN(ShellTest)
#include "ShellTest.moc"
