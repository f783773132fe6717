// The shared gradient painter on real GDI: bands at pinned pixels, nothing outside the rectangle,
// and the pure MulDiv against the platform's.
#include <gtest/gtest.h>
#include <windows.h>

#include <climits>

#include "framework/color.h"
#include "framework/gdi.h"
#include "tests/wine/canvas.h"
#include "widgets/gradient_paint.h"
#include "widgets/round_mul_div.h"

namespace {

using test::Canvas;
using widgets::TColorList;

TEST(RoundMulDiv, AgreesWithThePlatform) {
  const int values[] = {0, 1, 2, 3, 5, 7, 16, 94, 255, -1, -2, -3, -7, -128, INT_MAX, INT_MIN + 1};
  for (int a : values) {
    for (int b : values) {
      for (int c : values) {
        EXPECT_EQ(widgets::RoundMulDiv(a, b, c), ::MulDiv(a, b, c)) << a << " " << b << " " << c;
      }
    }
  }
}

TEST(BuildColorRamp, ResolvesSystemColoursWhenBuilt) {
  TColorList list;
  widgets::BuildColorRamp(fw::clBtnFace, fw::clBtnShadow, 2, true, &list);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0], ::GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(list[1], ::GetSysColor(COLOR_BTNSHADOW));
}

constexpr COLORREF kAround = RGB(1, 2, 3);
const TColorList kFour = {RGB(10, 0, 0), RGB(20, 0, 0), RGB(30, 0, 0), RGB(40, 0, 0)};

struct Probe {
  int x, y;
  COLORREF expected;
};

TEST(FillGradient, EveryStyleAtPinnedPixelsAndNothingAround) {
  // The rectangle (10, 10)-(50, 30) of a 60 x 40 canvas: 40 x 20, four colours.
  const RECT rect{10, 10, 50, 30};
  const COLORREF c0 = kFour[0], c1 = kFour[1], c2 = kFour[2], c3 = kFour[3];
  const struct {
    widgets::TGradientStyle style;
    std::vector<Probe> probes;
  } cases[] = {
      {widgets::gstHorizontal,
       {{10, 20, c0}, {19, 29, c0}, {20, 10, c1}, {35, 20, c2}, {49, 20, c3}}},
      {widgets::gstVertical,
       {{10, 10, c3}, {49, 14, c3}, {30, 15, c2}, {30, 24, c1}, {30, 29, c0}}},
      {widgets::gstElliptic, {{30, 20, c0}, {10, 10, c3}, {49, 29, c3}}},
      {widgets::gstSquare, {{30, 20, c0}, {10, 10, c3}, {49, 29, c3}, {16, 20, c2}}},
      {widgets::gstTopLeft, {{10, 10, c0}, {19, 14, c0}, {20, 15, c1}, {49, 29, c3}}},
      {widgets::gstTopRight, {{49, 10, c0}, {40, 14, c0}, {39, 10, c1}, {10, 29, c3}}},
      {widgets::gstBottomLeft, {{10, 29, c0}, {19, 25, c0}, {10, 24, c1}, {49, 10, c3}}},
      {widgets::gstBottomRight, {{49, 29, c0}, {40, 25, c0}, {39, 29, c1}, {10, 10, c3}}},
      {widgets::gstTopLeftDiagonal, {{10, 10, c0}, {49, 29, c3}, {45, 10, c1}, {10, 27, c1}}},
      {widgets::gstTopRightDiagonal, {{49, 10, c0}, {10, 29, c3}, {14, 10, c1}, {49, 27, c1}}},
  };
  Canvas canvas(60, 40);
  ASSERT_TRUE(canvas.Valid());
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "style " << static_cast<int>(c.style));
    canvas.Fill(kAround);
    widgets::FillGradient(canvas.Dc(), rect, c.style, kFour);
    for (const Probe& p : c.probes) {
      EXPECT_EQ(canvas.Pixel(p.x, p.y), p.expected) << p.x << "," << p.y;
    }
    // Everything inside is painted, nothing around it.
    int inside = 0;
    int outside = 0;
    for (int y = 0; y < 40; ++y) {
      for (int x = 0; x < 60; ++x) {
        const bool in = x >= 10 && x < 50 && y >= 10 && y < 30;
        if ((canvas.Pixel(x, y) == kAround) == in) {
          ++(in ? inside : outside);
        }
      }
    }
    EXPECT_EQ(inside, 0) << "unpainted pixels inside";
    EXPECT_EQ(outside, 0) << "painted pixels outside";
  }
}

TEST(FillGradient, NothingForAnEmptyListOrRectangleAndTheDcIsRestored) {
  Canvas canvas(20, 20);
  ASSERT_TRUE(canvas.Valid());
  canvas.Fill(kAround);
  const HGDIOBJ pen = ::GetCurrentObject(canvas.Dc(), OBJ_PEN);
  const HGDIOBJ brush = ::GetCurrentObject(canvas.Dc(), OBJ_BRUSH);
  widgets::FillGradient(canvas.Dc(), RECT{0, 0, 20, 20}, widgets::gstElliptic, TColorList{});
  widgets::FillGradient(canvas.Dc(), RECT{5, 5, 5, 15}, widgets::gstHorizontal, kFour);
  widgets::FillGradient(canvas.Dc(), RECT{15, 5, 5, 15}, widgets::gstVertical, kFour);
  EXPECT_EQ(canvas.Count(kAround), 400);
  widgets::FillGradient(canvas.Dc(), RECT{0, 0, 10, 10}, widgets::gstElliptic, kFour);
  EXPECT_EQ(::GetCurrentObject(canvas.Dc(), OBJ_PEN), pen);
  EXPECT_EQ(::GetCurrentObject(canvas.Dc(), OBJ_BRUSH), brush);
  // The clip is gone again: a fill of the whole canvas reaches every pixel.
  fw::FillSolidRect(canvas.Dc(), RECT{0, 0, 20, 20}, RGB(9, 9, 9));
  EXPECT_EQ(canvas.Count(RGB(9, 9, 9)), 400);
}

}  // namespace
