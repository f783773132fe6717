#include "widgets/gradient_geometry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tests/pyramid_rings.h"

namespace widgets {
namespace {

constexpr std::uint32_t Grey(int level) {
  return fw::MakeRGB(level, level, level);
}

// The setup window's backdrop colours.
constexpr std::uint32_t kDark = 0x00303030;
constexpr std::uint32_t kLight = 0x00616161;

using Ring = test::PyramidRing;

void ExpectRings(const GradientPlan& plan, const std::vector<Ring>& rings) {
  for (const Ring& ring : rings) {
    SCOPED_TRACE(testing::Message() << "ring " << ring.i);
    ASSERT_LT(static_cast<std::size_t>(ring.i), plan.fills.size());
    const GradientFill& fill = plan.fills[static_cast<std::size_t>(ring.i)];
    EXPECT_EQ(fill.shape, GradientShape::kRectangle);
    EXPECT_EQ(fill.rect, ring.rect);
    EXPECT_EQ(fill.color, Grey(ring.grey));
  }
}

TEST(RoundHalfEven, TiesGoToEven) {
  const struct {
    double value;
    int expected;
  } cases[] = {{0.5, 0},   {1.5, 2},  {2.5, 2},  {72.5, 72}, {73.5, 74}, {-0.5, 0},
               {-1.5, -2}, {2.64, 3}, {2.22, 2}, {4.44, 4},  {6.66, 7},  {0.49999, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(RoundHalfEven(c.value), c.expected) << c.value;
  }
}

TEST(BoundNestedSteps, CutToHalfOfEachSideAndAtLeastOne) {
  const struct {
    int width, height;
    std::uint16_t steps;
    int expected;
  } cases[] = {
      {528, 444, 100, 100}, {528, 429, 100, 100}, {10, 6, 100, 3},  {6, 10, 100, 3},
      {1, 1, 100, 1},       {528, 444, 0, 1},     {528, 444, 7, 7}, {201, 1000, 65535, 100},
      {3, 3, 1, 1},         {0, 444, 100, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BoundNestedSteps(c.width, c.height, c.steps), c.expected)
        << c.width << "x" << c.height << " steps " << c.steps;
  }
}

TEST(PyramidPlan, SetupWindowFace) {
  const GradientPlan plan = PlanGradient(grPyramid, 528, 444, 100, kDark, kLight);
  EXPECT_EQ(plan.background, kDark);
  ASSERT_EQ(plan.fills.size(), 101u);
  ExpectRings(plan, test::kSetupWindowRings);
  EXPECT_EQ(plan.fills[100].rect, (fw::PixelRect{264, 222, 264, 222}));
  EXPECT_TRUE(plan.fills[100].rect.Empty());
  EXPECT_FALSE(plan.fills[99].rect.Empty());
}

TEST(PyramidPlan, FaceUnderTheBanner) {
  const GradientPlan plan = PlanGradient(grPyramid, 528, 429, 100, kDark, kLight);
  ASSERT_EQ(plan.fills.size(), 101u);
  ExpectRings(plan, test::kUnderBannerRings);
  EXPECT_TRUE(plan.fills[100].rect.Empty());
}

TEST(PyramidPlan, MiddleStepLandingOnAHalfRoundsToEven) {
  // 48 + 50 * 0.49 is 72.5.
  const GradientPlan plan = PlanGradient(grPyramid, 528, 444, 100, kDark, kLight);
  EXPECT_EQ(plan.fills[50].color, Grey(72));
  EXPECT_NE(plan.fills[50].color, Grey(73));
}

TEST(PyramidPlan, SmallFaceLimitsTheSteps) {
  const GradientPlan plan = PlanGradient(grPyramid, 10, 6, 100, kDark, kLight);
  ASSERT_EQ(plan.fills.size(), 4u);
  ExpectRings(plan, {{0, {0, 0, 10, 6}, 48}, {1, {2, 1, 8, 5}, 64}, {2, {3, 2, 7, 4}, 81}});
  EXPECT_TRUE(plan.fills[3].rect.Empty());
  EXPECT_EQ(plan.fills[3].color, kLight);
}

TEST(PyramidPlan, SinglePixelEndsInTheEndColour) {
  const GradientPlan plan = PlanGradient(grPyramid, 1, 1, 100, kDark, kLight);
  ASSERT_EQ(plan.fills.size(), 2u);
  ExpectRings(plan, {{0, {0, 0, 1, 1}, 48}, {1, {0, 0, 1, 1}, 97}});
}

TEST(PyramidPlan, ZeroStepsBehaveAsOne) {
  const GradientPlan zero = PlanGradient(grPyramid, 40, 20, 0, kDark, kLight);
  const GradientPlan one = PlanGradient(grPyramid, 40, 20, 1, kDark, kLight);
  ASSERT_EQ(zero.fills.size(), 2u);
  ASSERT_EQ(one.fills.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(zero.fills[i].rect, one.fills[i].rect);
    EXPECT_EQ(zero.fills[i].color, one.fills[i].color);
  }
  ExpectRings(zero, {{0, {0, 0, 40, 20}, 48}, {1, {20, 10, 20, 10}, 97}});
}

TEST(PyramidPlan, StepsBeyondHalfTheWidthAreCut) {
  const GradientPlan plan = PlanGradient(grPyramid, 8, 100, 50, kDark, kLight);
  ASSERT_EQ(plan.fills.size(), 5u);  // S = 8 div 2
  ExpectRings(plan, {{1, {1, 12, 7, 88}, 60}, {4, {4, 50, 4, 50}, 97}});
}

TEST(PyramidPlan, EqualColoursGiveAUniformFace) {
  const std::uint32_t colour = fw::MakeRGB(12, 200, 99);
  const GradientPlan plan = PlanGradient(grPyramid, 64, 40, 100, colour, colour);
  EXPECT_EQ(plan.background, colour);
  ASSERT_EQ(plan.fills.size(), 21u);
  for (const GradientFill& fill : plan.fills) {
    EXPECT_EQ(fill.color, colour);
  }
}

TEST(PyramidPlan, ChannelsMoveIndependentlyAndMayFall) {
  const std::uint32_t start = fw::MakeRGB(255, 0, 100);
  const std::uint32_t end = fw::MakeRGB(0, 255, 100);
  const GradientPlan plan = PlanGradient(grPyramid, 20, 20, 4, start, end);
  ASSERT_EQ(plan.fills.size(), 5u);
  // 255 / 4 = 63.75 per step.
  const std::uint32_t expected[] = {fw::MakeRGB(255, 0, 100), fw::MakeRGB(191, 64, 100),
                                    fw::MakeRGB(128, 128, 100), fw::MakeRGB(64, 191, 100),
                                    fw::MakeRGB(0, 255, 100)};
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(plan.fills[i].color, expected[i]) << "ring " << i;
  }
}

TEST(PyramidPlan, EveryRingLiesInsideThePreviousOne) {
  const struct {
    int width, height;
    std::uint16_t steps;
  } faces[] = {{528, 444, 100}, {528, 429, 100}, {10, 6, 100}, {333, 17, 40}, {7, 301, 9}};
  for (const auto& face : faces) {
    const GradientPlan plan = PlanGradient(grPyramid, face.width, face.height, face.steps, 0, 0);
    for (std::size_t i = 1; i < plan.fills.size(); ++i) {
      const fw::PixelRect& outer = plan.fills[i - 1].rect;
      const fw::PixelRect& inner = plan.fills[i].rect;
      EXPECT_GE(inner.left, outer.left);
      EXPECT_GE(inner.top, outer.top);
      EXPECT_LE(inner.right, outer.right);
      EXPECT_LE(inner.bottom, outer.bottom);
    }
  }
}

TEST(GradientPlan, ZeroSizedFaceHasNothingToDraw) {
  const struct {
    TGradientBackgroundStyle style;
    int width, height;
  } cases[] = {{grPyramid, 0, 444},
               {grPyramid, 528, 0},
               {grHorizontal, 0, 0},
               {grFilled, 0, 10},
               {grVertical, 10, 0}};
  for (const auto& c : cases) {
    const GradientPlan plan = PlanGradient(c.style, c.width, c.height, 100, kDark, kLight);
    EXPECT_TRUE(plan.fills.empty()) << c.width << "x" << c.height;
  }
}

TEST(GradientPlan, FilledIsTheStartColourAlone) {
  const GradientPlan plan = PlanGradient(grFilled, 50, 30, 100, kDark, kLight);
  EXPECT_EQ(plan.background, kDark);
  EXPECT_TRUE(plan.fills.empty());
}

TEST(GradientPlan, EllipseAndMountNestLikeThePyramid) {
  const GradientPlan pyramid = PlanGradient(grPyramid, 120, 80, 10, kDark, kLight);
  const struct {
    TGradientBackgroundStyle style;
    GradientShape shape;
  } cases[] = {{grEllipse, GradientShape::kEllipse}, {grMount, GradientShape::kRoundRect}};
  for (const auto& c : cases) {
    const GradientPlan plan = PlanGradient(c.style, 120, 80, 10, kDark, kLight);
    EXPECT_EQ(plan.background, kDark);
    ASSERT_EQ(plan.fills.size(), pyramid.fills.size());
    for (std::size_t i = 0; i < plan.fills.size(); ++i) {
      const GradientFill& fill = plan.fills[i];
      EXPECT_EQ(fill.shape, c.shape);
      EXPECT_EQ(fill.rect, pyramid.fills[i].rect);
      EXPECT_EQ(fill.color, pyramid.fills[i].color);
      if (c.shape == GradientShape::kRoundRect) {
        EXPECT_EQ(fill.corner_width, (fill.rect.right - fill.rect.left) / 2);
        EXPECT_EQ(fill.corner_height, (fill.rect.bottom - fill.rect.top) / 2);
      }
    }
  }
}

TEST(GradientPlan, BandsCoverTheFaceFromStartToEnd) {
  const struct {
    TGradientBackgroundStyle style;
    int width, height;
    std::uint16_t steps;
    std::size_t bands;
  } cases[] = {
      {grHorizontal, 528, 444, 100, 101}, {grVertical, 528, 444, 100, 101},
      {grHorizontal, 4, 30, 100, 5},      {grVertical, 30, 4, 100, 5},
      {grHorizontal, 50, 10, 0, 2},       {grVertical, 10, 1, 3, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " steps " << c.steps);
    const bool across = c.style == grHorizontal;
    const GradientPlan plan = PlanGradient(c.style, c.width, c.height, c.steps, kDark, kLight);
    ASSERT_EQ(plan.fills.size(), c.bands);
    EXPECT_EQ(plan.fills.front().color, kDark);
    EXPECT_EQ(plan.fills.back().color, kLight);
    int edge = 0;
    for (const GradientFill& fill : plan.fills) {
      EXPECT_EQ(fill.shape, GradientShape::kRectangle);
      const int from = across ? fill.rect.left : fill.rect.top;
      const int to = across ? fill.rect.right : fill.rect.bottom;
      EXPECT_EQ(from, edge);
      EXPECT_GE(to, from);
      edge = to;
      // The other axis is always covered whole.
      EXPECT_EQ(across ? fill.rect.top : fill.rect.left, 0);
      EXPECT_EQ(across ? fill.rect.bottom : fill.rect.right, across ? c.height : c.width);
    }
    EXPECT_EQ(edge, across ? c.width : c.height);
  }
}

TEST(GradientPlan, HorizontalBandsStepEvenly) {
  const GradientPlan plan = PlanGradient(grHorizontal, 30, 5, 2, Grey(0), Grey(100));
  ASSERT_EQ(plan.fills.size(), 3u);
  EXPECT_EQ(plan.fills[0].rect, (fw::PixelRect{0, 0, 10, 5}));
  EXPECT_EQ(plan.fills[1].rect, (fw::PixelRect{10, 0, 20, 5}));
  EXPECT_EQ(plan.fills[2].rect, (fw::PixelRect{20, 0, 30, 5}));
  EXPECT_EQ(plan.fills[1].color, Grey(50));
}

}  // namespace
}  // namespace widgets
