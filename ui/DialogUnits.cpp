#include "ui/DialogUnits.h"

#include <cmath>

int DialogUnitsToPixels(int units, double logicalDpi)
{
    constexpr double PixelsPerUnitAt96 = 2.0;
    const double dpi = logicalDpi > 0 ? logicalDpi : 96.0;
    return static_cast<int>(std::lround(units * PixelsPerUnitAt96 * dpi / 96.0));
}

Rect DialogRectToPixels(int x, int y, int cx, int cy, double logicalDpi)
{
    return Rect { DialogUnitsToPixels(x, logicalDpi), DialogUnitsToPixels(y, logicalDpi),
        DialogUnitsToPixels(x + cx, logicalDpi), DialogUnitsToPixels(y + cy, logicalDpi) };
}
