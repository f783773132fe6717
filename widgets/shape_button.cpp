#include "widgets/shape_button.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "framework/accel.h"
#include "framework/gdi.h"
#include "framework/scope_exit.h"
#include "widgets/shape_paint.h"

namespace widgets {

namespace {

fw::BitmapHandle CopyBitmap(HBITMAP bitmap) {
  if (bitmap == nullptr) {
    return fw::BitmapHandle();
  }
  return fw::BitmapHandle(static_cast<HBITMAP>(::CopyImage(bitmap, IMAGE_BITMAP, 0, 0, 0)));
}

RECT ToRect(const fw::PixelRect& r) {
  return RECT{r.left, r.top, r.right, r.bottom};
}

}  // namespace

// ---- TGradient ----

TGradient::TGradient() {
  InitPalette();
}

TGradient::~TGradient() = default;

void TGradient::SetColor(fw::TColor color) {
  Store(FColor, color);
}

void TGradient::SetEndColor(fw::TColor color) {
  Store(FEndColor, color);
}

void TGradient::SetColorCount(int count) {
  const auto value = static_cast<std::uint16_t>(std::clamp(count, 2, 65535));
  Store(FColorCount, value);
}

void TGradient::SetStyle(TGradientStyle style) {
  Store(FStyle, style);
}

void TGradient::SetTwoColors(bool on) {
  Store(FTwoColors, on);
}

void TGradient::SetColors(const TColorList& stops) {
  Store(FColors, stops);
}

void TGradient::SetPaletteRealize(bool on) {
  Store(FPaletteRealize, on);
}

void TGradient::Assign(const TGradient& other) {
  if (&other == this) {
    return;
  }
  const bool differs = !SameValues(other);
  FColorCount = other.FColorCount;
  FColor = other.FColor;
  FEndColor = other.FEndColor;
  FPaletteRealize = other.FPaletteRealize;
  FStyle = other.FStyle;
  FColors = other.FColors;
  FTwoColors = other.FTwoColors;
  if (differs) {
    Change();
  }
}

bool TGradient::SameValues(const TGradient& other) const {
  return FColorCount == other.FColorCount && FColor == other.FColor &&
         FEndColor == other.FEndColor && FPaletteRealize == other.FPaletteRealize &&
         FStyle == other.FStyle && FColors == other.FColors && FTwoColors == other.FTwoColors;
}

void TGradient::Change() {
  InitPalette();
  TChangeNotifier::Change();
}

void TGradient::InitPalette() {
  FColorList.clear();
  FPalette.reset();
  if (FTwoColors || FColors.size() < 2) {
    // Fewer than two stops cannot make a several-colour ramp: the two colours stand in.
    BuildColorRamp(FColor, FEndColor, FColorCount, true, &FColorList);
  } else {
    // Each stop-to-stop run gets its share of the colours; a run starts on the colour the last
    // one ended with, so the total stays ColorCount.
    const int runs = static_cast<int>(FColors.size()) - 1;
    const int last = FColorCount - 1;
    for (int j = 0; j < runs; ++j) {
      const int count = MulDivRound(j + 1, last, runs) - MulDivRound(j, last, runs) + 1;
      BuildColorRamp(FColors[static_cast<std::size_t>(j)], FColors[static_cast<std::size_t>(j) + 1],
                     count, j == 0, &FColorList);
    }
  }
  if (FPaletteRealize && !FColorList.empty()) {
    const std::size_t entries = std::min<std::size_t>(FColorList.size(), 256);
    std::vector<BYTE> storage(sizeof(LOGPALETTE) + entries * sizeof(PALETTEENTRY));
    auto* palette = reinterpret_cast<LOGPALETTE*>(storage.data());
    palette->palVersion = 0x300;
    palette->palNumEntries = static_cast<WORD>(entries);
    for (std::size_t i = 0; i < entries; ++i) {
      const std::uint32_t rgb = FColorList[i * FColorList.size() / entries];
      palette->palPalEntry[i] =
          PALETTEENTRY{static_cast<BYTE>(fw::GetR(rgb)), static_cast<BYTE>(fw::GetG(rgb)),
                       static_cast<BYTE>(fw::GetB(rgb)), 0};
    }
    FPalette.reset(::CreatePalette(palette));
  }
}

void TGradient::PaintGradient(HDC canvas, const RECT& rect) const {
  HPALETTE old_palette = nullptr;
  if (FPalette) {
    old_palette = ::SelectPalette(canvas, FPalette.get(), FALSE);
    ::RealizePalette(canvas);
  }
  FillGradient(canvas, rect, FStyle, FColorList);
  if (old_palette != nullptr) {
    ::SelectPalette(canvas, old_palette, FALSE);
  }
}

// ---- TShapeFill ----

TShapeFill::TShapeFill()
    : FGradientWatched(FGradient.OnChange.Subscribe([this](TChangeNotifier&) { Change(); })) {}

void TShapeFill::SetStyle(TFillStyle style) {
  Store(FFillStyle, style);
}

void TShapeFill::SetTileMode(TTileMode mode) {
  Store(FTileMode, mode);
}

void TShapeFill::SetBitmap(fw::BitmapHandle bitmap) {
  FBitmap = std::move(bitmap);
  Change();
}

void TShapeFill::SetListBitmap(fw::BitmapHandle bitmap) {
  FListBitmap = std::move(bitmap);
  Change();
}

HBITMAP TShapeFill::CurrentBitmap() const {
  if (FFillStyle == sfBitmap) {
    return FBitmap.get();
  }
  if (FFillStyle == sfBitmapList) {
    return FListBitmap.get();
  }
  return nullptr;
}

void TShapeFill::Assign(const TShapeFill& other) {
  if (&other == this) {
    return;
  }
  // Images cannot be compared cheaply: any image counts as a change.
  const bool differs = !FGradient.SameValues(other.FGradient) || FFillStyle != other.FFillStyle ||
                       FTileMode != other.FTileMode || FBitmap || other.FBitmap || FListBitmap ||
                       other.FListBitmap;
  // The gradient's own notification is held back, so the whole copy gives one.
  BeginUpdate();
  FGradient.Assign(other.FGradient);
  FBitmap = CopyBitmap(other.FBitmap.get());
  FListBitmap = CopyBitmap(other.FListBitmap.get());
  FFillStyle = other.FFillStyle;
  FTileMode = other.FTileMode;
  if (differs) {
    Change();
  }
  EndUpdate();
}

// ---- TGlyph ----

void TGlyph::SetBitmap(fw::BitmapHandle bitmap) {
  FBitmap = std::move(bitmap);
  Change();
}

void TGlyph::SetNumGlyphs(int count) {
  count = std::clamp(count, 1, 4);
  Store(FNumGlyphs, count);
}

void TGlyph::SetStyle(TGlyphStyle style) {
  Store(FStyle, style);
}

SIZE TGlyph::GlyphSize() const {
  const SIZE size = fw::BitmapSize(FBitmap.get());
  if (size.cx <= 0 || size.cy <= 0) {
    return SIZE{0, 0};
  }
  return SIZE{size.cx / FNumGlyphs, size.cy};
}

// ---- TBaseGraphicButton ----

namespace {

// Every live button, so that a group is found among its parent's controls without asking each
// control what it is: the build carries no run-time type information. Main thread only.
std::vector<TBaseGraphicButton*>& LiveButtons() {
  static std::vector<TBaseGraphicButton*> buttons;
  return buttons;
}

}  // namespace

TBaseGraphicButton::TBaseGraphicButton(fw::WinControl* parent) : TBaseGraphicControl(parent) {
  LiveButtons().push_back(this);
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
  std::erase(LiveButtons(), this);
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
      hover_timer_.reset();
    } else if (state == bsMouseOver && !FPressed && !hover_timer_) {
      hover_timer_ = std::make_unique<fw::Timer>();
      hover_timer_->SetInterval(100);
      hover_timer_->OnTimer = [this](fw::Timer&) { PollHover(); };
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
  repeat_timer_.reset();
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
  repeat_timer_ = std::make_unique<fw::Timer>();
  repeat_timer_->SetInterval(FRepeatingDelay);
  repeat_timer_->OnTimer = [this](fw::Timer& timer) {
    timer.SetInterval(FRepeatingInterval);
    // Only while held over the button; dragged off, it waits.
    if (FState == bsDown && FPrepareDrag && Enabled()) {
      Click();
    }
  };
}

void TBaseGraphicButton::StopTimers() {
  hover_timer_.reset();
  repeat_timer_.reset();
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
  const std::vector<TBaseGraphicButton*> buttons = LiveButtons();
  for (TBaseGraphicButton* other : buttons) {
    if (other == this || other->Parent() != Parent() || other->FGroupIndex != FGroupIndex ||
        !other->FPressed) {
      continue;
    }
    other->FPressed = false;
    other->FState = other->Enabled() ? bsUp : bsDisabledUp;
    other->Invalidate();
  }
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

namespace {

constexpr UINT kCaptionFlags = DT_LEFT | DT_TOP | DT_EXPANDTABS;

}  // namespace

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
  ::SelectObject(dc, font);  // put back by the saved state
  ::SetTextCharacterExtra(dc, FFontFx.Tracing());
  fw::TColor color = Font().Color();
  if (FState >= bsMouseOver && FState <= bsDropDownOpen && FAllowMouseOver && FEnterColorChange) {
    color = FEnterColor;
  }
  const std::wstring text = FUseCaption ? Caption() : std::wstring();
  const bool enabled_look = Enabled() || !FDisabledGrayed;

  const SIZE measured = MeasureCaptionText(r.right - r.left);
  const SIZE glyph = FGlyph.GlyphSize();
  const CaptionLayout layout = LayoutCaption(
      fw::PixelRect{r.left, r.top, r.right, r.bottom}, glyph.cx, glyph.cy, measured.cx, measured.cy,
      FButtonLayout.Spacing(), FButtonLayout.AlignText2Glyph(), FButtonLayout.Alignment(),
      FButtonLayout.OffsetX(), FButtonLayout.OffsetY());
  FGlyphRect = ToRect(layout.glyph);
  FTextRect = ToRect(layout.text);

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

// ---- TCustomShapeButton ----

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
  constructed_ = true;
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
  if (!constructed_) {
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
    ++face_renders_;
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
  if (face != nullptr && pressed && pressed_face_.Resize(width, height)) {
    const int o = PressedFaceOffset(FStyle, sd);
    ::BitBlt(pressed_face_.Dc(), 0, 0, width, height, face, 0, 0, SRCCOPY);
    ::BitBlt(pressed_face_.Dc(), o, o, width - o, height - o, face, 0, 0, SRCCOPY);
    face = pressed_face_.Dc();
  }
  if (!buffer_.Resize(width, height)) {
    return;
  }
  const HDC b = buffer_.Dc();

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
  // The background, and the brush the outline pass of non-plain bevels takes its colour from.
  fw::FillSolidRect(b, whole, Color());
  fw::BrushHandle background(::CreateSolidBrush(fw::ColorToRGB(Color())));
  ::SelectObject(b, background.get());
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
    DrawShape(b, whole, FShape.Shape(), Color(), image, shadow, bevel, FShape.RoundPercent(),
              fill_brush.get(), FShape.Square(), FList, &scratch_);
  }
  DrawCaption(b, ToRect(caption));
  ::SelectObject(b, ::GetStockObject(WHITE_BRUSH));  // the background brush goes first
  if (Transparent()) {
    // The pixels still in Color are left out: the parent shows around the shape.
    DrawKeyed(dc, whole, b, Color(), &scratch_);
  } else {
    ::BitBlt(dc, 0, 0, width, height, b, 0, 0, SRCCOPY);
  }
  FShadowDepth = saved_depth;
}

void TCustomShapeButton::PaintFast(HDC dc) {
  const int width = Width();
  const int height = Height();
  const RECT whole{0, 0, width, height};
  fw::SavedDcState saved(dc);
  if (!Transparent()) {
    fw::FillSolidRect(dc, whole, Color());
  }
  fw::BrushHandle background(::CreateSolidBrush(fw::ColorToRGB(Color())));
  ::SelectObject(dc, background.get());
  fw::BrushHandle face(::CreateSolidBrush(fw::ColorToRGB(FColors.ForState(State()))));
  const TShadow* shadow = FStyle == sbs3D ? nullptr : &FShape.Shadow();
  DrawShape(dc, whole, FShape.Shape(), Color(), nullptr, shadow, &FShape.Bevel(),
            FShape.RoundPercent(), face.get(), FShape.Square(), FList, &scratch_);
  const fw::PixelRect caption =
      CaptionRect(width, height, FShape.Bevel().Width(), FShape.Shadow().Depth(), FStyle, State());
  DrawCaption(dc, ToRect(caption));
  ::SelectObject(dc, ::GetStockObject(WHITE_BRUSH));
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
