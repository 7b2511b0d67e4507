#pragma once

#include <QImage>
#include <memory>

#include "image/MonoBitmap.h"

// The black-and-white image as an image the views can draw, over the image's own palette
// indices (no copy: the image keeps the bitmap alive). A null image for an empty picture.
QImage ToImage(std::shared_ptr<const pyrolith::MonoBitmap> bitmap);
