// The rings of the setup window's pyramid backdrop (from #303030 to #616161 in 100 steps), checked
// both in the computed plan and in the drawn pixels.
#pragma once

#include <vector>

#include "widgets/gradient_geometry.h"

namespace test {

struct PyramidRing {
  int i;
  fw::PixelRect rect;
  int grey;  // R = G = B
};

// 528 x 444: the backdrop without the environment banner.
inline const std::vector<PyramidRing> kSetupWindowRings = {
    {0, {0, 0, 528, 444}, 48},      {1, {3, 2, 525, 442}, 48},      {2, {5, 4, 523, 440}, 49},
    {3, {8, 7, 520, 437}, 49},      {50, {132, 111, 396, 333}, 72}, {51, {135, 113, 393, 331}, 73},
    {98, {259, 218, 269, 226}, 96}, {99, {261, 220, 267, 224}, 97},
};

// 528 x 429: the backdrop below the banner.
inline const std::vector<PyramidRing> kUnderBannerRings = {
    {3, {8, 6, 520, 423}, 49},
    {99, {261, 212, 267, 217}, 97},
};

}  // namespace test
