#pragma once

#include <QImage>

#include "image/Bitmap.h"
#include "image/MonoBitmap.h"

// The pictures of the core as images the views can draw. A null image for an empty picture.
QImage ToImage(const pyrolith::Bitmap& bitmap);
QImage ToImage(const pyrolith::MonoBitmap& bitmap);
