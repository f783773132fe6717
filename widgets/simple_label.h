// TSimpleLabel: a non-windowed label drawn straight onto its parent, transparent by default. It
// sizes itself to its text, can blink its text on a timer (Twinkle) and can act as a link that
// hands a URL or a program to the shell (Jump, JumpMode).
//
// Class chain, each level holding one concern:
//   TBaseControl        update bracket, Transparent, the repaint request
//   TBaseGraphicControl non-opaque, transparent, 30 x 30
//   TBaseLabel          alignment, the shared Boolean and interval setters, font smoothing, blink
//   TCustomSimpleLabel  drawing, sizing, link
//   TSimpleLabel        the label the windows create
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <cstdint>
#include <memory>
#include <string>

#include "framework/color.h"
#include "framework/controls.h"
#include "framework/timer.h"
#include "widgets/base_control.h"
#include "widgets/label_text.h"

namespace widgets {

enum TJumpModes : std::uint8_t { jmInternet, jmApplication, jmNone, jmCustom };

class TBaseLabel : public TBaseGraphicControl {
 public:
  explicit TBaseLabel(fw::WinControl* parent);
  ~TBaseLabel() override;

  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment alignment);

  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool on);
  bool MultiLine() const { return FMultiLine; }
  void SetMultiLine(bool on);
  bool ShowAccelChar() const { return FShowAccelChar; }
  void SetShowAccelChar(bool on);
  bool Twinkle() const { return FTwinkle; }
  void SetTwinkle(bool on);

  // Milliseconds; the timer takes the low 16 bits. A running timer takes a new length at its
  // next phase change.
  std::int32_t TwinkleVisible() const { return FTwinkleVisible; }
  void SetTwinkleVisible(std::int32_t ms) { FTwinkleVisible = ms; }
  std::int32_t TwinkleInVisible() const { return FTwinkleInVisible; }
  void SetTwinkleInVisible(std::int32_t ms) { FTwinkleInVisible = ms; }
  // Text colour of the hidden phase; clNone draws nothing then.
  fw::TColor TwinkleColor() const { return FTwinkleColor; }
  void SetTwinkleColor(fw::TColor color) { FTwinkleColor = color; }
  // Kept for the window descriptions that set it; blinking always uses a private timer, as no
  // window of this program shares one.
  bool UseGlobalTimer() const { return FUseGlobalTimer; }
  void SetUseGlobalTimer(bool on) { FUseGlobalTimer = on; }

  bool FontSmoothing() const { return FFontSmoothing; }
  void SetFontSmoothing(bool on);

  // The blink state, for the window's tests: the timer exists only while Twinkle is on.
  fw::Timer* TwinkleTimer() const { return FTwinkleTimer.get(); }
  bool TwinkleShown() const { return FTwinkleFlag.Shown(); }

  // Recomputes the size from the text (the sizing level implements it).
  virtual void CorrectBounds() {}

 protected:
  void FontChanged() override;
  // What an update held back: the size from the text, then the picture.
  void UpdateEnded() override {
    CorrectBounds();
    TBaseGraphicControl::UpdateEnded();
  }

 private:
  // True when the font had to be re-created with the other quality (its own change notification
  // has then done the rest).
  bool ApplyFontQuality();
  void StartTwinkle();
  void StopTwinkle();
  void TwinkleTick();

  TAlignment FAlignment = agTopLeft;
  bool FAutoSize = true;
  bool FMultiLine = false;
  bool FShowAccelChar = true;
  bool FTwinkle = false;
  bool FFontSmoothing = false;
  bool FUseGlobalTimer = false;
  std::int32_t FTwinkleVisible = 700;
  std::int32_t FTwinkleInVisible = 700;
  fw::TColor FTwinkleColor = fw::clNone;
  TwinklePhases FTwinkleFlag;
  std::unique_ptr<fw::Timer> FTwinkleTimer;
};

class TCustomSimpleLabel : public TBaseLabel {
 public:
  explicit TCustomSimpleLabel(fw::WinControl* parent);
  ~TCustomSimpleLabel() override;

