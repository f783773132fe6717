// The one rule that turns a length of the 96-DPI layout into pixels at another DPI. Pure: no
// windows.h.
#pragma once

#include <cstdint>

namespace fw {

// The DPI the layout, the fonts and the artwork are drawn for: 100 %.
inline constexpr int kDesignDpi = 96;

// value * dpi / 96 rounded to the nearest pixel, halves away from zero, as MulDiv rounds; at 96 DPI
// every value is itself. A DPI below 1 (unknown) counts as 96.
constexpr int ScaleForDpi(int value, int dpi) {
  if (dpi < 1) {
    dpi = kDesignDpi;
  }
  const std::int64_t product = static_cast<std::int64_t>(value) * dpi;
  const std::int64_t half = kDesignDpi / 2;
  return static_cast<int>(product >= 0 ? (product + half) / kDesignDpi
                                       : -((-product + half) / kDesignDpi));
}

}  // namespace fw
