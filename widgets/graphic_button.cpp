#include "widgets/graphic_button.h"

#include <algorithm>
#include <string>

#include "framework/accel.h"
#include "framework/gdi.h"
#include "framework/handle.h"
#include "framework/scope_exit.h"

namespace widgets {

namespace {

constexpr UINT kCaptionFlags = DT_LEFT | DT_TOP | DT_EXPANDTABS;

}  // namespace

TBaseGraphicButton::TBaseGraphicButton(fw::WinControl* parent) : TBaseGraphicControl(parent) {
  SetBounds(Left(), Top(), 25, 25);
  const auto update = [this](TChangeNotifier&) {
    ApplyAutoSize();
    UpdateFace();
  };
  FPartsWatched = {FButtonLayout.OnChange.Subscribe(update), FFontFx.OnChange.Subscribe(update),
                   FGlyph.OnChange.Subscribe(update)};
}

TBaseGraphicButton::~TBaseGraphicButton() {
  StopTimers();
}

void TBaseGraphicButton::SetButtonState(TButtonState state, bool force) {
  // Multiple-document forms, whose inactive children drop state changes, do not exist here.
  if (state == FState && !force) {
    return;
  }
  const auto between = [&](TButtonState a, TButtonState b) {
    return (FState == a && state == b) || (FState == b && state == a);
  };
  bool repaint = true;
  if (FGlyph.Style() != gsExplorer && FGlyph.NumGlyphs() < 3 &&
      !(FAllowMouseOver && FEnterColorChange) && !HasStateColors() && between(bsUp, bsMouseOver)) {
    repaint = false;
  }
  if (FGlyph.NumGlyphs() < 3 && between(bsMouseOver, bsOptionSet)) {
    repaint = false;
  }
  const TButtonState previous = FState;
  FOldState = state == bsMouseOver && FState != bsOptionSet ? bsUp : FState;
  FState = state;
  if (repaint && Visible()) {
    // No parent offers a background image, so a transparent button lets its parent repaint the
    // area beneath it; an opaque one paints at once.
    if (Transparent()) {
      Invalidate();
    } else {
      PaintNow();
    }
  }
  if (FAllowMouseOver) {
    if (previous == bsMouseOver && state != bsMouseOver) {
      FHoverTimer.reset();
    } else if (state == bsMouseOver && !FPressed && !FHoverTimer) {
      FHoverTimer = std::make_unique<fw::Timer>();
      FHoverTimer->SetInterval(100);
      FHoverTimer->OnTimer = [this](fw::Timer&) { PollHover(); };
    }
  }
}

POINT TBaseGraphicButton::CursorPos() const {
  POINT p{};
  if (!::GetCursorPos(&p) || Parent() == nullptr || Parent()->Handle() == nullptr ||
      !::ScreenToClient(Parent()->Handle(), &p)) {
    // Nowhere near: outside any shape.
    return POINT{-32768, -32768};
  }
  return POINT{p.x - Left(), p.y - Top()};
}

void TBaseGraphicButton::PollHover() {
  const POINT local = CursorPos();
  if (!PointInShape(local.x, local.y) && Enabled() && !FPressed) {
    SetButtonState(bsUp);
  }
}

bool TBaseGraphicButton::PointInShape(int x, int y) const {
  return x >= 0 && x <= Width() && y >= 0 && y <= Height();
}

bool TBaseGraphicButton::InsideForPointer(int x, int y, bool release) const {
  if (FAllowTransparency) {
    if (PointInShape(x, y)) {
      return true;
    }
    // A held button whose face sits on its shadow: the shadow counts too.
    return FAllowShadow && FState == bsDown &&
           PointInShape(x + FShadowDepth - 1, y + FShadowDepth - 1);
  }
  return x >= 0 && (release ? x < ClientWidth() : x <= ClientWidth()) && y >= 0 &&
         y <= ClientHeight();
}

void TBaseGraphicButton::MouseEnter() {
  if (FAllowTransparency) {
    return;  // the shape, not the rectangle, decides: MouseMove reports entering it
  }
  if (Enabled()) {
    if (OnMouseEnter) {
      OnMouseEnter(*this);
    }
    if (FAllowMouseOver && FState == bsUp) {
      SetButtonState(bsMouseOver);
    }
  }
}

void TBaseGraphicButton::MouseLeave() {
  if (Enabled() && OnMouseExit) {
    OnMouseExit(*this);
  }
  if (FState == bsMouseOver) {
    SetButtonState(FOldState);
  }
  // HideHint: the framework shows no hint windows (no control of this program has a hint), so
  // there is none to hide.
}

void TBaseGraphicButton::MouseMove(fw::TShiftState shift, int x, int y) {
  if (FState == bsDropDownOpen) {
    return;
  }
  TBaseGraphicControl::MouseMove(shift, x, y);
  if (!Enabled()) {
    return;
  }
  const bool inside = InsideForPointer(x, y, false);
  TButtonState next = FState;
  if (FAllowMouseOver) {
    if (inside) {
      if (!(FGroupIndex != 0 && FState == bsOptionSet)) {
        next = bsMouseOver;
      }
    } else if (FState == bsMouseOver) {
      next = FOldState;
    }
  }
  if (FPrepareDrag) {
    if (inside) {
      next = FPressed ? bsOptionSet : bsDown;
    } else if (FGroupIndex == 0 || FState == bsDown) {
      next = bsUp;
    }
  }
  SetButtonState(next);
  if (inside && FState != bsMouseOver) {
    if (Enabled() && OnMouseEnter) {
      OnMouseEnter(*this);
    }
    if (FAllowMouseOver && FState == bsUp) {
      SetButtonState(bsMouseOver);
    }
  }
}

void TBaseGraphicButton::MouseDown(fw::TMouseButton button, fw::TShiftState shift, int x, int y) {
  TBaseGraphicControl::MouseDown(button, shift, x, y);
  if (FAllowTransparency && !PointInShape(x, y)) {
    return;  // a corner outside the shape is not the button
  }
  if (!Enabled() || button != fw::mbLeft) {
    return;
  }
  if (FDropDownEnabled) {
    // A press anywhere closes an open drop-down; the pointer is then over the button, hover or not.
    if (FState == bsDropDownOpen) {
      SetButtonState(bsMouseOver);
      return;
    }
    if (!FDropDownCombo || x >= Width() - FDropdownComboWidth) {
      OpenOrCloseDropDown();
      return;
    }
  }
  FPrepareDrag = true;
  TButtonState next = FState;
  if (FOldState == bsOptionSet && FState == bsMouseOver && FGroupIndex != 0) {
    next = bsOptionSet;
  } else if (!FPressed) {
    next = bsDown;
    if (FRepeatedClick) {
      // The first click comes before the button shows pressed. A handler that disabled or hid
      // the button has ended the press (FPrepareDrag is cleared then).
      Click();
      if (!FPrepareDrag) {
        return;
      }
      StartRepeat();
    }
  }
  SetButtonState(next);
}

void TBaseGraphicButton::MouseUp(fw::TMouseButton button, fw::TShiftState shift, int x, int y) {
  if (FState == bsDropDownOpen) {
    return;
  }
  TBaseGraphicControl::MouseUp(button, shift, x, y);
  // Only the left button's release ends the press it began: a right click while the left button
  // is held would otherwise click.
  if (!FPrepareDrag || button != fw::mbLeft) {
    return;
  }
  FPrepareDrag = false;
  FRepeatTimer.reset();
  const bool inside = InsideForPointer(x, y, true);
  TButtonState next = FState == bsDisabledUp || FState == bsDisabledDown ? FState : bsUp;
  if (FGroupIndex != 0 && next == bsUp) {
    if (inside) {
      SetPressed(!FPressed);
    }
    next = FPressed ? bsOptionSet : bsUp;
  }
  if (FAllowMouseOver && inside && next == bsUp) {
    next = bsMouseOver;
  }
  if (!inside) {
    SetButtonState(next);
    return;
  }
  const bool plain_glyphs = FGlyph.NumGlyphs() < 3 && FGlyph.Style() != gsExplorer;
  if (plain_glyphs) {
    SetButtonState(next);
  }
  const TButtonState state_before = FState;
  const bool pressed_before = FPressed;
  if (!FRepeatedClick) {
    Click();
  }
  if (!plain_glyphs && FState == state_before && FPressed == pressed_before) {
    // Buttons with hover pictures look at where the pointer is now, after the click.
    const POINT local = CursorPos();
    const auto internal = fw::ScopedValue(FInternal, 1);
    SetButtonState(FAllowMouseOver && PointInShape(local.x, local.y) ? bsMouseOver : next);
  }
}

void TBaseGraphicButton::StartRepeat() {
  FRepeatTimer = std::make_unique<fw::Timer>();
  FRepeatTimer->SetInterval(FRepeatingDelay);
  FRepeatTimer->OnTimer = [this](fw::Timer& timer) {
    timer.SetInterval(FRepeatingInterval);
    // Only while held over the button; dragged off, it waits.
    if (FState == bsDown && FPrepareDrag && Enabled()) {
      Click();
    }
  };
}

void TBaseGraphicButton::StopTimers() {
  FHoverTimer.reset();
  FRepeatTimer.reset();
}

void TBaseGraphicButton::OpenOrCloseDropDown() {
  if (FState == bsDropDownOpen) {
    CloseDropDown();
    return;
  }
  SetButtonState(bsDropDownOpen);
  if (OnDropDown) {
    OnDropDown(*this);
  }
}

void TBaseGraphicButton::CloseDropDown() {
  if (FState == bsDropDownOpen) {
    SetButtonState(FAllowMouseOver ? bsMouseOver : bsUp);
  }
}

void TBaseGraphicButton::SetGroupIndex(int index) {
  if (index == FGroupIndex) {
    return;
  }
  FGroupIndex = index;
  if (FGroupIndex == 0 && FPressed) {
    SetPressed(false);
  }
}

void TBaseGraphicButton::SetPressed(bool pressed) {
  if (pressed == FPressed || FGroupIndex == 0) {
    return;
  }
  if (!pressed && !FAllowAllUp) {
    return;  // one button of the group stays down
  }
  FPressed = pressed;
  if (Enabled()) {
    FState = pressed ? bsOptionSet : bsUp;
  } else {
    FState = pressed ? bsDisabledDown : bsDisabledUp;
  }
  Invalidate();
  if (pressed) {
    RaiseGroupSiblings();
  }
}

void TBaseGraphicButton::RaiseGroupSiblings() {
  if (Parent() == nullptr) {
    return;
  }
  for (fw::Control* sibling : Parent()->Controls()) {
    sibling->GroupButtonPressed(*this, FGroupIndex);
  }
}

void TBaseGraphicButton::GroupButtonPressed(const fw::Control& pressed, int group_index) {
  if (&pressed == this || group_index != FGroupIndex || !FPressed) {
    return;
  }
  FPressed = false;
  FState = Enabled() ? bsUp : bsDisabledUp;
  Invalidate();
}

bool TBaseGraphicButton::DialogChar(wchar_t ch) {
  if (!fw::IsAccel(ch, Caption()) || !CanAcceptAccel()) {
    return false;
  }
  if (FDropDownEnabled) {
    OpenOrCloseDropDown();
  } else if (FGroupIndex == 0) {
    Click();
  } else {
    SetPressed(!FPressed);
  }
  return true;
}

void TBaseGraphicButton::EnabledChanged() {
  if (!Enabled()) {
    FPrepareDrag = false;
    StopTimers();
  }
  if (Enabled()) {
    FState = FPressed ? bsOptionSet : bsUp;
  } else {
    FState = FPressed ? bsDisabledDown : bsDisabledUp;
  }
  Invalidate();
}

void TBaseGraphicButton::VisibleChanged() {
  if (!Visible()) {
    // Hidden while held: the release will never come.
    FPrepareDrag = false;
    StopTimers();
    if (FState == bsDown || FState == bsMouseOver) {
      FState = bsUp;
    }
  }
}

void TBaseGraphicButton::TextChanged() {
  ApplyAutoSize();
  Invalidate();
}

void TBaseGraphicButton::FontChanged() {
  if (!Loading()) {
    ApplyAutoSize();
    UpdateFace();
  }
}

void TBaseGraphicButton::SetEnterColor(fw::TColor color) {
  if (color != FEnterColor) {
    FEnterColor = color;
    Invalidate();
  }
}

void TBaseGraphicButton::SetEnterColorChange(bool on) {
  if (on != FEnterColorChange) {
    FEnterColorChange = on;
    Invalidate();
  }
}

void TBaseGraphicButton::SetDisabledGrayed(bool on) {
  if (on != FDisabledGrayed) {
    FDisabledGrayed = on;
    Invalidate();
  }
}

void TBaseGraphicButton::SetUseCaption(bool on) {
  if (on != FUseCaption) {
    FUseCaption = on;
    ApplyAutoSize();
    Invalidate();
  }
}

void TBaseGraphicButton::SetMultiLine(bool on) {
  if (on != FMultiLine) {
    FMultiLine = on;
    ApplyAutoSize();
    Invalidate();
  }
}

void TBaseGraphicButton::SetAutoSize(bool on) {
  if (on != FAutoSize) {
    FAutoSize = on;
    ApplyAutoSize();
  }
}

// The text's size with the 2-pixel margins, measured on a screen-compatible DC as it would be
// drawn: "&" marks the accelerator and takes no width, and an empty text counts as one blank.
SIZE TBaseGraphicButton::MeasureCaptionText(int wrap_width) {
  const std::wstring text = FUseCaption ? Caption() : std::wstring();
  RECT measured{0, 0, FMultiLine ? std::max(0, wrap_width) : 0, 0};
  if (const HDC dc = fw::SharedTextMeasurer().DcFor(Font().LogFont()); dc != nullptr) {
    const int old_extra = ::SetTextCharacterExtra(dc, FFontFx.Tracing());
    const std::wstring shown = fw::MeasuredCaption(text, true);
    ::DrawTextW(dc, shown.c_str(), -1, &measured,
                DT_CALCRECT | kCaptionFlags | (FMultiLine ? DT_WORDBREAK : DT_SINGLELINE));
    ::SetTextCharacterExtra(dc, old_extra);
  }
  return SIZE{measured.right - measured.left + 2, measured.bottom - measured.top + 2};
}

SIZE TBaseGraphicButton::GetNeededSizeRect() {
  const SIZE text = MeasureCaptionText(Width());
  const SIZE glyph = FGlyph.GlyphSize();
  const CaptionLayout layout = LayoutCaption(
      fw::PixelRect{0, 0, 0, 0}, glyph.cx, glyph.cy, text.cx, text.cy, FButtonLayout.Spacing(),
      FButtonLayout.AlignText2Glyph(), FButtonLayout.Alignment(), 0, 0);
  const int spacing = 2 * FButtonLayout.Spacing();
  return SIZE{layout.width + spacing, layout.height + spacing};
}

// Auto-size follows the caption, font, glyph and layout as they change rather than from inside a
// paint: a paint that resized its own control would repaint itself again from within.
void TBaseGraphicButton::ApplyAutoSize() {
  if (!FAutoSize || Loading()) {
    return;
  }
  const SIZE needed = GetNeededSizeRect();
  if (needed.cx > 0 && needed.cx != Width()) {
    SetWidth(needed.cx);
  }
}

void TBaseGraphicButton::DrawCaption(HDC dc, const RECT& r) {
  const HFONT font = Font().Handle();
  if (font == nullptr) {
    return;
  }
  fw::SavedDcState saved(dc);
  const fw::SelectGuard select_font(dc, font);
  ::SetTextCharacterExtra(dc, FFontFx.Tracing());
  fw::TColor color = Font().Color();
  if (FState >= bsMouseOver && FState <= bsDropDownOpen && FAllowMouseOver && FEnterColorChange) {
    color = FEnterColor;
  }
  const std::wstring text = FUseCaption ? Caption() : std::wstring();
  const bool enabled_look = Enabled() || !FDisabledGrayed;

  const SIZE measured = MeasureCaptionText(r.right - r.left);
  const SIZE glyph = FGlyph.GlyphSize();
  const CaptionLayout layout =
      LayoutCaption(fw::ToPixelRect(r), glyph.cx, glyph.cy, measured.cx, measured.cy,
                    FButtonLayout.Spacing(), FButtonLayout.AlignText2Glyph(),
                    FButtonLayout.Alignment(), FButtonLayout.OffsetX(), FButtonLayout.OffsetY());
  FGlyphRect = fw::ToGdiRect(layout.glyph);
  FTextRect = fw::ToGdiRect(layout.text);

  if (glyph.cx > 0) {
    // Pictures: up, disabled, down, toggled down; a missing one falls back to the first.
    int index = 0;
    if (!Enabled()) {
      index = 1;
    } else if (FState == bsDown || FState == bsDropDownOpen) {
      index = 2;
    } else if (FState == bsOptionSet) {
      index = 3;
    }
    if (index >= FGlyph.NumGlyphs()) {
      index = 0;
    }
    fw::MemoryDc glyph_dc(::CreateCompatibleDC(dc));
    if (glyph_dc) {
      fw::SelectGuard select(glyph_dc.get(), FGlyph.Bitmap());
      const SIZE whole = fw::BitmapSize(FGlyph.Bitmap());
      const COLORREF key = ::GetPixel(glyph_dc.get(), 0, whole.cy - 1);
      fw::DrawTransparent(dc, FGlyphRect.left, FGlyphRect.top, glyph.cx, glyph.cy, glyph_dc.get(),
                          index * glyph.cx, 0, key);
    }
  }
  if (text.empty()) {
    return;
  }
  ::SetBkMode(dc, TRANSPARENT);
  const UINT flags = kCaptionFlags | (FMultiLine ? DT_WORDBREAK : 0);
  const auto draw = [&](RECT box, int dx, int dy, fw::TColor c) {
    ::OffsetRect(&box, dx, dy);
    ::SetTextColor(dc, fw::ColorToRGB(c));
    ::DrawTextW(dc, text.c_str(), -1, &box, flags);
  };
  RECT box = FTextRect;
  const TDisabledStyle disabled = FFontFx.DisabledStyle();
  if (enabled_look || disabled == dsNone) {
    const int light = FFontFx.LightDepth();
    const int dark = FFontFx.ShadowDepth();
    if (FFontFx.Style() == tdRaised) {
      draw(box, -light, -light, FFontFx.LightColor());
      draw(box, dark, dark, FFontFx.ShadowColor());
    } else if (FFontFx.Style() == tdSunken) {
      draw(box, -dark, -dark, FFontFx.ShadowColor());
      draw(box, light, light, FFontFx.LightColor());
    }
    draw(box, 0, 0, color);
  } else if (disabled == dsStandard) {
    draw(box, 0, 0, fw::clGrayText);
  } else {
    // Engraved: a light copy right and down, the grey text over it.
    const int depth = FFontFx.LightDepth();
    box.right -= depth;
    draw(box, depth, depth, FFontFx.LightColor());
    draw(box, 0, 0, fw::clGrayText);
  }
}

}  // namespace widgets
