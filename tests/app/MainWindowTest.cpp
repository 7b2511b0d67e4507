// The main window: its layout and enable rules, the load command and the two views.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "app/TPictureView.h"
#include "app/ViewFit.h"
#include "app/support/AppHarness.h"
#include "app/support/TestBitmaps.h"
#include "image/Bitmap.h"
#include "settings/SettingsFiles.h"
#include "app/TfrmSettings.h"

namespace {

const QString kUnrecognized = QStringLiteral(
    "Unrecognized pixel format. Try opening with graphics editor and use the \"Save As...\" "
    "function to save to a standard color depth.");

// A 3 x 2 picture: black, (20, 20, 20), red on top; white, dark grey, light grey below.
QColor Sample(int x, int y)
{
    static const QColor colours[2][3] = {
        {QColor(0, 0, 0), QColor(20, 20, 20), QColor(255, 0, 0)},
        {QColor(255, 255, 255), QColor(128, 128, 128), QColor(192, 192, 192)}};
    return colours[y][x];
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void layoutAndMenus();
    void enableRules_data();
    void enableRules();
    void loadShowsPictureAndSizes();
    void loadDialogRemembersNameAndFolder();
    void refusedLayoutKeepsPreviousState();
    void unreadableFileKeepsEveryState();
    void viewButtonsSwitchViews();
    void cutViewDrawsTheCutOverThePicture();
    void smallPictureEnlargedAndRefitOnResize();
    void saveDisplayedImage_data();
    void saveDisplayedImage();
    void saveDisplayedImageWithoutPicture();
    void settingsAndProfileCommands();

private:
    QString writeSample(const QString& name);
    void load(const QString& path);
    bool enabled(const QString& name);

    std::unique_ptr<AppHarness> app_;
};

void MainWindowTest::init()
{
    app_ = std::make_unique<AppHarness>();
    pyrolith::JobSettings job;
    job.UseInches = false;
    job.DistPerPixel = "0.25";
    pyrolith::AppSettings settings;
    settings.InitialOpenDir = app_->folder().toStdString();
    app_->writeSettingsFile(job, settings);
    app_->start();
}

void MainWindowTest::cleanup()
{
    app_.reset();
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

QString MainWindowTest::writeSample(const QString& name)
{
    const QString path = app_->path(name);
    WriteBmp24(path, 3, 2, Sample);
    return path;
}

void MainWindowTest::load(const QString& path)
{
    app_->dialogs.openAnswers.append(path);
    QTest::mouseClick(app_->find<QPushButton>(QStringLiteral("Button1")), Qt::LeftButton);
}

bool MainWindowTest::enabled(const QString& name)
{
    if (auto* action = app_->find<QAction>(name)) {
        return action->isEnabled();
    }
    auto* widget = app_->find<QWidget>(name);
    if (widget == nullptr) {
        qFatal("no control %s", qPrintable(name));
    }
    return widget->isEnabled();
}

void MainWindowTest::layoutAndMenus()
{
    TfrmMain& main = app_->main();
    QCOMPARE(main.windowTitle(), QStringLiteral("Pyrolith"));
    QCOMPARE(app_->find<QLabel>(QStringLiteral("lblOrigDim"))->text(), QString());
    QCOMPARE(app_->find<QLabel>(QStringLiteral("lblNewDim"))->text(), QString());
    QCOMPARE(app_->find<QPushButton>(QStringLiteral("Button1"))->text(),
             QStringLiteral("Load bmp"));
    QCOMPARE(app_->find<QPushButton>(QStringLiteral("btnGcode2"))->text(),
             QStringLiteral("Save G-code"));
    QCOMPARE(app_->find<QPushButton>(QStringLiteral("btnSettings"))->text(),
             QStringLiteral("Settings..."));
    QVERIFY(app_->find<QRadioButton>(QStringLiteral("rdoOrig"))->isChecked());
    QVERIFY(app_->find<QLabel>(QStringLiteral("imgZorvex"))->pixmap().width() > 0);

    // The image area is medium grey and holds the three views, Orig showing.
    auto* area = app_->find<QWidget>(QStringLiteral("pnlImage"));
    QCOMPARE(area->palette().color(QPalette::Window), QColor(160, 160, 164));
    QVERIFY(app_->find<TPictureView>(QStringLiteral("imgOrig"))->isVisible());
    QVERIFY(!app_->find<TPictureView>(QStringLiteral("imgBW"))->isVisible());
    QVERIFY(!app_->find<TPictureView>(QStringLiteral("imgBWCut"))->isVisible());

    // The menu, item by item, separators as empty texts.
    QStringList menus;
    for (QAction* menu : main.menuBar()->actions()) {
        QStringList items;
        for (QAction* item : menu->menu()->actions()) {
            items << (item->isSeparator() ? QString() : item->text());
        }
        menus << menu->text().remove(QLatin1Char('&')) + QStringLiteral(": ") +
                     items.join(QLatin1Char('|'));
    }
    QCOMPARE(menus, QStringList({QStringLiteral("File: Load Bitmap...|Open G-code...|Load Profile...||Save "
                                                "Displayed Image...||Exit"),
                                 QStringLiteral("Utility: Save G-code...|Show Settings...|Machine||Material test...|Measure "
                                                "tone..."),
                                 QStringLiteral("Help: Show Help...|About...")}));
}

void MainWindowTest::enableRules_data()
{
    QTest::addColumn<QStringList>("loads"); // "" cancels the dialog
    QTest::addColumn<bool>("saveGcode");
    QTest::addColumn<bool>("views");

    QTest::newRow("before any load") << QStringList() << false << false;
    QTest::newRow("first load cancelled") << QStringList({QString()}) << false << true;
    QTest::newRow("after a load") << QStringList({QStringLiteral("a.bmp")}) << true << true;
    QTest::newRow("load, then a cancelled load")
        << QStringList({QStringLiteral("a.bmp"), QString()}) << true << true;
    QTest::newRow("unreadable first file")
        << QStringList({QStringLiteral("note.bmp")}) << false << false;
    QTest::newRow("refused first layout")
        << QStringList({QStringLiteral("masks.bmp")}) << false << false;
}

void MainWindowTest::enableRules()
{
    QFETCH(QStringList, loads);
    QFETCH(bool, saveGcode);
    QFETCH(bool, views);

    writeSample(QStringLiteral("a.bmp"));
    WriteNotABitmap(app_->path(QStringLiteral("note.bmp")));
    WriteBmp32WithMasks(app_->path(QStringLiteral("masks.bmp")), 2, 2);
    for (const QString& name : loads) {
        load(name.isEmpty() ? QString() : app_->path(name));
    }

    QCOMPARE(enabled(QStringLiteral("btnGcode2")), saveGcode);
    QCOMPARE(enabled(QStringLiteral("SaveGcode1")), saveGcode);
    QCOMPARE(enabled(QStringLiteral("rdoOrig")), views);
    QCOMPARE(enabled(QStringLiteral("rdoBW")), views);
    QCOMPARE(enabled(QStringLiteral("SaveDisplayedImage1")), views);
    QCOMPARE(enabled(QStringLiteral("rdoBWPlusCut")), saveGcode);
    for (const char* always : {"Button1", "btnSettings", "LoadBitmap1", "LoadProfile1", "Exit1",
                               "ShowSettings1", "ShowHelp1", "About1"}) {
        QVERIFY2(enabled(QLatin1String(always)), always);
    }
}

void MainWindowTest::loadShowsPictureAndSizes()
{
    const QString path = writeSample(QStringLiteral("sample.bmp"));
    load(path);

    QCOMPARE(app_->dialogs.messages, QStringList());
    TfrmMain& main = app_->main();
    QCOMPARE(main.windowTitle(), QStringLiteral("Pyrolith  ") + path);
    QCOMPARE(app_->find<QLabel>(QStringLiteral("lblOrigDim"))->text(),
             QStringLiteral("Original size: 3 x 2 pixels"));
    QCOMPARE(app_->find<QLabel>(QStringLiteral("lblNewDim"))->text(),
             QStringLiteral("Final size: 0.7500 x 0.5000 mm"));
    QVERIFY(main.imageLoaded());
    QCOMPARE(main.imageFileName(), QStringLiteral("sample.bmp"));

    // The B+W view is selected and shows the black-and-white picture: black and the nearly
    // black (20, 20, 20) stay black, every other colour turns white.
    QVERIFY(app_->find<QRadioButton>(QStringLiteral("rdoBW"))->isChecked());
    auto* bw = app_->find<TPictureView>(QStringLiteral("imgBW"));
    QVERIFY(bw->isVisible());
    QVERIFY(!app_->find<TPictureView>(QStringLiteral("imgOrig"))->isVisible());
    const QImage shown = bw->picture();
    QCOMPARE(shown.size(), QSize(3, 2));
    const QRgb expected[2][3] = {{qRgb(0, 0, 0), qRgb(0, 0, 0), qRgb(255, 255, 255)},
                                 {qRgb(255, 255, 255), qRgb(255, 255, 255), qRgb(255, 255, 255)}};
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            QCOMPARE(shown.pixel(x, y), expected[y][x]);
        }
    }
    const QImage original = app_->find<TPictureView>(QStringLiteral("imgOrig"))->picture();
    QCOMPARE(original.pixelColor(2, 0), QColor(255, 0, 0));
    QCOMPARE(original.pixelColor(1, 1), QColor(128, 128, 128));
}

