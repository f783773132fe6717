#include "widgets/shape_button.h"

#include <algorithm>

#include "framework/gdi.h"
#include "framework/handle.h"
#include "widgets/shape_paint.h"

namespace widgets {

TCustomShapeButton::TCustomShapeButton(fw::WinControl* parent) : TBaseGraphicButton(parent) {
  // Captures the mouse; double clicks arrive as presses; clicks come from the button's own press
  // and release rules, not from the framework.
  SetControlStyle(fw::csCaptureMouse);
  SetAllowMouseOver(true);
  FShape.Brush().SetColor(fw::clBtnFace);
  const auto update = [this](TChangeNotifier&) { UpdateFace(); };
  FPartsWatched = {FShape.OnChange.Subscribe(update), FColors.OnChange.Subscribe(update),
                   FShapeFill.OnChange.Subscribe(update)};
  SetTransparent(false);
  FConstructed = true;
  UpdateFace();
}

void TCustomShapeButton::SetMode(TShapeButtonMode mode) {
  if (mode == FMode) {
    return;
  }
  FMode = mode;
  if (FMode == sbmShapeFast) {
    FBitmap.Release();
  }
  UpdateFace();
}

void TCustomShapeButton::SetStyle(TShapeButtonStyle style) {
  if (style != FStyle) {
    FStyle = style;
    UpdateFace();
  }
}

void TCustomShapeButton::RebuildPoints() {
  const TShadow* shadow = FStyle == sbs3D ? nullptr : &FShape.Shadow();
  BuildShapePoints(fw::PixelRect{0, 0, Width(), Height()}, FShape.Shape(), shadow, &FShape.Bevel(),
                   FShape.RoundPercent(), FShape.Square(), &FList);
  FShadowDepth = static_cast<std::uint8_t>(FShape.Shadow().Depth());
}

void TCustomShapeButton::DrawFillBitmap(HDC dc, int width, int height) {
  fw::FillSolidRect(dc, RECT{0, 0, width, height}, Color());
  const HBITMAP bitmap = FShapeFill.CurrentBitmap();
  const SIZE size = fw::BitmapSize(bitmap);
  if (size.cx <= 0 || size.cy <= 0) {
    return;
  }
  fw::MemoryDc source(::CreateCompatibleDC(dc));
  if (!source) {
    return;
  }
  fw::SelectGuard select(source.get(), bitmap);
  const auto copy = [&](int x, int y) {
    ::BitBlt(dc, x, y, size.cx, size.cy, source.get(), 0, 0, SRCCOPY);
  };
  switch (FShapeFill.TileMode()) {
    case tmNone:
      copy(0, 0);
      break;
    case tmCenter:
      copy((width - size.cx) / 2, (height - size.cy) / 2);
      break;
    case tmStretch:
      ::SetStretchBltMode(dc, COLORONCOLOR);
      ::StretchBlt(dc, 0, 0, width, height, source.get(), 0, 0, size.cx, size.cy, SRCCOPY);
      break;
    case tmTile:
      for (int y = 0; y < height; y += size.cy) {
        for (int x = 0; x < width; x += size.cx) {
          copy(x, y);
        }
      }
      break;
    case tmVerticalTile:
      for (int y = 0; y < height; y += size.cy) {
        copy(0, y);
      }
      break;
    case tmHorizontalTile:
      for (int x = 0; x < width; x += size.cx) {
        copy(x, 0);
      }
      break;
  }
}

void TCustomShapeButton::UpdateFace() {
  if (!FConstructed) {
    return;  // the sub-objects are still being made
  }
  const int width = Width();
  const int height = Height();
  if (FMode == sbmShapeFill) {
    if (width <= 0 || height <= 0) {
      return;  // the old image and points stay
    }
    if (!FBitmap.Resize(width, height)) {
      return;
    }
    const TFillStyle style = FShapeFill.Style();
    if (style == sfBitmap || style == sfBitmapList) {
      DrawFillBitmap(FBitmap.Dc(), width, height);
    } else if (style == sfGradient) {
      FShapeFill.Gradient().PaintGradient(FBitmap.Dc(), RECT{0, 0, width, height});
    }
    ++FFaceRenders;
  }
  RebuildPoints();
  if (Transparent() && FMode == sbmShapeFill) {
    // Straight over what is on screen: the shape does not move, so the parent need not repaint
    // beneath it first, and a hover colour shows at once.
    PaintNow();
  } else {
    Invalidate();
  }
}

bool TCustomShapeButton::PointInShape(int x, int y) const {
  // The points of sbs3D were built without a shadow, so no shadow shifts them here either.
  const int d = FStyle == sbs3D ? 0 : EffectiveShadowDepth(&FShape.Shadow());
  const int c = ShapeCornerSize(Width(), Height(), d, FShape.RoundPercent());
  if (FList.Count() < 2) {
    return true;
  }
  const ShapePoint p0 = FList.Point(0);
  const ShapePoint p1 = FList.Point(1);
  fw::RegionHandle region;
  switch (FShape.Shape()) {
    case stEllipse:
      region.reset(::CreateEllipticRgn(p0.x, p0.y, p1.x, p1.y));
      break;
    case stRectangle:
      region.reset(::CreateRectRgn(p0.x, p0.y, p1.x, p1.y));
      break;
    case stRoundRect:
      region.reset(::CreateRoundRectRgn(p0.x, p0.y, p1.x, p1.y, c, c));
      break;
    default: {
      const std::size_t n = std::min(ShapeHalfCount(FShape.Shape(), FList.Count()), kMaxVertices);
      POINT points[kMaxVertices];
      for (std::size_t i = 0; i < n; ++i) {
        const ShapePoint p = FList.Point(i);
        points[i] = POINT{p.x, p.y};
      }
      if (n >= 3) {
        region.reset(::CreatePolygonRgn(points, static_cast<int>(n), ALTERNATE));
      }
      break;
    }
  }
  if (!region) {
    return true;
  }
  ::OffsetRgn(region.get(), -d, -d);
  return ::PtInRegion(region.get(), x, y) != FALSE;
}

void TCustomShapeButton::Paint(HDC dc) {
  if (Loading() || Width() <= 0 || Height() <= 0) {
    return;
  }
  if (FMode == sbmShapeFast) {
    PaintFast(dc);
  } else {
    PaintFill(dc);
  }
}

void TCustomShapeButton::PaintFill(HDC dc) {
  const int width = Width();
  const int height = Height();
  const RECT whole{0, 0, width, height};
  const std::uint8_t saved_depth = FShadowDepth;
  const bool pressed = IsPressedState(State());
  const int sd = FShape.Shadow().Depth();
  const int bw = FShape.Bevel().Width();

  // The face image: the cached one, or moved by the pressed offset while the outline stays.
  // The band the move uncovers keeps the unmoved face, so the face has no hole.
  HDC face = FBitmap.Empty() ? nullptr : FBitmap.Dc();
  if (face != nullptr && pressed && FPressedFace.Resize(width, height)) {
    const int o = PressedFaceOffset(FStyle, sd);
    ::BitBlt(FPressedFace.Dc(), 0, 0, width, height, face, 0, 0, SRCCOPY);
    ::BitBlt(FPressedFace.Dc(), o, o, width - o, height - o, face, 0, 0, SRCCOPY);
    face = FPressedFace.Dc();
  }
  if (!FBuffer.Resize(width, height)) {
    return;
  }
  const HDC b = FBuffer.Dc();

  TShadow pressed_shadow;
  const TShadow* shadow = &FShape.Shadow();
  if (FStyle == sbs3D) {
    shadow = nullptr;
  } else if (pressed) {
    // Depth 0: a visible shadow makes the pressed face move onto it.
    pressed_shadow.SetColor(FShape.Shadow().Color());
    pressed_shadow.SetStyle(FShape.Shadow().Style());
    pressed_shadow.SetDepth(0);
    shadow = &pressed_shadow;
  }
  TSimpleBevel bevel_3d;
  const TSimpleBevel* bevel = &FShape.Bevel();
  if (FStyle == sbs3D) {
    bevel_3d.SetLightColor(FShape.Bevel().LightColor());
    bevel_3d.SetShadowColor(FShape.Bevel().ShadowColor());
    bevel_3d.SetWidth(bw);
    bevel_3d.SetStyle(pressed ? sbInset : sbOffset);
    bevel = &bevel_3d;
    FShadowDepth = 0;
  }
  const fw::PixelRect caption = CaptionRect(width, height, bw, sd, FStyle, State());

  fw::SavedDcState saved(b);
  fw::FillSolidRect(b, whole, Color());
  // The face by fill style: a brush (hollow for sfNone), or the face image through its mask.
  fw::BrushHandle fill_brush;
  HDC image = nullptr;
  const TFillStyle fill = FShapeFill.Style();
  if (fill == sfBrushBitmap && FShapeFill.Bitmap() != nullptr) {
    fill_brush.reset(::CreatePatternBrush(FShapeFill.Bitmap()));
  } else if (fill == sfBrush && FShape.Brush().Style() == bsSolid) {
    fill_brush.reset(::CreateSolidBrush(fw::ColorToRGB(FShape.Brush().Color())));
  } else if (fill == sfBitmap || fill == sfBitmapList || fill == sfGradient) {
    image = face;
    if (fill == sfGradient && FShapeFill.Gradient().Palette() != nullptr) {
      // Put back by the saved state.
      ::SelectPalette(b, FShapeFill.Gradient().Palette(), FALSE);
      ::RealizePalette(b);
    }
  }
  if (fill != sfPng) {  // sfPng draws no face
    // Bevels other than sbNormal are outlined in the background colour.
    DrawShape(b, whole, FShape.Shape(), Color(), image, shadow, bevel, FShape.RoundPercent(),
              fill_brush.get(), Color(), FList, &FScratch);
  }
  DrawCaption(b, fw::ToGdiRect(caption));
  if (Transparent()) {
    // The pixels still in Color are left out: the parent shows around the shape.
    fw::DrawTransparent(dc, 0, 0, width, height, b, 0, 0, fw::ColorToRGB(Color()),
                        &FScratch.transparent);
  } else {
    ::BitBlt(dc, 0, 0, width, height, b, 0, 0, SRCCOPY);
  }
  FShadowDepth = saved_depth;
}

void TCustomShapeButton::PaintFast(HDC dc) {
  const int width = Width();
  const int height = Height();
  const RECT whole{0, 0, width, height};
  if (!Transparent()) {
    fw::FillSolidRect(dc, whole, Color());
  }
  fw::BrushHandle face(::CreateSolidBrush(fw::ColorToRGB(FColors.ForState(State()))));
  const TShadow* shadow = FStyle == sbs3D ? nullptr : &FShape.Shadow();
  DrawShape(dc, whole, FShape.Shape(), Color(), nullptr, shadow, &FShape.Bevel(),
            FShape.RoundPercent(), face.get(), Color(), FList, &FScratch);
  const fw::PixelRect caption =
      CaptionRect(width, height, FShape.Bevel().Width(), FShape.Shadow().Depth(), FStyle, State());
  DrawCaption(dc, fw::ToGdiRect(caption));
}

void TCustomShapeButton::Loaded() {
  TBaseGraphicButton::Loaded();
  // The setters that ran while the form was made rendered the face, but a size set after them
  // did not (sizes are not acted on while loading): points and face follow the final size.
  RebuildPoints();
  if (FMode == sbmShapeFill && (FBitmap.Width() != Width() || FBitmap.Height() != Height())) {
    UpdateFace();
  }
}

void TCustomShapeButton::BoundsChanged(bool resized) {
  if (resized && !Loading()) {
    UpdateFace();
  }
}

}  // namespace widgets
