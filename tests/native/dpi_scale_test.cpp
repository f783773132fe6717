// The rounding of 96-DPI lengths to pixels at the DPIs of common display scales.
#include "framework/dpi_scale.h"

#include <gtest/gtest.h>

namespace fw {
namespace {

TEST(ScaleForDpi, RoundsHalvesAwayFromZeroAtEachScale) {
  const struct {
    int value;
    int dpi;
    int want;
  } cases[] = {
      {532, 96, 532},   {307, 96, 307},  {1, 96, 1},        {0, 144, 0},  // 100 %: unchanged
      {532, 120, 665},  {307, 120, 384},                                  // 383.75
      {1, 120, 1},      {2, 120, 3},     {-100, 120, -125},               // 1.25, 2.5, -125
      {532, 144, 798},  {307, 144, 461},                                  // 460.5 up
      {1, 144, 2},      {-1, 144, -2},   {3, 144, 5},                     // 1.5, -1.5, 4.5
      {532, 192, 1064}, {307, 192, 614}, {-100, 192, -200},               // 200 %
      {49, 168, 86},    {11, 168, 19},                                    // 175 %: 85.75, 19.25
      {13, 0, 13},      {13, -5, 13},                                     // unknown DPI: 96
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ScaleForDpi(c.value, c.dpi), c.want) << c.value << " at " << c.dpi;
  }
}

TEST(ScaleForDpi, IsMonotonicAndSymmetric) {
  for (int dpi : {96, 120, 144, 168, 192, 240}) {
    int previous = ScaleForDpi(-1000, dpi);
    for (int v = -999; v <= 1000; ++v) {
      const int scaled = ScaleForDpi(v, dpi);
      EXPECT_GE(scaled, previous) << v << " at " << dpi;
      EXPECT_EQ(ScaleForDpi(-v, dpi), -scaled) << v << " at " << dpi;
      previous = scaled;
    }
  }
  EXPECT_EQ(ScaleForDpi(1000, 192), 2000);
}

}  // namespace
}  // namespace fw
