#include "widgets/shape_paint.h"

#include <algorithm>

#include "framework/gdi.h"
#include "framework/handle.h"

namespace widgets {

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

// Colour to monochrome: the pixels of `set` become 1, all others 0.
void BitsWhere(const fw::MonoBitmap& bits, HDC source, int w, int h, COLORREF set) {
  const COLORREF old = ::SetBkColor(source, set);
  ::BitBlt(bits.Dc(), 0, 0, w, h, source, 0, 0, SRCCOPY);
  ::SetBkColor(source, old);
}

// Monochrome to colour inside a raster operation: 1 bits take `one`, 0 bits `zero`.
void BlitBits(HDC dest, int x, int y, int w, int h, const fw::MonoBitmap& bits, COLORREF one,
              COLORREF zero, DWORD rop) {
  const COLORREF old_bk = ::SetBkColor(dest, one);
  const COLORREF old_text = ::SetTextColor(dest, zero);
  ::BitBlt(dest, x, y, w, h, bits.Dc(), 0, 0, rop);
  ::SetBkColor(dest, old_bk);
  ::SetTextColor(dest, old_text);
}

}  // namespace

void DrawMaskedImage(HDC canvas, const RECT& rect, HDC mask, fw::TColor key, HDC image,
                     ShapeScratch* scratch) {
  const int w = rect.right - rect.left;
  const int h = rect.bottom - rect.top;
  if (w <= 0 || h <= 0) {
    return;
  }
  ShapeScratch own;
  ShapeScratch& s = scratch != nullptr ? *scratch : own;
  fw::MonoBitmap& bits = s.transparent.mask;  // free until the keyed copy rebuilds it
  if (!bits.Resize(w, h) || !s.image.Resize(w, h)) {
    return;
  }
  // The working copy keeps the image where the mask is white and takes the key elsewhere: first
  // AND with white-or-black, then OR with black-or-key.
  const COLORREF key_rgb = fw::ColorToRGB(key);
  BitsWhere(bits, mask, w, h, kWhite);
  ::BitBlt(s.image.Dc(), 0, 0, w, h, image, 0, 0, SRCCOPY);
  BlitBits(s.image.Dc(), 0, 0, w, h, bits, kWhite, kBlack, SRCAND);
  BlitBits(s.image.Dc(), 0, 0, w, h, bits, kBlack, key_rgb, SRCPAINT);
  fw::DrawTransparent(canvas, rect.left, rect.top, w, h, s.image.Dc(), 0, 0, key_rgb,
                      &s.transparent);
}

