// The gradient background, drawn into 24-bit memory bitmaps: the fill plans of every style on real
// GDI output, the rebuild only on a change of size or property, and loading.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cwchar>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/app.h"
#include "framework/color.h"
#include "framework/form.h"
#include "framework/gdi.h"
#include "framework/handle.h"
#include "tests/pyramid_rings.h"
#include "tests/wine/canvas.h"
#include "tests/wine/widget_fixture.h"
#include "widgets/gradient_background.h"
#include "widgets/gradient_geometry.h"

namespace widgets {
namespace {

using test::Canvas;
using test::Counting;
using test::WidgetTest;

constexpr COLORREF Grey(int level) {
  return RGB(level, level, level);
}

class GradientTest : public WidgetTest {
 protected:
  Counting<TGradientBackground>& MakeGradient(int width, int height) {
    auto& g = form_->Make<Counting<TGradientBackground>>();
    g.SetAlign(fw::alNone);
    g.SetBounds(0, 0, width, height);
    return g;
  }

  static void UseSetupWindowColours(TGradientBackground& g) {
    g.SetStyle(grPyramid);
    g.SetStartColor(0x00303030);
    g.SetEndColor(0x00616161);
  }
};

// What painting the plan's fills in order onto a w x h face leaves in each pixel.
std::vector<COLORREF> PaintersModel(const GradientPlan& plan, int w, int h) {
  std::vector<COLORREF> pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h),
                               plan.background);
  for (const GradientFill& fill : plan.fills) {
    for (int y = fill.rect.top; y < fill.rect.bottom; ++y) {
      for (int x = fill.rect.left; x < fill.rect.right; ++x) {
        pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) +
               static_cast<std::size_t>(x)] = fill.color;
      }
    }
  }
  return pixels;
}

void ExpectMatchesModel(const Canvas& canvas, const GradientPlan& plan) {
  const std::vector<COLORREF> model = PaintersModel(plan, canvas.Width(), canvas.Height());
  int mismatches = 0;
  for (int y = 0; y < canvas.Height() && mismatches < 5; ++y) {
    for (int x = 0; x < canvas.Width() && mismatches < 5; ++x) {
      const COLORREF want = model[static_cast<std::size_t>(y * canvas.Width() + x)];
      if (canvas.Pixel(x, y) != want) {
        ++mismatches;
        ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << canvas.Pixel(x, y)
                      << ", expected " << want;
      }
    }
  }
}

using RingProbe = test::PyramidRing;

// A pixel just inside ring i has colour i (the next ring starts further in); the pixel just left
// of it still belongs to ring i - 1.
void ExpectRings(const Canvas& canvas, const std::vector<RingProbe>& rings) {
  for (std::size_t n = 0; n < rings.size(); ++n) {
    const RingProbe& ring = rings[n];
    SCOPED_TRACE(testing::Message() << "ring " << ring.i);
    EXPECT_EQ(canvas.Pixel(ring.rect.left, ring.rect.top), Grey(ring.grey));
    EXPECT_EQ(canvas.Pixel(ring.rect.right - 1, ring.rect.bottom - 1), Grey(ring.grey));
    EXPECT_EQ(canvas.Pixel(ring.rect.left, (ring.rect.top + ring.rect.bottom) / 2),
              Grey(ring.grey));
    if (n > 0 && rings[n - 1].i == ring.i - 1) {
      EXPECT_EQ(canvas.Pixel(ring.rect.left - 1, ring.rect.top), Grey(rings[n - 1].grey));
      EXPECT_EQ(canvas.Pixel(ring.rect.right, ring.rect.bottom - 1), Grey(rings[n - 1].grey));
    }
  }
}

TEST_F(GradientTest, DefaultsOfANewBackground) {
  auto& g = form_->Make<TGradientBackground>();
  EXPECT_EQ(g.Style(), grHorizontal);
  EXPECT_EQ(g.StartColor(), 0x00FF0000u);
  EXPECT_EQ(g.EndColor(), 0x00000000u);
  EXPECT_EQ(g.Steps(), 100);
  EXPECT_EQ(g.Align(), fw::alClient);
  EXPECT_TRUE(g.Opaque());
  EXPECT_EQ(g.Width(), 600);
  EXPECT_EQ(g.Height(), 500);
}

TEST_F(GradientTest, SetupWindowPyramid) {
  auto& g = MakeGradient(528, 444);
  UseSetupWindowColours(g);
  Canvas canvas(528, 444);
  ASSERT_TRUE(canvas.Valid());
  g.Paint(canvas.Dc());
  ExpectRings(canvas, test::kSetupWindowRings);
  // Ring 100 is empty: the centre keeps ring 99's colour.
  EXPECT_EQ(canvas.Pixel(264, 222), Grey(97));
  // The middle step lands on 72.5 and is drawn as 72.
  EXPECT_EQ(canvas.Pixel(132, 222), Grey(72));
  ExpectMatchesModel(canvas, PlanGradient(grPyramid, 528, 444, 100, 0x00303030, 0x00616161));
}