void MainWindowTest::loadDialogRemembersNameAndFolder()
{
    const QString first = writeSample(QStringLiteral("first.bmp"));
    QVERIFY(QDir().mkpath(app_->path(QStringLiteral("pictures"))));
    const QString second = app_->path(QStringLiteral("pictures/second.bmp"));
    WriteBmp24(second, 2, 2, Sample);

    load(first);
    load(second);
    load(QString()); // cancelled: nothing changes, the views stay enabled

    const auto& requests = app_->dialogs.openRequests;
    QCOMPARE(requests.size(), 3);
    // Every format the program reads first (the one selected), then each alone.
    QCOMPARE(requests[0].filter,
             QStringLiteral("Pictures (*.bmp *.png *.jpg *.jpeg *.gif *.tif *.tiff *.webp);;"
                            "Bitmap image (*.bmp);;PNG image (*.png);;JPEG image (*.jpg *.jpeg);;"
                            "GIF image (*.gif);;TIFF image (*.tif *.tiff);;WebP image (*.webp);;"
                            "Any file (*)"));
    QCOMPARE(requests[0].folder, app_->folder()); // InitialOpenDir of the settings file
    QCOMPARE(requests[0].fileName, QString());
    QCOMPARE(requests[1].fileName, QStringLiteral("first.bmp"));
    QCOMPARE(requests[2].folder, app_->path(QStringLiteral("pictures")));
    QCOMPARE(requests[2].fileName, QStringLiteral("second.bmp"));
    QCOMPARE(app_->main().windowTitle(), QStringLiteral("Pyrolith  ") + second);
}

