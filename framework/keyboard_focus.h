// The keyboard for windowless controls: which of them Tab walks through, and the focus cue.
// The form holds the focus state and handles the keys (framework/form.h); the order is
// framework/reading_order.h.
#pragma once

#include <windows.h>

#include <vector>

namespace fw {

class Control;
class Form;

// The windowless controls Tab and Shift+Tab move the focus among: focusable, showing, enabled and
// in view, in reading order.
std::vector<Control*> TabStops(Form& form);

// The platform's focus cue: a dotted rectangle (every other pixel of its outline). Drawn in a
// plain colour rather than inverted, so that painting a control twice leaves the same pixels.
void DrawFocusCue(HDC dc, const RECT& r, COLORREF color);

}  // namespace fw
