// The shape button's drawing operations: a shape with its shadow, fill, outline and bevel, and the
// copy of an image through a mask of the face (the copy by a key colour is fw::DrawTransparent).
// The point arithmetic lives in shape_model.h.
#pragma once

#include <windows.h>

#include "framework/color.h"
#include "framework/gdi.h"
#include "framework/handle.h"
#include "widgets/shape_model.h"

namespace widgets {

// The working surfaces of the operations below. Making a DC and a bitmap is a round trip to the
// window system under Wine (about 0.1 ms each), several times the cost of the copies themselves,
// so a control that paints again and again keeps one set and hands it in; without one, each call
// makes its own.
struct ShapeScratch {
  fw::OffscreenBitmap mask;            // the face in white on the key colour
  fw::OffscreenBitmap image;           // the image with the key outside the face
  fw::TransparentScratch transparent;  // the key-colour copy's (fw::DrawTransparent)
};

// Copies image onto canvas at rect where mask (same size, 24 bits) is white and leaves the canvas
// unchanged elsewhere; an image pixel of the key colour is left out too.
void DrawMaskedImage(HDC canvas, const RECT& rect, HDC mask, fw::TColor key, HDC image,
                     ShapeScratch* scratch = nullptr);

// Draws the shape whose points are in list (see BuildShapePoints) into rect of canvas: the shadow
// (when shadow has a depth and a style), the fill (image through a mask of the face, else brush;
// a null brush is hollow), the outline (the bevel's colour for sbNormal, else outline_colour) and
// the bevel's light and shadow lines for sbInset and sbOffset. The list reads the same afterwards;
// the DC's objects and modes are restored.
void DrawShape(HDC canvas, const RECT& rect, TShapeType shape_type, fw::TColor key_colour,
               HDC image, const TShadow* shadow, const TSimpleBevel* bevel, int round_percent,
               HBRUSH brush, fw::TColor outline_colour, const TPointList& list,
               ShapeScratch* scratch = nullptr);

}  // namespace widgets
