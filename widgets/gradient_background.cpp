#include "widgets/gradient_background.h"

#include "framework/gdi.h"
#include "framework/handle.h"

namespace widgets {

TGradientBackground::TGradientBackground(fw::WinControl* parent) : fw::GraphicControl(parent) {
  // The gradient covers every pixel, so the parent need not erase beneath it.
  SetOpaque(true);
  SetAlign(fw::alClient);
}

TGradientBackground::~TGradientBackground() = default;

void TGradientBackground::MarkStale() {
  FBufferWidth = 0;
  Invalidate();
}

void TGradientBackground::SetStyle(TGradientBackgroundStyle style) {
  if (style != FStyle) {
    FStyle = style;
    MarkStale();
  }
}

void TGradientBackground::SetStartColor(fw::TColor color) {
  if (color != FStartColor) {
    FStartColor = color;
    MarkStale();
  }
}

void TGradientBackground::SetEndColor(fw::TColor color) {
  if (color != FEndColor) {
    FEndColor = color;
    MarkStale();
  }
}

void TGradientBackground::SetSteps(std::uint16_t steps) {
  if (steps != FSteps) {
    FSteps = steps;
    MarkStale();
  }
}

void TGradientBackground::SetBounds(int left, int top, int width, int height) {
  FLoadedLeft = left;
  FLoadedTop = top;
  FLoadedWidth = width;
  FLoadedHeight = height;
  fw::GraphicControl::SetBounds(left, top, width, height);
}

void TGradientBackground::Loaded() {
  fw::GraphicControl::Loaded();
  const fw::TAlign align = Align();
  // The framework has no custom alignment; none and client re-apply the position.
  if (align == fw::alNone || align == fw::alClient) {
    fw::GraphicControl::SetBounds(FLoadedLeft, FLoadedTop, Width(), Height());
  }
  if (align != fw::alClient) {
    fw::GraphicControl::SetBounds(Left(), Top(), FLoadedWidth, FLoadedHeight);
  }
}

void TGradientBackground::Paint(HDC dc) {
  if (Destroying()) {
    return;
  }
  if (Width() != FBufferWidth || Height() != FBufferHeight) {
    // System colour references are resolved here, at the rebuild, and at no other time.
    const COLORREF start = fw::ColorToRGB(FStartColor);
    const COLORREF end = fw::ColorToRGB(FEndColor);
    FBufferWidth = Width();
    FBufferHeight = Height();
    if (FBufferWidth <= 0 || FBufferHeight <= 0) {
      // Nothing at all is drawn, and no buffer of an earlier size survives to be copied later.
      FBuffer.Release();
      return;
    }
    if (!FBuffer.Resize(FBufferWidth, FBufferHeight)) {
      FBufferWidth = 0;  // try again at the next paint
      return;
    }
    RenderBuffer(start, end);
  }
  if (FBufferWidth <= 0 || FBufferHeight <= 0 || FBuffer.Empty()) {
    return;
  }
  FBuffer.CopyTo(dc, 0, 0);
}

void TGradientBackground::RenderBuffer(COLORREF start, COLORREF end) {
  ++FRebuildCount;
  const HDC dc = FBuffer.Dc();
  const GradientPlan plan = PlanGradient(FStyle, FBufferWidth, FBufferHeight, FSteps, start, end);
  fw::FillSolidRect(dc, RECT{0, 0, FBufferWidth, FBufferHeight}, plan.background);
  for (const GradientFill& fill : plan.fills) {
    if (fill.rect.Empty()) {
      continue;
    }
    const RECT r = fw::ToGdiRect(fill.rect);
    if (fill.shape == GradientShape::kRectangle) {
      fw::FillSolidRect(dc, r, fill.color);
      continue;
    }
    // A one-pixel pen in the fill colour makes the outline part of the shape.
    const fw::BrushHandle brush(::CreateSolidBrush(fill.color));
    const fw::PenHandle pen(::CreatePen(PS_SOLID, 1, fill.color));
    const fw::SelectGuard select_brush(dc, brush.get());
    const fw::SelectGuard select_pen(dc, pen.get());
    if (fill.shape == GradientShape::kEllipse) {
      ::Ellipse(dc, r.left, r.top, r.right, r.bottom);
    } else {
      ::RoundRect(dc, r.left, r.top, r.right, r.bottom, fill.corner_width, fill.corner_height);
    }
  }
}

}  // namespace widgets