  TLabelOptions Options() const { return FOptions; }
  void SetOptions(TLabelOptions options);
  T3DCaption& Font3D() { return FFont3D; }

  const std::wstring& Jump() const { return FJump; }
  void SetJump(const std::wstring& jump) { FJump = jump; }
  TJumpModes JumpMode() const { return FJumpMode; }
  void SetJumpMode(TJumpModes mode);
  fw::TColor ActiveColor() const { return FActiveColor; }
  void SetActiveColor(fw::TColor color) { FActiveColor = color; }
  fw::TColor InActiveColor() const { return FInActiveColor; }
  void SetInActiveColor(fw::TColor color) { FInActiveColor = color; }
  bool JumpUnderline() const { return FJumpUnderline; }
  void SetJumpUnderline(bool on) { FJumpUnderline = on; }
  // Kept for the window descriptions; the framework has no hints or context menus to show them.
  bool ShowURLInHint() const { return FShowURLInHint; }
  void SetShowURLInHint(bool on) { FShowURLInHint = on; }
  bool ShowURLMenu() const { return FShowURLMenu; }
  void SetShowURLMenu(bool on) { FShowURLMenu = on; }

  // The control whose focus the caption's accelerator character moves to (may be null).
  fw::WinControl* FocusControl() const { return FFocusControl; }
  void SetFocusControl(fw::WinControl* control) { FFocusControl = control; }

  // Times the link has been used since the last ResetCounter.
  std::int32_t Counter() const { return FCounter; }

  // Uses the link (link modes count it and take ActiveColor), then clicks. A call made while this
  // label's click is running does nothing: a window whose OnClick calls Execute must not loop.
  void Execute();
  // jmInternet opens the target, jmApplication starts it, jmNone and jmCustom fire OnClick.
  void Click() override;
  void ResetCounter();
  // Puts the link target on the clipboard as text; false when the clipboard refused.
  bool CopyURL();
  void CorrectBounds() override;

  void Paint(HDC dc) override;
  void MouseDown(fw::TMouseButton button, fw::TShiftState shift, int x, int y) override;
  bool DialogChar(wchar_t ch) override;
  fw::TAccessibleRole AccessibleRole() const override {
    return IsLinkMode() ? fw::arLink : fw::arStaticText;
  }

  // Opens target with the shell verb "Open", prefixed by UrlWithPrefix; true on success.
  static bool OpenURL(const std::wstring& target, bool no_http_prefix);

  // The platform calls, replaceable so tests can record what is passed and force failures. Plain
  // function pointers: a seam needs no more, and Setup.exe stays small.
  static inline decltype(&::DrawTextExW) DrawTextExSeam = ::DrawTextExW;
  static inline decltype(&::ShellExecuteExW) ShellExecuteExSeam = ::ShellExecuteExW;
  static inline decltype(&::ShellExecuteW) ShellExecuteSeam = ::ShellExecuteW;

 protected:
  void Loaded() override;
  void TextChanged() override;
  bool CaptionMarksAccel() const override { return ShowAccelChar(); }

 private:
  bool IsLinkMode() const { return FJumpMode != jmNone; }
  std::wstring Target() const { return JumpTarget(FJump, Caption()); }

  TLabelOptions FOptions;
  T3DCaption FFont3D;
  std::wstring FJump;
  TJumpModes FJumpMode = jmNone;
  fw::TColor FActiveColor = 0x00800080;
  fw::TColor FInActiveColor = 0x00FF0000;
  bool FJumpUnderline = true;
  bool FShowURLInHint = false;
  bool FShowURLMenu = false;
  fw::WinControl* FFocusControl = nullptr;
  std::int32_t FCounter = 0;
  bool FPainting = false;
  bool FClicking = false;
};

class TSimpleLabel : public TCustomSimpleLabel {
 public:
  explicit TSimpleLabel(fw::WinControl* parent) : TCustomSimpleLabel(parent) {}
};

}  // namespace widgets
