#include "widgets/shape_model.h"

#include <algorithm>
#include <initializer_list>

#include "widgets/gradient_geometry.h"

namespace widgets {

// --- value objects ---

void TSimpleBevel::SetWidth(int width) {
  Store(FWidth, static_cast<std::uint8_t>(std::clamp(width, 0, 50)));
}

void TSimpleBevel::Assign(const TSimpleBevel& other) {
  if (&other == this) {
    return;
  }
  BeginUpdate();
  Store(FWidth, other.FWidth);
  Store(FStyle, other.FStyle);
  Store(FColor, other.FColor);
  Store(FLightColor, other.FLightColor);
  Store(FShadowColor, other.FShadowColor);
  EndUpdate();
}

void TShadow::SetDepth(int depth) {
  Store(FDepth, static_cast<std::uint8_t>(std::clamp(depth, 0, 40)));
}

void TShadow::Assign(const TShadow& other) {
  if (&other == this) {
    return;
  }
  BeginUpdate();
  Store(FColor, other.FColor);
  Store(FDepth, other.FDepth);
  Store(FStyle, other.FStyle);
  EndUpdate();
}

TShape::TShape() {
  const auto forward = [this](TChangeNotifier&) { Change(); };
  FPartsWatched = {FBevel.OnChange.Subscribe(forward), FBrush.OnChange.Subscribe(forward),
                   FShadow.OnChange.Subscribe(forward)};
}

void TShape::SetRoundPercent(int percent) {
  Store(FRoundPercent, static_cast<std::uint8_t>(std::clamp(percent, 0, 100)));
}

fw::TColor TShapeButtonColor::ForState(TButtonState state) const {
  switch (state) {
    case bsDisabledUp:
    case bsDisabledDown:
      return FDisabled;
    case bsMouseOver:
      return FMouseOver;
    case bsOptionSet:
    case bsDropDownOpen:
      return FOptionSet;
    case bsDown:
      return FDown;
    default:
      return FUp;
  }
}

// --- point list ---

void TPointList::Add(int x, int y) {
  FItems.push_back((static_cast<std::uint32_t>(x) & 0xFFFFu) |
                   ((static_cast<std::uint32_t>(y) & 0xFFFFu) << 16));
}

ShapePoint TPointList::Point(std::size_t i) const {
  const std::uint32_t v = FItems[i];
  return ShapePoint{static_cast<int>(v & 0xFFFFu), static_cast<int>(v >> 16)};
}

ShapePoint TPointList::Shifted(std::size_t i, int dx, int dy) const {
  const ShapePoint p = Point(i);
  return ShapePoint{static_cast<int>(static_cast<std::uint32_t>(p.x + dx) & 0xFFFFu),
                    static_cast<int>(static_cast<std::uint32_t>(p.y + dy) & 0xFFFFu)};
}

void TPointList::Offset(int dx, int dy) {
  for (std::size_t i = 0; i < FItems.size(); ++i) {
    const ShapePoint p = Shifted(i, dx, dy);
    FItems[i] = static_cast<std::uint32_t>(p.x) | (static_cast<std::uint32_t>(p.y) << 16);
  }
}

// --- shape points ---

int EffectiveShadowDepth(const TShadow* shadow) {
  return shadow != nullptr && shadow->Style() != hssNone ? shadow->Depth() : 0;
}

int ShapeCornerSize(int width, int height, int shadow_depth, int round_percent) {
  return std::min(width - shadow_depth, height - shadow_depth) * round_percent / 100;
}

namespace {

// Appends the vertices of a polygon shape inside the box s. Proportions are this program's own:
// the arrows have a head of half the length and a shaft of half the breadth, the comb is a hexagon
// with quarter-width slopes, the octagon cuts 29 % (about 1 - 1/sqrt 2) off each side's corners,
// and the star has five points with an inner radius of 38 % of the outer one.
void AddPolygonVertices(TShapeType type, const fw::PixelRect& s, TPointList* list) {
  const int l = s.left;
  const int t = s.top;
  const int r = s.right;
  const int b = s.bottom;
  const int w = s.Width();
  const int h = s.Height();
  const int cx = l + w / 2;
  const int cy = t + h / 2;
  const int qw = w / 4;
  const int qh = h / 4;
  const auto add = [list](std::initializer_list<ShapePoint> points) {
    for (const ShapePoint& p : points) {
      list->Add(p.x, p.y);
    }
  };
  switch (type) {
    case stDirectUp:
      add({{cx, t}, {r, cy}, {r - qw, cy}, {r - qw, b}, {l + qw, b}, {l + qw, cy}, {l, cy}});
      break;
    case stDirectDown:
      add({{cx, b}, {l, cy}, {l + qw, cy}, {l + qw, t}, {r - qw, t}, {r - qw, cy}, {r, cy}});
      break;
    case stDirectRight:
      add({{r, cy}, {cx, b}, {cx, b - qh}, {l, b - qh}, {l, t + qh}, {cx, t + qh}, {cx, t}});
      break;
    case stDirectLeft:
      add({{l, cy}, {cx, t}, {cx, t + qh}, {r, t + qh}, {r, b - qh}, {cx, b - qh}, {cx, b}});
      break;
    case stDiamond:
      add({{cx, t}, {r, cy}, {cx, b}, {l, cy}});
      break;
    case stComb:
      add({{l + qw, t}, {r - qw, t}, {r, cy}, {r - qw, b}, {l + qw, b}, {l, cy}});
      break;
    case stOctagon: {
      const int dx = w * 29 / 100;
      const int dy = h * 29 / 100;
      add({{l + dx, t},
           {r - dx, t},
           {r, t + dy},
           {r, b - dy},
           {r - dx, b},
           {l + dx, b},
           {l, b - dy},
           {l, t + dy}});
      break;
    }
    case stStar: {
      // Cosine and sine of -90 + 36 i degrees: the points and the notches, clockwise from the top.
      static constexpr double kCos[10] = {
          0.0, 0.5877852522924731,  0.9510565162951535,  0.9510565162951535,  0.5877852522924731,
          0.0, -0.5877852522924731, -0.9510565162951535, -0.9510565162951535, -0.5877852522924731};
      static constexpr double kSin[10] = {
          -1.0, -0.8090169943749474, -0.3090169943749474, 0.3090169943749474,  0.8090169943749474,
          1.0,  0.8090169943749474,  0.3090169943749474,  -0.3090169943749474, -0.8090169943749474};
      const double rx = w / 2.0;
      const double ry = h / 2.0;
      for (int i = 0; i < 10; ++i) {
        const double k = i % 2 == 0 ? 1.0 : 0.38;
        list->Add(l + RoundHalfEven(rx + k * rx * kCos[i]),
                  t + RoundHalfEven(ry + k * ry * kSin[i]));
      }
      break;
    }
    default:
      break;
  }
}

}  // namespace

void BuildShapePoints(const fw::PixelRect& rect, TShapeType type, const TShadow* shadow,
                      const TSimpleBevel* bevel, int round_percent, bool square, TPointList* list) {
  if (list == nullptr) {
    return;
  }
  list->Clear();
  const int d = EffectiveShadowDepth(shadow);
  const int bw = bevel != nullptr ? bevel->Width() : 1;
  const int q = bw / 2;
  const int w = rect.Width();
  const int h = rect.Height();
  fw::PixelRect s{d, d, w, h};
  if (square) {
    const int dx = w > h ? (w - h) / 2 : 0;
    const int dy = w > h ? 0 : (h - w) / 2;
    s = fw::PixelRect{dx + d, dy + d, w - dx, h - dy};
  }
  const int c = ShapeCornerSize(w, h, d, round_percent);
  switch (type) {
    case stRoundRect:
      list->Add(s.left, s.top);
      list->Add(s.right, s.bottom);
      list->Add(c, c);
      list->Add(s.left + q, s.top + q);
      list->Add(s.right, s.bottom);
      list->Add(c + d, c + d);
      break;
    case stEllipse:
    case stRectangle:
      list->Add(s.left, s.top);
      list->Add(s.right, s.bottom);
      list->Add(s.left + q, s.top + q);
      list->Add(s.right, s.bottom);
      break;
    default:
      // The shadow's polygon, then the face's: the same vertices.
      AddPolygonVertices(type, s, list);
      AddPolygonVertices(type, s, list);
      break;
  }
}

std::size_t ShapeHalfCount(TShapeType type, std::size_t list_count) {
  switch (type) {
    case stRoundRect:
      return 3;
    case stEllipse:
    case stRectangle:
      return 2;
    default:
      return list_count / 2;
  }
}

// --- caption ---

int PressedFaceOffset(TShapeButtonStyle style, int shadow_depth) {
  return style == sbs3D ? 2 : shadow_depth;
}

fw::PixelRect CaptionRect(int width, int height, int bevel_width, int shadow_depth,
                          TShapeButtonStyle style, TButtonState state) {
  fw::PixelRect r{bevel_width + 1, bevel_width + 1, width - 2 * bevel_width - shadow_depth - 1,
                  height - 2 * bevel_width - shadow_depth - 1};
  if (state == bsOptionSet || state == bsDown || state == bsDropDownOpen) {
    const int o = PressedFaceOffset(style, shadow_depth);
    r = fw::PixelRect{r.left + o, r.top + o, r.right + o, r.bottom + o};
  }
  return r;
}

CaptionLayout LayoutCaption(const fw::PixelRect& area, int glyph_width, int glyph_height,
                            int text_width, int text_height, int spacing, TTextArrange arrange,
                            TAlignment alignment, int offset_x, int offset_y) {
  const bool glyph = glyph_width > 0 && glyph_height > 0;
  const bool side_by_side = arrange == taLeft || arrange == taRight;
  const int gap = glyph ? spacing : 0;
  const int gw = glyph ? glyph_width : 0;
  const int gh = glyph ? glyph_height : 0;
  CaptionLayout out;
  out.width = side_by_side ? gw + gap + text_width : std::max(gw, text_width);
  out.height = side_by_side ? std::max(gh, text_height) : gh + gap + text_height;
  // Columns and rows of the nine alignments: 0, half or all of the free space.
  const int column = static_cast<int>(alignment) % 3;
  const int row = static_cast<int>(alignment) / 3;
  const int free_x = area.Width() - out.width;
  const int free_y = area.Height() - out.height;
  const int left = area.left + (column == 0 ? 0 : column == 1 ? free_x / 2 : free_x);
  const int top = area.top + (row == 0 ? 0 : row == 1 ? free_y / 2 : free_y);
  int gx = left;
  int gy = top;
  int tx = left;
  int ty = top;
  if (side_by_side) {
    gy = top + (out.height - gh) / 2;
    ty = top + (out.height - text_height) / 2;
    if (arrange == taRight) {
      tx = left + gw + gap;
    } else {
      gx = left + text_width + gap;
    }
  } else {
    gx = left + (out.width - gw) / 2;
    tx = left + (out.width - text_width) / 2;
    if (arrange == taBottom) {
      ty = top + gh + gap;
    } else {
      gy = top + text_height + gap;
    }
  }
  out.glyph =
      glyph ? fw::PixelRect{gx + offset_x, gy + offset_y, gx + gw + offset_x, gy + gh + offset_y}
            : fw::PixelRect{};
  out.text = fw::PixelRect{tx + 1 + offset_x, ty + 1 + offset_y, tx + 1 + text_width + offset_x,
                           ty + 1 + text_height + offset_y};
  return out;
}

}  // namespace widgets
