// The window with pictures besides bitmaps: loading and dropping them, the picture group of the
// settings window and the black-and-white view that follows it.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cstdlib>

#include "app/AppPlatform.h"
#include "app/TfrmSettings.h"
#include "app/support/AppHarness.h"
#include "image/Bitmap.h"

namespace {

// A 64 x 8 PNG whose column x has the grey level 4 x: black on the left to light grey.
QString MakeRamp(const QString& path)
{
    const QString command =
        QStringLiteral("/usr/bin/convert -size 8x64 gradient:black-'rgb(252,252,252)' -rotate -90 "
                       "-depth 8 -type Grayscale PNG24:'%1'")
            .arg(path);
    return std::system(command.toLocal8Bit().constData()) == 0 ? path : QString();
}

int BlackColumns(const pyrolith::MonoBitmap& mono)
{
    int columns = 0;
    for (std::int32_t x = 0; x < mono.width(); ++x) {
        columns += mono.black(x, 0) ? 1 : 0;
    }
    return columns;
}

} // namespace

class PictureWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        app_ = std::make_unique<AppHarness>();
        app_->start();
    }
    void cleanup()
    {
        app_.reset();
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void thresholdAndModeFollowTheSettings();
    void droppedPictureLoadsAndBadFileKeepsThePicture();

private:
    template <typename T> T* setting(const char* name)
    {
        return app_->windows().settings().findChild<T*>(QString::fromLatin1(name));
    }
    std::unique_ptr<AppHarness> app_;
};

void PictureWindowTest::thresholdAndModeFollowTheSettings()
{
    const QString ramp = MakeRamp(app_->path(QStringLiteral("ramp.png")));
    QVERIFY(!ramp.isEmpty());
    QCOMPARE(setting<QGroupBox>("grpPicture")->parentWidget()->objectName(),
             QStringLiteral("tabImage"));

    app_->dialogs.openAnswers.append(ramp);
    QTest::mouseClick(app_->find<QPushButton>(QStringLiteral("Button1")), Qt::LeftButton);
    QCOMPARE(app_->dialogs.messages, QStringList());
    QCOMPARE(app_->main().sourceBitmap().width, 64);
    // The nearest of 16 colours: grey levels up to 64 are black.
    QCOMPARE(BlackColumns(app_->main().monoBitmap()), 17);

    auto* mode = setting<QComboBox>("cboImageMode");
    mode->setCurrentIndex(mode->findData(QStringLiteral("Threshold")));
    QVERIFY(app_->windows().settings().profileModified());
    app_->main().waitForPicture();
    QCOMPARE(BlackColumns(app_->main().monoBitmap()), 32); // grey levels 0 to 124

    auto* threshold = setting<QLineEdit>("edtThreshold");
    threshold->selectAll();
    QTest::keyClicks(threshold, QStringLiteral("9"));
    QTRY_COMPARE(BlackColumns(app_->main().monoBitmap()), 3); // 0, 4, 8
    QTest::keyClick(setting<QLineEdit>("edtThreshold"), Qt::Key_End);
    QTest::keyClicks(threshold, QStringLiteral("7"));
    QTRY_COMPARE(BlackColumns(app_->main().monoBitmap()), 25); // below 97

    // Half the width: 32 columns, each the mean of two, shown in the final size.
    auto* width = setting<QLineEdit>("edtResizeWidth");
    QTest::keyClicks(width, QStringLiteral("3.2"));
    app_->main().waitForPicture();
    QCOMPARE(app_->main().monoBitmap().width(), 32);
    QCOMPARE(BlackColumns(app_->main().monoBitmap()), 12); // means 2 .. 94
    QCOMPARE(app_->find<QLabel>(QStringLiteral("lblNewDim"))->text(),
             QStringLiteral("Final size: 3.2000 x 0.4000 mm"));

    // The orig view of a PNG is saved as a 24-bit bitmap.
    QTest::mouseClick(app_->find<QRadioButton>(QStringLiteral("rdoOrig")), Qt::LeftButton);
    const QString saved = app_->path(QStringLiteral("orig.bmp"));
    app_->dialogs.saveAnswers.append(saved);
    app_->find<QAction>(QStringLiteral("SaveDisplayedImage1"))->trigger();
    const pyrolith::Bitmap back = pyrolith::ReadBitmap(ToPath(saved));
    QCOMPARE(back.bitsPerPixel, quint16(24));
    QCOMPARE(back.pixel(63, 7), (pyrolith::Rgb{252, 252, 252}));
}

void PictureWindowTest::droppedPictureLoadsAndBadFileKeepsThePicture()
{
    const QString ramp = MakeRamp(app_->path(QStringLiteral("drop.png")));
    const auto drop = [this](const QString& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(&app_->main(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&app_->main(), &event);
    };
    drop(ramp);
    QCOMPARE(app_->dialogs.messages, QStringList());
    QCOMPARE(app_->main().imageFileName(), QStringLiteral("drop.png"));
    QCOMPARE(app_->main().monoBitmap().width(), 64);

    QFile bad(app_->path(QStringLiteral("bad.png")));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write(QByteArray("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16));
    bad.close();
    drop(bad.fileName());
    QCOMPARE(app_->dialogs.messages.size(), 1);
    QVERIFY(app_->dialogs.messages[0].startsWith(QStringLiteral("PNG image is not valid: ")));
    QCOMPARE(app_->main().imageFileName(), QStringLiteral("drop.png"));
    QCOMPARE(app_->main().monoBitmap().width(), 64);
}

QTEST_MAIN(PictureWindowTest)
#include "PictureWindowTest.moc"
