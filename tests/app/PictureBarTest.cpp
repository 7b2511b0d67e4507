// The picture bar of the main window and the photo hint under the views.
#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

#include "app/TfrmSettings.h"
#include "app/support/AppHarness.h"
#include "app/support/TestBitmaps.h"

class PictureBarTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        app_ = std::make_unique<AppHarness>();
        app_->start();
    }
    void cleanup() { app_.reset(); }

    void bothPlacesShowAChange_data();
    void bothPlacesShowAChange();
    void photoHint_data();
    void photoHint();

private:
    template <typename T> T* setting(const QString& name)
    {
        return app_->windows().settings().findChild<T*>(name);
    }
    std::unique_ptr<AppHarness> app_;
};

void PictureBarTest::bothPlacesShowAChange_data()
{
    QTest::addColumn<QString>("bar");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<bool>("fromBar");
    QTest::addColumn<QString>("text");
    for (const bool fromBar : {true, false}) {
        const char* side = fromBar ? "bar to settings: " : "settings to bar: ";
        QTest::newRow(qPrintable(QString::fromLatin1(side) + "mode"))
            << "cboBarImageMode" << "cboImageMode" << fromBar << "Atkinson";
        QTest::newRow(qPrintable(QString::fromLatin1(side) + "threshold"))
            << "edtBarThreshold" << "edtThreshold" << fromBar << "97";
        QTest::newRow(qPrintable(QString::fromLatin1(side) + "width"))
            << "edtBarResizeWidth" << "edtResizeWidth" << fromBar << "12.5";
    }
}

// A change typed or picked in either place shows in the other, counts as a change of the
// profile, and reaches the settings the job is written with.
void PictureBarTest::bothPlacesShowAChange()
{
    QFETCH(QString, bar);
    QFETCH(QString, settings);
    QFETCH(bool, fromBar);
    QFETCH(QString, text);
    auto* barMode = app_->find<QComboBox>(QStringLiteral("cboBarImageMode"));
    auto* settingsMode = setting<QComboBox>(QStringLiteral("cboImageMode"));
    QVERIFY(barMode != nullptr && settingsMode != nullptr);
    QCOMPARE(barMode->count(), settingsMode->count());
    // The threshold field takes keys in Threshold mode only.
    const int threshold = settingsMode->findData(QStringLiteral("Threshold"));
    settingsMode->setCurrentIndex(threshold);
    QCOMPARE(barMode->currentIndex(), threshold);
    QVERIFY(app_->find<QLineEdit>(QStringLiteral("edtBarThreshold"))->isEnabled());

    QWidget* source = fromBar ? app_->find<QWidget>(bar) : setting<QWidget>(settings);
    QWidget* target = fromBar ? setting<QWidget>(settings) : app_->find<QWidget>(bar);
    QVERIFY(source != nullptr && target != nullptr);
    if (auto* list = qobject_cast<QComboBox*>(source)) {
        list->setFocus();
        // Down from Threshold to the first dither, then the next: Atkinson.
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(list->currentData().toString(), text);
        QCOMPARE(qobject_cast<QComboBox*>(target)->currentData().toString(), text);
        QCOMPARE(app_->windows().settings().jobSettings().ImageMode, text.toStdString());
    } else {
        auto* edit = qobject_cast<QLineEdit*>(source);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
        QCOMPARE(edit->text(), text);
        QCOMPARE(qobject_cast<QLineEdit*>(target)->text(), text);
        const pyrolith::JobSettings& job = app_->windows().settings().jobSettings();
        QCOMPARE(bar == QLatin1String("edtBarThreshold") ? job.Threshold : job.ResizeWidth,
                 text.toStdString());
    }
    QVERIFY(app_->windows().settings().profileModified());
}

void PictureBarTest::photoHint_data()
{
    QTest::addColumn<bool>("photo");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("shown");
    QTest::newRow("photo in the 16-colour rule") << true << "Palette" << true;
    QTest::newRow("photo dithered") << true << "FloydSteinberg" << false;
    QTest::newRow("drawing in few colours") << false << "Palette" << false;
}

// The hint under the views: for a photo converted by the nearest of 16 colours, until it is
// dismissed or another mode is chosen; the next photo brings it back.
void PictureBarTest::photoHint()
{
    QFETCH(bool, photo);
    QFETCH(QString, mode);
    QFETCH(bool, shown);
    auto* list = setting<QComboBox>(QStringLiteral("cboImageMode"));
    list->setCurrentIndex(list->findData(mode));
    const QString path = app_->path(QStringLiteral("picture.bmp"));
    WriteBmp24(path, 256, 64, [photo](int x, int y) {
        return photo ? QColor(x, x, (x + y) % 256) : (x < 128 ? QColor(Qt::black) : QColor(Qt::red));
    });
    app_->dialogs.openAnswers.append(path);
    app_->main().Button1Click();
    auto* hint = app_->find<QFrame>(QStringLiteral("pnlPhotoHint"));
    QVERIFY(hint != nullptr);
    QCOMPARE(hint->isVisible(), shown);
    if (!shown) {
        return;
    }
    QTest::mouseClick(app_->find<QToolButton>(QStringLiteral("btnDismissPhotoHint")),
                      Qt::LeftButton);
    QVERIFY(!hint->isVisible());
    app_->dialogs.openAnswers.append(path);
    app_->main().Button1Click();
    QVERIFY(hint->isVisible());
    list->setCurrentIndex(list->findData(QStringLiteral("Grayscale")));
    QVERIFY(!hint->isVisible());
}

QTEST_MAIN(PictureBarTest)
#include "PictureBarTest.moc"
