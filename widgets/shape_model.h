// The shape button's appearance model and the arithmetic of its face: the shape, bevel, shadow
// and face colours as change-notifying objects, the point list of the drawn shape, the caption
// rectangle and the caption layout. Pure: no windows.h, so every rule is unit tested natively.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "framework/color.h"
#include "framework/pixel_rect.h"
#include "widgets/change_notifier.h"
#include "widgets/label_text.h"

namespace widgets {

enum TButtonState : std::uint8_t {
  bsUp,
  bsDisabledUp,
  bsMouseOver,
  bsOptionSet,
  bsDown,
  bsDragOver,
  bsDropDownOpen,
  bsDisabledDown,
  bsDefaultEd
};

enum TShapeType : std::uint8_t {
  stEllipse,
  stRectangle,
  stRoundRect,
  stDirectUp,
  stDirectRight,
  stDirectDown,
  stDirectLeft,
  stDiamond,
  stComb,
  stOctagon,
  stStar
};

enum TShapeButtonMode : std::uint8_t { sbmShapeFast, sbmShapeFill };
enum TShapeButtonStyle : std::uint8_t { sbsShadow, sbs3D };
enum TSimpleBevelStyle : std::uint8_t { sbNormal, sbInset, sbOffset };
enum TShadowStyle : std::uint8_t { hssNone, hssSolid, hssTracing };
enum TBrushStyle : std::uint8_t { bsSolid, bsClear };

// bsOptionSet, bsDown, bsDropDownOpen and bsDisabledDown: the face is drawn pushed in.
constexpr bool IsPressedState(TButtonState state) {
  return state == bsOptionSet || state == bsDown || state == bsDropDownOpen ||
         state == bsDisabledDown;
}

class TSimpleBevel : public TChangeNotifier {
 public:
  int Width() const { return FWidth; }
  void SetWidth(int width);  // 0..50
  TSimpleBevelStyle Style() const { return FStyle; }
  void SetStyle(TSimpleBevelStyle style) { Store(FStyle, style); }
  // The plain outline colour (style sbNormal).
  fw::TColor Color() const { return FColor; }
  void SetColor(fw::TColor color) { Store(FColor, color); }
  fw::TColor LightColor() const { return FLightColor; }
  void SetLightColor(fw::TColor color) { Store(FLightColor, color); }
  fw::TColor ShadowColor() const { return FShadowColor; }
  void SetShadowColor(fw::TColor color) { Store(FShadowColor, color); }

  // Copies every value, with one notification when anything differed.
  void Assign(const TSimpleBevel& other);

 private:
  std::uint8_t FWidth = 2;
  TSimpleBevelStyle FStyle = sbNormal;
  fw::TColor FColor = fw::clBlack;
  fw::TColor FLightColor = fw::clBtnHighlight;
  fw::TColor FShadowColor = fw::clBtnShadow;
};

class TShadow : public TChangeNotifier {
 public:
  fw::TColor Color() const { return FColor; }
  void SetColor(fw::TColor color) { Store(FColor, color); }
  int Depth() const { return FDepth; }
  void SetDepth(int depth);  // 0..40
  TShadowStyle Style() const { return FStyle; }
  void SetStyle(TShadowStyle style) { Store(FStyle, style); }

  void Assign(const TShadow& other);

 private:
  fw::TColor FColor = fw::clBtnShadow;
  std::uint8_t FDepth = 6;
  TShadowStyle FStyle = hssSolid;
};

// The fill brush of the face in the brush fill style.
class TShapeBrush : public TChangeNotifier {
 public:
  fw::TColor Color() const { return FColor; }
  void SetColor(fw::TColor color) { Store(FColor, color); }
  TBrushStyle Style() const { return FStyle; }
  void SetStyle(TBrushStyle style) { Store(FStyle, style); }

 private:
  fw::TColor FColor = fw::clWhite;
  TBrushStyle FStyle = bsSolid;
};

// The shape of the face; the changes of its bevel, brush and shadow are its own.
class TShape : public TChangeNotifier {
 public:
  TShape();

  TSimpleBevel& Bevel() { return FBevel; }
  const TSimpleBevel& Bevel() const { return FBevel; }
  TShapeBrush& Brush() { return FBrush; }
  const TShapeBrush& Brush() const { return FBrush; }
  TShadow& Shadow() { return FShadow; }
  const TShadow& Shadow() const { return FShadow; }
  // Corner size in per cent of the shorter side, 0..100.
  int RoundPercent() const { return FRoundPercent; }
  void SetRoundPercent(int percent);
  TShapeType Shape() const { return FShape; }
  void SetShape(TShapeType shape) { Store(FShape, shape); }
  // Fit the shape into the largest centred square.
  bool Square() const { return FSquare; }
  void SetSquare(bool on) { Store(FSquare, on); }

