// The colour ramp and the band painter shared by the widgets that shade a face.
#pragma once

#include <windows.h>

#include <vector>

#include "framework/color.h"

namespace widgets {

enum TGradientStyle : unsigned char { gstHorizontal, gstVertical };

// Appends count colours from first to last (a new list when start_new).
void BuildColorRamp(fw::TColor first, fw::TColor last, int count, bool start_new,
                    std::vector<COLORREF>& list);

// Paints the colours as equal bands over rectangle: left to right, or top to bottom.
void FillGradient(HDC canvas, const RECT& rectangle, TGradientStyle style,
                  const std::vector<COLORREF>& colours);

}  // namespace widgets
