// The window's picture document, which keeps no full-size copy of a picture's colours: the
// jobs of settings that read the file again are those of the whole picture read at once, and
// a file changed or removed after loading keeps the image shown.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "app/AppPlatform.h"
#include "app/PictureDocument.h"
#include "app/PictureReading.h"
#include "app/support/TestBitmaps.h"
#include "common/Error.h"
#include "image/JobPicture.h"
#include "image/PictureReader.h"
#include "image/Resample.h"
#include "machine/MachineJob.h"

namespace {

// Colours and greys of every level: a picture every mode and resize makes something of.
QColor Photo(int x, int y)
{
    return QColor((x * 37 + y * 11) % 256, (x * x + 3 * y) % 256, (y * 29 + x * 5) % 256);
}

void WritePng(const QString& path, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixelColor(x, y, Photo(x, y));
        }
    }
    QVERIFY(image.save(path, "PNG"));
}

// A 4-bit bitmap with a colour table of its own, which the palette rule keeps.
void WriteBmp4(const QString& path, int width, int height)
{
    std::vector<pyrolith::Rgb> table;
    for (int k = 0; k < 16; ++k) {
        table.push_back({static_cast<std::uint8_t>(k * 17), static_cast<std::uint8_t>(255 - k * 9),
                         static_cast<std::uint8_t>(k * 5)});
    }
    table[3] = {0, 0, 0}; // black where the standard table has dark red
    table[0] = {255, 255, 255};
    std::vector<std::uint8_t> indices;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            indices.push_back(static_cast<std::uint8_t>((x + 2 * y) % 16));
        }
    }
    pyrolith::WriteBitmap(ToPath(path), pyrolith::MonoBitmap(width, height, table, indices));
}

pyrolith::JobSettings Settings(const QString& mode, const QString& resize,
                               const QString& brightness)
{
    pyrolith::JobSettings settings;
    settings.LaserOnCommand = "M106 S255"; // a grey engraving sets the power with S
    settings.ImageMode = mode.toStdString();
    settings.ResizeWidth = resize.toStdString();
    settings.Brightness = brightness.isEmpty() ? "0" : brightness.toStdString();
    return settings;
}

QDateTime Noon()
{
    return QDateTime(QDate(2026, 3, 1), QTime(12, 0));
}

} // namespace

class PictureDocumentTest : public QObject {
    Q_OBJECT
private slots:
    void changedSettingsMakeTheJobOfTheWholePicture_data();
    void changedSettingsMakeTheJobOfTheWholePicture();
    void longPictureShowsItsResampledCopy();
    void changedOrRemovedFileKeepsTheImage_data();
    void changedOrRemovedFileKeepsTheImage();

private:
    QTemporaryDir folder_;
};

void PictureDocumentTest::changedSettingsMakeTheJobOfTheWholePicture_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("loadedMode");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("resize"); // mm at 0.1 mm a pixel
    QTest::addColumn<QString>("brightness");
    for (const QString file : {"png", "bmp", "bmp4"}) {
        const QByteArray name = file.toLatin1();
        QTest::newRow(name + ": palette resized") << file << "Palette" << "Palette" << "2.3" << "";
        QTest::newRow(name + ": palette to dither") << file << "Palette" << "FloydSteinberg" << ""
                                                    << "-20";
        QTest::newRow(name + ": dither to palette") << file << "Jarvis" << "Palette" << "" << "";
        QTest::newRow(name + ": dither resized") << file << "FloydSteinberg" << "Atkinson" << "2"
                                                 << "15";
        QTest::newRow(name + ": enlarged") << file << "Palette" << "Threshold" << "5.1" << "";
        QTest::newRow(name + ": grey resized") << file << "Palette" << "Grayscale" << "1.7"
                                               << "30";
        QTest::newRow(name + ": grey brighter") << file << "Grayscale" << "Grayscale" << ""
                                                << "-40";
    }
}

