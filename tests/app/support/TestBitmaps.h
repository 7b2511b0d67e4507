#pragma once

#include <QColor>
#include <QString>
#include <functional>

// Writes small Windows bitmap files byte by byte, so that the tests do not depend on the
// bitmap writer they check.

// A 24-bit bitmap; colourAt(x, y) gives each pixel, y = 0 the top row.
void WriteBmp24(const QString& path, int width, int height,
                const std::function<QColor(int, int)>& colourAt);

// A 32-bit bitmap stored with colour masks, a layout the program refuses.
void WriteBmp32WithMasks(const QString& path, int width, int height);

// A file named .bmp that is not a bitmap.
void WriteNotABitmap(const QString& path);
