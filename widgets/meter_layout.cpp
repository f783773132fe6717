#include "widgets/meter_layout.h"

#include <algorithm>

#include "widgets/round_mul_div.h"

namespace widgets {

namespace {

// Longer bars than this are cut anyway; the bound keeps left + length inside int.
constexpr std::int32_t kLengthBound = 1 << 29;

std::int32_t BoundLength(std::int32_t length) {
  return std::clamp(length, -kLengthBound, kLengthBound);
}

}  // namespace

std::int32_t BarLength(std::int32_t value, std::int32_t min, std::int32_t scale, int span) {
  return RoundMulDiv(static_cast<std::int64_t>(value) - min, span,
                     static_cast<std::int64_t>(scale) - min);
}

BarPlacement PlaceBar(const fw::PixelRect& work, std::int32_t length, bool vertical, bool infinite,
                      int unit) {
  length = BoundLength(length);
  BarPlacement bar;
  if (infinite) {
    const int span = std::max(1, vertical ? work.Height() : work.Width());
    const int lap = length > 0 ? length / span : 0;
    int rest = length > 0 ? length % span : 0;
    rest -= rest % std::max(1, unit);
    bar.reversed = lap % 2 == 1;
    if (bar.reversed) {
      bar.rect = vertical ? fw::PixelRect{work.left, work.top, work.right, work.top + rest}
                          : fw::PixelRect{work.right - rest, work.top, work.right, work.bottom};
      return bar;
    }
    length = rest;
  }
  bar.rect = vertical ? fw::PixelRect{work.left, work.bottom - length, work.right, work.bottom}
                      : fw::PixelRect{work.left, work.top, work.left + length, work.bottom};
  return bar;
}

fw::PixelRect LightHalf(const fw::PixelRect& r, bool vertical) {
  fw::PixelRect half = r;
  if (vertical) {
    half.left = r.left + r.Width() / 2;
  } else {
    half.bottom = r.top + r.Height() / 2;
  }
  return half;
}

fw::PixelRect DarkHalf(const fw::PixelRect& r, bool vertical) {
  fw::PixelRect half = r;
  if (vertical) {
    half.right = r.left + r.Width() / 2;
  } else {
    half.top = r.top + r.Height() / 2;
  }
  return half;
}

std::vector<fw::PixelRect> BarBlocks(const fw::PixelRect& r, bool vertical, int block_size,
                                     int gap) {
  block_size = std::max(1, block_size);
  gap = std::max(0, gap);
  std::vector<fw::PixelRect> blocks;
  if (vertical) {
    for (int y = r.bottom; y > r.top;) {
      const fw::PixelRect block{r.left, std::max(y - block_size, r.top), r.right, y};
      blocks.push_back(block);
      y = block.top - gap;
    }
  } else {
    for (int x = r.left; x < r.right;) {
      const fw::PixelRect block{x, r.top, std::min(x + block_size, r.right), r.bottom};
      blocks.push_back(block);
      x = block.right + gap;
    }
  }
  return blocks;
}

fw::PixelRect FullLineBox(int tw, int th, int span_w, int span_h, int top) {
  fw::PixelRect box;
  box.left = std::max(0, span_w / 2 - tw / 2);
  box.right = std::min(box.left + tw, box.left + span_w);
  box.top = std::max(0, span_h / 2 - th / 2);
  box.bottom = std::min(box.top + th, box.top + span_h);
  box.top += top;
  box.bottom += top;
  return box;
}

MarqueeState NextMarquee(MarqueeState state, std::int32_t low, std::int32_t high) {
  if (low >= high) {
    return MarqueeState{high, 1};
  }
  std::int64_t next = static_cast<std::int64_t>(state.position) + state.direction;
  if (next >= high) {
    return MarqueeState{high, -1};
  }
  if (next <= low) {
    return MarqueeState{low, 1};
  }
  return MarqueeState{static_cast<std::int32_t>(next), state.direction};
}

std::int32_t MarqueeLow(std::int32_t size_percent, std::int32_t scale) {
  return RoundMulDiv(size_percent, scale, 100);
}

fw::PixelRect MarqueeBlock(const fw::PixelRect& work, std::int32_t position, std::int32_t min,
                           std::int32_t scale, std::int32_t size_percent, int control_width,
                           int control_height, bool vertical) {
  const int span = std::max(1, vertical ? work.Height() : work.Width());
  const std::int32_t end = BoundLength(BarLength(position, min, scale, span));
  // The block's size is taken along the way it moves, as the bar's length is: an upright meter's
  // height. Only then does the lowest position (size per cent of Scale) bring it to the base.
  const int extent = vertical ? control_height : control_width;
  const std::int32_t size = BoundLength(RoundMulDiv(size_percent, extent, 100));
  if (vertical) {
    const int top = work.bottom - end;
    return fw::PixelRect{work.left, top, work.right, top + size};
  }
  const int right = work.left + end;
  return fw::PixelRect{right - size, work.top, right, work.bottom};
}

}  // namespace widgets
