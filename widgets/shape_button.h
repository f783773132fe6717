// TShapeButton: a push button without a window whose face is a rounded rectangle filled with an
// elliptic gradient, outlined in black, with its caption centred on top; outside the shape it is
// see-through, so the parent's pixels stay visible around the corners.
//
// This is the first version. The class chain of the full button (TCustomShapeButton,
// TBaseGraphicButton, ...) is collapsed into TShapeButton : fw::GraphicControl, and the look is
// fixed to the one the setup window uses (rounded shape with corners of 33 % of the shorter side,
// 1-px black outline, transparent, elliptic gradient from ShapeFill.Gradient.Color to its
// EndColor, pressed face shifted by one pixel). Shape, Colors, Mode, Style, Transparent and the
// other fill styles come with the full version; the names used here stay.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "framework/color.h"
#include "framework/controls.h"
#include "framework/gdi.h"
#include "framework/handle.h"
#include "widgets/change_notifier.h"

namespace widgets {

enum TButtonState : std::uint8_t {
  bsUp,
  bsDisabledUp,
  bsMouseOver,
  bsOptionSet,
  bsDown,
  bsDragOver,
  bsDropDownOpen,
  bsDisabledDown,
  bsDefaultEd
};

// The colour ramp of a fill: ColorCount colours from Color to EndColor. For the elliptic fill
// Color is the centre and EndColor the rim.
class TGradient : public TChangeNotifier {
 public:
  TGradient();

  fw::TColor Color() const { return color_; }
  // Stores only a real change; the owning button then re-renders and repaints at once.
  void SetColor(fw::TColor color);
  fw::TColor EndColor() const { return end_color_; }
  void SetEndColor(fw::TColor color);
  std::uint16_t ColorCount() const { return color_count_; }
  void SetColorCount(std::uint16_t count);  // below 2 counts as 2

  // The computed ramp, plain RGB values, first colour first.
  const std::vector<std::uint32_t>& ColorList() const { return color_list_; }

  // Copies every value of other, with one notification when anything differed.
  void Assign(const TGradient& other);

  // Rebuilds the ramp, then notifies.
  void Change() override;

 private:
  void InitPalette();

  fw::TColor color_ = fw::clGray;  // what the setup window's buttons show at rest
  fw::TColor end_color_ = fw::clBlack;
  std::uint16_t color_count_ = 16;
  std::vector<std::uint32_t> color_list_;
};

// The fill of the button's face; its gradient's changes are passed on as its own.
class TShapeFill : public TChangeNotifier {
 public:
  TShapeFill();
  ~TShapeFill() override;

  TGradient& Gradient() { return gradient_; }
  const TGradient& Gradient() const { return gradient_; }

  void Assign(const TShapeFill& other);

 private:
  TGradient gradient_;
};

class TShapeButton : public fw::GraphicControl {
 public:
  explicit TShapeButton(fw::WinControl* parent);  // 25 x 25
  ~TShapeButton() override;

  TShapeFill& ShapeFill() { return shape_fill_; }
  const TShapeFill& ShapeFill() const { return shape_fill_; }

  TButtonState State() const { return state_; }
  // Stores a different state (or any with force) and repaints through invalidation.
  void SetButtonState(TButtonState state, bool force = false);

  // Whether (x, y), in the button's coordinates, lies inside the rounded shape.
  bool PointInShape(int x, int y) const;

  bool HitTest(int x, int y) const override;
  // The caption's accelerator clicks the button when it is enabled and visible and its parent is
  // enabled and showing; Alt is not needed.
  bool DialogChar(wchar_t ch) override;
  void Paint(HDC dc) override;
  fw::TAccessibleRole AccessibleRole() const override { return fw::arPushButton; }

  void MouseDown(fw::TMouseButton button, fw::TShiftState shift, int x, int y) override;
  void MouseUp(fw::TMouseButton button, fw::TShiftState shift, int x, int y) override;
  void MouseMove(fw::TShiftState shift, int x, int y) override;
  void MouseEnter() override;
  void MouseLeave() override;

 protected:
  // Re-renders the cached gradient and paints the button at once over what is on screen.
  virtual void UpdateFace();
  // Draws the caption centred in r; the accelerator character is underlined.
  void DrawCaption(HDC dc, const RECT& r);

  void Loaded() override;
  void FontChanged() override;
  void EnabledChanged() override;
  void VisibleChanged() override;
  void BoundsChanged(bool resized) override;

 private:
  bool Pressed() const;
  int CornerSize() const;
  bool RenderFace();

  TShapeFill shape_fill_;
  // The gradient is rendered once per change and painted as a pattern brush, so the rounded
  // shape, its fill and its outline come from one RoundRect. The brush goes before its bitmap.
  fw::BitmapHandle face_bitmap_;
  fw::BrushHandle face_brush_;
  int face_width_ = 0;
  int face_height_ = 0;
  fw::OffscreenBitmap buffer_;  // each paint is composed here, then copied once
  TButtonState state_ = bsUp;
  bool prepare_drag_ = false;  // the left button went down in the shape and is still held
};

}  // namespace widgets
