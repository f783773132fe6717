#include "bootstrap/app/window_look.h"

#include <windows.h>

namespace setup {

void StyleFont(fw::Font& font, const wchar_t* name, int height, bool bold, fw::TColor color) {
  font.BeginUpdate();
  font.SetName(name);
  font.SetHeight(height);
  font.SetBold(bold);
  font.SetColor(color);
  font.EndUpdate();
}

void StyleShapeButton(widgets::TShapeButton& button) {
  StyleFont(button.Font(), L"Arial", 11, true, fw::clWhite);
  SizeShapeButton(button);
  button.Font().SetCharset(ANSI_CHARSET);
  widgets::TShapeButtonColor& colors = button.Colors();
  colors.SetUp(fw::clWhite);
  colors.SetDown(fw::clWhite);
  colors.SetMouseOver(fw::clWhite);
  colors.SetOptionSet(fw::clWhite);
  button.SetMode(widgets::sbmShapeFill);
  widgets::TShape& shape = button.Shape();
  shape.SetShape(widgets::stRoundRect);
  shape.Bevel().SetStyle(widgets::sbOffset);
  shape.Bevel().SetLightColor(fw::clBlack);
  shape.Bevel().SetShadowColor(fw::clBlack);
  shape.Shadow().SetStyle(widgets::hssNone);
  shape.Shadow().SetColor(kButtonIdleColor);
  button.SetTransparent(true);
  button.ShapeFill().SetStyle(widgets::sfGradient);
  button.ShapeFill().Gradient().SetColor(kButtonIdleColor);
  button.ShapeFill().Gradient().SetStyle(widgets::gstElliptic);
  // Caption and states: a plain push button whose caption stays white in every state.
  button.SetAllowMouseOver(false);
  button.SetEnterColor(fw::clRed);
  button.SetEnterColorChange(true);
  button.SetNumGlyphs(2);
}

void SizeShapeButton(widgets::TShapeButton& button) {
  button.Font().SetHeight(button.Scaled(11));
  widgets::TShape& shape = button.Shape();
  shape.Bevel().SetWidth(button.Scaled(1));
  shape.Shadow().SetDepth(button.Scaled(1));
  button.ButtonLayout().SetSpacing(button.Scaled(4));
}

void StyleMeter(widgets::TBiProgressBar& meter) {
  meter.SetColor(kMeterColor);
  meter.SetLightColor(fw::clWhite);
  meter.SetLightTextColor(fw::clBlack);
  meter.SetLightTextFullLine(true);
  meter.SetSmooth(true);
  meter.SetLightGradient(true);
  meter.SetThemeMode(widgets::ttmNone);
  StyleFont(meter.Font(), L"Calibri", 11, false, fw::clBlack);
  meter.Font().SetCharset(ANSI_CHARSET);
  SizeMeter(meter);
}

void SizeMeter(widgets::TBiProgressBar& meter) {
  meter.Font().SetHeight(meter.Scaled(11));
}

void StyleWaitingBar(widgets::TWaitingProgress& bar) {
  bar.SetColor(kWaitingBarColor);
  bar.SetProgressColor(kSilver);
  bar.SetLength(400);
  bar.SetRefreshInterval(1);
}

}  // namespace setup
