// The shape button's drawing operations: a shape with its shadow, fill, outline and bevel, and the
// two copies that leave pixels out (through a mask, and by a key colour). The point arithmetic
// lives in shape_model.h.
#pragma once

#include <windows.h>

#include "framework/color.h"
#include "widgets/shape_model.h"

namespace widgets {

// Copies the rect-sized source (its top-left at 0, 0) onto canvas at rect, leaving out every
// source pixel whose RGB equals key (system colours resolved now).
void DrawKeyed(HDC canvas, const RECT& rect, HDC source, fw::TColor key);

// Copies image onto canvas at rect where mask (same size, 24 bits) is white and leaves the canvas
// unchanged elsewhere; an image pixel of the key colour is left out too.
void DrawMaskedImage(HDC canvas, const RECT& rect, HDC mask, fw::TColor key, HDC image);

// Draws the shape whose points are in list (see BuildShapePoints) into rect of canvas: the shadow
// (when shadow has a depth and a style), the fill (image through a mask of the face, else brush;
// a null brush is hollow), the outline (bevel colour for sbNormal, else the colour of the brush
// selected in canvas) and the bevel's light and shadow lines for sbInset and sbOffset. The list
// reads the same afterwards; the DC's objects and modes are restored.
void DrawShape(HDC canvas, const RECT& rect, TShapeType shape_type, fw::TColor key_colour,
               HDC image, const TShadow* shadow, const TSimpleBevel* bevel, int round_percent,
               HBRUSH brush, bool square, const TPointList& list);

}  // namespace widgets