namespace {

// Draws one half of the point list (first: the shadow's, second: the face's) as the shape, every
// point shifted by (dx, dy) the way the list's 16-bit halves wrap.
void DrawShapeHalf(HDC dc, TShapeType type, const TPointList& list, bool face, int dx, int dy) {
  const std::size_t half = ShapeHalfCount(type, list.Count());
  if (half == 0 || list.Count() < 2 * half) {
    return;
  }
  const std::size_t first = face ? half : 0;
  const ShapePoint a = list.Shifted(first, dx, dy);
  const ShapePoint b = list.Shifted(first + 1, dx, dy);
  switch (type) {
    case stRoundRect: {
      const ShapePoint c = list.Shifted(first + 2, dx, dy);
      ::RoundRect(dc, a.x, a.y, b.x, b.y, c.x, c.y);
      break;
    }
    case stEllipse:
      ::Ellipse(dc, a.x, a.y, b.x, b.y);
      break;
    case stRectangle:
      ::Rectangle(dc, a.x, a.y, b.x, b.y);
      break;
    default: {
      POINT points[kMaxVertices];
      const std::size_t n = std::min(half, kMaxVertices);
      for (std::size_t i = 0; i < n; ++i) {
        const ShapePoint p = list.Shifted(first + i, dx, dy);
        points[i] = POINT{p.x, p.y};
      }
      ::Polygon(dc, points, static_cast<int>(n));
      break;
    }
  }
}

fw::PenHandle MakePen(int width, COLORREF color) {
  return fw::PenHandle(::CreatePen(width > 0 ? PS_SOLID : PS_NULL, width, color));
}

void Line(HDC dc, int x1, int y1, int x2, int y2) {
  const POINT points[2] = {{x1, y1}, {x2, y2}};
  ::Polyline(dc, points, 2);
}

// The bevel of the face in two colours: light on the sides that face up and left, shadow on the
// others. The rounded rectangle follows its corner arcs up to their 45-degree points.
void DrawBevel(HDC dc, TShapeType type, const TPointList& list, int dx, int dy, int bw, int c,
               COLORREF first, COLORREF second) {
  const int q = bw / 2;
  const int r = (bw - 1) / 2;
  const ShapePoint p0 = list.Shifted(0, dx, dy);
  const ShapePoint p1 = list.Shifted(1, dx, dy);
  const int L = p0.x + q;
  const int T = p0.y + q;
  const int R = p1.x - r;
  const int B = p1.y - r;
  const int c2 = c / 2;
  fw::PenHandle light = MakePen(bw, first);
  fw::PenHandle dark = MakePen(bw, second);
  if (!light || !dark) {
    return;
  }
  switch (type) {
    case stRoundRect: {
      {
        fw::SelectGuard pen(dc, light.get());
        ::Arc(dc, L, T, L + c, T + c, L + c2, T, L, T + c2);
        ::Arc(dc, R - c, T, R, T + c, R, T, R - c2, T);
        ::Arc(dc, L, B - c, L + c, B, L, B - c2, L, B);
        Line(dc, L, T + c2, L, B - c2);
        Line(dc, L + c2, T, R - c2, T);
      }
      fw::SelectGuard pen(dc, dark.get());
      ::Arc(dc, R - c, T, R, T + c, R, T + c2, R, T);
      ::Arc(dc, R - c, B - c, R, B, R - c2, B, R, B - c2);
      ::Arc(dc, L, B - c, L + c, B, L, B, L + c2, B);
      Line(dc, R - 1, T + c2, R - 1, B - c2);
      Line(dc, L + c2, B - 1, R - c2, B - 1);
      break;
    }
    case stRectangle: {
      {
        fw::SelectGuard pen(dc, light.get());
        Line(dc, L, B - 1, L, T);
        Line(dc, L, T, R, T);
      }
      fw::SelectGuard pen(dc, dark.get());
      Line(dc, R - 1, T, R - 1, B);
      Line(dc, R - 1, B - 1, L, B - 1);
      break;
    }
    case stEllipse: {
      {
        // Counter-clockwise from the top-right ray to the bottom-left one: the upper-left half.
        fw::SelectGuard pen(dc, light.get());
        ::Arc(dc, L, T, R, B, R, T, L, B);
      }
      fw::SelectGuard pen(dc, dark.get());
      ::Arc(dc, L, T, R, B, L, B, R, T);
      break;
    }
    default: {
      const std::size_t half = ShapeHalfCount(type, list.Count());
      const std::size_t n = std::min(half, kMaxVertices);
      ShapePoint points[kMaxVertices];
      for (std::size_t i = 0; i < n; ++i) {
        points[i] = list.Shifted(half + i, dx, dy);
      }
      // The sign of the area tells which side of each edge is outside.
      long long area = 0;
      for (std::size_t i = 0; i < n; ++i) {
        const ShapePoint& a = points[i];
        const ShapePoint& b = points[(i + 1) % n];
        area += static_cast<long long>(a.x) * b.y - static_cast<long long>(b.x) * a.y;
      }
      for (std::size_t i = 0; i < n; ++i) {
        const ShapePoint& a = points[i];
        const ShapePoint& b = points[(i + 1) % n];
        int nx = b.y - a.y;
        int ny = a.x - b.x;
        if (area < 0) {
          nx = -nx;
          ny = -ny;
        }
        fw::SelectGuard pen(dc, nx + ny < 0 ? light.get() : dark.get());
        Line(dc, a.x, a.y, b.x, b.y);
      }
      break;
    }
  }
}

}  // namespace

