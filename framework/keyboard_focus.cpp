#include "framework/keyboard_focus.h"

#include "framework/accessible.h"
#include "framework/form.h"

namespace fw {

std::vector<Control*> TabStops(Form& form) {
  std::vector<Control*> stops;
  for (Control* c : PerceivedControls(form)) {
    if (!c->IsWindowed() && c->Focusable() && c->Showing() && c->Enabled()) {
      stops.push_back(c);
    }
  }
  return stops;
}

void DrawFocusCue(HDC dc, const RECT& r, COLORREF color) {
  if (r.right - r.left < 2 || r.bottom - r.top < 2) {
    return;
  }
  // Clockwise around the outline, one pixel on and one off, as the platform's dotted cue does.
  int step = 0;
  const auto dot = [&](int x, int y) {
    if (step++ % 2 == 0) {
      ::SetPixelV(dc, x, y, color);
    }
  };
  for (int x = r.left; x < r.right - 1; ++x) {
    dot(x, r.top);
  }
  for (int y = r.top; y < r.bottom - 1; ++y) {
    dot(r.right - 1, y);
  }
  for (int x = r.right - 1; x > r.left; --x) {
    dot(x, r.bottom - 1);
  }
  for (int y = r.bottom - 1; y > r.top; --y) {
    dot(r.left, y);
  }
}

}  // namespace fw
