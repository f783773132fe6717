// The two-tone meter on a real form: invalidation only on real changes, and its pixels rendered
// into a memory bitmap: the setup window's gradient meter, blocks, vertical bars, the half modes,
// the dark bar, the infinite mode, the bevel, the marquee, transparency and the texts. Needs a
// display.
#include <gtest/gtest.h>
#include <windows.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "bootstrap/app/window_look.h"
#include "framework/app.h"
#include "framework/color.h"
#include "framework/form.h"
#include "framework/gdi.h"
#include "framework/handle.h"
#include "framework/visual_style.h"
#include "tests/wine/canvas.h"
#include "tests/wine/widget_fixture.h"
#include "widgets/bi_progress_bar.h"

namespace {

using test::Backdrop;
using test::Canvas;
using test::ParkPointer;
using test::Render;
using test::Settle;
using test::TestForm;
using widgets::TBiProgressBar;

class CountingMeter : public TBiProgressBar {
 public:
  using fw::WinControl::PaintTo;
  using TBiProgressBar::TBiProgressBar;
  void Paint(HDC dc) override {
    ++paints;
    TBiProgressBar::Paint(dc);
  }
  int paints = 0;
};

constexpr fw::TColor kMeterColor = 0x00FCF8C9;  // red 201, green 248, blue 252
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

// The setup window's meter: 498 x 10, smooth, light gradient of 64 steps to white, no theme.
void ConfigureAsInTheWindow(TBiProgressBar& meter) {
  meter.SetBounds(0, 0, 498, 10);
  setup::StyleMeter(meter);
}

// Colour i of the 64-colour ramp from the meter's colour to white, computed independently.
COLORREF RampColour(int i) {
  const auto channel = [i](int from) { return from + ::MulDiv(i, 255 - from, 63); };
  return RGB(channel(201), channel(248), channel(252));
}

bool IsDark(COLORREF p) {
  return GetRValue(p) + GetGValue(p) + GetBValue(p) < 300;
}

int DarkPixels(const Canvas& canvas, int from_x, int to_x) {
  int dark = 0;
  for (int x = from_x; x < to_x; ++x) {
    for (int y = 0; y < canvas.Height(); ++y) {
      dark += IsDark(canvas.Pixel(x, y)) ? 1 : 0;
    }
  }
  return dark;
}

TEST(BiProgressBar, DefaultsAreTheDocumentedOnes) {
  TestForm form;
  auto& meter = form.Make<CountingMeter>();
  EXPECT_EQ(meter.Width(), 100);
  EXPECT_EQ(meter.Height(), 21);
  EXPECT_TRUE(meter.Opaque());
  EXPECT_EQ(meter.Color(), fw::clWindow);
  EXPECT_EQ(meter.MinValue(), 0);
  EXPECT_EQ(meter.Scale(), 100);
  EXPECT_EQ(meter.LightColor(), fw::clRed);
  EXPECT_EQ(meter.DarkColor(), fw::clMaroon);
  EXPECT_EQ(meter.LightTextColor(), fw::clBtnText);
  EXPECT_EQ(meter.DarkTextColor(), fw::clBtnText);
  EXPECT_FALSE(meter.LightTextFullLine());
  EXPECT_FALSE(meter.Smooth());
  EXPECT_FALSE(meter.LightGradient());
  EXPECT_EQ(meter.LightGradientSteps(), 64);
  EXPECT_EQ(meter.DarkGradientSteps(), 64);
  EXPECT_EQ(meter.Orientation(), widgets::poHorizontal);
  EXPECT_EQ(meter.ProgressShowMode(), widgets::psmAllFull);
  EXPECT_EQ(meter.BevelStyle(), widgets::ebsNone);
  EXPECT_FALSE(meter.Marquee());
  EXPECT_EQ(meter.MarqueeSize(), 20);
  EXPECT_EQ(meter.MarqueeUpdateInterval(), 25);
  EXPECT_EQ(meter.MarqueeColor(), fw::clMaroon);
  EXPECT_EQ(meter.MarqueeTimer(), nullptr);
  EXPECT_FALSE(meter.Transparent());
  EXPECT_EQ(meter.ThemeMode(), widgets::ttmPlatform);
}

TEST(BiProgressBar, SettersInvalidateOnlyOnARealChangeAndNeverPaintThemselves) {
  ParkPointer();
  TestForm form;
  form.SetClientSize(300, 100);
  auto& meter = form.Make<CountingMeter>();
  meter.SetBounds(16, 64, 200, 10);
  form.FinishCreate();
  form.ShowForm();
  Settle();

  struct Step {
    const char* what;
    std::function<void()> set;
    bool invalidates;
  };
  const Step steps[] = {
      {"text", [&] { meter.SetLightText(L"ok"); }, true},
      {"same text", [&] { meter.SetLightText(L"ok"); }, false},
      {"text in other case", [&] { meter.SetLightText(L"OK"); }, true},
      {"value 0 again", [&] { meter.SetLightValue(0); }, false},
      {"gradient while the light bar is empty", [&] { meter.SetLightGradient(true); }, false},
      {"steps while the light bar is empty", [&] { meter.SetLightGradientSteps(8); }, false},
      {"value", [&] { meter.SetLightValue(37); }, true},
      {"same value", [&] { meter.SetLightValue(37); }, false},
      {"gradient while the light bar shows", [&] { meter.SetLightGradient(false); }, true},
      {"steps while the light bar shows", [&] { meter.SetLightGradientSteps(64); }, true},
      {"dark gradient while the dark bar is empty", [&] { meter.SetDarkGradient(true); }, false},
      {"dark value", [&] { meter.SetDarkValue(50); }, true},
      {"dark steps while the dark bar shows", [&] { meter.SetDarkGradientSteps(3); }, true},
      {"light colour", [&] { meter.SetLightColor(fw::clWhite); }, true},
      {"same light colour", [&] { meter.SetLightColor(fw::clWhite); }, false},
      {"text colour", [&] { meter.SetLightTextColor(fw::clBlack); }, true},
      {"same text colour", [&] { meter.SetLightTextColor(fw::clBlack); }, false},
      {"scale", [&] { meter.SetScale(200); }, true},
      {"same scale", [&] { meter.SetScale(200); }, false},
      {"smooth", [&] { meter.SetSmooth(true); }, true},
      {"orientation", [&] { meter.SetOrientation(widgets::poVertical); }, true},
      {"same show mode", [&] { meter.SetProgressShowMode(widgets::psmAllFull); }, false},
      {"caption", [&] { meter.SetCaption(L"c"); }, true},
      {"same caption", [&] { meter.SetCaption(L"c"); }, false},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    Settle();
    ASSERT_EQ(::GetUpdateRect(meter.Handle(), nullptr, FALSE), FALSE);
    const int before = meter.paints;
    step.set();
    EXPECT_EQ(meter.paints, before);
    EXPECT_EQ(::GetUpdateRect(meter.Handle(), nullptr, FALSE), FALSE) << "requests wait for a pump";
    fw::App().FlushInvalidations();
    EXPECT_EQ(::GetUpdateRect(meter.Handle(), nullptr, FALSE) != FALSE, step.invalidates);
    Settle();
    EXPECT_EQ(meter.paints > before, step.invalidates);
  }
}

// The setup window's meter: which ramp colour each column shows, per value.
TEST(BiProgressBar, WindowMeterShowsTheBandsOverTheBarsLength) {
  TestForm form;
  auto& meter = form.Make<CountingMeter>();
  ConfigureAsInTheWindow(meter);
  form.FinishCreate();
  Canvas canvas(498, 10);
  ASSERT_TRUE(canvas.Valid());
  const COLORREF background = fw::ColorToRGB(kMeterColor);

  struct Column {
    int x;
    int band;  // -1: the background
  };
  struct Case {
    std::int32_t value;
    std::vector<Column> columns;
  };
  const Case cases[] = {
      {0, {{0, -1}, {250, -1}, {497, -1}}},
      // L = 5: only bands 6, 19, 31, 44 and 57 are one pixel wide.
      {1, {{0, 6}, {1, 19}, {2, 31}, {3, 44}, {4, 57}, {5, -1}}},
      // L = 249: band 0 spans 0-4, band 32 125-128, band 63 245-249.
      {50,
       {{0, 0},
        {3, 0},
        {4, 1},
        {7, 1},
        {124, 31},
        {125, 32},
        {127, 32},
        {245, 63},
        {248, 63},
        {249, -1},
        {497, -1}}},
      // L = 498: band 63 spans 490-498 and ends at the right edge in pure white.
      {100, {{0, 0}, {489, 62}, {490, 63}, {497, 63}}},
      // L = 747: the gradient spans the longer bar, so the right edge shows band 42, not white.
      {150, {{0, 0}, {497, 42}}},
      {-10, {{0, -1}, {497, -1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    meter.SetLightValue(c.value);
    Render(meter, canvas);
    for (const Column& col : c.columns) {
      const COLORREF want = col.band < 0 ? background : RampColour(col.band);
      for (int y : {0, 5, 9}) {
        EXPECT_EQ(canvas.Pixel(col.x, y), want) << "x " << col.x << " y " << y;
      }
    }
  }
  // The three colours every meter of these settings shows.
  EXPECT_EQ(RampColour(0), RGB(201, 248, 252));
  EXPECT_EQ(RampColour(32), RGB(228, 252, 254));
  EXPECT_EQ(RampColour(63), kWhite);
}

TEST(BiProgressBar, PercentTextIsCentredOnTheWholeLineOverBothParts) {
  TestForm form;
  auto& meter = form.Make<CountingMeter>();
  ConfigureAsInTheWindow(meter);
  form.FinishCreate();
  Canvas canvas(498, 10);
  ASSERT_TRUE(canvas.Valid());

  for (std::int32_t value : {0, 50}) {
    SCOPED_TRACE(value);
    meter.SetLightText(std::to_wstring(value) + L"%");
    meter.SetLightValue(value);
    Render(meter, canvas);
    // The box is centred on (Width - 2) / 2 = 248: the text straddles the bar's end at 249.
    EXPECT_GT(DarkPixels(canvas, 230, 248), 0);
    EXPECT_GT(DarkPixels(canvas, 249, 268), 0);
    EXPECT_EQ(DarkPixels(canvas, 0, 225), 0);
    EXPECT_EQ(DarkPixels(canvas, 272, 498), 0);
  }
  meter.SetLightText(L"");
  Render(meter, canvas);
  EXPECT_EQ(DarkPixels(canvas, 0, 498), 0);
}

TEST(BiProgressBar, TextWiderThanTheControlIsClippedToWidthMinusTwo) {
  TestForm form;
  auto& meter = form.Make<CountingMeter>();
  ConfigureAsInTheWindow(meter);
  meter.SetBounds(0, 0, 40, 10);
  meter.SetLightText(L"MMMMMMMMMMMMMMMMMMMM");
  form.FinishCreate();
  Canvas canvas(40, 10);
  ASSERT_TRUE(canvas.Valid());
  Render(meter, canvas);
  // The box runs from x = 0 and is 38 wide: both ends are covered, the last two columns are not.
  EXPECT_GT(DarkPixels(canvas, 0, 3), 0);
  EXPECT_GT(DarkPixels(canvas, 35, 38), 0);
  EXPECT_EQ(DarkPixels(canvas, 38, 40), 0);
}

// A 100 x 10 meter with plain colours, for the other modes.
struct PlainMeter {
  TestForm form;
  CountingMeter& meter = form.Make<CountingMeter>();
  Canvas canvas{100, 10};

  explicit PlainMeter(int width = 100, int height = 10) : canvas(width, height) {
    meter.SetBounds(0, 0, width, height);
    meter.SetColor(fw::clWhite);
    meter.SetLightColor(fw::clRed);
    meter.SetDarkColor(fw::clBlue);
    meter.SetThemeMode(widgets::ttmNone);
    meter.SetSmooth(true);
    form.FinishCreate();
  }
  void Draw() { Render(meter, canvas); }
  COLORREF At(int x, int y) const { return canvas.Pixel(x, y); }
};

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

struct Pin {
  int x;
  int y;
  COLORREF colour;
};

void ExpectPins(const PlainMeter& m, const std::vector<Pin>& pins) {
  for (const Pin& p : pins) {
    EXPECT_EQ(m.At(p.x, p.y), p.colour) << "at " << p.x << "," << p.y;
  }
}

TEST(BiProgressBar, BlockModeDrawsEightPixelBlocksWithTwoPixelGaps) {
  PlainMeter m;
  m.meter.SetSmooth(false);
  m.meter.SetLightGradient(true);  // ignored by blocks
  m.meter.SetLightValue(45);       // L = 45: blocks 0-7, 10-17, 20-27, 30-37, 40-44
  m.Draw();
  ExpectPins(m, {{0, 5, kRed},
                 {7, 5, kRed},
                 {8, 5, kWhite},
                 {9, 0, kWhite},
                 {10, 9, kRed},
                 {40, 5, kRed},
                 {44, 5, kRed},
                 {45, 5, kWhite},
                 {99, 5, kWhite}});
}

TEST(BiProgressBar, VerticalBarsGrowUpwardsAndTheHalfModesSplitThem) {
  PlainMeter m(10, 100);
  m.meter.SetOrientation(widgets::poVertical);
  m.meter.SetLightValue(30);  // rows 70-99
  m.meter.SetDarkValue(60);   // rows 40-99, beneath the light bar
  m.Draw();
  ExpectPins(m, {{5, 99, kRed},
                 {5, 70, kRed},
                 {5, 69, kBlue},
                 {5, 40, kBlue},
                 {5, 39, kWhite},
                 {0, 80, kRed}});
  // Half modes: the light bar keeps its right half, the dark bar its left half.
  m.meter.SetProgressShowMode(widgets::psmAllHalf);
  m.Draw();
  ExpectPins(m, {{7, 80, kRed}, {2, 80, kBlue}, {7, 50, kWhite}, {2, 50, kBlue}});
}

TEST(BiProgressBar, HalfModesAndTheDarkBarHorizontally) {
  PlainMeter m;
  m.meter.SetLightValue(40);
  m.meter.SetDarkValue(80);
  struct Case {
    widgets::TProgressShowMode mode;
    std::vector<Pin> pins;
  };
  const Case cases[] = {
      {widgets::psmAllFull, {{10, 2, kRed}, {10, 7, kRed}, {60, 2, kBlue}, {90, 5, kWhite}}},
      {widgets::psmLightHalf, {{10, 2, kRed}, {10, 7, kBlue}, {60, 2, kBlue}}},
      {widgets::psmDarkHalf, {{10, 2, kRed}, {10, 7, kRed}, {60, 2, kWhite}, {60, 7, kBlue}}},
      {widgets::psmAllHalf,
       {{10, 4, kRed}, {10, 5, kBlue}, {60, 4, kWhite}, {60, 5, kBlue}, {80, 5, kWhite}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.mode));
    m.meter.SetProgressShowMode(c.mode);
    m.Draw();
    ExpectPins(m, c.pins);
  }
}

TEST(BiProgressBar, InfiniteModeWrapsTheValueAroundTheBar) {
  PlainMeter m;
  m.meter.SetInfiniteMode(true);
  struct Case {
    std::int32_t value;
    bool smooth;
    std::vector<Pin> pins;
  };
  const Case cases[] = {
      // First lap grows from the left.
      {30, true, {{0, 5, kRed}, {29, 5, kRed}, {30, 5, kWhite}}},
      // Odd lap: the last 50 pixels at the far end.
      {150, true, {{49, 5, kWhite}, {50, 5, kRed}, {99, 5, kRed}}},
      // Even lap again from the base.
      {250, true, {{0, 5, kRed}, {49, 5, kRed}, {50, 5, kWhite}}},
      // Not smooth: the rest is cut to whole 10-pixel blocks (57 -> 50).
      {157, false, {{49, 5, kWhite}, {50, 5, kRed}, {57, 5, kRed}, {58, 5, kWhite}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    m.meter.SetSmooth(c.smooth);
    m.meter.SetLightValue(c.value);
    m.Draw();
    ExpectPins(m, c.pins);
  }
}

TEST(BiProgressBar, BevelFramesTheFaceAndNarrowsTheBars) {
  PlainMeter m;
  const COLORREF shadow = fw::ColorToRGB(fw::clBtnShadow);
  const COLORREF highlight = fw::ColorToRGB(fw::clBtnHighlight);
  m.meter.SetLightValue(100);  // working width 98: x 1-98
  m.meter.SetBevelStyle(widgets::ebsLowered);
  m.Draw();
  ExpectPins(m, {{0, 5, shadow},
                 {0, 9, shadow},
                 {50, 0, shadow},
                 {99, 0, highlight},
                 {99, 5, highlight},
                 {50, 9, highlight},
                 {1, 1, kRed},
                 {98, 8, kRed}});
  m.meter.SetBevelStyle(widgets::ebsRaised);
  m.Draw();
  ExpectPins(m, {{0, 5, highlight}, {99, 5, shadow}});
}

TEST(BiProgressBar, ScaleOfZeroOrLessDrawsOnlyTheBackground) {
  PlainMeter m;
  m.meter.SetLightValue(50);
  m.meter.SetLightText(L"50%");
  m.meter.SetLightTextColor(fw::clBlack);
  m.meter.SetScale(0);
  m.Draw();
  EXPECT_EQ(m.canvas.Count(kWhite), 100 * 10);
}

TEST(BiProgressBar, ButtonStyleDrawsAPushButtonFace) {
  PlainMeter m;
  m.meter.SetLightButtonStyle(true);
  m.meter.SetLightValue(50);
  m.Draw();
  EXPECT_EQ(m.At(25, 5), fw::ColorToRGB(fw::clBtnFace));
  EXPECT_EQ(m.At(75, 5), kWhite);
}

TEST(BiProgressBar, MarqueeMovesABlockAndHidesTheValues) {
  PlainMeter m;
  m.meter.SetLightValue(90);
  m.meter.SetLightText(L"90%");
  m.meter.SetLightTextColor(fw::clBlack);
  m.meter.SetMarqueeColor(fw::clBlue);
  m.meter.SetMarquee(true);
  ASSERT_NE(m.meter.MarqueeTimer(), nullptr);
  EXPECT_EQ(m.meter.MarqueeTimer()->Interval(), 25u);
  // Starts at MarqueeSize per cent of Scale: a 20-pixel block ending at x 20.
  EXPECT_EQ(m.meter.MarqueePosition(), 20);
  m.Draw();
  ExpectPins(m, {{0, 5, kBlue}, {19, 5, kBlue}, {20, 5, kWhite}, {60, 5, kWhite}});
  EXPECT_EQ(m.canvas.Count(kBlack), 0);

  // Back and forth between 20 and 100, one unit per tick.
  std::vector<std::int32_t> positions;
  for (int i = 0; i < 82; ++i) {
    m.meter.MarqueeTimer()->Tick();
    positions.push_back(m.meter.MarqueePosition());
  }
  EXPECT_EQ(positions[0], 21);
  EXPECT_EQ(positions[79], 100);
  EXPECT_EQ(positions[80], 99);
  EXPECT_EQ(positions[81], 98);
  m.Draw();
  ExpectPins(m, {{77, 5, kWhite}, {78, 5, kBlue}, {97, 5, kBlue}, {98, 5, kWhite}});

  m.meter.SetMarquee(false);
  EXPECT_EQ(m.meter.MarqueeTimer(), nullptr);
  m.Draw();
  EXPECT_EQ(m.At(80, 5), kRed);
}

TEST(BiProgressBar, UprightMarqueeBlockIsSizedByTheHeight) {
  PlainMeter m(10, 100);
  m.meter.SetOrientation(widgets::poVertical);
  m.meter.SetMarqueeColor(fw::clBlue);
  m.meter.SetMarquee(true);
  ASSERT_NE(m.meter.MarqueeTimer(), nullptr);
  // The lowest position, 20: a block 20 % of the height (not 2 pixels, 20 % of the width) that
  // sits on the base.
  m.Draw();
  ExpectPins(m, {{5, 99, kBlue}, {0, 80, kBlue}, {9, 80, kBlue}, {5, 79, kWhite}, {5, 50, kWhite}});
  EXPECT_EQ(m.canvas.Count(kBlue), 10 * 20);
  // The highest, 100: the same block at the top.
  while (m.meter.MarqueePosition() < 100) {
    m.meter.MarqueeTimer()->Tick();
  }
  m.Draw();
  ExpectPins(m, {{5, 0, kBlue}, {5, 19, kBlue}, {5, 20, kWhite}, {5, 99, kWhite}});
  EXPECT_EQ(m.canvas.Count(kBlue), 10 * 20);
}

TEST(BiProgressBar, GradientOfMoreStepsThanThePainterTakesStillDrawsTheBar) {
  for (const std::int32_t steps : {65537, 1000000, INT32_MAX}) {
    SCOPED_TRACE(steps);
    PlainMeter m;
    m.meter.SetLightGradient(true);
    m.meter.SetLightGradientSteps(steps);
    m.meter.SetLightValue(100);
    m.Draw();
    // White at the base to red at the leading edge, one shade per column, red rising nowhere.
    int previous = 256;
    for (int x = 0; x < 100; ++x) {
      const COLORREF p = m.At(x, 5);
      EXPECT_EQ(GetRValue(p), 255) << x;
      EXPECT_EQ(GetGValue(p), GetBValue(p)) << x;
      EXPECT_LT(GetGValue(p), previous) << x;
      previous = GetGValue(p);
      EXPECT_EQ(m.At(x, 0), p) << x;
    }
    EXPECT_GE(GetGValue(m.At(0, 5)), 250);
    EXPECT_LE(GetGValue(m.At(99, 5)), 5);
  }
}

TEST(BiProgressBar, TransparentMeterShowsWhatLiesBeneath) {
  TestForm form;
  form.SetClientSize(200, 50);
  auto& backdrop = form.Make<Backdrop>();  // red
  backdrop.SetBounds(0, 0, 200, 50);
  auto& meter = form.Make<CountingMeter>();
  meter.SetBounds(10, 10, 100, 10);
  meter.SetThemeMode(widgets::ttmNone);
  meter.SetSmooth(true);
  meter.SetLightColor(fw::clBlue);
  meter.SetLightValue(50);
  form.FinishCreate();
  Canvas canvas(100, 10);
  ASSERT_TRUE(canvas.Valid());
  Render(meter, canvas);
  EXPECT_EQ(canvas.Pixel(75, 5), fw::ColorToRGB(fw::clWindow));
  meter.SetTransparent(true);
  EXPECT_NE(::GetWindowLongPtrW(meter.Handle(), GWL_EXSTYLE) & WS_EX_TRANSPARENT, 0);
  Render(meter, canvas);
  EXPECT_EQ(canvas.Pixel(75, 5), kRed);
  EXPECT_EQ(canvas.Pixel(25, 5), kBlue);
}

TEST(BiProgressBar, PlatformThemeFallsBackToTheClassicLookWithoutVisualStyles) {
  PlainMeter classic;
  PlainMeter themed;
  for (PlainMeter* m : {&classic, &themed}) {
    m->meter.SetLightValue(40);
    m->meter.SetDarkValue(70);
  }
  themed.meter.SetThemeMode(widgets::ttmPlatform);
  EXPECT_EQ(themed.meter.Themed(), fw::VisualStylesActive());
  std::printf("visual styles active: %s\n", fw::VisualStylesActive() ? "yes" : "no");
  classic.Draw();
  themed.Draw();
  int differing = 0;
  for (int x = 0; x < 100; ++x) {
    differing += classic.At(x, 5) != themed.At(x, 5) ? 1 : 0;
  }
  // With visual styles the renderer draws the frame and bars; without them nothing changes.
  EXPECT_EQ(differing == 0, !fw::VisualStylesActive());
}

TEST(BiProgressBar, CaptionIsDrawnLastInTheFontsColour) {
  PlainMeter m(200, 12);
  m.meter.SetLightValue(100);
  m.meter.SetLightColor(fw::clBlack);  // a black bar: only a white caption shows on it
  m.meter.Font().SetName(L"Arial");
  m.meter.Font().SetHeight(11);
  m.meter.Font().SetColor(fw::clWhite);
  m.Draw();
  EXPECT_EQ(m.canvas.Count(kWhite), 0);
  m.meter.SetCaption(L"Caption");
  m.Draw();
  EXPECT_GT(m.canvas.Count(kWhite), 0);
}

}  // namespace
