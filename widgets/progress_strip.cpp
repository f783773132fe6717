#include "widgets/progress_strip.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "framework/gdi.h"
#include "framework/handle.h"
#include "framework/text.h"
#include "widgets/gradient_geometry.h"
#include "widgets/round_mul_div.h"

namespace widgets {

namespace {

// "%d" becomes the number and "%%" a single "%"; anything else is kept as it is.
std::wstring FormatPercent(const std::wstring& format, int percent) {
  std::wstring out;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == L'%' && i + 1 < format.size() &&
        (format[i + 1] == L'd' || format[i + 1] == L'%')) {
      out += format[i + 1] == L'd' ? std::wstring_view(fw::DecimalPiece(percent)) : L"%";
      ++i;
    } else {
      out += format[i];
    }
  }
  return out;
}

COLORREF Interpolate(COLORREF from, COLORREF to, int i, int n) {
  // Floating-point steps rounded half to even, so the last column stops one step short of `to`.
  const auto channel = [&](int a, int b) {
    return std::clamp(RoundHalfEven(a + i * (static_cast<double>(b - a) / n)), 0, 255);
  };
  return RGB(channel(GetRValue(from), GetRValue(to)), channel(GetGValue(from), GetGValue(to)),
             channel(GetBValue(from), GetBValue(to)));
}

}  // namespace

TProgressStrip::TProgressStrip(fw::WinControl* parent) : fw::GraphicControl(parent) {
  SetOpaque(true);
  SetControlStyle(ControlStyle() & ~(fw::csClickEvents | fw::csCaptureMouse));
  SetBounds(Left(), Top(), 150, 15);
}

