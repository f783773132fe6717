#include "widgets/gradient_ramp.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace widgets {
namespace {

std::vector<int> Channel(const TColorList& list, std::uint8_t (*of)(std::uint32_t)) {
  std::vector<int> values;
  for (std::uint32_t rgb : list) {
    values.push_back(of(rgb));
  }
  return values;
}

TEST(AppendColorRamp, SixteenColoursToBlack) {
  const std::vector<int> grey = {128, 119, 111, 102, 94, 85, 77, 68, 60, 51, 43, 34, 26, 17, 9, 0};
  const struct {
    std::uint32_t first;
    std::vector<int> red, green, blue;
  } cases[] = {
      {0x00808080, grey, grey, grey},
      {0x00EEE6D2,
       {210, 196, 182, 168, 154, 140, 126, 112, 98, 84, 70, 56, 42, 28, 14, 0},
       {230, 215, 199, 184, 169, 153, 138, 123, 107, 92, 77, 61, 46, 31, 15, 0},
       {238, 222, 206, 190, 175, 159, 143, 127, 111, 95, 79, 63, 48, 32, 16, 0}},
  };
  for (const auto& c : cases) {
    TColorList list = {0x00123456};  // start_new drops what was there
    AppendColorRamp(c.first, 0x00000000, 16, true, &list);
    EXPECT_EQ(Channel(list, fw::GetR), c.red);
    EXPECT_EQ(Channel(list, fw::GetG), c.green);
    EXPECT_EQ(Channel(list, fw::GetB), c.blue);
  }
}

TEST(AppendColorRamp, EdgeCounts) {
  const std::uint32_t base = fw::MakeRGB(201, 248, 252);
  const std::uint32_t white = fw::MakeRGB(255, 255, 255);
  struct Case {
    const char* name;
    TColorList before;
    int count;
    bool start_new;
    TColorList expected;
  };
  const Case cases[] = {
      {"one colour is the first, no division by zero", {}, 1, true, {base}},
      {"nothing for 0", {7}, 0, true, {7}},
      {"nothing for a negative count", {7}, -3, true, {7}},
      {"two colours are the ends", {}, 2, true, {base, white}},
      {"continued ramp skips its first colour",
       {base},
       3,
       false,
       {base, fw::MakeRGB(228, 252, 254), white}},
      {"continued ramp of one adds nothing", {base}, 1, false, {base}},
  };
  for (const Case& c : cases) {
    TColorList list = c.before;
    AppendColorRamp(base, white, c.count, c.start_new, &list);
    EXPECT_EQ(list, c.expected) << c.name;
  }
  AppendColorRamp(base, white, 4, true, nullptr);  // no list: nothing, and no crash
}

TEST(AppendColorRamp, MeterRampOfSixtyFour) {
  TColorList list;
  AppendColorRamp(fw::MakeRGB(201, 248, 252), fw::MakeRGB(255, 255, 255), 64, true, &list);
  ASSERT_EQ(list.size(), 64u);
  EXPECT_EQ(list[0], fw::MakeRGB(201, 248, 252));
  EXPECT_EQ(list[32], fw::MakeRGB(228, 252, 254));
  EXPECT_EQ(list[63], fw::MakeRGB(255, 255, 255));
}

struct Band {
  BandShape shape;
  fw::PixelRect box;
  std::size_t color;
};

void ExpectBands(const std::vector<GradientBand>& got, const std::vector<Band>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "band " << i);
    EXPECT_EQ(got[i].shape, want[i].shape);
    EXPECT_EQ(got[i].box, want[i].box);
    EXPECT_EQ(got[i].color, want[i].color);
  }
}