 private:
  TSimpleBevel FBevel;
  TShapeBrush FBrush;
  std::uint8_t FRoundPercent = 33;
  TShadow FShadow;
  TShapeType FShape = stRectangle;
  bool FSquare = false;
  std::array<TChangeSubscription, 3> FPartsWatched;
};

// The face colours of the fast mode, one per state.
class TShapeButtonColor : public TChangeNotifier {
 public:
  fw::TColor Disabled() const { return FDisabled; }
  void SetDisabled(fw::TColor color) { Store(FDisabled, color); }
  fw::TColor Down() const { return FDown; }
  void SetDown(fw::TColor color) { Store(FDown, color); }
  fw::TColor MouseOver() const { return FMouseOver; }
  void SetMouseOver(fw::TColor color) { Store(FMouseOver, color); }
  fw::TColor OptionSet() const { return FOptionSet; }
  void SetOptionSet(fw::TColor color) { Store(FOptionSet, color); }
  fw::TColor Up() const { return FUp; }
  void SetUp(fw::TColor color) { Store(FUp, color); }

  // Up for bsUp, Disabled for both disabled states, MouseOver, OptionSet also for an open
  // drop-down, Down; Up for the states the button never takes.
  fw::TColor ForState(TButtonState state) const;

 private:
  fw::TColor FDisabled = fw::clBtnFace;
  fw::TColor FDown = fw::clBtnFace;
  fw::TColor FMouseOver = fw::clBtnFace;
  fw::TColor FOptionSet = fw::clBtnFace;
  fw::TColor FUp = fw::clBtnFace;
};

struct ShapePoint {
  int x = 0;
  int y = 0;
  bool operator==(const ShapePoint&) const = default;
};

// Points held as two unsigned 16-bit halves (X low, Y high): coordinates wrap to 0..65535 and
// read back zero-extended, so a shift and the opposite shift always restore a point.
class TPointList {
 public:
  void Clear() { FItems.clear(); }
  void Add(int x, int y);
  std::size_t Count() const { return FItems.size(); }
  ShapePoint Point(std::size_t i) const;
  // Point i as it reads after every point was shifted by (dx, dy).
  ShapePoint Shifted(std::size_t i, int dx, int dy) const;
  void Offset(int dx, int dy);

 private:
  std::vector<std::uint32_t> FItems;
};

// The shadow depth in effect: the depth unless there is no shadow or its style is hssNone.
int EffectiveShadowDepth(const TShadow* shadow);

// The corner size of a rounded rectangle: min(w - d, h - d) * percent div 100.
int ShapeCornerSize(int width, int height, int shadow_depth, int round_percent);

// Fills list with the shape's points, relative to the rectangle's origin. The first half
// describes the shadow's shape and the second half the face, each to be shifted by (-d, -d)
// when drawn:
//   stRoundRect: box P0-P1 with corner size P2; the face P3-P4 with corner size P5.
//   stEllipse, stRectangle: box P0-P1; the face P2-P3 (left and top inset by half the bevel).
//   the polygon shapes: the vertices, then the same vertices again for the face.
void BuildShapePoints(const fw::PixelRect& rect, TShapeType type, const TShadow* shadow,
                      const TSimpleBevel* bevel, int round_percent, bool square, TPointList* list);

// The most vertices a polygon shape has (the star).
inline constexpr std::size_t kMaxVertices = 10;

// Number of points of the shadow's (and the face's) half of a shape's list.
std::size_t ShapeHalfCount(TShapeType type, std::size_t list_count);

// Where the caption goes: (bw + 1, bw + 1, W - 2 bw - sd - 1, H - 2 bw - sd - 1), shifted by the
// pressed offset in bsOptionSet, bsDown and bsDropDownOpen (2 for sbs3D, sd for sbsShadow).
fw::PixelRect CaptionRect(int width, int height, int bevel_width, int shadow_depth,
                          TShapeButtonStyle style, TButtonState state);

// How far the gradient moves right and down on a pressed face: 2 for sbs3D, the shadow's depth
// (whatever its style) for sbsShadow.
int PressedFaceOffset(TShapeButtonStyle style, int shadow_depth);

// Where the text sits relative to the glyph.
enum TTextArrange : std::uint8_t { taLeft, taRight, taTop, taBottom };

// The caption layout of DrawCaption: glyph and text (text_width and text_height already hold the
// 2-pixel margin) placed as one block by alignment in `area`, the text one pixel right and down,
// both moved by the offsets. A glyph of width 0 takes no room and no spacing.
struct CaptionLayout {
  fw::PixelRect glyph;
  fw::PixelRect text;
  int width = 0;  // the block: glyph, spacing and text
  int height = 0;
};
CaptionLayout LayoutCaption(const fw::PixelRect& area, int glyph_width, int glyph_height,
                            int text_width, int text_height, int spacing, TTextArrange arrange,
                            TAlignment alignment, int offset_x, int offset_y);

}  // namespace widgets
