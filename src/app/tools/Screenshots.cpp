// Takes the screenshots of the documentation: the main window with a picture in both views,
// a logo with its cut in the B+W+Cut view, the splash and the about window (the settings window's pages have their own), a refused
// job's message and the settings window opened beside the main window on the field to fix.
// Run under a real X server (for example Xvfb):
//   xvfb-run -s "-screen 0 1920x1080x24" build/tools/pyrolith-screenshots docs/screenshots
// The program runs from a temporary folder with its own settings file; nothing of the user's
// settings is touched.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "app/AppPlatform.h"
#include "app/AppWindows.h"
#include "app/TJobView.h"
#include "app/TToolpathCanvas.h"
#include "app/TfrmMain.h"
#include "app/TfrmAboutBox.h"
#include "app/TfrmSettings.h"
#include "app/TfrmSplash.h"
#include "app/UserDialogs.h"

namespace {

bool Save(QWidget& window, const QString& path)
{
    QApplication::processEvents();
    QTest::qWait(150);
    return window.grab().save(path);
}

// The part of the screen that shows both windows, with a margin.
bool SaveScreen(const QWidget& first, const QWidget& second, const QString& path)
{
    QApplication::processEvents();
    QTest::qWait(300);
    const QRect area = first.frameGeometry().united(second.frameGeometry()).adjusted(-8, -8, 8, 8);
    QScreen* screen = first.screen();
    return screen != nullptr &&
           screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).save(path);
}

// Answers the file dialogs from lists. A message is shown as the program shows it and saved
// as a picture when messageShot names a file; otherwise it is printed.
class ScriptedDialogs final : public UserDialogs {
public:
    QStringList openAnswers;
    QStringList saveAnswers;
    QString messageShot;
    bool messageSaved = false;
    QString openFile(QWidget*, const FileRequest&) override
    {
        return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst();
    }
    QString saveFile(QWidget*, const FileRequest&) override
    {
        return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
    }
    void message(QWidget* parent, const QString& text) override
    {
        if (messageShot.isEmpty()) {
            std::fprintf(stderr, "message: %s\n", qPrintable(text));
            return;
        }
        QMessageBox box(QMessageBox::Information, QApplication::applicationName(), text,
                        QMessageBox::Ok, parent);
        box.show();
        messageSaved = QTest::qWaitForWindowExposed(&box) && Save(box, messageShot);
        messageShot.clear();
    }
    bool askYesNo(QWidget*, const QString&) override { return false; }
    int choose(QWidget*, const QString&, const QStringList&) override { return -1; }
    void warning(QWidget* parent, const QString& text) override { message(parent, text); }
};

// A sample picture with colours and shades: a sun over hills, and a name plate.
QImage SamplePicture()
{
    QImage picture(240, 160, QImage::Format_RGB888);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 110);
    sky.setColorAt(0, QColor(120, 180, 240));
    sky.setColorAt(1, QColor(235, 240, 250));
    p.fillRect(picture.rect(), sky);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 200, 40));
    p.drawEllipse(QPointF(170, 48), 24, 24);
    p.setBrush(QColor(40, 120, 50));
    p.drawEllipse(QRectF(-60, 80, 220, 140));
    p.setBrush(QColor(10, 10, 10));
    p.drawEllipse(QRectF(90, 95, 220, 130));
    p.setBrush(QColor(90, 60, 30));
    p.drawRect(QRectF(52, 60, 8, 36));
    p.setBrush(QColor(5, 5, 5));
    p.drawEllipse(QPointF(56, 52), 18, 22);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(20, 118, 120, 30), 6, 6);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(18);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QRectF(20, 118, 120, 30), Qt::AlignCenter, QStringLiteral("PYROLITH"));
    return picture;
}

