#include "app/ViewFit.h"

QRect FitAndCentre(int w, int h, int cw, int ch)
{
    if (w <= 0 || h <= 0) {
        return {};
    }
    const double aspect = static_cast<double>(w) / static_cast<double>(h);
    int shownWidth = 0;
    int shownHeight = 0;
    if (w > h) {
        shownWidth = cw;
        shownHeight = static_cast<int>(cw / aspect);
        if (shownHeight > ch) {
            shownHeight = ch;
            shownWidth = static_cast<int>(ch * aspect);
        }
    } else {
        shownHeight = ch;
        shownWidth = static_cast<int>(ch * aspect);
        if (shownWidth > cw) {
            shownWidth = cw;
            shownHeight = static_cast<int>(cw / aspect);
        }
    }
    return {(cw - shownWidth) / 2, (ch - shownHeight) / 2, shownWidth, shownHeight};
}
