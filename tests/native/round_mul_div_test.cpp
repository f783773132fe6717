// The rounding multiply-divide of the gradient painter and the meters (checked against the
// platform's MulDiv under Wine in gradient_paint_test.cpp).
#include "widgets/round_mul_div.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace widgets {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();

TEST(RoundMulDiv, RoundsHalvesAwayFromZeroLikeThePlatform) {
  const struct {
    std::int64_t a;
    std::int32_t b;
    std::int64_t c;
    std::int32_t want;
  } cases[] = {
      {1, 1, 2, 1},                          // 0.5
      {-1, 1, 2, -1},                        // -0.5
      {3, 1, 2, 2},                          // 1.5
      {5, 1, 2, 3},                          // 2.5
      {1, 1, 3, 0},                          // 0.33
      {2, 1, 3, 1},                          // 0.67
      {1, -3, 2, -2},                        // -1.5
      {2, 3, -4, -2},                        // -1.5 by a negative divisor
      {-2, 3, -4, 2},                        // 1.5, both negative
      {5, 3, -2, -8},                        // -7.5
      {32, 249, 64, 125},                    // 124.5
      {1, 498, 100, 5},                      // 4.98
      {50, 498, 100, 249},                   // exact
      {16, 94, 16, 94},                      // exact
      {1, 94, 16, 6},                        // 5.875
      {7, -128, 15, -60},                    // -59.7
      {5, 7, 0, -1},                         // division by zero
      {kMax, 2, 1, -1},                      // does not fit
      {kMax, 2, 2, kMax},                    // fits through the 64-bit product
      {kMax - kMin, 498, kMax - kMin, 498},  // a and c the width of the whole 32-bit range
      {kMax - kMin + 1, 1, 1, -1},           // a beyond two 32-bit values' difference
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RoundMulDiv(c.a, c.b, c.c), c.want) << c.a << " * " << c.b << " / " << c.c;
  }
}

}  // namespace
}  // namespace widgets
