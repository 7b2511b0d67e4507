#include "app/BitmapImages.h"

#include <cstring>

QImage ToImage(const pyrolith::Bitmap& bitmap)
{
    if (bitmap.empty()) {
        return {};
    }
    QImage image(bitmap.width, bitmap.height, QImage::Format_RGB32);
    if (bitmap.bitsPerPixel == 24) { // the layout of every picture but a bitmap
        for (std::int32_t y = 0; y < bitmap.height; ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            const std::uint8_t* p =
                bitmap.pixels.data() + static_cast<std::size_t>(y) * bitmap.stride;
            for (std::int32_t x = 0; x < bitmap.width; ++x, p += 3) {
                line[x] = qRgb(p[2], p[1], p[0]);
            }
        }
        return image;
    }
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
    const auto width = static_cast<std::size_t>(bitmap.width());
    for (std::int32_t y = 0; y < bitmap.height(); ++y) {
        std::memcpy(image.scanLine(y),
                    bitmap.indices().data() + static_cast<std::size_t>(y) * width, width);
    }
    return image;
}
