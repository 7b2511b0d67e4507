// Reading a picture off the window's thread: the window answers meanwhile, and Cancel or
// Escape stop the reading and keep the picture shown. The picture read here is a named pipe
// that no one writes until the test says so, so the reading waits as long as the test needs.
#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/support/AppHarness.h"
#include "app/support/TestBitmaps.h"

class LoadingTest : public QObject {
    Q_OBJECT
private slots:
    void stoppedReadingKeepsThePicture_data();
    void stoppedReadingKeepsThePicture();
};

void LoadingTest::stoppedReadingKeepsThePicture_data()
{
    QTest::addColumn<bool>("escape");
    QTest::newRow("Cancel") << false;
    QTest::newRow("Escape") << true;
}

void LoadingTest::stoppedReadingKeepsThePicture()
{
    QFETCH(bool, escape);
    AppHarness app;
    app.start();
    const QString first = app.path(QStringLiteral("first.bmp"));
    WriteBmp24(first, 6, 3, [](int x, int) { return x < 3 ? QColor(Qt::black) : QColor(Qt::white); });
    app.dialogs.openAnswers.append(first);
    app.main().Button1Click();
    QCOMPARE(app.main().sourceBitmap().width, 6);
    const QString title = app.main().windowTitle();

    const QString pipe = app.path(QStringLiteral("large.jpg"));
    QVERIFY(::mkfifo(pipe.toLocal8Bit().constData(), 0600) == 0);
    bool answered = false;
    QTimer::singleShot(0, &app.main(), [&] {
        // The window's events go on while the picture is read.
        auto* cancel = app.find<QPushButton>(QStringLiteral("btnCancelLoad"));
        answered = cancel->isVisible() && !app.find<QPushButton>(QStringLiteral("Button1"))->isEnabled();
        if (escape) {
            QTest::keyClick(&app.main(), Qt::Key_Escape);
        } else {
            QTest::mouseClick(cancel, Qt::LeftButton);
        }
    });
    app.dialogs.openAnswers.append(pipe);
    app.main().Button1Click();
    // The reading ends with the pipe; what it read is dropped.
    const int writer = ::open(pipe.toLocal8Bit().constData(), O_WRONLY);
    QVERIFY(writer >= 0);
    ::close(writer);

    QVERIFY(answered);
    QCOMPARE(app.main().sourceBitmap().width, 6);
    QCOMPARE(app.main().windowTitle(), title);
    QCOMPARE(app.dialogs.messages, QStringList());
    QVERIFY(!app.find<QWidget>(QStringLiteral("pnlLoading"))->isVisible());
    QVERIFY(app.find<QPushButton>(QStringLiteral("Button1"))->isEnabled());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

QTEST_MAIN(LoadingTest)
#include "LoadingTest.moc"
