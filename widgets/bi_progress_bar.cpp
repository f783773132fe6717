#include "widgets/bi_progress_bar.h"

#include <algorithm>
#include <vector>

#include "framework/gdi.h"
#include "framework/property_change.h"
#include "framework/visual_style.h"
#include "widgets/gradient_paint.h"
#include "widgets/meter_layout.h"

namespace widgets {

namespace {

// Progress-bar parts and fill states of the visual-style renderer (vsstyle.h).
constexpr int kPartBar = 1;
constexpr int kPartBarVert = 2;
constexpr int kPartFill = 5;
constexpr int kPartFillVert = 6;
constexpr int kFillNormal = 1;
constexpr int kFillPaused = 3;

constexpr UINT kTextFlags = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;  // 0x825
constexpr UINT kCaptionFlags = DT_CENTER | DT_VCENTER | DT_NOPREFIX;               // 0x805

// The one-pixel pen of a bevel edge; Polyline leaves out its last point.
void EdgeLine(HDC dc, const POINT (&points)[3], fw::TColor color) {
  fw::PenHandle pen(::CreatePen(PS_SOLID, 1, fw::ColorToRGB(color)));
  if (!pen) {
    return;
  }
  fw::SelectGuard select(dc, pen.get());
  ::Polyline(dc, points, 3);
}

}  // namespace

TBiProgressBar::TBiProgressBar(fw::WinControl* parent) : fw::WinControl(parent) {
  SetOpaque(true);
  SetColor(fw::clWindow);  // also cuts the link to the parent's colour
  SetBounds(Left(), Top(), 100, 21);
}

TBiProgressBar::~TBiProgressBar() {
  // The marquee's timer goes before anything it could touch.
  FMarqueeTimer.reset();
}

template <typename T>
bool TBiProgressBar::Store(T& field, const T& value) {
  if (!fw::StoreChanged(field, value)) {
    return false;
  }
  Invalidate();
  return true;
}

void TBiProgressBar::SetMinValue(std::int32_t value) {
  Store(FMinValue, value);
}
void TBiProgressBar::SetScale(std::int32_t value) {
  Store(FScale, value);
}
void TBiProgressBar::SetLightValue(std::int32_t value) {
  Store(FLightValue, value);
}
void TBiProgressBar::SetDarkValue(std::int32_t value) {
  Store(FDarkValue, value);
}
void TBiProgressBar::SetLightColor(fw::TColor color) {
  Store(FLightColor, color);
}
void TBiProgressBar::SetDarkColor(fw::TColor color) {
  Store(FDarkColor, color);
}
void TBiProgressBar::SetLightText(const std::wstring& text) {
  if (Store(FLightText, text)) {
    AccessibleValueChanged();
  }
}
void TBiProgressBar::SetDarkText(const std::wstring& text) {
  Store(FDarkText, text);
}
void TBiProgressBar::SetLightTextColor(fw::TColor color) {
  Store(FLightTextColor, color);
}
void TBiProgressBar::SetDarkTextColor(fw::TColor color) {
  Store(FDarkTextColor, color);
}
void TBiProgressBar::SetLightTextFullLine(bool on) {
  Store(FLightTextFullLine, on);
}
void TBiProgressBar::SetDarkTextFullLine(bool on) {
  Store(FDarkTextFullLine, on);
}
void TBiProgressBar::SetSmooth(bool on) {
  Store(FSmooth, on);
}
void TBiProgressBar::SetOrientation(TBiProgressOrientation orientation) {
  Store(FOrientation, orientation);
}
void TBiProgressBar::SetProgressShowMode(TProgressShowMode mode) {
  Store(FProgressShowMode, mode);
}
void TBiProgressBar::SetBevelStyle(TEdgeBevelStyle style) {
  Store(FBevelStyle, style);
}
void TBiProgressBar::SetLightButtonStyle(bool on) {
  Store(FLightButtonStyle, on);
}
void TBiProgressBar::SetDarkButtonStyle(bool on) {
  Store(FDarkButtonStyle, on);
}
void TBiProgressBar::SetInfiniteMode(bool on) {
  Store(FInfiniteMode, on);
}
void TBiProgressBar::SetMarqueeSize(std::int32_t percent) {
  Store(FMarqueeSize, percent);
}
void TBiProgressBar::SetMarqueeColor(fw::TColor color) {
  Store(FMarqueeColor, color);
}
void TBiProgressBar::SetThemeMode(TThemeMode mode) {
  Store(FThemeMode, mode);
}

// The gradient settings change nothing visible while their bar is not drawn.
void TBiProgressBar::SetLightGradient(bool on) {
  if (on != FLightGradient) {
    FLightGradient = on;
    if (FLightValue > 0) {
      Invalidate();
    }
  }
}
void TBiProgressBar::SetDarkGradient(bool on) {
  if (on != FDarkGradient) {
    FDarkGradient = on;
    if (FDarkValue > 0) {
      Invalidate();
    }
  }
}
void TBiProgressBar::SetLightGradientSteps(std::int32_t steps) {
  if (steps != FLightGradientSteps) {
    FLightGradientSteps = steps;
    if (FLightValue > 0) {
      Invalidate();
    }
  }
}
void TBiProgressBar::SetDarkGradientSteps(std::int32_t steps) {
  if (steps != FDarkGradientSteps) {
    FDarkGradientSteps = steps;
    if (FDarkValue > 0) {
      Invalidate();
    }
  }
}

void TBiProgressBar::SetMarquee(bool on) {
  if (!Store(FMarquee, on)) {
    return;
  }
  if (!on) {
    FMarqueeTimer.reset();
    return;
  }
  FMarqueePos = MarqueeLow(FMarqueeSize, FScale);
  FMarqueeDirection = 1;
  FMarqueeTimer = std::make_unique<fw::Timer>();
  FMarqueeTimer->SetInterval(static_cast<UINT>(std::max(1, FMarqueeUpdateInterval)));
  FMarqueeTimer->OnTimer = [this](fw::Timer&) { MarqueeStep(); };
}

void TBiProgressBar::SetMarqueeUpdateInterval(std::int32_t milliseconds) {
  if (Store(FMarqueeUpdateInterval, milliseconds) && FMarqueeTimer) {
    FMarqueeTimer->SetInterval(static_cast<UINT>(std::max(1, milliseconds)));
  }
}

void TBiProgressBar::MarqueeStep() {
  const MarqueeState next = NextMarquee(MarqueeState{FMarqueePos, FMarqueeDirection},
                                        MarqueeLow(FMarqueeSize, FScale), FScale);
  FMarqueeDirection = next.direction;
  Store(FMarqueePos, next.position);
}

void TBiProgressBar::SetTransparent(bool on) {
  if (!Store(FTransparent, on)) {
    return;
  }
  // The extended style is switched on the existing window rather than by re-creating it: the
  // framework's windows live as long as their control, and the style is all that changes.
  if (Handle() != nullptr) {
    LONG_PTR ex = ::GetWindowLongPtrW(Handle(), GWL_EXSTYLE);
    ex = on ? (ex | WS_EX_TRANSPARENT) : (ex & ~static_cast<LONG_PTR>(WS_EX_TRANSPARENT));
    ::SetWindowLongPtrW(Handle(), GWL_EXSTYLE, ex);
    ::SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  }
}

bool TBiProgressBar::Themed() const {
  return FThemeMode != ttmNone && fw::VisualStylesActive();
}

LRESULT TBiProgressBar::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_THEMECHANGED) {
    Invalidate();
  }
  return fw::WinControl::WndProc(msg, wp, lp);
}

