#include "framework/panel.h"

namespace fw {

Panel::Panel(WinControl* parent) : WinControl(parent) {
  SetColor(clBtnFace);
}

void Panel::SetBevelOuter(TBevelCut bevel) {
  if (bevel == bevel_outer_) {
    return;
  }
  bevel_outer_ = bevel;
  Realign();
  Invalidate();
}

void Panel::SetBevelWidth(int width) {
  if (width < 1 || width == bevel_width_) {
    return;
  }
  bevel_width_ = width;
  Realign();
  Invalidate();
}

void Panel::SetBorderStyle(TBorderStyle style) {
  if (style == border_style_) {
    return;
  }
  border_style_ = style;
  LONG_PTR bits = ::GetWindowLongPtrW(Handle(), GWL_STYLE);
  bits = style == bsSingle ? (bits | WS_BORDER) : (bits & ~static_cast<LONG_PTR>(WS_BORDER));
  ::SetWindowLongPtrW(Handle(), GWL_STYLE, bits);
  ::SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  Realign();
  Invalidate();
}

RECT Panel::AlignRect() const {
  RECT r = WinControl::AlignRect();
  if (bevel_outer_ != bvNone) {
    ::InflateRect(&r, -bevel_width_, -bevel_width_);
  }
  return r;
}

void Panel::Paint(HDC dc) {
  if (bevel_outer_ == bvNone) {
    return;
  }
  const TColor light = bevel_outer_ == bvRaised ? clBtnHighlight : clBtnShadow;
  const TColor dark = bevel_outer_ == bvRaised ? clBtnShadow : clBtnHighlight;
  RECT r = ClientRect();
  for (int i = 0; i < bevel_width_; ++i) {
    // Light top and left edges first; the dark bottom and right ones take the two far corners.
    FillSolidRect(dc, RECT{r.left, r.top, r.left + 1, r.bottom}, light);
    FillSolidRect(dc, RECT{r.left, r.top, r.right - 1, r.top + 1}, light);
    FillSolidRect(dc, RECT{r.right - 1, r.top, r.right, r.bottom}, dark);
    FillSolidRect(dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, dark);
    ::InflateRect(&r, -1, -1);
  }
}

}  // namespace fw
