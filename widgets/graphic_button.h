// TBaseGraphicButton: the state machine of a push button without a window: its states, pointer
// and accelerator input, toggle groups, repeat, drop-down, auto-size and caption. The face is
// drawn by the class above it (TCustomShapeButton, shape_button.h).
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>

#include "framework/color.h"
#include "framework/controls.h"
#include "framework/timer.h"
#include "widgets/base_control.h"
#include "widgets/shape_button_parts.h"
#include "widgets/shape_model.h"

namespace widgets {

// States, input, groups, repeat, drop-down and the caption of a graphic button.
class TBaseGraphicButton : public TBaseGraphicControl {
 public:
  explicit TBaseGraphicButton(fw::WinControl* parent);  // 25 x 25
  ~TBaseGraphicButton() override;

  TButtonState State() const { return FState; }
  TButtonState OldState() const { return FOldState; }
  // The normal way the state changes; repaints as the state's look requires.
  void SetButtonState(TButtonState state, bool force = false);

  // Whether (x, y), in the button's coordinates, belongs to the button's shape.
  virtual bool PointInShape(int x, int y) const;

  bool AllowMouseOver() const { return FAllowMouseOver; }
  void SetAllowMouseOver(bool on) { FAllowMouseOver = on; }
  bool AllowTransparency() const { return FAllowTransparency; }
  void SetAllowTransparency(bool on) { FAllowTransparency = on; }
  bool AllowShadow() const { return FAllowShadow; }
  void SetAllowShadow(bool on) { FAllowShadow = on; }
  fw::TColor EnterColor() const { return FEnterColor; }
  void SetEnterColor(fw::TColor color);
  bool EnterColorChange() const { return FEnterColorChange; }
  void SetEnterColorChange(bool on);
  bool DisabledGrayed() const { return FDisabledGrayed; }
  void SetDisabledGrayed(bool on);
  bool UseCaption() const { return FUseCaption; }
  void SetUseCaption(bool on);
  bool MultiLine() const { return FMultiLine; }
  void SetMultiLine(bool on);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool on);
  bool HideHint() const { return FHideHint; }
  void SetHideHint(bool on) { FHideHint = on; }

  // Toggle groups: buttons of one parent with the same GroupIndex (not 0); pressing one raises
  // the others. AllowAllUp lets the pressed one be raised by a click.
  int GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(int index);
  bool AllowAllUp() const { return FAllowAllUp; }
  void SetAllowAllUp(bool on) { FAllowAllUp = on; }
  bool Pressed() const { return FPressed; }
  void SetPressed(bool pressed);

  // Held down, the button clicks at once, after RepeatingDelay and then every RepeatingInterval.
  bool RepeatedClick() const { return FRepeatedClick; }
  void SetRepeatedClick(bool on) { FRepeatedClick = on; }
  int RepeatingDelay() const { return FRepeatingDelay; }
  void SetRepeatingDelay(int ms) { FRepeatingDelay = static_cast<std::uint16_t>(ms); }
  int RepeatingInterval() const { return FRepeatingInterval; }
  void SetRepeatingInterval(int ms) { FRepeatingInterval = static_cast<std::uint16_t>(ms); }

  // The drop-down: the framework has no popup menus, so a button with DropDown on enters
  // bsDropDownOpen and fires OnDropDown, where the owner shows what it drops down; CloseDropDown
  // (or the next press) returns it. With DropDownCombo only the DropDownComboWidth pixels at the
  // right drop down; the rest is a plain button.
  bool DropDown() const { return FDropDownEnabled; }
  void SetDropDown(bool on) { FDropDownEnabled = on; }
  bool DropDownCombo() const { return FDropDownCombo; }
  void SetDropDownCombo(bool on) { FDropDownCombo = on; }
  int DropDownComboWidth() const { return FDropdownComboWidth; }
  void SetDropDownComboWidth(int width) { FDropdownComboWidth = width; }
  fw::NotifyEvent OnDropDown;
  void CloseDropDown();

  TButtonLayout& ButtonLayout() { return FButtonLayout; }
  TFxCaption& FontFX() { return FFontFx; }
  TGlyph& Glyph() { return FGlyph; }
  int NumGlyphs() const { return FGlyph.NumGlyphs(); }
  void SetNumGlyphs(int count) { FGlyph.SetNumGlyphs(count); }

  // Where the glyph and the text were last drawn.
  RECT GlyphRect() const { return FGlyphRect; }
  RECT TextRect() const { return FTextRect; }
  // The size caption and glyph need: the laid-out block plus twice the spacing.
  SIZE GetNeededSizeRect();

  // The hover poll and repeat timers exist only while they run.
  fw::Timer* HoverTimer() const { return FHoverTimer.get(); }
  fw::Timer* RepeatTimer() const { return FRepeatTimer.get(); }

  bool DialogChar(wchar_t ch) override;
  fw::TAccessibleRole AccessibleRole() const override { return fw::arPushButton; }
  void MouseDown(fw::TMouseButton button, fw::TShiftState shift, int x, int y) override;
  void MouseUp(fw::TMouseButton button, fw::TShiftState shift, int x, int y) override;
  void MouseMove(fw::TShiftState shift, int x, int y) override;
  void MouseEnter() override;
  void MouseLeave() override;
  // A sibling of the same group went down: this one comes up.
  void GroupButtonPressed(const fw::Control& pressed, int group_index) override;

 protected:
  // Draws glyph and caption into r of dc (Font, state colours, disabled look, effects).
  virtual void DrawCaption(HDC dc, const RECT& r);
  // True when the face has a colour of its own for the hover state.
  virtual bool HasStateColors() const { return false; }
  // Re-renders the face after an appearance change.
  virtual void UpdateFace() { Invalidate(); }

  void TextChanged() override;
  void FontChanged() override;
  void EnabledChanged() override;
  void VisibleChanged() override;

  std::uint8_t FShadowDepth = 0;

 private:
  bool InsideForPointer(int x, int y, bool release) const;
  SIZE MeasureCaptionText(int wrap_width);
  // The pointer's position in the button's coordinates.
  POINT CursorPos() const;
  void StartRepeat();
  void StopTimers();
  void PollHover();
  void RaiseGroupSiblings();
  void ApplyAutoSize();
  void OpenOrCloseDropDown();

  bool FRepeatedClick = false;
  bool FAllowMouseOver = false;
  bool FAllowShadow = false;
  TButtonLayout FButtonLayout;
  TFxCaption FFontFx;
  std::uint16_t FRepeatingDelay = 500;
  std::uint16_t FRepeatingInterval = 100;
  bool FDropDownCombo = false;
  std::int32_t FDropdownComboWidth = 12;
  bool FHideHint = true;
  bool FUseCaption = true;
  bool FDropDownEnabled = false;
  fw::TColor FEnterColor = fw::clBtnText;
  std::int32_t FGroupIndex = 0;
  bool FDisabledGrayed = true;
  bool FEnterColorChange = false;
  bool FMultiLine = false;
  bool FPressed = false;
  bool FPrepareDrag = false;
  std::unique_ptr<fw::Timer> FHoverTimer;
  std::unique_ptr<fw::Timer> FRepeatTimer;
  std::int32_t FInternal = 0;
  bool FAutoSize = false;
  TButtonState FState = bsUp;
  TButtonState FOldState = bsUp;
  bool FAllowAllUp = false;
  bool FAllowTransparency = true;
  TGlyph FGlyph;
  RECT FGlyphRect{};
  RECT FTextRect{};
  std::array<TChangeSubscription, 3> FPartsWatched;
};

}  // namespace widgets
