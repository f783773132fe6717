// TBiProgressBar: a two-tone meter drawn wholly by itself. Two values on one scale (MinValue to
// Scale) show as two bars over a background in Color: the dark bar first, then the light bar over
// it, each solid, in blocks, as a gradient from Color to the bar's colour spread over the bar's
// current length, or as a push-button face; then their texts and a caption. Each repaint composes
// the whole face in the control's own bitmap and copies it once.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "framework/color.h"
#include "framework/controls.h"
#include "framework/gdi.h"
#include "framework/handle.h"
#include "framework/timer.h"

namespace widgets {

enum TBiProgressOrientation : std::uint8_t { poHorizontal, poVertical };
enum TProgressShowMode : std::uint8_t { psmAllFull, psmLightHalf, psmDarkHalf, psmAllHalf };
enum TEdgeBevelStyle : std::uint8_t { ebsNone, ebsLowered, ebsRaised };
enum TThemeMode : std::uint8_t { ttmNone, ttmPlatform, ttmNative };

class TBiProgressBar : public fw::WinControl {
 public:
  // 100 x 21, opaque, its own colour (clWindow), the defaults listed with each property.
  explicit TBiProgressBar(fw::WinControl* parent);
  ~TBiProgressBar() override;

  // Every setter stores only a real change and then invalidates, so the many changes of a
  // download between two pumps give one repaint. No value is clamped or checked.
  std::int32_t MinValue() const { return FMinValue; }
  void SetMinValue(std::int32_t value);
  std::int32_t Scale() const { return FScale; }
  void SetScale(std::int32_t value);
  std::int32_t LightValue() const { return FLightValue; }
  void SetLightValue(std::int32_t value);
  std::int32_t DarkValue() const { return FDarkValue; }
  void SetDarkValue(std::int32_t value);
  fw::TColor LightColor() const { return FLightColor; }
  void SetLightColor(fw::TColor color);
  fw::TColor DarkColor() const { return FDarkColor; }
  void SetDarkColor(fw::TColor color);
  const std::wstring& LightText() const { return FLightText; }
  void SetLightText(const std::wstring& text);
  const std::wstring& DarkText() const { return FDarkText; }
  void SetDarkText(const std::wstring& text);
  fw::TColor LightTextColor() const { return FLightTextColor; }
  void SetLightTextColor(fw::TColor color);
  fw::TColor DarkTextColor() const { return FDarkTextColor; }
  void SetDarkTextColor(fw::TColor color);
  bool LightTextFullLine() const { return FLightTextFullLine; }
  void SetLightTextFullLine(bool on);
  bool DarkTextFullLine() const { return FDarkTextFullLine; }
  void SetDarkTextFullLine(bool on);
  bool Smooth() const { return FSmooth; }
  void SetSmooth(bool on);
  // The gradient settings repaint only while their bar shows (its value > 0).
  bool LightGradient() const { return FLightGradient; }
  void SetLightGradient(bool on);
  bool DarkGradient() const { return FDarkGradient; }
  void SetDarkGradient(bool on);
  std::int32_t LightGradientSteps() const { return FLightGradientSteps; }
  void SetLightGradientSteps(std::int32_t steps);
  std::int32_t DarkGradientSteps() const { return FDarkGradientSteps; }
  void SetDarkGradientSteps(std::int32_t steps);
  TBiProgressOrientation Orientation() const { return FOrientation; }
  void SetOrientation(TBiProgressOrientation orientation);
  TProgressShowMode ProgressShowMode() const { return FProgressShowMode; }
  void SetProgressShowMode(TProgressShowMode mode);
  TEdgeBevelStyle BevelStyle() const { return FBevelStyle; }
  void SetBevelStyle(TEdgeBevelStyle style);
  bool LightButtonStyle() const { return FLightButtonStyle; }
  void SetLightButtonStyle(bool on);
  bool DarkButtonStyle() const { return FDarkButtonStyle; }
  void SetDarkButtonStyle(bool on);
  bool InfiniteMode() const { return FInfiniteMode; }
  void SetInfiniteMode(bool on);
  // A moving block instead of the two values: its timer lives only while Marquee is on.
  bool Marquee() const { return FMarquee; }
  void SetMarquee(bool on);
  std::int32_t MarqueeSize() const { return FMarqueeSize; }
  void SetMarqueeSize(std::int32_t percent);
  std::int32_t MarqueeUpdateInterval() const { return FMarqueeUpdateInterval; }
  void SetMarqueeUpdateInterval(std::int32_t milliseconds);
  fw::TColor MarqueeColor() const { return FMarqueeColor; }
  void SetMarqueeColor(fw::TColor color);
  // The marquee's position on the scale, and its timer (null while Marquee is off).
  std::int32_t MarqueePosition() const { return FMarqueePos; }
  fw::Timer* MarqueeTimer() const { return FMarqueeTimer.get(); }
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool on);
  TThemeMode ThemeMode() const { return FThemeMode; }
  void SetThemeMode(TThemeMode mode);
  // Whether the platform's visual styles draw the frame and the bars now.
  bool Themed() const;