void PictureDocumentTest::changedSettingsMakeTheJobOfTheWholePicture()
{
    QFETCH(QString, file);
    QFETCH(QString, loadedMode);
    QFETCH(QString, mode);
    QFETCH(QString, resize);
    QFETCH(QString, brightness);
    const QString path = folder_.filePath(QStringLiteral("picture.") + file.left(3));
    const int width = 37;
    const int height = 23;
    if (file == QStringLiteral("png")) {
        WritePng(path, width, height);
    } else if (file == QStringLiteral("bmp")) {
        WriteBmp24(path, width, height, Photo);
    } else {
        WriteBmp4(path, width, height);
    }

    pyrolith::JobSettings settings = Settings(loadedMode, {}, {});
    PictureDocument document(Noon);
    document.setSettings(&settings);
    document.load(path);
    document.waitForLoad();
    QCOMPARE(document.lastLoad().result, PictureDocument::LoadOutcome::Loaded);
    settings = Settings(mode, resize, brightness);
    document.pictureSettingsChanged();
    document.waitForPicture();
    const std::vector<std::string> changed = document.machineJobLines();

    // The job of the whole picture read at once, and of the picture loaded with the settings.
    const pyrolith::Bitmap whole = pyrolith::ReadPicture(ToPath(path));
    const pyrolith::JobEnvironment environment = document.jobEnvironment();
    const std::vector<std::string> expected =
        pyrolith::EngravesPowerLevels(settings)
            ? pyrolith::machine::MachineJobLines(
                  settings, pyrolith::MakeJobGrayLevels(whole, settings), environment)
            : pyrolith::machine::MachineJobLines(
                  settings, pyrolith::MakeJobPicture(whole, settings), environment);
    QCOMPARE(changed, expected);
    PictureDocument fresh(Noon);
    fresh.setSettings(&settings);
    fresh.load(path);
    fresh.waitForLoad();
    QCOMPARE(fresh.machineJobLines(), expected);
    QCOMPARE(environment.sourceWidth, width);
    QCOMPARE(environment.sourceHeight, height);

    // The original is saved as read.
    const QString saved = folder_.filePath(QStringLiteral("saved.bmp"));
    document.writePicture(saved, true);
    QCOMPARE(pyrolith::EncodeBitmap(pyrolith::ReadBitmap(ToPath(saved))),
             pyrolith::EncodeBitmap(whole));
}

void PictureDocumentTest::longPictureShowsItsResampledCopy()
{
    const QString path = folder_.filePath(QStringLiteral("long.png"));
    WritePng(path, 5000, 3);
    PictureDocument document(Noon);
    QImage shown;
    connect(&document, &PictureDocument::pictureLoaded, this,
            [&shown](const QImage& original) { shown = original; });
    document.load(path);
    document.waitForLoad();
    const pyrolith::Bitmap copy =
        pyrolith::ResampleToWidth(pyrolith::ReadPicture(ToPath(path)), OrigViewSide());
    QCOMPARE(shown.size(), QSize(copy.width, copy.height));
    for (int y = 0; y < copy.height; ++y) {
        for (int x = 0; x < copy.width; ++x) {
            const pyrolith::Rgb c = copy.pixel(x, y);
            QCOMPARE(shown.pixel(x, y), qRgb(c.r, c.g, c.b));
        }
    }
}

void PictureDocumentTest::changedOrRemovedFileKeepsTheImage_data()
{
    QTest::addColumn<bool>("removed");
    QTest::addColumn<QString>("mode");
    QTest::newRow("removed, palette") << true << "Palette";
    QTest::newRow("removed, grey") << true << "Grayscale";
    QTest::newRow("another picture, dither") << false << "FloydSteinberg";
}

void PictureDocumentTest::changedOrRemovedFileKeepsTheImage()
{
    QFETCH(bool, removed);
    QFETCH(QString, mode);
    const QString path = folder_.filePath(QStringLiteral("gone.png"));
    WritePng(path, 30, 20);
    pyrolith::JobSettings settings = Settings(mode, {}, {});
    PictureDocument document(Noon);
    document.setSettings(&settings);
    document.load(path);
    document.waitForLoad();
    const pyrolith::MonoBitmap before = document.monoBitmap();
    QFile::remove(path);
    if (!removed) {
        WritePng(path, 31, 20);
    }

    QSignalSpy failed(&document, &PictureDocument::failed);
    QSignalSpy changed(&document, &PictureDocument::monoChanged);
    settings.ResizeWidth = "2";
    document.pictureSettingsChanged();
    document.waitForPicture();
    const QString message = QStringLiteral(
        "The picture 'gone.png' was changed or removed after it was loaded. Load it again to go "
        "on with it.");
    QCOMPARE(failed.size(), 1);
    QCOMPARE(failed[0][0].toString(), message);
    QCOMPARE(changed.size(), 0);
    QCOMPARE(document.monoBitmap().indices(), before.indices());
    QCOMPARE(document.sourcePicture().width, 30);

    // What needs the colours again says the same.
    const auto failure = [](const auto& action) {
        try {
            action();
        } catch (const pyrolith::Error& error) {
            return QString::fromStdString(error.what());
        }
        return QString();
    };
    QCOMPARE(failure([&] { document.writePicture(folder_.filePath(QStringLiteral("o.bmp")), true); }),
             message);
    QCOMPARE(failure([&] { document.machineJobLines(); }),
             pyrolith::EngravesPowerLevels(settings) ? message : QString());
}

QTEST_MAIN(PictureDocumentTest)
#include "PictureDocumentTest.moc"