void DrawShape(HDC canvas, const RECT& rect, TShapeType shape_type, fw::TColor key_colour,
               HDC image, const TShadow* shadow, const TSimpleBevel* bevel, int round_percent,
               HBRUSH brush, fw::TColor outline_colour, const TPointList& list,
               ShapeScratch* scratch) {
  const int w = rect.right - rect.left;
  const int h = rect.bottom - rect.top;
  if (w <= 0 || h <= 0 || list.Count() == 0) {
    return;
  }
  const int d = EffectiveShadowDepth(shadow);
  const int bw = bevel != nullptr ? bevel->Width() : 0;
  const int c = ShapeCornerSize(w, h, d, round_percent);
  const COLORREF outline = fw::ColorToRGB(
      bevel != nullptr && bevel->Style() == sbNormal ? bevel->Color() : outline_colour);
  fw::SavedDcState saved(canvas);
  ::SetROP2(canvas, R2_COPYPEN);

  if (d > 0) {
    fw::BrushHandle shadow_brush;
    if (shadow->Style() == hssTracing) {
      // Every other pixel in the shadow colour, masked onto what lies beneath.
      static const WORD kChecker[8] = {0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA};
      fw::BitmapHandle pattern(::CreateBitmap(8, 8, 1, 1, kChecker));
      shadow_brush.reset(pattern ? ::CreatePatternBrush(pattern.get()) : nullptr);
      ::SetTextColor(canvas, fw::ColorToRGB(shadow->Color()));
      ::SetBkColor(canvas, RGB(255, 255, 255));
      ::SetROP2(canvas, R2_MASKPEN);
    } else {
      shadow_brush.reset(::CreateSolidBrush(fw::ColorToRGB(shadow->Color())));
    }
    fw::SelectGuard pen(canvas, ::GetStockObject(NULL_PEN));
    fw::SelectGuard fill(canvas, shadow_brush.get());
    DrawShapeHalf(canvas, shape_type, list, false, rect.left, rect.top);
    ::SetROP2(canvas, R2_COPYPEN);
  }
  const int dx = rect.left - d;
  const int dy = rect.top - d;

  if (image != nullptr) {
    ShapeScratch own;
    ShapeScratch& s = scratch != nullptr ? *scratch : own;
    if (s.mask.Resize(w, h)) {
      const HDC mask = s.mask.Dc();
      fw::FillSolidRect(mask, RECT{0, 0, w, h}, key_colour);
      {
        fw::PenHandle white_pen = MakePen(bw, kWhite);
        fw::SelectGuard pen(mask, white_pen.get());
        fw::SelectGuard fill(mask, ::GetStockObject(WHITE_BRUSH));
        // The mask is (0, 0)-based: the face without the rectangle's own offset.
        DrawShapeHalf(mask, shape_type, list, true, -d, -d);
      }
      DrawMaskedImage(canvas, RECT{0, 0, w, h}, mask, key_colour, image, &s);
    }
  }
  {
    fw::PenHandle outline_pen = MakePen(bw, outline);
    fw::SelectGuard pen(canvas, outline_pen.get());
    fw::SelectGuard fill(canvas, image != nullptr || brush == nullptr
                                     ? ::GetStockObject(NULL_BRUSH)
                                     : static_cast<HGDIOBJ>(brush));
    DrawShapeHalf(canvas, shape_type, list, true, dx, dy);
  }
  if (bw > 0 && bevel->Style() != sbNormal) {
    const bool offset = bevel->Style() == sbOffset;
    const COLORREF light = fw::ColorToRGB(bevel->LightColor());
    const COLORREF dark = fw::ColorToRGB(bevel->ShadowColor());
    DrawBevel(canvas, shape_type, list, dx, dy, bw, c, offset ? light : dark,
              offset ? dark : light);
  }
}

}  // namespace widgets
