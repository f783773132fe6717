// A rectangle in pixels: left and top inclusive, right and bottom exclusive, as GDI fills them.
// Pure, so the widgets' geometry and the reading order are unit tested natively.
#pragma once

namespace fw {

struct PixelRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool Empty() const { return right <= left || bottom <= top; }
  bool operator==(const PixelRect&) const = default;
};

}  // namespace fw
