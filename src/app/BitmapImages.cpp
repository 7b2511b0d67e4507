#include "app/BitmapImages.h"

QImage ToImage(const pyrolith::Bitmap& bitmap)
{
    if (bitmap.empty()) {
        return {};
    }
    QImage image(bitmap.width, bitmap.height, QImage::Format_RGB32);
    for (std::int32_t y = 0; y < bitmap.height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (std::int32_t x = 0; x < bitmap.width; ++x) {
            const pyrolith::Rgb colour = bitmap.pixel(x, y);
            line[x] = qRgb(colour.r, colour.g, colour.b);
        }
    }
    return image;
}

QImage ToImage(const pyrolith::MonoBitmap& bitmap)
{
    if (bitmap.empty()) {
        return {};
    }
    QImage image(bitmap.width(), bitmap.height(), QImage::Format_Indexed8);
    QList<QRgb> colours;
    for (const pyrolith::Rgb& colour : bitmap.palette()) {
        colours.append(qRgb(colour.r, colour.g, colour.b));
    }
    image.setColorTable(colours);
    for (std::int32_t y = 0; y < bitmap.height(); ++y) {
        uchar* line = image.scanLine(y);
        for (std::int32_t x = 0; x < bitmap.width(); ++x) {
            line[x] = bitmap.index(x, y);
        }
    }
    return image;
}