void MainWindowTest::refusedLayoutKeepsPreviousState()
{
    const QString good = writeSample(QStringLiteral("good.bmp"));
    load(good);
    const QString masks = app_->path(QStringLiteral("masks.bmp"));
    WriteBmp32WithMasks(masks, 4, 4);
    load(masks);

    QCOMPARE(app_->dialogs.messages, QStringList({kUnrecognized}));
    QCOMPARE(app_->dialogs.hourglassAtMessage, QList<bool>({false}));
    TfrmMain& main = app_->main();
    // The Orig view and the source picture are emptied ...
    QVERIFY(!app_->find<TPictureView>(QStringLiteral("imgOrig"))->hasPicture());
    QVERIFY(main.sourceBitmap().empty());
    // ... everything else describes the previous picture.
    QCOMPARE(main.monoBitmap().width(), 3);
    QCOMPARE(app_->find<TPictureView>(QStringLiteral("imgBW"))->picture().size(), QSize(3, 2));
    QCOMPARE(main.windowTitle(), QStringLiteral("Pyrolith  ") + good);
    QCOMPARE(main.imageFileName(), QStringLiteral("good.bmp"));
    QCOMPARE(app_->find<QLabel>(QStringLiteral("lblOrigDim"))->text(),
             QStringLiteral("Original size: 3 x 2 pixels"));
    QVERIFY(enabled(QStringLiteral("btnGcode2")));
    // The dialog now starts in the folder of the last picture that loaded.
    load(QString());
    QCOMPARE(app_->dialogs.openRequests.last().folder, app_->folder());
    QCOMPARE(app_->dialogs.openRequests.last().fileName, QStringLiteral("masks.bmp"));
}

