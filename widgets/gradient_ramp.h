// The arithmetic of the gradient painter shared by the shape button and the two-tone meter: colour
// ramps, and which band of which colour covers which part of a rectangle for every gradient style
// (with the platform's rounding MulDiv, round_mul_div.h). Pure: no windows.h, so the exact bands
// are testable natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "widgets/gradient_geometry.h"

namespace widgets {

enum TGradientStyle : std::uint8_t {
  gstHorizontal,
  gstVertical,
  gstSquare,
  gstElliptic,
  gstTopLeft,
  gstTopRight,
  gstBottomLeft,
  gstBottomRight,
  gstTopLeftDiagonal,
  gstTopRightDiagonal
};

// Plain RGB colours 0x00BBGGRR, first colour first.
using TColorList = std::vector<std::uint32_t>;

// Appends count colours running from first_rgb to last_rgb, each channel
// (first + MulDiv(i, last - first, count - 1)) mod 256. start_new empties the list first and
// starts at i = 0; otherwise i starts at 1, since the list already ends in first_rgb. A single
// colour is first_rgb: the formula would divide by zero. Nothing when list is null or count < 1.
void AppendColorRamp(std::uint32_t first_rgb, std::uint32_t last_rgb, int count, bool start_new,
                     TColorList* list);

// The most colours a gradient is painted with. More could not show on any screen, and a ramp of
// an unchecked step count (up to 2^31 colours) would not fit in memory.
inline constexpr int kMaxGradientColours = 65536;

// The number of colours a gradient of `steps` steps is built with: steps, at most
// kMaxGradientColours; 0 (nothing drawn) for 0 or fewer.
int GradientColourCount(std::int64_t steps);

enum class BandShape : std::uint8_t { kRectangle, kEllipse, kTriangle };

struct BandPoint {
  int x = 0;
  int y = 0;
  bool operator==(const BandPoint&) const = default;
};

// One fill of the painter: a rectangle or the ellipse inscribed in `box` (right and bottom
// exclusive), or the triangle through `points`, in colour `color` of the list.
struct GradientBand {
  BandShape shape = BandShape::kRectangle;
  fw::PixelRect box;
  BandPoint points[3];
  std::size_t color = 0;
};

// The fills that paint `rect` with `count` colours, in drawing order (later ones cover earlier
// ones); the painter clips them to `rect`. Empty when count is 0 or rect is empty. Bands that
// round to nothing are left out. A longer list is painted in kMaxGradientColours bands, band i
// taking the colour at its share of the list, so the first and last colours stay at the ends.
//   gstHorizontal: vertical strips left to right, colour i from rect.left + MulDiv(i, w, n).
//   gstVertical: horizontal strips top to bottom, the last colour on top and the first at the
//     bottom, so a bar growing upwards shades from its base like a horizontal one.
//   gstElliptic: concentric ellipses, the first colour at the centre; radii MulDiv(k, w, n) / 1.4
//     (ties to even), which reaches past the corners.
//   gstSquare: concentric rectangles, the first colour at the centre.
//   gstTopLeft ... gstBottomRight: rectangles growing from that corner, the first colour in it.
//   gstTopLeftDiagonal, gstTopRightDiagonal: triangles growing from that corner with a 45-degree
//     (in the rectangle's proportions) edge, the first colour in the corner, the last one reaching
//     the opposite corner.
std::vector<GradientBand> PlanGradientBands(TGradientStyle style, const fw::PixelRect& rect,
                                            std::size_t count);

}  // namespace widgets
