// TShapeButton: a push button without a window whose face is a geometric shape filled with an
// image (a gradient, a bitmap or a brush), outlined by a bevel, with its caption on top. Outside
// the shape it is see-through when Transparent: the parent's pixels stay visible.
//
// Class chain, each level holding one concern:
//   TBaseControl, TBaseGraphicControl  (base_control.h) update bracket, Transparent
//   TBaseGraphicButton   (graphic_button.h) states, pointer and accelerator input, groups, repeat,
//                        drop-down, caption
//   TCustomShapeButton   the appearance objects, the cached face image, Paint
//   TShapeButton         the button the windows create
// The property objects (gradient, fill, glyph, layout) are in shape_button_parts.h.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>

#include "framework/color.h"
#include "framework/controls.h"
#include "framework/gdi.h"
#include "widgets/graphic_button.h"
#include "widgets/shape_button_parts.h"
#include "widgets/shape_model.h"
#include "widgets/shape_paint.h"

namespace widgets {

// The face: the appearance objects, the cached face image and the composition of a paint.
class TCustomShapeButton : public TBaseGraphicButton {
 public:
  explicit TCustomShapeButton(fw::WinControl* parent);

  TShape& Shape() { return FShape; }
  const TShape& Shape() const { return FShape; }
  TShapeButtonColor& Colors() { return FColors; }
  const TShapeButtonColor& Colors() const { return FColors; }
  TShapeFill& ShapeFill() { return FShapeFill; }
  const TShapeFill& ShapeFill() const { return FShapeFill; }
  // Copies every value of fill into the owned one, with one notification.
  void SetShapeFill(const TShapeFill& fill) { FShapeFill.Assign(fill); }

  TShapeButtonMode Mode() const { return FMode; }
  void SetMode(TShapeButtonMode mode);
  TShapeButtonStyle Style() const { return FStyle; }
  void SetStyle(TShapeButtonStyle style);

  bool PointInShape(int x, int y) const override;
  void Paint(HDC dc) override;
  // The palette of the fill (a gradient's, when it realizes one).
  HPALETTE Palette() const { return FShapeFill.Gradient().Palette(); }

  // The cached face image (empty until a face was rendered) and the shape's points, for tests.
  const fw::OffscreenBitmap& FaceImage() const { return FBitmap; }
  const TPointList& Points() const { return FList; }
  int FaceRenderCount() const { return FFaceRenders; }

 protected:
  // Re-renders the cached face, rebuilds the points and repaints.
  void UpdateFace() override;
  bool HasStateColors() const override { return FColors.Up() != FColors.MouseOver(); }
  void Loaded() override;
  void BoundsChanged(bool resized) override;

 private:
  void PaintFill(HDC dc);
  void PaintFast(HDC dc);
  void RebuildPoints();
  void DrawFillBitmap(HDC dc, int width, int height);

  TShape FShape;
  TShapeButtonColor FColors;
  fw::OffscreenBitmap FBitmap;  // the cached face image, Width x Height
  TShapeFill FShapeFill;
  TShapeButtonStyle FStyle = sbsShadow;
  TShapeButtonMode FMode = sbmShapeFast;
  bool FBevel3D = false;
  TPointList FList;
  fw::OffscreenBitmap FPressedFace;  // the face moved by the pressed offset
  fw::OffscreenBitmap FBuffer;       // each paint is composed here, then copied once
  ShapeScratch FScratch;             // the working surfaces of the drawing passes
  int FFaceRenders = 0;
  bool FConstructed = false;
  std::array<TChangeSubscription, 3> FPartsWatched;
};

class TShapeButton : public TCustomShapeButton {
 public:
  using TCustomShapeButton::TCustomShapeButton;
};

}  // namespace widgets
