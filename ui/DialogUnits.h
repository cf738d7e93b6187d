#pragma once

#include "ui/Rect.h"

// The only conversion from dialog units to pixels. At 96 logical DPI one horizontal unit and one
// vertical unit are both 2 pixels (the base units of the 8-point system font the layouts were drawn
// for); other DPIs scale it. Edges are rounded separately, so neighbouring controls stay flush.
int DialogUnitsToPixels(int units, double logicalDpi);

// A rectangle given as x, y, width and height in dialog units, in pixels.
Rect DialogRectToPixels(int x, int y, int cx, int cy, double logicalDpi);
