#include "app/BitmapImages.h"

QImage ToImage(std::shared_ptr<const pyrolith::MonoBitmap> bitmap)
{
    if (!bitmap || bitmap->empty()) {
        return {};
    }
    using Keep = std::shared_ptr<const pyrolith::MonoBitmap>;
    const pyrolith::MonoBitmap& mono = *bitmap;
    // One index a byte, rows without padding: the layout of an 8-bit indexed image.
    QImage image(
        mono.indices().data(), mono.width(), mono.height(), mono.width(),
        QImage::Format_Indexed8, [](void* keep) { delete static_cast<Keep*>(keep); },
        new Keep(std::move(bitmap)));
    QList<QRgb> colours;
    for (const pyrolith::Rgb& colour : mono.palette()) {
        colours.append(qRgb(colour.r, colour.g, colour.b));
    }
    image.setColorTable(colours);
    return image;
}
