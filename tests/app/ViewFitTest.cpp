// The fit-and-centre arithmetic of the picture views, and a view that re-fits on resize.
#include "app/ViewFit.h"

#include <QImage>
#include <QTest>

#include "app/TPictureView.h"

class ViewFitTest : public QObject {
    Q_OBJECT
private slots:
    void fitsAndCentres_data();
    void fitsAndCentres();
    void pictureWithoutPixelsShowsNothing();
    void viewRefitsWhenResized();
    void reducedPictureShowsItsTone_data();
    void reducedPictureShowsItsTone();
};

void ViewFitTest::fitsAndCentres_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("area");
    QTest::addColumn<QRect>("shown");

    // The image area of the main window as designed is 630 x 312.
    QTest::newRow("10x10 enlarged to the height")
        << QSize(10, 10) << QSize(630, 312) << QRect(159, 0, 312, 312);
    QTest::newRow("640x480 reduced, height limits")
        << QSize(640, 480) << QSize(630, 312) << QRect(107, 0, 416, 312);
    QTest::newRow("wide 100x40 fills the width")
        << QSize(100, 40) << QSize(630, 312) << QRect(0, 30, 630, 252);
    QTest::newRow("tall 40x100, width truncated")
        << QSize(40, 100) << QSize(630, 312) << QRect(253, 0, 124, 312);
    QTest::newRow("tall into a narrow area")
        << QSize(100, 200) << QSize(50, 312) << QRect(0, 106, 50, 100);
    QTest::newRow("very wide strip") << QSize(1000, 10) << QSize(630, 312) << QRect(0, 153, 630, 6);
    QTest::newRow("7x3: 100/2.333 truncates to 42")
        << QSize(7, 3) << QSize(100, 100) << QRect(0, 29, 100, 42);
    QTest::newRow("odd margin halves truncate")
        << QSize(3, 1) << QSize(100, 100) << QRect(0, 33, 100, 33);
    QTest::newRow("square into a square") << QSize(5, 5) << QSize(80, 80) << QRect(0, 0, 80, 80);
    QTest::newRow("1x1 enlarged") << QSize(1, 1) << QSize(201, 100) << QRect(50, 0, 100, 100);
}

void ViewFitTest::fitsAndCentres()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, area);
    QFETCH(QRect, shown);
    QCOMPARE(FitAndCentre(picture.width(), picture.height(), area.width(), area.height()), shown);
}

void ViewFitTest::pictureWithoutPixelsShowsNothing()
{
    QVERIFY(FitAndCentre(0, 10, 630, 312).isEmpty());
    QVERIFY(FitAndCentre(10, 0, 630, 312).isEmpty());
}

void ViewFitTest::viewRefitsWhenResized()
{
    TPictureView view;
    QVERIFY(view.shownRect().isEmpty());
    QImage picture(10, 10, QImage::Format_RGB32);
    picture.fill(Qt::black);
    view.setPicture(picture);
    view.resize(630, 312);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCOMPARE(view.shownRect(), QRect(159, 0, 312, 312));

    view.resize(400, 100);
    QCOMPARE(view.shownRect(), QRect(150, 0, 100, 100));

    // What is painted is the fitted picture: black inside the rectangle, nothing outside.
    const QImage painted = view.grab().toImage();
    QCOMPARE(painted.pixelColor(150, 50), QColor(Qt::black));
    QCOMPARE(painted.pixelColor(249, 99), QColor(Qt::black));
    QVERIFY(painted.pixelColor(149, 50) != QColor(Qt::black));
    QVERIFY(painted.pixelColor(250, 50) != QColor(Qt::black));

    view.clearPicture();
    QVERIFY(view.shownRect().isEmpty());
}

void ViewFitTest::reducedPictureShowsItsTone_data()
{
    // A checkerboard of single black and white pixels, as a fine dither is, shown 100 x 50.
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QList<int>>("shown"); // the grey at three corners of what is shown
    QTest::newRow("black and white, half: grey") << QImage::Format_Indexed8 << QSize(200, 100)
                                                 << QList<int>{127, 127, 127};
    QTest::newRow("colour, a quarter: grey") << QImage::Format_RGB32 << QSize(400, 200)
                                             << QList<int>{127, 127, 127};
    QTest::newRow("enlarged: crisp") << QImage::Format_Indexed8 << QSize(4, 2)
                                     << QList<int>{0, 255, 0};
}

void ViewFitTest::reducedPictureShowsItsTone()
{
    QFETCH(QImage::Format, format);
    QFETCH(QSize, picture);
    QFETCH(QList<int>, shown);
    QImage checker(picture, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            checker.setPixel(x, y, (x + y) % 2 == 0 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
        }
    }
    TPictureView view;
    view.setPicture(checker.convertToFormat(format, {qRgb(0, 0, 0), qRgb(255, 255, 255)}));
    view.resize(100, 50);
    const QImage painted = view.grab().toImage();
    const QList<int> greys = {qGray(painted.pixel(0, 0)), qGray(painted.pixel(99, 0)),
                              qGray(painted.pixel(99, 49))};
    for (int i = 0; i < greys.size(); ++i) {
        QVERIFY2(std::abs(greys[i] - shown[i]) <= 1, qPrintable(QString::number(greys[i])));
    }
}

QTEST_MAIN(ViewFitTest)
#include "ViewFitTest.moc"