// A logo to cut out: a ring with a name in it, a flame above the name and a dot beside it.
QImage LogoPicture()
{
    QImage picture(320, 240, QImage::Format_RGB888);
    picture.fill(Qt::white);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 14));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(70, 20, 180, 180));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    QPainterPath flame;
    flame.moveTo(160, 50);
    flame.cubicTo(200, 90, 190, 120, 160, 130);
    flame.cubicTo(130, 120, 125, 90, 160, 50);
    p.drawPath(flame);
    p.drawEllipse(QPointF(285, 200), 12, 12);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(30);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QRectF(0, 195, 320, 45), Qt::AlignCenter, QStringLiteral("OAK & ASH"));
    return picture;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    ConfigureApplication();
    if (argc != 2) {
        std::fputs("usage: pyrolith-screenshots FOLDER\n", stderr);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QTemporaryDir work;
    const QString picture = work.filePath(QStringLiteral("sunset.bmp"));
    if (!SamplePicture().save(picture, "BMP")) {
        std::fputs("pyrolith-screenshots: cannot write the sample picture\n", stderr);
        return 1;
    }

    ScriptedDialogs dialogs;
    TfrmMain::Environment environment;
    environment.dialogs = &dialogs;
    environment.locations = {work.filePath(QStringLiteral("pyrolith.ini")),
                             work.filePath(QStringLiteral("Profiles/"))};
    environment.manualPath = work.filePath(QStringLiteral("Pyrolith_Manual.pdf"));
    environment.openUrl = [](const QUrl&) { return true; };
    AppWindows windows(std::move(environment));
    windows.showMain();
    if (!QTest::qWaitForWindowExposed(&windows.splash()) ||
        !Save(windows.splash(), folder + QStringLiteral("/splash.png"))) {
        return 1;
    }
    windows.splash().Timer1Timer();

    TfrmMain& main = windows.main();
    main.resize(646, 444);
    dialogs.openAnswers.append(picture);
    main.Button1Click();
    bool saved = Save(main, folder + QStringLiteral("/main-bw.png"));
    // The same picture dithered (Floyd-Steinberg), then back to the default mode.
    auto* mode = windows.settings().findChild<QComboBox*>(QStringLiteral("cboImageMode"));
    mode->setCurrentIndex(mode->findData(QStringLiteral("FloydSteinberg")));
    main.waitForPicture();
    saved = saved && Save(main, folder + QStringLiteral("/main-dithered.png"));
    mode->setCurrentIndex(mode->findData(QStringLiteral("Palette")));
    main.waitForPicture();
    main.findChild<QRadioButton*>(QStringLiteral("rdoOrig"))->click();
    saved = saved && Save(main, folder + QStringLiteral("/main-orig.png"));
    main.findChild<QRadioButton*>(QStringLiteral("rdoJob"))->click();
    auto* canvas = main.findChild<TToolpathCanvas*>(QStringLiteral("cnvToolpath"));
    saved = saved && canvas != nullptr && QTest::qWaitFor([&] {
                return main.jobView()->status().startsWith(QStringLiteral("Estimated")) &&
                       !canvas->drawing();
            }, 20000);
    saved = saved && Save(main, folder + QStringLiteral("/main-job.png"));

    // Grayscale mode: the view shows the picture in the 16 greys of a grey engraving.
    mode->setCurrentIndex(mode->findData(QStringLiteral("Grayscale")));
    main.findChild<QRadioButton*>(QStringLiteral("rdoBW"))->click();
    QTest::qWait(500);
    saved = saved && Save(main, folder + QStringLiteral("/main-grayscale.png"));
    mode->setCurrentIndex(mode->findData(QStringLiteral("Palette")));
    QTest::qWait(500);

    TfrmAboutBox& about = windows.about();
    about.show();
    saved = saved && QTest::qWaitForWindowExposed(&about) &&
            Save(about, folder + QStringLiteral("/about.png"));
    about.hide();

    // A job refused for a laser-on speed typed with ",": the message, then the settings
    // window beside the main window on the field to fix.
    main.findChild<QRadioButton*>(QStringLiteral("rdoBW"))->click();
    windows.settings().findChild<QLineEdit*>(QStringLiteral("edtOnSpeed"))
        ->setText(QStringLiteral("1,5"));
    dialogs.saveAnswers.append(work.filePath(QStringLiteral("sunset.gcode")));
    dialogs.messageShot = folder + QStringLiteral("/refused-job.png");
    main.btnGcode2Click();
    saved = saved && dialogs.messageSaved &&
            QTest::qWaitForWindowExposed(&windows.settings()) &&
            SaveScreen(main, windows.settings(),
                       folder + QStringLiteral("/settings-beside-main.png"));

    // The GCode Flavor page with the 3D printer's laser choice.
    auto* pages = windows.settings().findChild<QTabWidget*>(QStringLiteral("pgcSettings"));
    pages->setCurrentWidget(windows.settings().findChild<QWidget*>(QStringLiteral("tabFlavor")));
    saved = saved && Save(windows.settings(), folder + QStringLiteral("/settings-gcode-flavor.png"));
    // A logo with its cut in the B+W+Cut view.
    const QString logo = work.filePath(QStringLiteral("logo.bmp"));
    saved = saved && LogoPicture().save(logo, "BMP");
    windows.settings().hide();
    main.resize(760, 480); // room for every view button's caption
    dialogs.openAnswers.append(logo);
    main.Button1Click();
    windows.settings().findChild<QCheckBox*>(QStringLiteral("chkAddPerimeterCut"))->setChecked(true);
    windows.settings().findChild<QRadioButton*>(QStringLiteral("rdoCutOutlineImage"))->setChecked(true);
    windows.settings().findChild<QLineEdit*>(QStringLiteral("edtCutKerf"))->setText(QStringLiteral("0.2"));
    main.findChild<QRadioButton*>(QStringLiteral("rdoBWPlusCut"))->click();
    QTest::qWait(1500);
    saved = saved && Save(main, folder + QStringLiteral("/main-bwcut.png"));

    if (!saved) {
        std::fputs("pyrolith-screenshots: cannot write the screenshots\n", stderr);
        return 1;
    }
    return 0;
}
