#pragma once

#include "image/Bitmap.h"

namespace pyrolith {

// Whether a picture has the many greys of a photo, which the nearest of 16 colours turns into
// a few black blobs while a dither or a grey engraving keeps them: at least a fifth of its
// pixels are mid-tones (grey levels 32 to 223) and at least 64 grey levels occur. A drawing
// in a few colours, or black on white with smoothed edges, is none. Large pictures are
// judged on an even grid of about a quarter million of their pixels.
bool LooksLikePhoto(const Bitmap& picture);

} // namespace pyrolith
