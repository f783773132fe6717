// The two-tone meter's placement arithmetic: bar lengths, the infinite mode's laps, the half
// modes, blocks, the full-line text box and the marquee.
#include "widgets/meter_layout.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace widgets {
namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

TEST(MeterLayout, BarLengthIsNotClamped) {
  struct Case {
    std::int32_t value, min, scale;
    int span;
    std::int32_t want;
  };
  const Case cases[] = {
      {0, 0, 100, 498, 0},     {1, 0, 100, 498, 5},     {50, 0, 100, 498, 249},
      {100, 0, 100, 498, 498}, {150, 0, 100, 498, 747}, {-10, 0, 100, 498, -50},
      {15, 10, 20, 100, 50},   {5, 5, 5, 100, -1},      {kMax, kMin, kMax, 10, 10}};
  for (const Case& c : cases) {
    EXPECT_EQ(BarLength(c.value, c.min, c.scale, c.span), c.want) << c.value;
  }
}

TEST(MeterLayout, BarsGrowFromTheirBaseAndWrapInTheInfiniteMode) {
  const fw::PixelRect work{1, 1, 101, 11};  // span 100 across, 10 up
  struct Case {
    const char* what;
    std::int32_t length;
    bool vertical;
    bool infinite;
    int unit;
    fw::PixelRect want;
    bool reversed;
  };
  const Case cases[] = {
      {"plain", 30, false, false, 1, {1, 1, 31, 11}, false},
      {"longer than the span", 250, false, false, 1, {1, 1, 251, 11}, false},
      {"vertical", 4, true, false, 1, {1, 7, 101, 11}, false},
      {"first lap", 30, false, true, 1, {1, 1, 31, 11}, false},
      {"odd lap at the far end", 130, false, true, 1, {71, 1, 101, 11}, true},
      {"even lap", 230, false, true, 1, {1, 1, 31, 11}, false},
      {"blocks of 10", 137, false, true, 10, {71, 1, 101, 11}, true},
      {"vertical odd lap at the top", 13, true, true, 1, {1, 1, 101, 4}, true},
      {"negative", -5, false, true, 1, {1, 1, 1, 11}, false},
  };
  for (const Case& c : cases) {
    const BarPlacement bar = PlaceBar(work, c.length, c.vertical, c.infinite, c.unit);
    EXPECT_EQ(bar.rect, c.want) << c.what;
    EXPECT_EQ(bar.reversed, c.reversed) << c.what;
  }
}

TEST(MeterLayout, HalfModesSplitAtTheThicknessDivTwo) {
  const fw::PixelRect r{0, 0, 50, 11};
  EXPECT_EQ(LightHalf(r, false), (fw::PixelRect{0, 0, 50, 5}));
  EXPECT_EQ(DarkHalf(r, false), (fw::PixelRect{0, 5, 50, 11}));
  const fw::PixelRect v{0, 20, 9, 100};
  EXPECT_EQ(LightHalf(v, true), (fw::PixelRect{4, 20, 9, 100}));
  EXPECT_EQ(DarkHalf(v, true), (fw::PixelRect{0, 20, 4, 100}));
}

TEST(MeterLayout, BlocksOfEightWithGapsOfTwo) {
  EXPECT_EQ(BarBlocks(fw::PixelRect{0, 0, 25, 10}, false),
            (std::vector<fw::PixelRect>{{0, 0, 8, 10}, {10, 0, 18, 10}, {20, 0, 25, 10}}));
  EXPECT_EQ(BarBlocks(fw::PixelRect{0, 80, 10, 100}, true),
            (std::vector<fw::PixelRect>{{0, 92, 10, 100}, {0, 82, 10, 90}}));
  EXPECT_TRUE(BarBlocks(fw::PixelRect{5, 0, 5, 10}, false).empty());
}

TEST(MeterLayout, BlocksOfTheScaledSize) {
  // 150 %: blocks of 12 with gaps of 3.
  EXPECT_EQ(BarBlocks(fw::PixelRect{0, 0, 40, 15}, false, 12, 3),
            (std::vector<fw::PixelRect>{{0, 0, 12, 15}, {15, 0, 27, 15}, {30, 0, 40, 15}}));
  // 200 %, upright: blocks of 16 with gaps of 4 from the base, the last one cut at the top.
  EXPECT_EQ(BarBlocks(fw::PixelRect{0, 50, 15, 100}, true, 16, 4),
            (std::vector<fw::PixelRect>{{0, 84, 15, 100}, {0, 64, 15, 80}, {0, 50, 15, 60}}));
}

TEST(MeterLayout, FullLineBoxCentresOnWidthMinusTwo) {
  struct Case {
    int tw, th, span_w, span_h, top;
    fw::PixelRect want;
  };
  const Case cases[] = {
      {20, 8, 496, 10, 0, {238, 1, 258, 9}},    // "50%" on the window's meter
      {30, 13, 496, 10, 0, {233, 0, 263, 10}},  // a line taller than the meter: cut both ends
      {600, 13, 38, 10, 0, {0, 0, 38, 10}},     // wider than Width - 2: starts at 0
      {10, 4, 100, 5, 5, {45, 5, 55, 9}},       // moved down by the light bar's top
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FullLineBox(c.tw, c.th, c.span_w, c.span_h, c.top), c.want) << c.tw;
  }
}

TEST(MeterLayout, MarqueeGoesBackAndForth) {
  EXPECT_EQ(MarqueeLow(20, 100), 20);
  MarqueeState state{98, 1};
  const std::vector<MarqueeState> want = {{99, 1}, {100, -1}, {99, -1}};
  for (const MarqueeState& w : want) {
    state = NextMarquee(state, 20, 100);
    EXPECT_EQ(state, w);
  }
  EXPECT_EQ(NextMarquee(MarqueeState{21, -1}, 20, 100), (MarqueeState{20, 1}));
  EXPECT_EQ(NextMarquee(MarqueeState{5, 1}, 50, 50), (MarqueeState{50, 1}));
}

TEST(MeterLayout, MarqueeBlockIsSizedAlongTheBar) {
  struct Case {
    int width, height;  // the control, whose client area is the working rectangle
    bool vertical;
    std::int32_t position;
    fw::PixelRect want;
  };
  const Case cases[] = {
      // Across: 20 % of the width; the lowest position (20) brings the block to the left edge.
      {100, 10, false, 20, {0, 0, 20, 10}},
      {100, 10, false, 60, {40, 0, 60, 10}},
      // Upright: 20 % of the height, not of the width; at the lowest position it sits on the base.
      {10, 100, true, 20, {0, 80, 10, 100}},
      {10, 100, true, 60, {0, 40, 10, 60}},
      {10, 100, true, 100, {0, 0, 10, 20}},
  };
  for (const Case& c : cases) {
    const fw::PixelRect work{0, 0, c.width, c.height};
    EXPECT_EQ(MarqueeBlock(work, c.position, 0, 100, 20, c.width, c.height, c.vertical), c.want)
        << c.width << "x" << c.height << " at " << c.position;
  }
}

}  // namespace
}  // namespace widgets
