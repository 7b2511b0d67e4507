// The label font from the system's Hershey fonts, read by libhersheyfont.

#include "material/LabelFont.h"

#include <memory>

extern "C" {
#include <hersheyfont.h>
}

#include "common/Error.h"

namespace pyrolith {
namespace {

// Capitals of the Hershey fonts stand 21 units above the baseline.
constexpr double kCapitalUnits = 21.0;

struct FontFree {
    void operator()(hershey_font* font) const { hershey_font_free(font); }
};

hershey_font& Font()
{
    static const std::unique_ptr<hershey_font, FontFree> font(hershey_font_load("futural"));
    if (!font) {
        throw Error("The label font 'futural' of the Hershey fonts was not found "
                    "(package hershey-fonts-data)");
    }
    return *font;
}

unsigned char Drawn(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x20 && byte < 0x7F ? byte : static_cast<unsigned char>('?');
}

} // namespace

bool LabelFontAvailable()
{
    return true;
}

std::vector<Stroke> LabelStrokes(std::string_view text, double x, double y, double height)
{
    hershey_font& font = Font();
    const double scale = height / kCapitalUnits;
    std::vector<Stroke> strokes;
    double left = x;
    for (const char c : text) {
        const hershey_glyph* glyph = hershey_font_glyph(&font, Drawn(c));
        for (const hershey_path* path = glyph->paths; path != nullptr; path = path->next) {
            Stroke stroke;
            for (unsigned short i = 0; i < path->nverts; ++i) {
                stroke.push_back({left + path->verts[i].x * scale, y + path->verts[i].y * scale});
            }
            if (stroke.size() >= 2) {
                strokes.push_back(std::move(stroke));
            }
        }
        left += glyph->width * scale;
    }
    return strokes;
}

double LabelWidth(std::string_view text, double height)
{
    hershey_font& font = Font();
    double units = 0;
    for (const char c : text) {
        units += hershey_font_glyph(&font, Drawn(c))->width;
    }
    return units * height / kCapitalUnits;
}

} // namespace pyrolith