void MainWindowTest::unreadableFileKeepsEveryState()
{
    const QString good = writeSample(QStringLiteral("good.bmp"));
    load(good);
    app_->find<QRadioButton>(QStringLiteral("rdoOrig"))->click();
    const QString note = app_->path(QStringLiteral("note.bmp"));
    WriteNotABitmap(note);
    load(note);

    QCOMPARE(app_->dialogs.messages.size(), 1);
    QVERIFY(!app_->dialogs.messages[0].isEmpty());
    QVERIFY(app_->dialogs.messages[0] != kUnrecognized);
    QCOMPARE(app_->dialogs.hourglassAtMessage, QList<bool>({false}));
    TfrmMain& main = app_->main();
    QCOMPARE(main.sourceBitmap().width, 3);
    QVERIFY(app_->find<TPictureView>(QStringLiteral("imgOrig"))->hasPicture());
    QVERIFY(app_->find<QRadioButton>(QStringLiteral("rdoOrig"))->isChecked());
    QVERIFY(app_->find<TPictureView>(QStringLiteral("imgOrig"))->isVisible());
    QCOMPARE(main.windowTitle(), QStringLiteral("Pyrolith  ") + good);
}

void MainWindowTest::viewButtonsSwitchViews()
{
    load(writeSample(QStringLiteral("a.bmp")));
    auto* orig = app_->find<TPictureView>(QStringLiteral("imgOrig"));
    auto* bw = app_->find<TPictureView>(QStringLiteral("imgBW"));
    QTest::mouseClick(app_->find<QRadioButton>(QStringLiteral("rdoOrig")), Qt::LeftButton);
    QVERIFY(orig->isVisible());
    QVERIFY(!bw->isVisible());
    QTest::mouseClick(app_->find<QRadioButton>(QStringLiteral("rdoBW")), Qt::LeftButton);
    QVERIFY(!orig->isVisible());
    QVERIFY(bw->isVisible());
    QVERIFY(!app_->find<TPictureView>(QStringLiteral("imgBWCut"))->isVisible());
    // A new load selects B+W again.
    QTest::mouseClick(app_->find<QRadioButton>(QStringLiteral("rdoOrig")), Qt::LeftButton);
    load(app_->path(QStringLiteral("a.bmp")));
    QVERIFY(app_->find<QRadioButton>(QStringLiteral("rdoBW"))->isChecked());
    QVERIFY(bw->isVisible());
}

