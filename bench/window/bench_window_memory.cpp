// The peak memory of the window's picture document loading a picture, offscreen:
//   QT_QPA_PLATFORM=offscreen bench_window_memory PICTURE [ImageMode]
// prints the peak resident memory before the load (the empty document) and after it, and the
// bytes a pixel of the difference; then the peak after two settings changes: a brightness
// change (made of the grey levels the document keeps) and a resize to three fifths of the
// width (which reads the picture again). The document holds what the window shows: the Orig
// view's image, the black-and-white image, and what the next conversion reuses.
#include <QApplication>
#include <QDateTime>
#include <charconv>
#include <cstdio>
#include <string>

#include "BenchProcess.h"
#include "app/PictureDocument.h"

namespace {

void Report(const char* what, long empty, long peak, double pixels)
{
    std::printf("  %s: %ld kB peak, %.2f bytes a pixel above the empty document (%.2f with it)\n",
                what, peak, static_cast<double>(peak - empty) * 1024 / pixels,
                static_cast<double>(peak) * 1024 / pixels);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_window_memory PICTURE [ImageMode]\n");
        return 2;
    }
    pyrolith::JobSettings settings;
    if (argc > 2) {
        settings.ImageMode = argv[2];
    }
    PictureDocument document([] { return QDateTime::currentDateTime(); });
    document.setSettings(&settings);
    QString failure;
    QObject::connect(&document, &PictureDocument::failed,
                     [&failure](const QString& message) { failure = message; });
    const long empty = bench::PeakKilobytes();
    document.load(QString::fromLocal8Bit(argv[1]));
    document.waitForLoad();
    document.waitForPicture();
    if (document.lastLoad().result != PictureDocument::LoadOutcome::Loaded) {
        std::fprintf(stderr, "%s\n", document.lastLoad().message.toLocal8Bit().constData());
        return 1;
    }
    const long loaded = bench::PeakKilobytes();
    const double pixels = static_cast<double>(document.sourcePicture().width) *
                          static_cast<double>(document.sourcePicture().height);
    std::printf("window document, %s: empty %ld kB, loaded %ld kB peak, %.2f bytes a pixel "
                "above the empty document (%.2f with it)\n",
                argv[1], empty, loaded, static_cast<double>(loaded - empty) * 1024 / pixels,
                static_cast<double>(loaded) * 1024 / pixels);

    settings.Brightness = "10";
    document.pictureSettingsChanged();
    document.waitForPicture();
    Report("after a brightness change", empty, bench::PeakKilobytes(), pixels);

    // One pixel a millimetre: the resize width is the number of columns.
    char columns[16];
    const auto end = std::to_chars(columns, columns + sizeof columns,
                                   document.sourcePicture().width * 3 / 5)
                         .ptr;
    settings.DistPerPixel = "1";
    settings.ResizeWidth = std::string(columns, end);
    document.pictureSettingsChanged();
    document.waitForPicture();
    if (!failure.isEmpty() || document.monoBitmap().width() != document.sourcePicture().width * 3 / 5) {
        std::fprintf(stderr, "the resize failed: %s\n", failure.toLocal8Bit().constData());
        return 1;
    }
    Report(("after a resize to " + settings.ResizeWidth + " columns").c_str(), empty,
           bench::PeakKilobytes(), pixels);
    return 0;
}
