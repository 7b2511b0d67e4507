#pragma once

#include <QRect>

// Where a picture of w x h pixels is shown in a view of cw x ch pixels: the largest size that
// fits with the aspect ratio kept (a small picture is enlarged, a large one reduced), centred.
// Sizes are truncated toward zero, as are the halved margins. An empty rectangle when the
// picture has no pixels.
QRect FitAndCentre(int w, int h, int cw, int ch);
