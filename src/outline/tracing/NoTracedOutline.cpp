// The build without the tracer: the outline of the print area only.

#include "common/Error.h"
#include "outline/CutOutline.h"

namespace pyrolith::outline {

bool PictureOutlineAvailable()
{
    return false;
}

std::vector<Shape> PictureOutline(const PixelGrid&, const BurnedPixels&, double)
{
    throw Error("This build of Pyrolith cannot trace the outline of the image. Choose "
                "\"Outline of printing boundary\" on the Cut page of the settings.",
                "Outline");
}

} // namespace pyrolith::outline
