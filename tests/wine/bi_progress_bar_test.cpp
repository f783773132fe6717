// The two-tone meter on a real form: invalidation only on real changes and painted pixels. Needs a
// display.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "framework/app.h"
#include "framework/color.h"
#include "framework/form.h"
#include "framework/gdi.h"
#include "framework/handle.h"
#include "framework/panel.h"
#include "framework/push_button.h"
#include "widgets/bi_progress_bar.h"
#include "tests/wine/canvas.h"
#include "tests/wine/widget_fixture.h"

namespace {

using test::Backdrop;
using test::Canvas;
using test::ParkPointer;
using test::PumpUntil;
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
      {"value", [&] { meter.SetLightValue(37); }, true},
      {"same value", [&] { meter.SetLightValue(37); }, false},
      {"light colour", [&] { meter.SetLightColor(fw::clWhite); }, true},
      {"same light colour", [&] { meter.SetLightColor(fw::clWhite); }, false},
      {"text colour", [&] { meter.SetLightTextColor(fw::clBlack); }, true},
      {"same text colour", [&] { meter.SetLightTextColor(fw::clBlack); }, false},
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

TEST(BiProgressBar, LightValueFillsItsShareOfTheWidth) {
  constexpr int kWidth = 200;
  constexpr int kHeight = 10;
  constexpr fw::TColor kBackground = 0x00FCF8C9;
  ParkPointer();
  TestForm form;
  auto& meter = form.Make<CountingMeter>();
  meter.SetBounds(0, 0, kWidth, kHeight);
  meter.SetColor(kBackground);
  meter.SetLightColor(fw::clWhite);
  form.FinishCreate();
  Canvas canvas(kWidth, kHeight);
  ASSERT_TRUE(canvas.Valid());

  struct Case {
    std::int32_t value;
    int filled;  // columns of the light colour from the left
  };
  const Case cases[] = {{0, 0}, {1, 2}, {50, 100}, {99, 198}, {100, 200}, {150, 200}, {-10, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    meter.SetLightValue(c.value);
    Render(meter, canvas);
    for (int y : {0, kHeight / 2, kHeight - 1}) {
      if (c.filled > 0) {
        EXPECT_EQ(canvas.Pixel(0, y), RGB(255, 255, 255));
        EXPECT_EQ(canvas.Pixel(c.filled - 1, y), RGB(255, 255, 255));
      }
      if (c.filled < kWidth) {
        EXPECT_EQ(canvas.Pixel(c.filled, y), fw::ColorToRGB(kBackground));
        EXPECT_EQ(canvas.Pixel(kWidth - 1, y), fw::ColorToRGB(kBackground));
      }
    }
  }
}

TEST(BiProgressBar, LightTextIsCentredAcrossTheWholeLine) {
  constexpr int kWidth = 200;
  constexpr int kHeight = 12;
  ParkPointer();
  TestForm form;
  auto& meter = form.Make<CountingMeter>();
  meter.SetBounds(0, 0, kWidth, kHeight);
  meter.SetColor(fw::clWhite);
  meter.SetLightColor(fw::clWhite);
  meter.SetLightTextColor(fw::clBlack);
  meter.Font().SetName(L"Arial");
  meter.Font().SetHeight(11);
  form.FinishCreate();
  Canvas canvas(kWidth, kHeight);
  ASSERT_TRUE(canvas.Valid());

  const auto dark_columns = [&](int from, int to) {
    int dark = 0;
    for (int x = from; x < to; ++x) {
      for (int y = 0; y < kHeight; ++y) {
        const COLORREF p = canvas.Pixel(x, y);
        dark += GetRValue(p) + GetGValue(p) + GetBValue(p) < 300 ? 1 : 0;
      }
    }
    return dark;
  };
  for (std::int32_t value : {0, 10, 90}) {
    SCOPED_TRACE(value);
    meter.SetLightText(L"50%");
    meter.SetLightValue(value);
    Render(meter, canvas);
    EXPECT_GT(dark_columns(kWidth / 2 - 25, kWidth / 2 + 25), 0);
    EXPECT_EQ(dark_columns(0, 60), 0);
    EXPECT_EQ(dark_columns(kWidth - 60, kWidth), 0);
  }
  meter.SetLightText(L"");
  Render(meter, canvas);
  EXPECT_EQ(dark_columns(0, kWidth), 0);
}

}  // namespace
