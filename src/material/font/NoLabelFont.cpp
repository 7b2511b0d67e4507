// A build without the label font: test grids are burned without labels.

#include "material/LabelFont.h"

#include "common/Error.h"

namespace pyrolith {

bool LabelFontAvailable()
{
    return false;
}

std::vector<Stroke> LabelStrokes(std::string_view, double, double, double)
{
    throw Error("This build has no label font: it burns no labels");
}

double LabelWidth(std::string_view, double)
{
    return 0;
}

} // namespace pyrolith
