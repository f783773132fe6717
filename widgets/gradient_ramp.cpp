#include "widgets/gradient_ramp.h"

#include <algorithm>
#include <cstdint>

#include "framework/color.h"
#include "widgets/round_mul_div.h"

namespace widgets {

void AppendColorRamp(std::uint32_t first_rgb, std::uint32_t last_rgb, int count, bool start_new,
                     TColorList* list) {
  if (list == nullptr || count < 1) {
    return;
  }
  if (start_new) {
    list->clear();
  }
  const auto channel = [count](int from, int to, int i) {
    return count > 1 ? (from + RoundMulDiv(i, to - from, count - 1)) & 0xFF : from;
  };
  list->reserve(list->size() + static_cast<std::size_t>(count));
  for (int i = start_new ? 0 : 1; i < count; ++i) {
    list->push_back(fw::MakeRGB(channel(fw::GetR(first_rgb), fw::GetR(last_rgb), i),
                                channel(fw::GetG(first_rgb), fw::GetG(last_rgb), i),
                                channel(fw::GetB(first_rgb), fw::GetB(last_rgb), i)));
  }
}

int GradientColourCount(std::int64_t steps) {
  return static_cast<int>(std::clamp<std::int64_t>(steps, 0, kMaxGradientColours));
}

namespace {

GradientBand RectBand(int left, int top, int right, int bottom, std::size_t color) {
  GradientBand band;
  band.shape = BandShape::kRectangle;
  band.box = fw::PixelRect{left, top, right, bottom};
  band.color = color;
  return band;
}

GradientBand TriangleBand(BandPoint a, BandPoint b, BandPoint c, std::size_t color) {
  GradientBand band;
  band.shape = BandShape::kTriangle;
  band.points[0] = a;
  band.points[1] = b;
  band.points[2] = c;
  band.box = fw::PixelRect{std::min({a.x, b.x, c.x}), std::min({a.y, b.y, c.y}),
                           std::max({a.x, b.x, c.x}), std::max({a.y, b.y, c.y})};
  band.color = color;
  return band;
}

void AddUnlessEmpty(std::vector<GradientBand>* bands, const GradientBand& band) {
  if (!band.box.Empty()) {
    bands->push_back(band);
  }
}

}  // namespace

std::vector<GradientBand> PlanGradientBands(TGradientStyle style, const fw::PixelRect& rect,
                                            std::size_t count) {
  std::vector<GradientBand> bands;
  if (count == 0 || rect.Empty()) {
    return bands;
  }
  const int n = static_cast<int>(std::min(count, static_cast<std::size_t>(kMaxGradientColours)));
  const int w = rect.right - rect.left;
  const int h = rect.bottom - rect.top;
  const auto at = [n](int i, int length) { return RoundMulDiv(i, length, n); };
  // Band i's colour: i itself, or its share of a list longer than the bands.
  const auto colour = [n, count](int i) {
    if (count == static_cast<std::size_t>(n)) {
      return static_cast<std::size_t>(i);
    }
    const auto bands_last = static_cast<std::uint64_t>(n - 1);
    return static_cast<std::size_t>((static_cast<std::uint64_t>(i) * (count - 1) + bands_last / 2) /
                                    bands_last);
  };
  switch (style) {
    case gstHorizontal:
      for (int i = 0; i < n; ++i) {
        AddUnlessEmpty(&bands, RectBand(rect.left + at(i, w), rect.top, rect.left + at(i + 1, w),
                                        rect.bottom, colour(i)));
      }
      break;
    case gstVertical:
      for (int i = 0; i < n; ++i) {
        AddUnlessEmpty(&bands, RectBand(rect.left, rect.top + at(i, h), rect.right,
                                        rect.top + at(i + 1, h), colour(n - 1 - i)));
      }
      break;
    case gstElliptic: {
      const int cx = rect.left + w / 2;
      const int cy = rect.top + h / 2;
      for (int i = n - 1; i >= 0; --i) {
        const int rx = RoundHalfEven(at(i + 1, w) / 1.4);
        const int ry = RoundHalfEven(at(i + 1, h) / 1.4);
        GradientBand band = RectBand(cx - rx, cy - ry, cx + rx, cy + ry, colour(i));
        band.shape = BandShape::kEllipse;
        AddUnlessEmpty(&bands, band);
      }
      break;
    }
    case gstSquare:
      for (int i = n - 1; i >= 0; --i) {
        // Inset by half of what the bands outside this one take.
        const int dx = RoundMulDiv(n - 1 - i, w, 2 * n);
        const int dy = RoundMulDiv(n - 1 - i, h, 2 * n);
        AddUnlessEmpty(&bands, RectBand(rect.left + dx, rect.top + dy, rect.right - dx,
                                        rect.bottom - dy, colour(i)));
      }
      break;
    case gstTopLeft:
    case gstTopRight:
    case gstBottomLeft:
    case gstBottomRight: {
      const bool right = style == gstTopRight || style == gstBottomRight;
      const bool bottom = style == gstBottomLeft || style == gstBottomRight;
      for (int i = n - 1; i >= 0; --i) {
        const int bw = at(i + 1, w);
        const int bh = at(i + 1, h);
        const int left = right ? rect.right - bw : rect.left;
        const int top = bottom ? rect.bottom - bh : rect.top;
        AddUnlessEmpty(&bands, RectBand(left, top, left + bw, top + bh, colour(i)));
      }
      break;
    }
    case gstTopLeftDiagonal:
    case gstTopRightDiagonal: {
      const bool right = style == gstTopRightDiagonal;
      const int corner_x = right ? rect.right : rect.left;
      const int sign = right ? -1 : 1;
      for (int i = n - 1; i >= 0; --i) {
        // Twice the side, so the last band's edge runs through the opposite corner.
        const int reach_x = at(i + 1, 2 * w);
        const int reach_y = at(i + 1, 2 * h);
        AddUnlessEmpty(&bands, TriangleBand(BandPoint{corner_x, rect.top},
                                            BandPoint{corner_x + sign * reach_x, rect.top},
                                            BandPoint{corner_x, rect.top + reach_y}, colour(i)));
      }
      break;
    }
  }
  return bands;
}

}  // namespace widgets