std::int32_t TProgressStrip::SaturatedAdd(std::int32_t a, std::int32_t b) {
  const std::int64_t sum = static_cast<std::int64_t>(a) + b;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      sum, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

int TProgressStrip::Percent() const {
  if (FMaximum == FMinimum) {
    return 0;
  }
  return RoundMulDiv(static_cast<std::int64_t>(FPosition) - FMinimum, 100,
                     static_cast<std::int64_t>(FMaximum) - FMinimum);
}

std::wstring TProgressStrip::DisplayText() const {
  switch (FTextOption) {
    case toCaption:
      return Caption();
    case toFormat:
      return FormatPercent(Caption(), Percent());
    case toPercent:
      return fw::DecimalText<wchar_t>(Percent()) + L"%";
    case toNoText:
    default:
      return {};
  }
}

void TProgressStrip::SetPosition(std::int32_t value) {
  if (value == FPosition) {
    return;
  }
  const int percent_before = Percent();
  // A range set upside down keeps Minimum: the clamp must not see low > high.
  FPosition = std::clamp(value, FMinimum, std::max(FMinimum, FMaximum));
  if ((FTextOption == toFormat || FTextOption == toPercent) && Percent() != percent_before) {
    FIsChanged = true;
  }
  RecomputeFill();
  RenderBar();
}

void TProgressStrip::SetMinimum(std::int32_t value) {
  if (value != FMinimum) {
    FMinimum = value;
    FPosition = std::clamp(FPosition, FMinimum, std::max(FMinimum, FMaximum));
    FIsChanged = FIsChanged || FTextOption == toFormat || FTextOption == toPercent;
    RecomputeFill();
    RenderBar();
  }
}

void TProgressStrip::SetMaximum(std::int32_t value) {
  if (value != FMaximum) {
    FMaximum = value;
    FPosition = std::clamp(FPosition, FMinimum, std::max(FMinimum, FMaximum));
    FIsChanged = FIsChanged || FTextOption == toFormat || FTextOption == toPercent;
    RecomputeFill();
    RenderBar();
  }
}

void TProgressStrip::SetStartColor(fw::TColor color) {
  FStartColor = color;
  FStart = fw::ColorToRGB(color);
  Changed();
}

void TProgressStrip::SetEndColor(fw::TColor color) {
  FEndColor = color;
  FEnd = fw::ColorToRGB(color);
  Changed();
}

void TProgressStrip::SetSolid(bool solid) {
  if (solid != FSolid) {
    FSolid = solid;
    FIsChanged = true;  // the same width can be drawn as blocks or as one bar
    RecomputeFill();
    RenderBar();
  }
}

void TProgressStrip::SetGradientBlocks(bool on) {
  if (on != FGradientBlocks) {
    FGradientBlocks = on;
    Changed();
  }
}

void TProgressStrip::SetTextCentered(bool on) {
  if (on != FTextCentered) {
    FTextCentered = on;
    Changed();
  }
}

void TProgressStrip::SetTextOption(TProgressTextOption option) {
  if (option != FTextOption) {
    FTextOption = option;
    Changed();
  }
}

void TProgressStrip::SetBorderStyle(TProgressBorderStyle style) {
  if (style != FBorderStyle) {
    FBorderStyle = style;
    Changed();
  }
}

void TProgressStrip::Changed() {
  FIsChanged = true;
  RenderBar();
}

void TProgressStrip::Loaded() {
  fw::GraphicControl::Loaded();
  RecomputeFill();
  RenderBar();
}

void TProgressStrip::TextChanged() {
  if (FTextOption == toCaption || FTextOption == toFormat) {
    Changed();
  }
}

void TProgressStrip::ColorChanged() {
  Changed();
}

void TProgressStrip::FontChanged() {
  if (FTextOption != toNoText) {
    Changed();
  }
}

void TProgressStrip::BoundsChanged(bool resized) {
  // Under 3 x 3 the strip draws nothing, so its parent's colour shows there instead of whatever
  // the parent's buffer held.
  SetOpaque(Width() > 2 && Height() > 2);
  (void)resized;
}

void TProgressStrip::RecomputeFill() {
  const int cw = ClientWidth();
  const int edge = Scaled(1);
  if (Loading() || FMaximum == FMinimum || cw < 2 * edge) {
    return;
  }
  const int inner = cw - 2 * edge;
  int w = RoundMulDiv(static_cast<std::int64_t>(FPosition) - FMinimum, inner,
                      static_cast<std::int64_t>(FMaximum) - FMinimum);
  w = std::clamp(w, 0, inner);
  if (!FSolid) {
    // Blocks two thirds of the height wide with gaps as wide as the frame; w goes to the nearest
    // whole block (the last one cut at the inner edge).
    FBlockWidth = std::max(1, ClientHeight() * 2 / 3);
    const int pitch = FBlockWidth + edge;
    FBlockCount = (w + pitch / 2) / pitch;
    w = std::min(FBlockCount * pitch - (FBlockCount > 0 ? 1 : 0), inner);
    FLastBlockWidth = FBlockCount > 0 ? w - (FBlockCount - 1) * pitch : 0;
    FLastBlockPartial = FBlockCount > 0 && FLastBlockWidth < FBlockWidth;
  }
  if (w == FBlock) {
    return;
  }
  FBlock = w;
  FIsChanged = true;
  RenderBar();
}

void TProgressStrip::RenderFilled(HDC dc, int height) {
  if (FBlock <= 0) {
    return;
  }
  const int edge = Scaled(1);
  const auto columns = [&](int from, int count, int steps, int first_step) {
    if (FStart == FEnd) {
      fw::FillSolidRect(dc, RECT{from, edge, from + count, height - edge}, FStart);
      return;
    }
    for (int i = 0; i < count; ++i) {
      fw::FillSolidRect(dc, RECT{from + i, edge, from + i + 1, height - edge},
                        Interpolate(FStart, FEnd, first_step + i, steps));
    }
  };
  if (FSolid) {
    columns(edge, FBlock, FBlock, 0);
    return;
  }
  // Blocks: each shaded on its own, or flat in the colour the bar has where the block starts.
  const int pitch = FBlockWidth + edge;
  for (int k = 0; k < FBlockCount; ++k) {
    const int x = edge + k * pitch;
    const int width = k == FBlockCount - 1 && FLastBlockPartial ? FLastBlockWidth : FBlockWidth;
    if (FGradientBlocks) {
      columns(x, width, FBlockWidth, 0);
    } else {
      fw::FillSolidRect(dc, RECT{x, edge, x + width, height - edge},
                        FStart == FEnd ? FStart : Interpolate(FStart, FEnd, x - edge, FBlock));
    }
  }
}

void TProgressStrip::RenderText(HDC dc, int width, int height) {
  std::wstring text = DisplayText();
  if (text.empty()) {
    return;
  }
  const int edge = Scaled(1);
  RECT box = FTextCentered ? RECT{edge, edge, width - edge, height - edge}
                           : RECT{edge, edge, FBlock + edge, height - edge};
  fw::SavedDcState saved(dc);
  const fw::SelectGuard font(dc, Font().Handle());  // a null font selects nothing
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, fw::ColorToRGB(Font().Color()));
  ::DrawTextW(dc, text.data(), static_cast<int>(text.size()), &box,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

void TProgressStrip::RenderBar() {
  if (!FIsChanged || Loading()) {
    return;
  }
  FIsChanged = false;
  const int cw = ClientWidth();
  const int ch = ClientHeight();
  if (cw <= 0 || ch <= 0 || !FBuffer.Resize(cw, ch)) {
    return;
  }
  ++FRenderCount;
  const HDC dc = FBuffer.Dc();
  // The frame, the empty part and the gaps between blocks all take Color: one fill beneath.
  fw::FillSolidRect(dc, RECT{0, 0, cw, ch}, Color());
  RenderFilled(dc, ch);
  RenderText(dc, cw, ch);
  if (FBorderStyle == pbsSingle) {
    RECT edge{0, 0, cw, ch};
    ::DrawEdge(dc, &edge, BDR_SUNKENOUTER, BF_RECT);
  }
  // Shown at once, so every visible step is on screen by the end of the tick that caused it.
  if (!FInPaint && Visible() && Parent() != nullptr && Parent()->Handle() != nullptr) {
    PaintNow();
  }
}

void TProgressStrip::Paint(HDC dc) {
  const int cw = ClientWidth();
  const int ch = ClientHeight();
  if (FBuffer.Width() != cw || FBuffer.Height() != ch) {
    FInPaint = true;
    FIsChanged = true;
    RecomputeFill();
    RenderBar();
    FInPaint = false;
  }
  if (cw <= 2 || ch <= 2) {
    return;
  }
  FBuffer.CopyTo(dc, 0, 0);
}

}  // namespace widgets