// The B+W+Cut view shows the B+W picture and, in the cut's colour, the path the cut takes in
// the picture's pixels, following the cut settings.
void MainWindowTest::cutViewDrawsTheCutOverThePicture()
{
    load(writeSample(QStringLiteral("a.bmp")));
    TfrmSettings& settings = app_->windows().settings();
    settings.findChild<QCheckBox*>(QStringLiteral("chkHalfStepHeight"))->setChecked(false);
    settings.findChild<QCheckBox*>(QStringLiteral("chkAddPerimeterCut"))->setChecked(true);
    settings.findChild<QRadioButton*>(QStringLiteral("rdoCutOutlineBorder"))->setChecked(true);
    QTest::mouseClick(app_->find<QRadioButton>(QStringLiteral("rdoBWPlusCut")), Qt::LeftButton);
    auto* view = app_->find<TPictureView>(QStringLiteral("imgBWCut"));
    QVERIFY(view->isVisible());
    QCOMPARE(view->picture(), app_->find<TPictureView>(QStringLiteral("imgBW"))->picture());
    // The print area of 3 x 2 pixels: one pixel left of the burned columns, centred on the
    // burned rows.
    const QList<QPolygonF> boundary = {
        QPolygonF({{-1.0, 1.5}, {2.0, 1.5}, {2.0, -0.5}, {-1.0, -0.5}})};
    QTRY_COMPARE(view->overlay(), boundary);
    settings.findChild<QCheckBox*>(QStringLiteral("chkAddPerimeterCut"))->setChecked(false);
    QTRY_COMPARE(view->overlay(), QList<QPolygonF>());
}

void MainWindowTest::smallPictureEnlargedAndRefitOnResize()
{
    const QString path = app_->path(QStringLiteral("ten.bmp"));
    WriteBmp24(path, 10, 10, [](int x, int y) { return (x + y) % 2 ? Qt::white : Qt::black; });
    load(path);
    TfrmMain& main = app_->main();
    auto* bw = app_->find<TPictureView>(QStringLiteral("imgBW"));
    QVERIFY(QTest::qWaitForWindowExposed(&main));

    const auto check = [bw] {
        const QRect shown = bw->shownRect();
        QCOMPARE(shown, FitAndCentre(10, 10, bw->width(), bw->height()));
        // Enlarged to the full height or width of the area, never 10 x 10 screen pixels.
        QCOMPARE(shown.width(), qMin(bw->width(), bw->height()));
    };
    check();
    QVERIFY(bw->shownRect().width() > 100);

    const QSize before = bw->size();
    main.resize(main.width() + 200, main.height() + 150);
    QTRY_VERIFY(bw->size() != before);
    QCOMPARE(bw->size(), app_->find<QWidget>(QStringLiteral("pnlImage"))->size());
    check();
    QVERIFY(app_->find<QRadioButton>(QStringLiteral("rdoBW"))->isChecked());
    QVERIFY(bw->isVisible());

    // The view hidden during the resize fills the area too once it is shown.
    auto* orig = app_->find<TPictureView>(QStringLiteral("imgOrig"));
    app_->find<QRadioButton>(QStringLiteral("rdoOrig"))->click();
    QTRY_COMPARE(orig->size(), app_->find<QWidget>(QStringLiteral("pnlImage"))->size());
    QCOMPARE(orig->shownRect(), bw->shownRect());
}

void MainWindowTest::saveDisplayedImage_data()
{
    QTest::addColumn<bool>("original");
    QTest::addColumn<QString>("title");
    QTest::newRow("Orig") << true << QStringLiteral("Save Original Image");
    QTest::newRow("B+W") << false << QStringLiteral("Save B & W Image");
}

