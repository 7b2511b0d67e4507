// The peak memory of the window's picture document loading a picture, offscreen:
//   QT_QPA_PLATFORM=offscreen bench_window_memory PICTURE [ImageMode]
// prints the peak resident memory before the load (the empty document) and after it, and the
// bytes a pixel of the difference. The document holds what the window shows: the picture as
// read for the Orig view, its black-and-white image, and what the next conversion reuses.
#include <QApplication>
#include <QDateTime>
#include <cstdio>

#include "BenchProcess.h"
#include "app/PictureDocument.h"

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
    const long empty = bench::PeakKilobytes();
    document.load(QString::fromLocal8Bit(argv[1]));
    document.waitForLoad();
    document.waitForPicture();
    if (document.lastLoad().result != PictureDocument::LoadOutcome::Loaded) {
        std::fprintf(stderr, "%s\n", document.lastLoad().message.toLocal8Bit().constData());
        return 1;
    }
    const long loaded = bench::PeakKilobytes();
    const double pixels = static_cast<double>(document.sourceBitmap().width) *
                          static_cast<double>(document.sourceBitmap().height);
    std::printf("window document, %s: empty %ld kB, loaded %ld kB peak, %.2f bytes a pixel "
                "above the empty document (%.2f with it)\n",
                argv[1], empty, loaded, static_cast<double>(loaded - empty) * 1024 / pixels,
                static_cast<double>(loaded) * 1024 / pixels);
    return 0;
}