  // Composes the face in FBitmap and copies it to dc at (0, 0).
  void Paint(HDC dc) override;
  // A screen reader hears the text the meter shows, e.g. "50%".
  fw::TAccessibleRole AccessibleRole() const override { return fw::arProgressBar; }
  std::wstring AccessibleValue() const override { return FLightText; }

 protected:
  void TextChanged() override { Invalidate(); }
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  struct Bar {
    RECT rect;
    fw::TColor color;
    bool gradient;
    std::int32_t steps;
    bool button;
    bool reversed;  // an odd lap of the infinite mode: the gradient runs the other way
  };

  // Stores and invalidates on a real change; true when it changed.
  template <typename T>
  bool Store(T& field, const T& value);
  void MarqueeStep();
  void PaintFace(HDC dc, int width, int height);
  void PaintBackground(HDC dc, int width, int height);
  void PaintBevel(HDC dc);
  void FillBar(HDC dc, const Bar& bar);
  void PaintThemedBar(HDC dc, const RECT& r, bool dark);
  void DrawBarText(HDC dc, const std::wstring& text, fw::TColor color, bool full_line,
                   const RECT& bar_rect, const RECT& light_rect);
  void DrawCaptionText(HDC dc, int height);

  std::int32_t FMinValue = 0;
  std::int32_t FScale = 100;
  std::int32_t FLightValue = 0;
  std::int32_t FDarkValue = 0;
  fw::TColor FLightColor = fw::clRed;
  fw::TColor FDarkColor = fw::clMaroon;
  std::wstring FLightText;
  std::wstring FDarkText;
  fw::TColor FLightTextColor = fw::clBtnText;
  fw::TColor FDarkTextColor = fw::clBtnText;
  bool FLightTextFullLine = false;
  bool FDarkTextFullLine = false;
  bool FSmooth = false;
  bool FLightGradient = false;
  bool FDarkGradient = false;
  std::int32_t FLightGradientSteps = 64;
  std::int32_t FDarkGradientSteps = 64;
  TBiProgressOrientation FOrientation = poHorizontal;
  TProgressShowMode FProgressShowMode = psmAllFull;
  TEdgeBevelStyle FBevelStyle = ebsNone;
  bool FLightButtonStyle = false;
  bool FDarkButtonStyle = false;
  bool FInfiniteMode = false;
  bool FMarquee = false;
  std::int32_t FMarqueeSize = 20;
  std::int32_t FMarqueeUpdateInterval = 25;
  fw::TColor FMarqueeColor = fw::clMaroon;
  std::int32_t FMarqueePos = 0;
  int FMarqueeDirection = 1;
  std::unique_ptr<fw::Timer> FMarqueeTimer;
  bool FTransparent = false;
  TThemeMode FThemeMode = ttmPlatform;
  fw::OffscreenBitmap FBitmap;
};

}  // namespace widgets
