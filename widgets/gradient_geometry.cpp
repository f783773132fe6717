#include "widgets/gradient_geometry.h"

#include <algorithm>
#include <cmath>

namespace widgets {

int RoundHalfEven(double value) {
  // nearbyint follows the current rounding mode, which nothing in this program changes from
  // round-to-nearest-even.
  return static_cast<int>(std::nearbyint(value));
}

namespace {

// Colour i of a ramp of S steps: each channel is start + i * (end - start) / S, the per-step delta
// held as a double and the product rounded once.
class ColorSteps {
 public:
  ColorSteps(std::uint32_t start, std::uint32_t end, int steps)
      : red_(fw::GetR(start)),
        green_(fw::GetG(start)),
        blue_(fw::GetB(start)),
        delta_red_(static_cast<double>(fw::GetR(end) - fw::GetR(start)) / steps),
        delta_green_(static_cast<double>(fw::GetG(end) - fw::GetG(start)) / steps),
        delta_blue_(static_cast<double>(fw::GetB(end) - fw::GetB(start)) / steps) {}

  std::uint32_t At(int i) const {
    return fw::MakeRGB(RoundHalfEven(red_ + i * delta_red_),
                       RoundHalfEven(green_ + i * delta_green_),
                       RoundHalfEven(blue_ + i * delta_blue_));
  }

 private:
  double red_;
  double green_;
  double blue_;
  double delta_red_;
  double delta_green_;
  double delta_blue_;
};

// S + 1 shapes, each inset by i * J horizontally and i * K vertically, outermost first.
void PlanNested(GradientShape shape, int width, int height, std::uint16_t steps,
                std::uint32_t start, std::uint32_t end, GradientPlan& plan) {
  const int s = BoundNestedSteps(width, height, steps);
  const ColorSteps colors(start, end, s);
  const double j = static_cast<double>(width) / s / 2;
  const double k = static_cast<double>(height) / s / 2;
  plan.fills.reserve(static_cast<std::size_t>(s) + 1);
  for (int i = 0; i <= s; ++i) {
    const int x = RoundHalfEven(i * j);
    const int y = RoundHalfEven(i * k);
    GradientFill fill;
    fill.shape = shape;
    fill.rect = {x, y, width - x, height - y};
    fill.color = colors.At(i);
    if (shape == GradientShape::kRoundRect) {
      // Corners of half the shape's size give each level a soft, mound-like outline.
      fill.corner_width = (fill.rect.right - fill.rect.left) / 2;
      fill.corner_height = (fill.rect.bottom - fill.rect.top) / 2;
    }
    plan.fills.push_back(fill);
  }
}

// S + 1 bands of equal share across `extent`, start colour first and end colour last. With S =
// extent some bands round to nothing, which keeps the colour sequence exact rather than the band
// count.
void PlanBands(bool across_width, int width, int height, std::uint16_t steps, std::uint32_t start,
               std::uint32_t end, GradientPlan& plan) {
  const int extent = across_width ? width : height;
  const int s = std::max(1, std::min(static_cast<int>(steps), extent));
  const ColorSteps colors(start, end, s);
  const double band = static_cast<double>(extent) / (s + 1);
  plan.fills.reserve(static_cast<std::size_t>(s) + 1);
  for (int i = 0; i <= s; ++i) {
    const int from = RoundHalfEven(i * band);
    const int to = i == s ? extent : RoundHalfEven((i + 1) * band);
    GradientFill fill;
    fill.rect =
        across_width ? fw::PixelRect{from, 0, to, height} : fw::PixelRect{0, from, width, to};
    fill.color = colors.At(i);
    plan.fills.push_back(fill);
  }
}

}  // namespace

int BoundNestedSteps(int width, int height, std::uint16_t steps) {
  int s = steps;
  if (width / 2 < s) {
    s = width / 2;
  }
  if (height / 2 < s) {
    s = height / 2;
  }
  return std::max(s, 1);
}

GradientPlan PlanGradient(TGradientBackgroundStyle style, int width, int height,
                          std::uint16_t steps, std::uint32_t start_rgb, std::uint32_t end_rgb) {
  GradientPlan plan;
  if (width <= 0 || height <= 0) {
    return plan;
  }
  // Every style starts from a face in the start colour, so no pixel is left undefined (the
  // control is opaque) where an ellipse or rounded corner does not reach.
  plan.background = start_rgb;
  switch (style) {
    case grFilled:
      break;
    case grEllipse:
      PlanNested(GradientShape::kEllipse, width, height, steps, start_rgb, end_rgb, plan);
      break;
    case grHorizontal:
      PlanBands(true, width, height, steps, start_rgb, end_rgb, plan);
      break;
    case grVertical:
      PlanBands(false, width, height, steps, start_rgb, end_rgb, plan);
      break;
    case grPyramid:
      PlanNested(GradientShape::kRectangle, width, height, steps, start_rgb, end_rgb, plan);
      break;
    case grMount:
      PlanNested(GradientShape::kRoundRect, width, height, steps, start_rgb, end_rgb, plan);
      break;
  }
  return plan;
}

}  // namespace widgets
