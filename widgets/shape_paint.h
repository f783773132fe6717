// The shape button's drawing operations: a shape with its shadow, fill, outline and bevel, and the
// two copies that leave pixels out (through a mask, and by a key colour). The point arithmetic
// lives in shape_model.h.
#pragma once

#include <windows.h>

#include "framework/color.h"
#include "framework/gdi.h"
#include "framework/handle.h"
#include "widgets/shape_model.h"

namespace widgets {

// A one-bit-per-pixel bitmap selected into its own memory DC, kept while the size stays.
class MonoSurface {
 public:
  bool Resize(int width, int height);
  HDC Dc() const { return dc_.get(); }

 private:
  // Declared in destruction order: the selection is undone before the bitmap and the DC go.
  fw::MemoryDc dc_;
  fw::BitmapHandle bitmap_;
  fw::SelectGuard selected_;
  int width_ = 0;
  int height_ = 0;
};

// The working surfaces of the operations below. Making a DC and a bitmap is a round trip to the
// window system under Wine (about 0.1 ms each), several times the cost of the copies themselves,
// so a control that paints again and again keeps one set and hands it in; without one, each call
// makes its own.
struct ShapeScratch {
  fw::OffscreenBitmap mask;   // the face in white on the key colour
  fw::OffscreenBitmap image;  // the image with the key outside the face
  fw::OffscreenBitmap keyed;  // the source with its key pixels blackened
  MonoSurface bits;           // one bit per pixel: which pixels are copied
};

// Copies the rect-sized source (its top-left at 0, 0) onto canvas at rect, leaving out every
// source pixel whose RGB equals key (system colours resolved now).
void DrawKeyed(HDC canvas, const RECT& rect, HDC source, fw::TColor key,
               ShapeScratch* scratch = nullptr);

// Copies image onto canvas at rect where mask (same size, 24 bits) is white and leaves the canvas
// unchanged elsewhere; an image pixel of the key colour is left out too.
void DrawMaskedImage(HDC canvas, const RECT& rect, HDC mask, fw::TColor key, HDC image,
                     ShapeScratch* scratch = nullptr);

// Draws the shape whose points are in list (see BuildShapePoints) into rect of canvas: the shadow
// (when shadow has a depth and a style), the fill (image through a mask of the face, else brush;
// a null brush is hollow), the outline (bevel colour for sbNormal, else the colour of the brush
// selected in canvas) and the bevel's light and shadow lines for sbInset and sbOffset. The list
// reads the same afterwards; the DC's objects and modes are restored.
void DrawShape(HDC canvas, const RECT& rect, TShapeType shape_type, fw::TColor key_colour,
               HDC image, const TShadow* shadow, const TSimpleBevel* bevel, int round_percent,
               HBRUSH brush, bool square, const TPointList& list, ShapeScratch* scratch = nullptr);

}  // namespace widgets
