#include "widgets/gradient_paint.h"

#include "framework/gdi.h"

namespace widgets {

void BuildColorRamp(fw::TColor first, fw::TColor last, int count, bool start_new,
                    std::vector<COLORREF>& list) {
  if (count <= 0) {
    return;
  }
  if (start_new) {
    list.clear();
  }
  const COLORREF a = fw::ColorToRGB(first);
  const COLORREF b = fw::ColorToRGB(last);
  const auto channel = [count](int from, int to, int i) {
    return count > 1 ? (from + ::MulDiv(i, to - from, count - 1)) & 0xFF : from;
  };
  for (int i = start_new ? 0 : 1; i < count; ++i) {
    list.push_back(RGB(channel(GetRValue(a), GetRValue(b), i),
                       channel(GetGValue(a), GetGValue(b), i),
                       channel(GetBValue(a), GetBValue(b), i)));
  }
}

void FillGradient(HDC canvas, const RECT& rectangle, TGradientStyle style,
                  const std::vector<COLORREF>& colours) {
  const int n = static_cast<int>(colours.size());
  if (n == 0 || rectangle.right <= rectangle.left || rectangle.bottom <= rectangle.top) {
    return;
  }
  const int w = rectangle.right - rectangle.left;
  const int h = rectangle.bottom - rectangle.top;
  for (int i = 0; i < n; ++i) {
    RECT band = rectangle;
    if (style == gstHorizontal) {
      band.left = rectangle.left + ::MulDiv(i, w, n);
      band.right = rectangle.left + ::MulDiv(i + 1, w, n);
    } else {
      band.top = rectangle.top + ::MulDiv(i, h, n);
      band.bottom = rectangle.top + ::MulDiv(i + 1, h, n);
    }
    fw::FillSolidRect(canvas, band, colours[static_cast<std::size_t>(i)]);
  }
}

}  // namespace widgets
