#include "widgets/bi_progress_bar.h"

#include <algorithm>

#include "framework/gdi.h"
#include "framework/handle.h"

namespace widgets {

namespace {

// The scale the setup window uses; MinValue and Scale become properties in the full version.
constexpr std::int32_t kMinValue = 0;
constexpr std::int32_t kScale = 100;

}  // namespace

TBiProgressBar::TBiProgressBar(fw::WinControl* parent) : fw::WinControl(parent) {
  SetOpaque(true);
  SetColor(fw::clWindow);  // also cuts the link to the parent's colour
  SetBounds(Left(), Top(), 100, 21);
}

void TBiProgressBar::SetLightText(const std::wstring& text) {
  if (text != light_text_) {
    light_text_ = text;
    Invalidate();
    AccessibleValueChanged();
  }
}

void TBiProgressBar::SetLightValue(std::int32_t value) {
  if (value != light_value_) {
    light_value_ = value;
    Invalidate();
  }
}

void TBiProgressBar::SetLightColor(fw::TColor color) {
  if (color != light_color_) {
    light_color_ = color;
    Invalidate();
  }
}

void TBiProgressBar::SetLightTextColor(fw::TColor color) {
  if (color != light_text_color_) {
    light_text_color_ = color;
    Invalidate();
  }
}

void TBiProgressBar::Paint(HDC dc) {
  const RECT client = ClientRect();
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  fw::FillSolidRect(dc, client, Color());

  if (light_value_ > 0) {
    const int light = ::MulDiv(light_value_ - kMinValue, std::max(1, width), kScale - kMinValue);
    // A value above the scale makes a longer bar, cut at the edge.
    fw::FillSolidRect(dc, RECT{0, 0, std::min(light, width), height}, light_color_);
  }

  if (light_text_.empty()) {
    return;
  }
  fw::SavedDcState saved(dc);
  if (const HFONT font = Font().Handle(); font != nullptr) {
    ::SelectObject(dc, font);  // put back by the saved state
  }
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, fw::ColorToRGB(light_text_color_));
  RECT measured{0, 0, 0, 0};
  ::DrawTextW(dc, light_text_.c_str(), -1, &measured, DT_CALCRECT);
  const int text_width = measured.right - measured.left;
  const int text_height = measured.bottom - measured.top;
  // Centred on the full line and clipped to it; a line taller than the meter is cut at both ends.
  const int span_width = Width() - 2;
  const int span_height = height;
  RECT box{};
  box.left = std::max(0, span_width / 2 - text_width / 2);
  box.right = std::min(box.left + text_width, box.left + span_width);
  box.top = std::max(0, span_height / 2 - text_height / 2);
  box.bottom = std::min(box.top + text_height, box.top + span_height);
  ::DrawTextW(dc, light_text_.c_str(), -1, &box,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

}  // namespace widgets