void TBiProgressBar::Paint(HDC dc) {
  const int width = ClientWidth();
  const int height = ClientHeight();
  // The bitmap is kept while the size stays; every pixel is drawn again below.
  if (!FBitmap.Resize(width, height)) {
    PaintFace(dc, width, height);  // no memory for it: straight onto the target
    return;
  }
  PaintFace(FBitmap.Dc(), width, height);
  FBitmap.CopyTo(dc, 0, 0);
}

void TBiProgressBar::PaintBackground(HDC dc, int width, int height) {
  const WinControl* parent = Parent();
  if (FTransparent && parent != nullptr && parent->Handle() != nullptr) {
    // The parent draws what lies beneath into the bitmap, in its own coordinates.
    fw::SavedDcState saved(dc);
    ::SetViewportOrgEx(dc, -Left(), -Top(), nullptr);
    ::SendMessageW(parent->Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    return;
  }
  fw::FillSolidRect(dc, RECT{0, 0, width, height}, Color());
}

void TBiProgressBar::PaintBevel(HDC dc) {
  const bool lowered = FBevelStyle == ebsLowered;
  // One line a pixel of the scaled edge, from the outside in.
  for (int i = 0, edge = Scaled(1); i < edge; ++i) {
    const int right = Width() - 1 - i;
    const int bottom = Height() - 1 - i;
    EdgeLine(dc, {{i, bottom}, {i, i}, {right, i}}, lowered ? fw::clBtnShadow : fw::clBtnHighlight);
    EdgeLine(dc, {{right, i}, {right, bottom}, {i, bottom}},
             lowered ? fw::clBtnHighlight : fw::clBtnShadow);
  }
}

void TBiProgressBar::PaintFace(HDC dc, int width, int height) {
  const bool vertical = FOrientation == poVertical;
  const bool themed = Themed();
  PaintBackground(dc, width, height);
  RECT work{0, 0, width, height};
  if (themed) {
    fw::ThemeData theme(Handle(), L"PROGRESS");
    theme.DrawBackground(dc, vertical ? kPartBarVert : kPartBar, 0, work);
    ::InflateRect(&work, -Scaled(1), -Scaled(1));
  } else if (FBevelStyle != ebsNone) {
    PaintBevel(dc);
    ::InflateRect(&work, -Scaled(1), -Scaled(1));
  }
  if (FScale <= 0) {
    return;
  }
  // A failure while drawing bars or texts leaves the face as far as it got; it is still shown.
  try {
    const fw::PixelRect area = fw::ToPixelRect(work);
    const int span = std::max(1, vertical ? area.Height() : area.Width());
    if (FMarquee) {
      const fw::PixelRect block = MarqueeBlock(area, FMarqueePos, FMinValue, FScale, FMarqueeSize,
                                               Width(), Height(), vertical);
      fw::FillSolidRect(dc, fw::ToGdiRect(block), FMarqueeColor);
      DrawCaptionText(dc, height);
      return;
    }
    const auto unit = [this](bool button) { return FSmooth || button ? 1 : 10; };

    const int dark_length = std::max(0, BarLength(FDarkValue, FMinValue, FScale, span));
    BarPlacement dark =
        PlaceBar(area, dark_length, vertical, FInfiniteMode, unit(FDarkButtonStyle));
    if (FProgressShowMode == psmDarkHalf || FProgressShowMode == psmAllHalf) {
      dark.rect = DarkHalf(dark.rect, vertical);
    }
    if (FDarkValue > 0) {
      if (themed) {
        PaintThemedBar(dc, fw::ToGdiRect(dark.rect), true);
      } else {
        FillBar(dc, Bar{fw::ToGdiRect(dark.rect), FDarkColor, FDarkGradient, FDarkGradientSteps,
                        FDarkButtonStyle, dark.reversed});
      }
    }

    const int light_length = BarLength(FLightValue, FMinValue, FScale, span);
    BarPlacement light =
        PlaceBar(area, light_length, vertical, FInfiniteMode, unit(FLightButtonStyle));
    if (FProgressShowMode == psmLightHalf || FProgressShowMode == psmAllHalf) {
      light.rect = LightHalf(light.rect, vertical);
    }
    if (FLightValue > 0) {
      if (themed) {
        PaintThemedBar(dc, fw::ToGdiRect(light.rect), false);
      } else {
        FillBar(dc, Bar{fw::ToGdiRect(light.rect), FLightColor, FLightGradient, FLightGradientSteps,
                        FLightButtonStyle, light.reversed});
      }
    }

    DrawBarText(dc, FDarkText, FDarkTextColor, FDarkTextFullLine, fw::ToGdiRect(dark.rect),
                fw::ToGdiRect(light.rect));
    DrawBarText(dc, FLightText, FLightTextColor, FLightTextFullLine, fw::ToGdiRect(light.rect),
                fw::ToGdiRect(light.rect));
    DrawCaptionText(dc, height);
  } catch (...) {  // NOLINT(bugprone-empty-catch): the meter shows what it could draw
  }
}

void TBiProgressBar::FillBar(HDC dc, const Bar& bar) {
  const bool vertical = FOrientation == poVertical;
  if (bar.button) {
    RECT face = bar.rect;
    if (face.right > face.left && face.bottom > face.top) {
      ::DrawFrameControl(dc, &face, DFC_BUTTON, DFCS_BUTTONPUSH);
    }
    return;
  }
  if (!FSmooth) {
    for (const fw::PixelRect& block :
         BarBlocks(fw::ToPixelRect(bar.rect), vertical, Scaled(8), Scaled(2))) {
      fw::FillSolidRect(dc, fw::ToGdiRect(block), bar.color);
    }
    return;
  }
  if (!bar.gradient) {
    fw::FillSolidRect(dc, bar.rect, bar.color);
    return;
  }
  // From Color at the bar's base to its colour at the leading edge (the band style puts a
  // vertical bar's last colour on top); an odd lap of the infinite mode turns the bar around.
  // The step count is not checked when set: here it is held to what the painter draws.
  TColorList colours;
  BuildColorRamp(bar.reversed ? bar.color : Color(), bar.reversed ? Color() : bar.color,
                 GradientColourCount(bar.steps), true, &colours);
  FillGradient(dc, bar.rect, vertical ? gstVertical : gstHorizontal, colours);
}

void TBiProgressBar::PaintThemedBar(HDC dc, const RECT& r, bool dark) {
  if (r.right <= r.left || r.bottom <= r.top) {
    return;
  }
  const bool vertical = FOrientation == poVertical;
  fw::ThemeData theme(Handle(), L"PROGRESS");
  if (!theme.DrawBackground(dc, vertical ? kPartFillVert : kPartFill,
                            dark ? kFillPaused : kFillNormal, r)) {
    fw::FillSolidRect(dc, r, dark ? FDarkColor : FLightColor);
  }
}

void TBiProgressBar::DrawBarText(HDC dc, const std::wstring& text, fw::TColor color, bool full_line,
                                 const RECT& bar_rect, const RECT& light_rect) {
  if (text.empty()) {
    return;
  }
  fw::SavedDcState saved(dc);
  const fw::SelectGuard font(dc, Font().Handle());  // a null font selects nothing
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, fw::ColorToRGB(color));
  RECT box = bar_rect;
  if (full_line) {
    RECT measured{0, 0, 0, 0};
    ::DrawTextW(dc, text.data(), static_cast<int>(text.size()), &measured, DT_CALCRECT);
    box =
        fw::ToGdiRect(FullLineBox(measured.right - measured.left, measured.bottom - measured.top,
                                  Width() - 2, light_rect.bottom - light_rect.top, light_rect.top));
  }
  // An empty or inverted box shows nothing (the text is clipped to it).
  if (box.right <= box.left || box.bottom <= box.top) {
    return;
  }
  ::DrawTextW(dc, text.data(), static_cast<int>(text.size()), &box, kTextFlags);
}

void TBiProgressBar::DrawCaptionText(HDC dc, int height) {
  const std::wstring& text = Caption();
  if (text.empty()) {
    return;
  }
  fw::SavedDcState saved(dc);
  const fw::SelectGuard font(dc, Font().Handle());
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, fw::ColorToRGB(Font().Color()));
  RECT measured{0, 0, 0, 0};
  ::DrawTextW(dc, text.data(), static_cast<int>(text.size()), &measured, DT_CALCRECT);
  RECT box = fw::ToGdiRect(FullLineBox(measured.right - measured.left,
                                       measured.bottom - measured.top, Width() - 2, height, 0));
  if (box.right > box.left && box.bottom > box.top) {
    ::DrawTextW(dc, text.data(), static_cast<int>(text.size()), &box, kCaptionFlags);
  }
}

}  // namespace widgets
