// TBiProgressBar: a two-tone meter drawn wholly by itself. The light bar covers LightValue per
// cent of the width in LightColor over a background in Color, and LightText is centred across
// the whole line on top of both.
//
// This is the first version: the light bar only, a solid fill on a fixed 0..100 scale, the text
// always centred on the full line. The dark bar, gradients, blocks, bevels, orientation and the
// other options come with the full version; the names used here stay.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "framework/color.h"
#include "framework/controls.h"

namespace widgets {

class TBiProgressBar : public fw::WinControl {
 public:
  // 100 x 21, opaque, its own colour (clWindow), light colour clRed, text colour clBtnText.
  explicit TBiProgressBar(fw::WinControl* parent);

  // Every setter stores only a real change and then invalidates: the download sets the text and
  // the value hundreds of times a second, and the paints that follow coalesce.
  const std::wstring& LightText() const { return light_text_; }
  void SetLightText(const std::wstring& text);
  std::int32_t LightValue() const { return light_value_; }
  void SetLightValue(std::int32_t value);  // per cent of the width; not clamped
  fw::TColor LightColor() const { return light_color_; }
  void SetLightColor(fw::TColor color);
  fw::TColor LightTextColor() const { return light_text_color_; }
  void SetLightTextColor(fw::TColor color);

  // Background, light bar, text: every pixel of the client area.
  void Paint(HDC dc) override;
  // A screen reader hears the text the meter shows, e.g. "50%".
  fw::TAccessibleRole AccessibleRole() const override { return fw::arProgressBar; }
  std::wstring AccessibleValue() const override { return light_text_; }

 private:
  std::wstring light_text_;
  std::int32_t light_value_ = 0;
  fw::TColor light_color_ = fw::clRed;
  fw::TColor light_text_color_ = fw::clBtnText;
};

}  // namespace widgets
