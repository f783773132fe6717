// The fill plan of the gradient background: which shapes, in which colours, cover a W x H face.
// Pure arithmetic, so the exact rectangles and grey levels are testable without a device context.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/color.h"
#include "framework/pixel_rect.h"

namespace widgets {

enum TGradientBackgroundStyle : std::uint8_t {
  grFilled,
  grEllipse,
  grHorizontal,
  grVertical,
  grPyramid,
  grMount
};

// Colours here are plain RGB values, 0x00BBGGRR (fw::MakeRGB and its channel readers).

// Nearest integer with ties to even (0.5 -> 0, 1.5 -> 2, 72.5 -> 72).
int RoundHalfEven(double value);

enum class GradientShape : std::uint8_t { kRectangle, kEllipse, kRoundRect };

struct GradientFill {
  GradientShape shape = GradientShape::kRectangle;
  fw::PixelRect rect;
  std::uint32_t color = 0;
  // Size of the corner ellipse, for kRoundRect only.
  int corner_width = 0;
  int corner_height = 0;
};

// The face is first filled with `background`, then every fill is drawn in order, outermost first.
// Fills with an empty rectangle are kept (they belong to the sequence) but paint nothing.
struct GradientPlan {
  std::uint32_t background = 0;
  std::vector<GradientFill> fills;
};

// The step count the nested styles use: cut to half of each side, at least 1.
int BoundNestedSteps(int width, int height, std::uint16_t steps);

// A face with no width or no height gets an empty plan (no background either).
GradientPlan PlanGradient(TGradientBackgroundStyle style, int width, int height,
                          std::uint16_t steps, std::uint32_t start_rgb, std::uint32_t end_rgb);

}  // namespace widgets
