// The order in which a person reads the controls of a window, and the keyboard's walk through the
// focusable ones. Pure, so the rules are unit tested natively.
#pragma once

#include <cstddef>
#include <vector>

#include "framework/pixel_rect.h"

namespace fw {

// Indices of boxes in reading order: rows from top to bottom, each row left to right. A row starts
// with the highest box left and takes every box whose vertical centre lies within that box's span,
// so a label a few pixels lower than its neighbour still reads on the same line. Ties keep the
// given order.
inline std::vector<std::size_t> ReadingOrder(const std::vector<PixelRect>& boxes) {
  // A window has a handful of controls: a stable insertion sort is plenty and keeps the program
  // small.
  const auto sort_by = [&boxes](std::vector<std::size_t>& list, int PixelRect::*key) {
    for (std::size_t i = 1; i < list.size(); ++i) {
      const std::size_t moving = list[i];
      std::size_t j = i;
      for (; j > 0 && boxes[list[j - 1]].*key > boxes[moving].*key; --j) {
        list[j] = list[j - 1];
      }
      list[j] = moving;
    }
  };
  std::vector<std::size_t> rest(boxes.size());
  for (std::size_t i = 0; i < rest.size(); ++i) {
    rest[i] = i;
  }
  sort_by(rest, &PixelRect::top);
  std::vector<std::size_t> order;
  order.reserve(boxes.size());
  while (!rest.empty()) {
    const PixelRect& first = boxes[rest.front()];
    std::vector<std::size_t> row;
    std::vector<std::size_t> later;
    for (const std::size_t i : rest) {
      // Doubled to stay in integers: centre * 2 = top + bottom.
      const int centre2 = boxes[i].top + boxes[i].bottom;
      const bool in_row =
          i == rest.front() || (centre2 >= 2 * first.top && centre2 < 2 * first.bottom);
      (in_row ? row : later).push_back(i);
    }
    sort_by(row, &PixelRect::left);
    order.insert(order.end(), row.begin(), row.end());
    rest = std::move(later);
  }
  return order;
}

// The position the focus moves to among count focusable controls when Tab (forward) or Shift+Tab
// is pressed; current is the focused one's position, or -1 when none of them has the focus (the
// first Tab then goes to the first, the first Shift+Tab to the last). The walk wraps around.
// -1 when there is nothing to focus.
inline int NextTabStop(int count, int current, bool forward) {
  if (count <= 0) {
    return -1;
  }
  if (current < 0 || current >= count) {
    return forward ? 0 : count - 1;
  }
  return forward ? (current + 1) % count : (current + count - 1) % count;
}

}  // namespace fw
