// TProgressStrip: the inner bar of the waiting bar. It renders into its own buffer only when its
// filled width or its looks change, and shows each render at once.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "framework/color.h"
#include "framework/controls.h"
#include "framework/gdi.h"

namespace widgets {

enum TProgressTextOption : std::uint8_t { toCaption, toFormat, toNoText, toPercent };
enum TProgressBorderStyle : std::uint8_t { pbsNone, pbsSingle };

// The inner bar: a frame in Color, the filled part from StartColor to EndColor (one colour per
// column, or blocks), the rest in Color, and an optional text.
class TProgressStrip : public fw::GraphicControl {
 public:
  explicit TProgressStrip(fw::WinControl* parent);  // 150 x 15, blocks, white to black, 0..100

  std::int32_t Position() const { return FPosition; }
  void SetPosition(std::int32_t value);  // kept within Minimum..Maximum
  std::int32_t Minimum() const { return FMinimum; }
  void SetMinimum(std::int32_t value);
  std::int32_t Maximum() const { return FMaximum; }
  void SetMaximum(std::int32_t value);
  std::int32_t Step() const { return FStep; }
  void SetStep(std::int32_t value) { FStep = value; }
  void StepIt() { SetPosition(SaturatedAdd(FPosition, FStep)); }
  fw::TColor StartColor() const { return FStartColor; }
  void SetStartColor(fw::TColor color);
  fw::TColor EndColor() const { return FEndColor; }
  void SetEndColor(fw::TColor color);
  bool Solid() const { return FSolid; }
  void SetSolid(bool solid);
  bool GradientBlocks() const { return FGradientBlocks; }
  void SetGradientBlocks(bool on);
  bool TextCentered() const { return FTextCentered; }
  void SetTextCentered(bool on);
  TProgressTextOption TextOption() const { return FTextOption; }
  void SetTextOption(TProgressTextOption option);
  TProgressBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TProgressBorderStyle style);

  // The filled width in pixels, and how often the buffer was rendered (tests, benchmarks).
  int Block() const { return FBlock; }
  int RenderCount() const { return FRenderCount; }
  // MulDiv(Position - Minimum, 100, Maximum - Minimum), 0 for an empty range.
  int Percent() const;
  // What the text option shows now (empty with toNoText).
  std::wstring DisplayText() const;

  void Paint(HDC dc) override;

 protected:
  void Loaded() override;
  void TextChanged() override;
  void ColorChanged() override;
  void FontChanged() override;
  void BoundsChanged(bool resized) override;

 private:
  static std::int32_t SaturatedAdd(std::int32_t a, std::int32_t b);
  void RecomputeFill();
  void RenderBar();
  void Changed();  // mark the buffer stale and render it
  void RenderFilled(HDC dc, int height);
  void RenderText(HDC dc, int width, int height);

  TProgressBorderStyle FBorderStyle = pbsNone;
  fw::TColor FEndColor = fw::clBlack;
  bool FGradientBlocks = false;
  std::int32_t FMaximum = 100;
  std::int32_t FMinimum = 0;
  std::int32_t FPosition = 0;
  bool FSolid = false;
  fw::TColor FStartColor = fw::clWhite;
  std::int32_t FStep = 10;
  bool FTextCentered = false;
  TProgressTextOption FTextOption = toNoText;
  fw::OffscreenBitmap FBuffer;
  int FBlock = 0;
  bool FIsChanged = true;
  COLORREF FStart = RGB(255, 255, 255);
  COLORREF FEnd = RGB(0, 0, 0);
  int FBlockCount = 0;
  int FBlockWidth = 0;
  bool FLastBlockPartial = false;
  int FLastBlockWidth = 0;
  bool FInPaint = false;  // a render inside Paint is copied by Paint itself
  int FRenderCount = 0;
};

}  // namespace widgets