TEST(PlanGradientBands, EveryStyleOnASmallRectangle) {
  // (2, 1)-(10, 5): 8 x 4, two colours.
  const fw::PixelRect rect{2, 1, 10, 5};
  constexpr BandShape R = BandShape::kRectangle;
  constexpr BandShape E = BandShape::kEllipse;
  constexpr BandShape T = BandShape::kTriangle;
  const struct {
    TGradientStyle style;
    std::vector<Band> bands;
  } cases[] = {
      {gstHorizontal, {{R, {2, 1, 6, 5}, 0}, {R, {6, 1, 10, 5}, 1}}},
      {gstVertical, {{R, {2, 1, 10, 3}, 1}, {R, {2, 3, 10, 5}, 0}}},
      {gstSquare, {{R, {2, 1, 10, 5}, 1}, {R, {4, 2, 8, 4}, 0}}},
      // Centre (6, 3); radii 8 / 1.4 -> 6, 4 / 1.4 -> 3, then 4 / 1.4 -> 3, 2 / 1.4 -> 1.
      {gstElliptic, {{E, {0, 0, 12, 6}, 1}, {E, {3, 2, 9, 4}, 0}}},
      {gstTopLeft, {{R, {2, 1, 10, 5}, 1}, {R, {2, 1, 6, 3}, 0}}},
      {gstTopRight, {{R, {2, 1, 10, 5}, 1}, {R, {6, 1, 10, 3}, 0}}},
      {gstBottomLeft, {{R, {2, 1, 10, 5}, 1}, {R, {2, 3, 6, 5}, 0}}},
      {gstBottomRight, {{R, {2, 1, 10, 5}, 1}, {R, {6, 3, 10, 5}, 0}}},
      {gstTopLeftDiagonal, {{T, {2, 1, 18, 9}, 1}, {T, {2, 1, 10, 5}, 0}}},
      {gstTopRightDiagonal, {{T, {-6, 1, 10, 9}, 1}, {T, {2, 1, 10, 5}, 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "style " << static_cast<int>(c.style));
    ExpectBands(PlanGradientBands(c.style, rect, 2), c.bands);
  }
}

TEST(PlanGradientBands, DiagonalTrianglesStartInTheirCorner) {
  const fw::PixelRect rect{2, 1, 10, 5};
  const std::vector<GradientBand> left = PlanGradientBands(gstTopLeftDiagonal, rect, 2);
  const std::vector<GradientBand> right = PlanGradientBands(gstTopRightDiagonal, rect, 2);
  ASSERT_EQ(left.size(), 2u);
  ASSERT_EQ(right.size(), 2u);
  const BandPoint left_inner[3] = {{2, 1}, {10, 1}, {2, 5}};
  const BandPoint right_inner[3] = {{10, 1}, {2, 1}, {10, 5}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(left[1].points[i], left_inner[i]) << i;
    EXPECT_EQ(right[1].points[i], right_inner[i]) << i;
  }
}

TEST(PlanGradientBands, EllipticRadiiOfTheSetupButton) {
  // 94 x 32, 16 colours: centre (47, 16), (rx, ry) for k = 16 down to 1.
  const int radii[16][2] = {{67, 23}, {63, 21}, {59, 20}, {54, 19}, {51, 17}, {46, 16},
                            {42, 14}, {38, 13}, {34, 11}, {29, 10}, {25, 9},  {21, 7},
                            {17, 6},  {13, 4},  {9, 3},   {4, 1}};
  const std::vector<GradientBand> bands = PlanGradientBands(gstElliptic, {0, 0, 94, 32}, 16);
  ASSERT_EQ(bands.size(), 16u);
  for (std::size_t j = 0; j < 16; ++j) {
    SCOPED_TRACE(j);
    const int rx = radii[j][0];
    const int ry = radii[j][1];
    EXPECT_EQ(bands[j].shape, BandShape::kEllipse);
    EXPECT_EQ(bands[j].box, (fw::PixelRect{47 - rx, 16 - ry, 47 + rx, 16 + ry}));
    EXPECT_EQ(bands[j].color, 15 - j);
  }
  // The innermost ellipse, in the first colour.
  EXPECT_EQ(bands[15].box, (fw::PixelRect{43, 15, 51, 17}));
}

TEST(PlanGradientBands, MeterBands) {
  struct Case {
    TGradientStyle style;
    fw::PixelRect rect;
    std::vector<Band> first;  // the first bands of the plan
    std::size_t size;
  };
  constexpr BandShape R = BandShape::kRectangle;
  const Case cases[] = {
      // LightValue 50 on the 498-pixel meter: a 249-pixel bar.
      {gstHorizontal, {0, 0, 249, 10}, {{R, {0, 0, 4, 10}, 0}, {R, {4, 0, 8, 10}, 1}}, 64},
      // LightValue 1: five pixels, only five bands have a width.
      {gstHorizontal,
       {0, 0, 5, 10},
       {{R, {0, 0, 1, 10}, 6},
        {R, {1, 0, 2, 10}, 19},
        {R, {2, 0, 3, 10}, 31},
        {R, {3, 0, 4, 10}, 44},
        {R, {4, 0, 5, 10}, 57}},
       5},
      // Upwards: the last colour at the top, the first at the base.
      {gstVertical, {0, 0, 10, 128}, {{R, {0, 0, 10, 2}, 63}, {R, {0, 2, 10, 4}, 62}}, 64},
  };
  for (const Case& c : cases) {
    const std::vector<GradientBand> bands = PlanGradientBands(c.style, c.rect, 64);
    ASSERT_EQ(bands.size(), c.size);
    ExpectBands(std::vector<GradientBand>(
                    bands.begin(), bands.begin() + static_cast<std::ptrdiff_t>(c.first.size())),
                c.first);
  }
  const std::vector<GradientBand> full = PlanGradientBands(gstHorizontal, {0, 0, 249, 10}, 64);
  EXPECT_EQ(full.back().box, (fw::PixelRect{245, 0, 249, 10}));
  EXPECT_EQ(full.back().color, 63u);
}

TEST(GradientColourCount, HeldToWhatThePainterDraws) {
  const struct {
    std::int64_t steps;
    int expected;
  } cases[] = {
      {INT32_MIN, 0}, {-1, 0},        {0, 0},         {1, 1},           {64, 64},
      {65535, 65535}, {65536, 65536}, {65537, 65536}, {1000000, 65536}, {INT32_MAX, 65536},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GradientColourCount(c.steps), c.expected) << c.steps;
  }
}

TEST(PlanGradientBands, ListsLongerThanThePainterTakesStillCoverTheRectangle) {
  constexpr BandShape R = BandShape::kRectangle;
  for (const std::size_t count : {std::size_t{65537}, std::size_t{1000000}}) {
    SCOPED_TRACE(count);
    const std::vector<GradientBand> across =
        PlanGradientBands(gstHorizontal, {0, 0, 100, 10}, count);
    // 65536 bands over 100 pixels: one band per pixel has a width, and they meet edge to edge.
    ASSERT_EQ(across.size(), 100u);
    for (std::size_t x = 0; x < across.size(); ++x) {
      EXPECT_EQ(across[x].shape, R);
      EXPECT_EQ(across[x].box,
                (fw::PixelRect{static_cast<int>(x), 0, static_cast<int>(x) + 1, 10}));
      EXPECT_LT(across[x].color, count);
      if (x > 0) {
        EXPECT_GT(across[x].color, across[x - 1].color);
      }
    }
    // The colours run over the whole list: from its start at the left edge to its end at the right.
    EXPECT_LT(across.front().color, count / 100);
    EXPECT_GT(across.back().color, count - count / 100);
    // Every style takes the list's first and last colours at its ends.
    const std::vector<GradientBand> rings = PlanGradientBands(gstElliptic, {0, 0, 94, 32}, count);
    ASSERT_FALSE(rings.empty());
    EXPECT_EQ(rings.front().color, count - 1);  // the outermost ellipse, drawn first
    const std::vector<GradientBand> upright =
        PlanGradientBands(gstVertical, {0, 0, 10, 100}, count);
    ASSERT_EQ(upright.size(), 100u);
    EXPECT_GT(upright.front().color, count - count / 100);  // the last colour on top
    EXPECT_LT(upright.back().color, count / 100);
  }
}

TEST(PlanGradientBands, NothingForNoColoursOrAnEmptyRectangle) {
  const fw::PixelRect empties[] = {{0, 0, 0, 10}, {0, 0, 10, 0}, {5, 5, 2, 9}};
  for (int style = gstHorizontal; style <= gstTopRightDiagonal; ++style) {
    const auto s = static_cast<TGradientStyle>(style);
    EXPECT_TRUE(PlanGradientBands(s, {0, 0, 10, 10}, 0).empty()) << style;
    for (const fw::PixelRect& r : empties) {
      EXPECT_TRUE(PlanGradientBands(s, r, 16).empty()) << style;
    }
  }
}

}  // namespace
}  // namespace widgets
