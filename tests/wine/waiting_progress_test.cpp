// The waiting bar on a real form: its worker thread from start to end and through destruction, and
// its painted pixels. Needs a display.
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
#include "widgets/waiting_progress.h"
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
using widgets::TWaitingProgress;

// Records the position after every tick that found the bar running.
class RecordingBar : public TWaitingProgress {
 public:
  using fw::WinControl::PaintTo;
  using TWaitingProgress::TWaitingProgress;
  std::vector<std::int32_t> positions;

 protected:
  void AdvanceBar() override {
    const bool running = Active();
    TWaitingProgress::AdvanceBar();
    if (running) {
      positions.push_back(Position());
    }
  }
};

struct RunCase {
  std::uint32_t length;
  std::uint32_t interval;
};

class WaitingProgressRun : public ::testing::TestWithParam<RunCase> {};

TEST_P(WaitingProgressRun, AdvancesByTheIntervalUntilFullThenEndsOnce) {
  const RunCase& c = GetParam();
  ParkPointer();
  TestForm form;
  form.SetClientSize(400, 300);
  auto& bar = form.Make<RecordingBar>();
  bar.SetBounds(185, 230, 159, 4);
  bar.SetColor(0x006B6B6B);
  bar.SetProgressColor(fw::clSilver);
  bar.SetLength(c.length);
  bar.SetRefreshInterval(c.interval);
  int ended = 0;
  bar.OnEnded = [&ended](fw::Control&) { ++ended; };
  form.FinishCreate();
  form.ShowForm();

  std::vector<std::int32_t> expected;
  for (std::uint32_t p = c.interval; p <= c.length; p += c.interval) {
    expected.push_back(static_cast<std::int32_t>(p));
  }
  expected.push_back(static_cast<std::int32_t>(c.length));  // the tick that ends the run

  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE(run);
    bar.positions.clear();
    bar.SetActive(true);
    EXPECT_EQ(bar.Position(), 0);
    ASSERT_TRUE(PumpUntil([&] { return ended == run; }));
    EXPECT_EQ(bar.positions, expected);
    EXPECT_FALSE(bar.Active());
    EXPECT_EQ(bar.Position(), static_cast<std::int32_t>(c.length));
    // Stopped: later ticks, if any were queued, change nothing.
    PumpUntil([] { return false; }, 10);
    EXPECT_EQ(ended, run);
    EXPECT_EQ(bar.positions, expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, WaitingProgressRun,
                         ::testing::Values(RunCase{400, 1}, RunCase{10, 3}, RunCase{0, 1}));

TEST(WaitingProgress, FullBarIsFramedInColorAndFilledInProgressColor) {
  ParkPointer();
  TestForm form;
  form.SetClientSize(400, 300);
  auto& bar = form.Make<RecordingBar>();
  bar.SetBounds(0, 0, 159, 4);
  bar.SetColor(0x006B6B6B);
  bar.SetProgressColor(fw::clSilver);
  bar.SetLength(40);
  bar.SetRefreshInterval(1);
  form.FinishCreate();
  form.ShowForm();
  Canvas canvas(159, 4);
  ASSERT_TRUE(canvas.Valid());

  Render(bar, canvas);
  for (int x = 0; x < 159; ++x) {
    EXPECT_EQ(canvas.Pixel(x, 1), RGB(0x6B, 0x6B, 0x6B)) << x;
  }
  bar.SetActive(true);
  ASSERT_TRUE(PumpUntil([&] { return !bar.Active(); }));
  Render(bar, canvas);
  const COLORREF grey = RGB(0x6B, 0x6B, 0x6B);
  const COLORREF silver = RGB(0xC0, 0xC0, 0xC0);
  for (int x = 0; x < 159; ++x) {
    const bool frame_column = x == 0 || x == 158;
    EXPECT_EQ(canvas.Pixel(x, 0), grey) << x;
    EXPECT_EQ(canvas.Pixel(x, 3), grey) << x;
    EXPECT_EQ(canvas.Pixel(x, 1), frame_column ? grey : silver) << x;
    EXPECT_EQ(canvas.Pixel(x, 2), frame_column ? grey : silver) << x;
  }
}

TEST(WaitingProgress, ActiveSetWhileLoadingStartsWhenTheFormIsCreated) {
  ParkPointer();
  TestForm form;
  auto& bar = form.Make<RecordingBar>();
  bar.SetLength(1000);
  bar.SetRefreshInterval(1);
  bar.SetActive(true);
  EXPECT_TRUE(bar.Active());
  form.FinishCreate();
  EXPECT_TRUE(PumpUntil([&] { return bar.Position() > 0; }));
}

enum class Stage { kNeverActive, kRunning, kTickQueued, kEnded, kStoppedByHand };

class WaitingProgressDestroy : public ::testing::TestWithParam<Stage> {};

TEST_P(WaitingProgressDestroy, EndsTheWorkerAndReturns) {
  ParkPointer();
  TestForm form;
  form.SetClientSize(400, 300);
  form.FinishCreate();
  form.ShowForm();
  auto bar = std::make_unique<TWaitingProgress>(&form);
  bar->SetBounds(0, 0, 159, 4);
  bar->SetRefreshInterval(1);
  bar->SetLength(GetParam() == Stage::kEnded ? 5 : 100000);
  int ended = 0;
  bar->OnEnded = [&ended](fw::Control&) { ++ended; };
  switch (GetParam()) {
    case Stage::kNeverActive:
      break;
    case Stage::kRunning:
      bar->SetActive(true);
      ASSERT_TRUE(PumpUntil([&] { return bar->Position() > 0; }));
      break;
    case Stage::kTickQueued:
      bar->SetActive(true);
      ASSERT_TRUE(PumpUntil([&] { return bar->Position() > 0; }));
      ::Sleep(30);  // the worker offers its next tick and waits for the main thread
      break;
    case Stage::kEnded:
      bar->SetActive(true);
      ASSERT_TRUE(PumpUntil([&] { return ended == 1; }));
      break;
    case Stage::kStoppedByHand:
      bar->SetActive(true);
      ASSERT_TRUE(PumpUntil([&] { return bar->Position() > 0; }));
      bar->SetActive(false);
      break;
  }
  const int ended_before = ended;
  EXPECT_EQ(ended_before, GetParam() == Stage::kEnded ? 1 : 0);
  bar.reset();
  // Whatever was still posted to it goes nowhere.
  Settle();
  EXPECT_EQ(ended, ended_before);
}

INSTANTIATE_TEST_SUITE_P(Stages, WaitingProgressDestroy,
                         ::testing::Values(Stage::kNeverActive, Stage::kRunning, Stage::kTickQueued,
                                           Stage::kEnded, Stage::kStoppedByHand));

}  // namespace
