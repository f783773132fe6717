#include "widgets/gradient_paint.h"

#include "framework/gdi.h"
#include "framework/handle.h"

namespace widgets {

void BuildColorRamp(fw::TColor first_colour, fw::TColor last_colour, int count, bool start_new,
                    TColorList* list) {
  AppendColorRamp(fw::ColorToRGB(first_colour), fw::ColorToRGB(last_colour), count, start_new,
                  list);
}

void FillGradient(HDC canvas, const RECT& rect, TGradientStyle style, const TColorList& colours) {
  const std::vector<GradientBand> bands =
      PlanGradientBands(style, fw::ToPixelRect(rect), colours.size());
  if (bands.empty()) {
    return;
  }
  // The elliptic and diagonal bands reach past the rectangle so that they cover its corners; the
  // clip keeps them off whatever lies around it.
  fw::SavedDcState saved(canvas);
  ::IntersectClipRect(canvas, rect.left, rect.top, rect.right, rect.bottom);
  const fw::SelectGuard no_pen(canvas, ::GetStockObject(NULL_PEN));
  for (const GradientBand& band : bands) {
    fw::BrushHandle brush(::CreateSolidBrush(colours[band.color]));
    if (!brush) {
      continue;
    }
    const RECT box = fw::ToGdiRect(band.box);
    switch (band.shape) {
      case BandShape::kRectangle:
        ::FillRect(canvas, &box, brush.get());
        break;
      case BandShape::kEllipse: {
        fw::SelectGuard select(canvas, brush.get());
        ::Ellipse(canvas, box.left, box.top, box.right, box.bottom);
        break;
      }
      case BandShape::kTriangle: {
        fw::SelectGuard select(canvas, brush.get());
        const POINT points[3] = {{band.points[0].x, band.points[0].y},
                                 {band.points[1].x, band.points[1].y},
                                 {band.points[2].x, band.points[2].y}};
        ::Polygon(canvas, points, 3);
        break;
      }
    }
  }
}

}  // namespace widgets
