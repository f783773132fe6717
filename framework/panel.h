// A container window: optional raised or lowered bevel drawn inside its client area, an optional
// single border (a one-pixel dark frame outside the client area, as WS_BORDER draws it), and an
// inner margin (BorderWidth, in the panel colour) around the area its aligned children share.
#pragma once

#include <cstdint>

#include "framework/controls.h"

namespace fw {

enum TBevelCut : uint8_t { bvNone, bvLowered, bvRaised };
enum TBorderStyle : uint8_t { bsNone, bsSingle };

class Panel : public WinControl {
 public:
  // Raised outer bevel of width 1, no border, clBtnFace, its own colour (ParentColor off).
  explicit Panel(WinControl* parent);

  TBevelCut BevelOuter() const { return bevel_outer_; }
  void SetBevelOuter(TBevelCut bevel);
  int BevelWidth() const { return bevel_width_; }
  void SetBevelWidth(int width);
  TBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(TBorderStyle style);

  // Client rectangle inset by the bevel (when there is one) and by BorderWidth.
  RECT AlignRect() const override;
  // The bevel: light top and left edges and dark bottom and right ones (lowered: the reverse).
  void Paint(HDC dc) override;

 private:
  TBevelCut bevel_outer_ = bvRaised;
  int bevel_width_ = 1;
  TBorderStyle border_style_ = bsNone;
};

}  // namespace fw
