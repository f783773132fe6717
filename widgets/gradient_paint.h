// The gradient painter shared by the shape button's fill and the two-tone meter's bars: a colour
// ramp from two colours, and the fills of every gradient style on a device context. The band
// arithmetic lives in gradient_ramp.h.
#pragma once

#include <windows.h>

#include "framework/color.h"
#include "widgets/gradient_ramp.h"

namespace widgets {

// Appends count colours from first_colour to last_colour (system colours resolved now) to list;
// start_new empties it first. See AppendColorRamp for the arithmetic and the one-colour guard.
void BuildColorRamp(fw::TColor first_colour, fw::TColor last_colour, int count, bool start_new,
                    TColorList* list);

// Paints rect (right and bottom exclusive) with the bands of style in the colours of the list,
// without an outline, each band with a solid brush of its own. Nothing outside rect changes, and
// nothing is drawn for an empty list or an empty rect. The DC's pen, brush and clip are restored.
void FillGradient(HDC canvas, const RECT& rect, TGradientStyle style, const TColorList& colours);

}  // namespace widgets
