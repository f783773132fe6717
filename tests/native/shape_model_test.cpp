#include "widgets/shape_model.h"

#include <gtest/gtest.h>

#include <vector>

namespace widgets {
namespace {

std::vector<ShapePoint> PointsOf(const TPointList& list) {
  std::vector<ShapePoint> points;
  for (std::size_t i = 0; i < list.Count(); ++i) {
    points.push_back(list.Point(i));
  }
  return points;
}

std::vector<ShapePoint> Twice(const std::vector<ShapePoint>& half) {
  std::vector<ShapePoint> all = half;
  all.insert(all.end(), half.begin(), half.end());
  return all;
}

TEST(BuildShapePoints, RoundRectOfTheSetupWindow) {
  TShadow shadow;
  shadow.SetStyle(hssNone);
  shadow.SetDepth(1);
  TSimpleBevel bevel;
  bevel.SetWidth(1);
  TPointList list;
  list.Add(5, 5);  // emptied first
  BuildShapePoints({0, 0, 94, 32}, stRoundRect, &shadow, &bevel, 33, false, &list);
  EXPECT_EQ(PointsOf(list),
            (std::vector<ShapePoint>{{0, 0}, {94, 32}, {10, 10}, {0, 0}, {94, 32}, {10, 10}}));
}

TEST(BuildShapePoints, EveryShape) {
  // A 40 x 20 box, 1-pixel bevel, no shadow: centre (20, 10), quarters 10 and 5.
  struct Case {
    TShapeType type;
    std::vector<ShapePoint> points;
  };
  const Case cases[] = {
      {stRectangle, {{0, 0}, {40, 20}, {0, 0}, {40, 20}}},
      {stEllipse, {{0, 0}, {40, 20}, {0, 0}, {40, 20}}},
      {stRoundRect, {{0, 0}, {40, 20}, {6, 6}, {0, 0}, {40, 20}, {6, 6}}},
      {stDiamond, Twice({{20, 0}, {40, 10}, {20, 20}, {0, 10}})},
      {stDirectUp, Twice({{20, 0}, {40, 10}, {30, 10}, {30, 20}, {10, 20}, {10, 10}, {0, 10}})},
      {stDirectRight, Twice({{40, 10}, {20, 20}, {20, 15}, {0, 15}, {0, 5}, {20, 5}, {20, 0}})},
      {stDirectDown, Twice({{20, 20}, {0, 10}, {10, 10}, {10, 0}, {30, 0}, {30, 10}, {40, 10}})},
      {stDirectLeft, Twice({{0, 10}, {20, 0}, {20, 5}, {40, 5}, {40, 15}, {20, 15}, {20, 20}})},
      {stComb, Twice({{10, 0}, {30, 0}, {40, 10}, {30, 20}, {10, 20}, {0, 10}})},
      {stOctagon,
       Twice({{11, 0}, {29, 0}, {40, 5}, {40, 15}, {29, 20}, {11, 20}, {0, 15}, {0, 5}})},
      {stStar, Twice({{20, 0},
                      {24, 7},
                      {39, 7},
                      {27, 11},
                      {32, 18},
                      {20, 14},
                      {8, 18},
                      {13, 11},
                      {1, 7},
                      {16, 7}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "shape " << static_cast<int>(c.type));
    TPointList list;
    BuildShapePoints({0, 0, 40, 20}, c.type, nullptr, nullptr, 33, false, &list);
    EXPECT_EQ(PointsOf(list), c.points);
    EXPECT_EQ(ShapeHalfCount(c.type, list.Count()) * 2, c.points.size());
  }
}

TEST(BuildShapePoints, ShadowBevelAndSquare) {
  TShadow solid;  // depth 6, hssSolid
  TShadow none;
  none.SetStyle(hssNone);
  TSimpleBevel wide;  // width 2: the face is inset by 1 at the left and top
  TSimpleBevel three;
  three.SetWidth(3);
  struct Case {
    const char* name;
    fw::PixelRect rect;
    TShapeType type;
    const TShadow* shadow;
    const TSimpleBevel* bevel;
    bool square;
    std::vector<ShapePoint> points;
  };
  const Case cases[] = {
      // c = min(88, 26) * 33 div 100 = 8; the face's corner size is shifted by d.
      {"shadow 6, bevel 2",
       {0, 0, 94, 32},
       stRoundRect,
       &solid,
       &wide,
       false,
       {{6, 6}, {94, 32}, {8, 8}, {7, 7}, {94, 32}, {14, 14}}},
      {"hssNone ignores the depth",
       {0, 0, 94, 32},
       stRoundRect,
       &none,
       &wide,
       false,
       {{0, 0}, {94, 32}, {10, 10}, {1, 1}, {94, 32}, {10, 10}}},
      {"square: the centred 32 x 32",
       {0, 0, 94, 32},
       stRoundRect,
       &none,
       nullptr,
       true,
       {{31, 0}, {63, 32}, {10, 10}, {31, 0}, {63, 32}, {10, 10}}},
      {"square, taller than wide",
       {0, 0, 20, 50},
       stEllipse,
       nullptr,
       &three,
       true,
       {{0, 15}, {20, 35}, {1, 16}, {20, 35}}},
      {"polygon inside the shadow's box",
       {0, 0, 46, 26},
       stDiamond,
       &solid,
       nullptr,
       false,
       Twice({{26, 6}, {46, 16}, {26, 26}, {6, 16}})},
  };
  for (const Case& c : cases) {
    TPointList list;
    BuildShapePoints(c.rect, c.type, c.shadow, c.bevel, 33, c.square, &list);
    EXPECT_EQ(PointsOf(list), c.points) << c.name;
  }
}

TEST(TPointList, HoldsSixteenBitHalves) {
  TPointList list;
  list.Add(65535, 0);
  list.Add(-1, 70000);  // wraps to 65535, 70000 - 65536
  EXPECT_EQ(list.Point(0), (ShapePoint{65535, 0}));
  EXPECT_EQ(list.Point(1), (ShapePoint{65535, 4464}));
  EXPECT_EQ(list.Shifted(0, 1, -1), (ShapePoint{0, 65535}));
  list.Offset(-7, 3);
  list.Offset(7, -3);
  EXPECT_EQ(list.Point(0), (ShapePoint{65535, 0}));
  EXPECT_EQ(list.Point(1), (ShapePoint{65535, 4464}));
}

TEST(CaptionRect, FollowsBevelShadowStyleAndState) {
  struct Case {
    int width, height, bevel, shadow;
    TShapeButtonStyle style;
    TButtonState state;
    fw::PixelRect expected;
  };
  const Case cases[] = {
      {94, 32, 1, 1, sbsShadow, bsUp, {2, 2, 90, 28}},
      {94, 32, 1, 1, sbsShadow, bsDown, {3, 3, 91, 29}},
      {94, 32, 1, 1, sbsShadow, bsOptionSet, {3, 3, 91, 29}},
      {94, 32, 1, 1, sbsShadow, bsDropDownOpen, {3, 3, 91, 29}},
      {94, 32, 1, 1, sbsShadow, bsDisabledDown, {2, 2, 90, 28}},
      {94, 32, 1, 1, sbsShadow, bsMouseOver, {2, 2, 90, 28}},
      {94, 32, 2, 6, sbs3D, bsDown, {5, 5, 85, 23}},
      {25, 25, 2, 6, sbsShadow, bsDown, {9, 9, 20, 20}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CaptionRect(c.width, c.height, c.bevel, c.shadow, c.style, c.state), c.expected)
        << c.width << "x" << c.height << " state " << static_cast<int>(c.state);
  }
  EXPECT_EQ(PressedFaceOffset(sbsShadow, 1), 1);
  EXPECT_EQ(PressedFaceOffset(sbs3D, 6), 2);
}

TEST(LayoutCaption, AlignmentsArrangementsAndOffsets) {
  // The caption rectangle of the setup window's buttons; the text measures 40 x 15 with margins.
  const fw::PixelRect area{2, 2, 90, 28};
  struct Case {
    const char* name;
    int gw, gh;
    TTextArrange arrange;
    TAlignment alignment;
    int ox, oy;
    fw::PixelRect glyph, text;
  };
  const Case cases[] = {
      {"centred, no glyph", 0, 0, taRight, agCenter, 0, 0, {}, {27, 8, 67, 23}},
      {"offsets move it", 0, 0, taRight, agCenter, 3, -1, {}, {30, 7, 70, 22}},
      {"top left", 0, 0, taRight, agTopLeft, 0, 0, {}, {3, 3, 43, 18}},
      {"bottom right", 0, 0, taRight, agBottomRight, 0, 0, {}, {51, 14, 91, 29}},
      {"text right of the glyph",
       16,
       16,
       taRight,
       agCenter,
       0,
       0,
       {16, 7, 32, 23},
       {37, 8, 77, 23}},
      {"text left of the glyph", 16, 16, taLeft, agCenter, 0, 0, {60, 7, 76, 23}, {17, 8, 57, 23}},
      {"text below the glyph",
       16,
       16,
       taBottom,
       agCenter,
       0,
       0,
       {38, -2, 54, 14},
       {27, 19, 67, 34}},
      {"text above the glyph", 16, 16, taTop, agCenter, 0, 0, {38, 17, 54, 33}, {27, -1, 67, 14}},
  };
  for (const Case& c : cases) {
    const CaptionLayout layout =
        LayoutCaption(area, c.gw, c.gh, 40, 15, 4, c.arrange, c.alignment, c.ox, c.oy);
    EXPECT_EQ(layout.glyph, c.glyph) << c.name;
    EXPECT_EQ(layout.text, c.text) << c.name;
  }
}

TEST(AppearanceObjects, DefaultsOfTheButton) {
  TShape shape;
  EXPECT_EQ(shape.Shape(), stRectangle);
  EXPECT_EQ(shape.RoundPercent(), 33);
  EXPECT_FALSE(shape.Square());
  EXPECT_EQ(shape.Bevel().Width(), 2);
  EXPECT_EQ(shape.Bevel().Style(), sbNormal);
  EXPECT_EQ(shape.Bevel().Color(), fw::clBlack);
  EXPECT_EQ(shape.Bevel().LightColor(), fw::clBtnHighlight);
  EXPECT_EQ(shape.Bevel().ShadowColor(), fw::clBtnShadow);
  EXPECT_EQ(shape.Shadow().Depth(), 6);
  EXPECT_EQ(shape.Shadow().Style(), hssSolid);
  EXPECT_EQ(shape.Shadow().Color(), fw::clBtnShadow);
  TShapeButtonColor colors;
  for (int s = bsUp; s <= bsDefaultEd; ++s) {
    EXPECT_EQ(colors.ForState(static_cast<TButtonState>(s)), fw::clBtnFace);
  }
}

TEST(AppearanceObjects, SettersNotifyOnlyOnARealChangeAndTheShapePassesItOn) {
  TShape shape;
  int changes = 0;
  const auto shape_watched = shape.OnChange.Subscribe([&changes](TChangeNotifier&) { ++changes; });
  struct Step {
    const char* name;
    void (*apply)(TShape&);
    int changes;
  };
  const Step steps[] = {
      {"same shape", [](TShape& s) { s.SetShape(stRectangle); }, 0},
      {"round rect", [](TShape& s) { s.SetShape(stRoundRect); }, 1},
      {"same percent", [](TShape& s) { s.SetRoundPercent(33); }, 0},
      {"percent above 100 is 100", [](TShape& s) { s.SetRoundPercent(250); }, 1},
      {"100 again", [](TShape& s) { s.SetRoundPercent(100); }, 0},
      {"bevel width", [](TShape& s) { s.Bevel().SetWidth(1); }, 1},
      {"bevel width above 50 is 50", [](TShape& s) { s.Bevel().SetWidth(90); }, 1},
      {"same bevel colour", [](TShape& s) { s.Bevel().SetColor(fw::clBlack); }, 0},
      {"bevel style", [](TShape& s) { s.Bevel().SetStyle(sbOffset); }, 1},
      {"shadow depth above 40 is 40", [](TShape& s) { s.Shadow().SetDepth(41); }, 1},
      {"shadow style", [](TShape& s) { s.Shadow().SetStyle(hssNone); }, 1},
      {"brush colour", [](TShape& s) { s.Brush().SetColor(fw::clBtnFace); }, 1},
      {"same square", [](TShape& s) { s.SetSquare(false); }, 0},
  };
  for (const Step& step : steps) {
    const int before = changes;
    step.apply(shape);
    EXPECT_EQ(changes - before, step.changes) << step.name;
  }
  EXPECT_EQ(shape.RoundPercent(), 100);
  EXPECT_EQ(shape.Bevel().Width(), 50);
  EXPECT_EQ(shape.Shadow().Depth(), 40);
}

TEST(AppearanceObjects, AssignCopiesWithOneNotification) {
  TSimpleBevel bevel;
  TSimpleBevel source;
  source.SetWidth(1);
  source.SetStyle(sbInset);
  source.SetLightColor(fw::clRed);
  int bevel_changes = 0;
  const auto bevel_watched =
      bevel.OnChange.Subscribe([&bevel_changes](TChangeNotifier&) { ++bevel_changes; });
  bevel.Assign(source);
  EXPECT_EQ(bevel_changes, 1);
  EXPECT_EQ(bevel.Width(), 1);
  EXPECT_EQ(bevel.Style(), sbInset);
  EXPECT_EQ(bevel.LightColor(), fw::clRed);
  bevel.Assign(source);
  EXPECT_EQ(bevel_changes, 1);

  TShadow shadow;
  TShadow other;
  other.SetDepth(1);
  other.SetColor(fw::clGray);
  other.SetStyle(hssTracing);
  int shadow_changes = 0;
  const auto shadow_watched =
      shadow.OnChange.Subscribe([&shadow_changes](TChangeNotifier&) { ++shadow_changes; });
  shadow.BeginUpdate();
  shadow.Assign(other);  // held back by the update bracket
  EXPECT_EQ(shadow_changes, 0);
  shadow.EndUpdate();
  EXPECT_EQ(shadow_changes, 1);
  EXPECT_EQ(shadow.Depth(), 1);
  EXPECT_EQ(shadow.Style(), hssTracing);
}

TEST(TShapeButtonColor, ColourOfEachState) {
  TShapeButtonColor colors;
  colors.SetUp(1);
  colors.SetDisabled(2);
  colors.SetMouseOver(3);
  colors.SetOptionSet(4);
  colors.SetDown(5);
  const struct {
    TButtonState state;
    fw::TColor color;
  } cases[] = {{bsUp, 1},   {bsDisabledUp, 2},   {bsMouseOver, 3},    {bsOptionSet, 4},
               {bsDown, 5}, {bsDropDownOpen, 4}, {bsDisabledDown, 2}, {bsDragOver, 1}};
  for (const auto& c : cases) {
    EXPECT_EQ(colors.ForState(c.state), c.color) << static_cast<int>(c.state);
  }
}

}  // namespace
}  // namespace widgets