TEST_F(GradientTest, PyramidUnderTheBanner) {
  auto& g = MakeGradient(528, 429);
  UseSetupWindowColours(g);
  Canvas canvas(528, 429);
  g.Paint(canvas.Dc());
  ExpectRings(canvas, test::kUnderBannerRings);
  EXPECT_EQ(canvas.Pixel(264, 214), Grey(97));
}

TEST_F(GradientTest, SmallFaces) {
  const struct {
    int width, height;
    std::uint16_t steps;
    std::vector<RingProbe> rings;
  } cases[] = {
      {10, 6, 100, {{0, {0, 0, 10, 6}, 48}, {1, {2, 1, 8, 5}, 64}, {2, {3, 2, 7, 4}, 81}}},
      {1, 1, 100, {{1, {0, 0, 1, 1}, 97}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    auto& g = MakeGradient(c.width, c.height);
    UseSetupWindowColours(g);
    g.SetSteps(c.steps);
    Canvas canvas(c.width, c.height);
    g.Paint(canvas.Dc());
    ExpectRings(canvas, c.rings);
    ExpectMatchesModel(canvas,
                       PlanGradient(grPyramid, c.width, c.height, c.steps, 0x00303030, 0x00616161));
  }
}

TEST_F(GradientTest, ZeroStepsBehaveAsOne) {
  // S = 1: ring 1 is a single pixel at the centre of a 41 x 21 face.
  auto& g = MakeGradient(41, 21);
  UseSetupWindowColours(g);
  g.SetSteps(0);
  Canvas canvas(41, 21);
  g.Paint(canvas.Dc());
  EXPECT_EQ(canvas.Pixel(20, 10), Grey(97));
  EXPECT_EQ(canvas.Count(Grey(97)), 1);
  EXPECT_EQ(canvas.Count(Grey(48)), 41 * 21 - 1);
}

TEST_F(GradientTest, EqualColoursGiveOneColour) {
  auto& g = MakeGradient(64, 40);
  g.SetStyle(grPyramid);
  g.SetStartColor(RGB(12, 200, 99));
  g.SetEndColor(RGB(12, 200, 99));
  Canvas canvas(64, 40);
  g.Paint(canvas.Dc());
  EXPECT_EQ(canvas.Count(RGB(12, 200, 99)), 64 * 40);
}

TEST_F(GradientTest, BandStylesDrawThePlan) {
  for (TGradientBackgroundStyle style : {grHorizontal, grVertical, grFilled}) {
    SCOPED_TRACE(testing::Message() << "style " << int{style});
    auto& g = MakeGradient(90, 70);
    g.SetStyle(style);
    g.SetStartColor(RGB(255, 0, 0));
    g.SetEndColor(RGB(0, 0, 255));
    g.SetSteps(20);
    Canvas canvas(90, 70);
    g.Paint(canvas.Dc());
    ExpectMatchesModel(canvas, PlanGradient(style, 90, 70, 20, RGB(255, 0, 0), RGB(0, 0, 255)));
  }
}

TEST_F(GradientTest, EllipseAndMountNestTowardsTheCentre) {
  for (TGradientBackgroundStyle style : {grEllipse, grMount}) {
    SCOPED_TRACE(testing::Message() << "style " << int{style});
    auto& g = MakeGradient(120, 80);
    g.SetStyle(style);
    g.SetStartColor(RGB(0, 0, 0));
    g.SetEndColor(RGB(0, 250, 0));
    g.SetSteps(10);
    Canvas canvas(120, 80);
    canvas.Fill(RGB(255, 0, 255));
    g.Paint(canvas.Dc());
    EXPECT_EQ(canvas.Pixel(0, 0), RGB(0, 0, 0));  // the corners keep the start colour
    EXPECT_EQ(canvas.Pixel(119, 79), RGB(0, 0, 0));
    // Shape 10 is empty (the insets meet at the centre): shape 9 is the innermost one drawn.
    EXPECT_EQ(canvas.Pixel(60, 40), RGB(0, 225, 0));
    EXPECT_EQ(canvas.Count(RGB(255, 0, 255)), 0);  // every pixel covered
    // Between the tops of shapes 5 and 6 (y 20 and 24) on the middle column: colour 5 of 10.
    EXPECT_EQ(canvas.Pixel(60, 22), RGB(0, 125, 0));
  }
}

TEST_F(GradientTest, SystemColourIsResolvedAtTheRebuild) {
  auto& g = MakeGradient(20, 20);
  g.SetStyle(grFilled);
  g.SetStartColor(fw::clBtnFace);
  Canvas canvas(20, 20);
  g.Paint(canvas.Dc());
  EXPECT_EQ(canvas.Pixel(10, 10), ::GetSysColor(COLOR_BTNFACE));
}

TEST_F(GradientTest, ZeroSizeDrawsNothingUntilItGetsASize) {
  auto& g = MakeGradient(0, 50);
  UseSetupWindowColours(g);
  Canvas canvas(30, 50);
  canvas.Fill(RGB(1, 2, 3));
  g.Paint(canvas.Dc());
  g.Paint(canvas.Dc());
  EXPECT_EQ(canvas.Count(RGB(1, 2, 3)), 30 * 50);
  EXPECT_EQ(g.RebuildCount(), 0);

  g.SetBounds(0, 0, 30, 50);
  g.Paint(canvas.Dc());
  EXPECT_EQ(g.RebuildCount(), 1);
  EXPECT_EQ(canvas.Count(RGB(1, 2, 3)), 0);
  EXPECT_EQ(canvas.Pixel(0, 0), Grey(48));

  // Shrinking to nothing again leaves no old face to be copied.
  g.SetBounds(0, 0, 30, 0);
  canvas.Fill(RGB(1, 2, 3));
  g.Paint(canvas.Dc());
  g.Paint(canvas.Dc());
  EXPECT_EQ(canvas.Count(RGB(1, 2, 3)), 30 * 50);
}

TEST_F(GradientTest, AnUnchangedControlOnlyCopies) {
  auto& g = MakeGradient(100, 60);
  UseSetupWindowColours(g);
  Canvas first(100, 60);
  g.Paint(first.Dc());
  ASSERT_EQ(g.RebuildCount(), 1);

  Canvas second(100, 60);
  g.Paint(second.Dc());
  EXPECT_EQ(g.RebuildCount(), 1);
  for (const POINT p : {POINT{0, 0}, POINT{50, 30}, POINT{10, 40}, POINT{99, 59}}) {
    EXPECT_EQ(second.Pixel(p.x, p.y), first.Pixel(p.x, p.y)) << p.x << "," << p.y;
  }

  // Moving is not resizing.
  g.SetBounds(5, 7, 100, 60);
  g.Paint(second.Dc());
  EXPECT_EQ(g.RebuildCount(), 1);

  g.SetBounds(5, 7, 100, 61);
  g.Paint(second.Dc());
  EXPECT_EQ(g.RebuildCount(), 2);
}

TEST_F(GradientTest, SettersStoreOnlyChangesAndNeverDraw) {
  auto& g = MakeGradient(40, 40);
  UseSetupWindowColours(g);
  Canvas canvas(40, 40);
  g.Paint(canvas.Dc());
  ASSERT_EQ(g.RebuildCount(), 1);

  const std::vector<std::pair<const char*, std::function<void()>>> same = {
      {"Style", [&] { g.SetStyle(grPyramid); }},
      {"StartColor", [&] { g.SetStartColor(0x00303030); }},
      {"EndColor", [&] { g.SetEndColor(0x00616161); }},
      {"Steps", [&] { g.SetSteps(100); }},
  };
  for (const auto& [name, set] : same) {
    g.invalidations = 0;
    set();
    EXPECT_EQ(g.invalidations, 0) << name;
    g.Paint(canvas.Dc());
    EXPECT_EQ(g.RebuildCount(), 1) << name;
  }

  const std::vector<std::pair<const char*, std::function<void()>>> changes = {
      {"Style", [&] { g.SetStyle(grVertical); }},
      {"StartColor", [&] { g.SetStartColor(0x00101010); }},
      {"EndColor", [&] { g.SetEndColor(0x00F0F0F0); }},
      {"Steps", [&] { g.SetSteps(7); }},
  };
  int rebuilds = g.RebuildCount();
  for (const auto& [name, set] : changes) {
    g.invalidations = 0;
    set();
    EXPECT_EQ(g.invalidations, 1) << name;
    EXPECT_EQ(g.RebuildCount(), rebuilds) << name << ": a setter must not draw";
    g.Paint(canvas.Dc());
    EXPECT_EQ(g.RebuildCount(), ++rebuilds) << name;
  }
}

TEST(GradientLoading, ClientAlignmentWinsOverTheLoadedPosition) {
  fw::Form form;
  form.SetClientSize(300, 200);
  TGradientBackground g(&form);
  g.SetBounds(1, 16, 528, 429);
  form.FinishCreate();
  EXPECT_EQ(g.Left(), 0);
  EXPECT_EQ(g.Top(), 0);
  EXPECT_EQ(g.Width(), 300);
  EXPECT_EQ(g.Height(), 200);
}

TEST(GradientLoading, UnalignedControlKeepsItsLoadedBounds) {
  fw::Form form;
  form.SetClientSize(300, 200);
  TGradientBackground g(&form);
  g.SetAlign(fw::alNone);
  g.SetBounds(3, 4, 50, 60);
  form.FinishCreate();
  EXPECT_EQ(g.Left(), 3);
  EXPECT_EQ(g.Top(), 4);
  EXPECT_EQ(g.Width(), 50);
  EXPECT_EQ(g.Height(), 60);
}

}  // namespace
}  // namespace widgets
