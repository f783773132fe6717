// TGradientBackground: a non-windowed backdrop that covers its whole rectangle with a colour
// gradient. The gradient is rendered once per size or property change into an owned buffer; every
// other paint is one BitBlt of that buffer.
#pragma once

#include <windows.h>

#include <cstdint>

#include "framework/color.h"
#include "framework/controls.h"
#include "framework/gdi.h"
#include "widgets/gradient_geometry.h"

namespace widgets {

class TGradientBackground : public fw::GraphicControl {
 public:
  // grHorizontal from blue to black in 100 steps, opaque, aligned to the parent's client area.
  explicit TGradientBackground(fw::WinControl* parent);
  ~TGradientBackground() override;

  TGradientBackgroundStyle Style() const { return FStyle; }
  void SetStyle(TGradientBackgroundStyle style);
  fw::TColor StartColor() const { return FStartColor; }
  void SetStartColor(fw::TColor color);
  fw::TColor EndColor() const { return FEndColor; }
  void SetEndColor(fw::TColor color);
  std::uint16_t Steps() const { return FSteps; }
  void SetSteps(std::uint16_t steps);

  // Every assignment of Left, Top, Width or Height arrives here; it is recorded for Loaded.
  void SetBounds(int left, int top, int width, int height) override;

  void Paint(HDC dc) override;

  // How often the gradient has been rendered into the buffer (a paint that only copies leaves it).
  int RebuildCount() const { return FRebuildCount; }

 protected:
  void Loaded() override;

 private:
  void MarkStale();
  void RenderBuffer(COLORREF start, COLORREF end);

  TGradientBackgroundStyle FStyle = grHorizontal;
  fw::TColor FStartColor = 0x00FF0000;
  fw::TColor FEndColor = 0x00000000;
  std::uint16_t FSteps = 100;
  fw::OffscreenBitmap FBuffer;
  int FBufferWidth = 0;
  int FBufferHeight = 0;
  int FLoadedLeft = 0;
  int FLoadedTop = 0;
  int FLoadedWidth = 0;
  int FLoadedHeight = 0;
  int FRebuildCount = 0;
};

}  // namespace widgets
