// Where the two-tone meter puts its bars, blocks, marquee and texts: pure arithmetic on the
// control's working rectangle, so the exact pixels the meter promises are testable natively.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/pixel_rect.h"

namespace widgets {

// The length in pixels of a bar showing value on min..scale over span pixels, not clamped.
std::int32_t BarLength(std::int32_t value, std::int32_t min, std::int32_t scale, int span);

struct BarPlacement {
  fw::PixelRect rect;
  bool reversed = false;  // an odd lap of the infinite mode: the gradient runs the other way
};

// The bar of length pixels within work: horizontal bars grow rightwards from the left edge,
// vertical ones upwards from the bottom edge. In the infinite mode the length wraps around the
// span (rounded down to whole units): even laps grow from the base, odd laps take the far end.
BarPlacement PlaceBar(const fw::PixelRect& work, std::int32_t length, bool vertical, bool infinite,
                      int unit);

// The half a bar keeps in the half modes: the light bar the upper (vertical: right) half, the dark
// bar the lower (vertical: left) half, the split at the thickness div 2.
fw::PixelRect LightHalf(const fw::PixelRect& r, bool vertical);
fw::PixelRect DarkHalf(const fw::PixelRect& r, bool vertical);

// The blocks of a bar that is not smooth: block pixels (8 at 96 DPI) with gaps of gap pixels (2)
// from the base, the last one cut at the far edge.
std::vector<fw::PixelRect> BarBlocks(const fw::PixelRect& r, bool vertical, int block = 8,
                                     int gap = 2);

// The box a text of tw x th is centred in over a span of span_w x span_h, moved down by top.
fw::PixelRect FullLineBox(int tw, int th, int span_w, int span_h, int top);

// One marquee step: position moves by one between low and high and turns at either end.
struct MarqueeState {
  std::int32_t position = 0;
  int direction = 1;
  bool operator==(const MarqueeState&) const = default;
};
MarqueeState NextMarquee(MarqueeState state, std::int32_t low, std::int32_t high);
// The lowest marquee position: size per cent of scale.
std::int32_t MarqueeLow(std::int32_t size_percent, std::int32_t scale);
// The marquee block: size per cent of the control's extent along the bar (its width across, its
// height upright), ending at the position.
fw::PixelRect MarqueeBlock(const fw::PixelRect& work, std::int32_t position, std::int32_t min,
                           std::int32_t scale, std::int32_t size_percent, int control_width,
                           int control_height, bool vertical);

}  // namespace widgets