void MainWindowTest::saveDisplayedImage()
{
    QFETCH(bool, original);
    QFETCH(QString, title);
    load(writeSample(QStringLiteral("a.bmp")));
    if (original) {
        app_->find<QRadioButton>(QStringLiteral("rdoOrig"))->click();
    }
    const QString target = app_->path(QStringLiteral("saved.bmp"));
    app_->dialogs.saveAnswers.append(target);
    app_->find<QAction>(QStringLiteral("SaveDisplayedImage1"))->trigger();

    QCOMPARE(app_->dialogs.messages, QStringList());
    QCOMPARE(app_->dialogs.saveRequests.size(), 1);
    const auto& request = app_->dialogs.saveRequests[0];
    QCOMPARE(request.title, title);
    QCOMPARE(request.filter, QStringLiteral("Bitmap (*.bmp)"));
    QCOMPARE(request.defaultSuffix, QStringLiteral("bmp"));
    QVERIFY(request.confirmOverwrite);

    const pyrolith::Bitmap saved = pyrolith::ReadBitmap(ToPath(target));
    QCOMPARE(saved.width, 3);
    QCOMPARE(saved.height, 2);
    if (original) {
        QCOMPARE(saved.bitsPerPixel, quint16(24));
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 3; ++x) {
                const pyrolith::Rgb pixel = saved.pixel(x, y);
                QCOMPARE(QColor(pixel.r, pixel.g, pixel.b), Sample(x, y));
            }
        }
    } else {
        QCOMPARE(saved.bitsPerPixel, quint16(4));
        const pyrolith::Rgb black{0, 0, 0};
        const pyrolith::Rgb white{255, 255, 255};
        QVERIFY(saved.pixel(0, 0) == black);
        QVERIFY(saved.pixel(1, 0) == black);
        QVERIFY(saved.pixel(2, 0) == white);
        QVERIFY(saved.pixel(1, 1) == white);
    }

    // The next save offers the same name and folder.
    app_->find<QAction>(QStringLiteral("SaveDisplayedImage1"))->trigger();
    QCOMPARE(app_->dialogs.saveRequests[1].fileName, QStringLiteral("saved.bmp"));
    QCOMPARE(app_->dialogs.saveRequests[1].folder, app_->folder());
}

void MainWindowTest::saveDisplayedImageWithoutPicture()
{
    load(QString()); // cancelled: the command is enabled, the Orig view is empty
    QVERIFY(enabled(QStringLiteral("SaveDisplayedImage1")));
    app_->find<QAction>(QStringLiteral("SaveDisplayedImage1"))->trigger();
    QCOMPARE(app_->dialogs.saveRequests.size(), 0);
    QCOMPARE(app_->dialogs.messages, QStringList());
}

void MainWindowTest::settingsAndProfileCommands()
{
    load(writeSample(QStringLiteral("a.bmp")));
    // A profile in inches with another distance per pixel: loading it through the main
    // window's menu refreshes the final-size line.
    pyrolith::JobSettings profile;
    profile.UseInches = true;
    profile.DistPerPixel = "0.5";
    const QString path = app_->path(QStringLiteral("Profiles/wood.prf"));
    pyrolith::MakeIniFile(ToPath(path), profile, pyrolith::AppSettings{});
    app_->dialogs.openAnswers.append(path);
    app_->find<QAction>(QStringLiteral("LoadProfile1"))->trigger();

    QCOMPARE(app_->dialogs.openRequests.last().folder, app_->locations.profilesFolder);
    QCOMPARE(app_->windows().settings().profileLabel(), QStringLiteral("wood"));
    QCOMPARE(app_->find<QLabel>(QStringLiteral("lblNewDim"))->text(),
             QStringLiteral("Final size: 1.5000 x 1.0000 inches"));

    // "Settings..." and "Show Settings..." show the settings window without blocking.
    TfrmSettings& settings = app_->windows().settings();
    QVERIFY(!settings.isVisible());
    QTest::mouseClick(app_->find<QPushButton>(QStringLiteral("btnSettings")), Qt::LeftButton);
    QVERIFY(settings.isVisible());
    settings.hide();
    app_->find<QAction>(QStringLiteral("ShowSettings1"))->trigger();
    QVERIFY(settings.isVisible());
    QVERIFY(app_->main().isEnabled());
}

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
