// The waiting bar on a real form: the inner strip's filled columns and pixels, ticks driven by
// hand (the worker held at its gate), and the worker thread from start to end and through
// destruction, each bounded by a watchdog. Needs a display.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
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
#include "tests/wine/canvas.h"
#include "tests/wine/widget_fixture.h"
#include "widgets/waiting_progress.h"

namespace {

using test::Canvas;
using test::ParkPointer;
using test::PumpUntil;
using test::Render;
using test::Settle;
using test::TestForm;
using test::Watchdog;
using widgets::TProgressStrip;
using widgets::TWaitingProgress;

constexpr DWORD kThreadLimitMs = 60000;
constexpr COLORREF kGrey = RGB(0x6B, 0x6B, 0x6B);
constexpr COLORREF kSilver = RGB(0xC0, 0xC0, 0xC0);

// Records the position after every tick that found the bar running, and lets a test run a tick.
class RecordingBar : public TWaitingProgress {
 public:
  using fw::WinControl::PaintTo;
  using TWaitingProgress::TWaitingProgress;
  std::vector<std::int32_t> positions;
  void Tick() { AdvanceBar(); }

 protected:
  void AdvanceBar() override {
    const bool running = Active();
    TWaitingProgress::AdvanceBar();
    if (running) {
      positions.push_back(Position());
    }
  }
};

// The setup window's bar.
void ConfigureAsInTheWindow(TWaitingProgress& bar) {
  bar.SetBounds(0, 0, 159, 4);
  setup::StyleWaitingBar(bar);
}

// Frame in grey, silver in columns 1..filled of rows 1 and 2, grey after them.
void ExpectStripLayout(const Canvas& canvas, int filled) {
  for (int x = 0; x < 159; ++x) {
    const bool frame = x == 0 || x == 158;
    const COLORREF inner = !frame && x <= filled ? kSilver : kGrey;
    ASSERT_EQ(canvas.Pixel(x, 0), kGrey) << x;
    ASSERT_EQ(canvas.Pixel(x, 3), kGrey) << x;
    ASSERT_EQ(canvas.Pixel(x, 1), inner) << x;
    ASSERT_EQ(canvas.Pixel(x, 2), inner) << x;
  }
}

// A bar that is Active with its worker held at the gate, so that the test runs every tick itself.
struct HandDrivenBar {
  TestForm form;
  RecordingBar& bar = form.Make<RecordingBar>();
  int ended = 0;

  HandDrivenBar() {
    ConfigureAsInTheWindow(bar);
    bar.OnEnded = [this](fw::Control&) { ++ended; };
    form.FinishCreate();
    Start();
  }
  void Start() {
    bar.SetActive(true);
    // Ticks the worker offers from now on reach the main thread only when it pumps, and are
    // dropped there because the thread is paused.
    bar.Wait().SetPaused(true);
  }
};

TEST(WaitingProgress, DefaultsAndPausedBeforeTheFirstStart) {
  TestForm form;
  auto& bar = form.Make<RecordingBar>();
  EXPECT_EQ(bar.Width(), 100);
  EXPECT_EQ(bar.Height(), 10);
  EXPECT_FALSE(bar.Active());
  EXPECT_EQ(bar.Length(), 30000u);
  EXPECT_EQ(bar.RefreshInterval(), 500u);
  EXPECT_EQ(bar.ProgressColor(), fw::clBlack);
  EXPECT_EQ(bar.Wait().Delay(), 500u);
  EXPECT_FALSE(bar.Wait().Paused());
  EXPECT_TRUE(bar.Wait().Suspended());
  TProgressStrip& strip = bar.Progress();
  EXPECT_EQ(strip.Parent(), &bar);
  EXPECT_EQ(strip.Width(), 100);
  EXPECT_EQ(strip.Height(), 10);
  EXPECT_EQ(strip.Maximum(), 30000);
  EXPECT_TRUE(strip.Solid());
  EXPECT_EQ(strip.EndColor(), fw::clBlack);
  EXPECT_EQ(strip.TextOption(), widgets::toNoText);
  EXPECT_EQ(strip.BorderStyle(), widgets::pbsNone);
}

TEST(WaitingProgress, TicksFillTheColumnsOfTheTable) {
  HandDrivenBar h;
  Canvas canvas(159, 4);
  ASSERT_TRUE(canvas.Valid());
  Render(h.bar, canvas);
  ExpectStripLayout(canvas, 0);

  struct Case {
    int tick;
    int filled;
  };
  const Case cases[] = {{1, 0}, {2, 1}, {4, 2}, {200, 79}, {399, 157}, {400, 157}};
  int ticks = 0;
  int renders_before = h.bar.Progress().RenderCount();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tick);
    while (ticks < c.tick) {
      h.bar.Tick();
      ++ticks;
    }
    EXPECT_EQ(h.bar.Position(), c.tick);
    EXPECT_EQ(h.bar.Progress().Block(), c.filled);
    Render(h.bar, canvas);
    ExpectStripLayout(canvas, c.filled);
  }
  // Only a tick that changes the filled width renders: 157 of the 400.
  EXPECT_EQ(h.bar.Progress().RenderCount() - renders_before, 157);
  EXPECT_TRUE(h.bar.Active());
  EXPECT_EQ(h.ended, 0);
}

TEST(WaitingProgress, TickPastTheLengthStopsThroughTheDeferredMessageAndEndsOnce) {
  HandDrivenBar h;
  for (int i = 0; i < 400; ++i) {
    h.bar.Tick();
  }
  h.bar.Wait().SetPaused(false);  // as running normally: the deferred stop must pause it
  h.bar.Tick();                   // 401
  EXPECT_EQ(h.bar.Position(), 400);
  EXPECT_FALSE(h.bar.Active());
  EXPECT_FALSE(h.bar.Wait().Paused()) << "applied only after the tick";
  EXPECT_EQ(h.ended, 0) << "the end is posted, never run inside the tick";
  ASSERT_TRUE(PumpUntil([&] { return h.ended == 1; }));
  EXPECT_TRUE(h.bar.Wait().Paused());
  // A tick queued before the stop changes nothing.
  h.bar.Tick();
  Settle();
  EXPECT_EQ(h.bar.Position(), 400);
  EXPECT_EQ(h.ended, 1);
}

TEST(WaitingProgress, ActiveAgainRestartsFromAnEmptyBar) {
  HandDrivenBar h;
  for (int i = 0; i < 401; ++i) {
    h.bar.Tick();
  }
  ASSERT_TRUE(PumpUntil([&] { return h.ended == 1; }));
  h.bar.SetActive(true);
  h.bar.Wait().SetPaused(true);
  EXPECT_EQ(h.bar.Position(), 0);
  EXPECT_EQ(h.bar.Progress().Block(), 0);
  Canvas canvas(159, 4);
  ASSERT_TRUE(canvas.Valid());
  Render(h.bar, canvas);
  ExpectStripLayout(canvas, 0);
  h.bar.SetActive(true);  // the same value again does nothing
  h.bar.Tick();
  EXPECT_EQ(h.bar.Position(), 1);
}

TEST(WaitingProgress, LengthAndRefreshIntervalChangedWhileRunning) {
  HandDrivenBar h;
  for (int i = 0; i < 100; ++i) {
    h.bar.Tick();
  }
  h.bar.SetLength(50);
  EXPECT_EQ(h.bar.Position(), 0) << "a new length empties the bar";
  EXPECT_EQ(h.bar.Progress().Maximum(), 50);
  h.bar.SetRefreshInterval(20);
  EXPECT_EQ(h.bar.Wait().Delay(), 20u);
  h.bar.positions.clear();
  for (int i = 0; i < 4; ++i) {
    h.bar.Tick();
  }
  EXPECT_EQ(h.bar.positions, (std::vector<std::int32_t>{20, 40, 50}));
  EXPECT_FALSE(h.bar.Active());
  ASSERT_TRUE(PumpUntil([&] { return h.ended == 1; }));
}

TEST(WaitingProgress, ColourChangesRepaintTheFrameAndTheEmptyPartAtOnce) {
  HandDrivenBar h;
  for (int i = 0; i < 200; ++i) {
    h.bar.Tick();
  }
  const int renders = h.bar.Progress().RenderCount();
  h.bar.SetColor(fw::clBlack);
  EXPECT_EQ(h.bar.Progress().RenderCount(), renders + 1);
  h.bar.SetProgressColor(fw::clWhite);
  EXPECT_EQ(h.bar.ProgressColor(), fw::clWhite);
  Canvas canvas(159, 4);
  ASSERT_TRUE(canvas.Valid());
  Render(h.bar, canvas);
  EXPECT_EQ(canvas.Pixel(0, 1), RGB(0, 0, 0));
  EXPECT_EQ(canvas.Pixel(79, 1), RGB(255, 255, 255));
  EXPECT_EQ(canvas.Pixel(80, 1), RGB(0, 0, 0));
}

// The strip on its own.
struct StripOnForm {
  TestForm form;
  TProgressStrip& strip = form.Make<TProgressStrip>();

  StripOnForm(int width, int height) {
    strip.SetBounds(0, 0, width, height);
    strip.SetColor(fw::clWhite);
    strip.SetSolid(true);
    form.FinishCreate();
  }
};

TEST(ProgressStrip, SolidGradientFillsOneColourPerColumnRoundedHalfToEven) {
  StripOnForm s(102, 6);
  s.strip.SetStartColor(RGB(0, 0, 0));
  s.strip.SetEndColor(RGB(200, 100, 50));
  s.strip.SetMaximum(100);
  struct Case {
    std::int32_t position;
    std::vector<std::pair<int, COLORREF>> columns;  // x, colour
  };
  const Case cases[] = {
      // dR 2, dG 1, dB 0.5: column i + 1 shows (2i, i, round-half-even(i / 2)).
      {100,
       {{1, RGB(0, 0, 0)},
        {2, RGB(2, 1, 0)},
        {4, RGB(6, 3, 2)},
        {6, RGB(10, 5, 2)},
        {100, RGB(198, 99, 50)},
        {101, RGB(255, 255, 255)}}},
      // Over 50 columns: steps of 4, 2 and 1.
      {50, {{1, RGB(0, 0, 0)}, {50, RGB(196, 98, 49)}, {51, RGB(255, 255, 255)}}},
  };
  Canvas canvas(102, 6);
  ASSERT_TRUE(canvas.Valid());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.position);
    s.strip.SetPosition(c.position);
    canvas.Fill(RGB(1, 2, 3));
    s.strip.Paint(canvas.Dc());
    for (const auto& [x, colour] : c.columns) {
      EXPECT_EQ(canvas.Pixel(x, 1), colour) << x;
      EXPECT_EQ(canvas.Pixel(x, 4), colour) << x;
    }
    EXPECT_EQ(canvas.Pixel(50, 0), RGB(255, 255, 255)) << "the frame";
  }
}

TEST(ProgressStrip, BlocksTextAndBorder) {
  StripOnForm s(62, 12);  // blocks 8 wide (two thirds of 12), one-pixel gaps
  s.strip.SetStartColor(fw::clBlack);
  s.strip.SetEndColor(fw::clBlack);
  s.strip.SetSolid(false);
  s.strip.SetMaximum(60);
  s.strip.SetPosition(20);  // 20 columns -> 2 whole blocks: x 1-8 and 10-17
  Canvas canvas(62, 12);
  ASSERT_TRUE(canvas.Valid());
  s.strip.Paint(canvas.Dc());
  EXPECT_EQ(s.strip.Block(), 17);
  EXPECT_EQ(canvas.Pixel(1, 5), RGB(0, 0, 0));
  EXPECT_EQ(canvas.Pixel(8, 5), RGB(0, 0, 0));
  EXPECT_EQ(canvas.Pixel(9, 5), RGB(255, 255, 255));
  EXPECT_EQ(canvas.Pixel(10, 5), RGB(0, 0, 0));
  EXPECT_EQ(canvas.Pixel(17, 5), RGB(0, 0, 0));
  EXPECT_EQ(canvas.Pixel(18, 5), RGB(255, 255, 255));

  s.strip.SetBorderStyle(widgets::pbsSingle);
  s.strip.Paint(canvas.Dc());
  EXPECT_EQ(canvas.Pixel(30, 0), fw::ColorToRGB(fw::clBtnShadow));
  EXPECT_EQ(canvas.Pixel(30, 11), fw::ColorToRGB(fw::clBtnHighlight));

  struct TextCase {
    widgets::TProgressTextOption option;
    const wchar_t* caption;
    std::wstring shown;
  };
  const TextCase texts[] = {{widgets::toNoText, L"x", L""},
                            {widgets::toPercent, L"x", L"33%"},
                            {widgets::toCaption, L"Wait %d", L"Wait %d"},
                            {widgets::toFormat, L"Wait %d%% %s", L"Wait 33% %s"}};
  for (const TextCase& t : texts) {
    s.strip.SetTextOption(t.option);
    s.strip.SetCaption(t.caption);
    EXPECT_EQ(s.strip.DisplayText(), t.shown);
  }
  s.strip.SetSolid(true);
  s.strip.SetTextOption(widgets::toPercent);
  s.strip.SetTextCentered(true);
  s.strip.Font().SetName(L"Arial");
  s.strip.Font().SetHeight(10);
  s.strip.Font().SetColor(fw::clRed);
  s.strip.Paint(canvas.Dc());
  EXPECT_GT(canvas.Count(RGB(255, 0, 0)), 0) << "the percentage, centred in the whole bar";
}

TEST(ProgressStrip, EdgeCasesOfTheFilledWidth) {
  StripOnForm s(102, 6);
  s.strip.SetMaximum(100);
  s.strip.SetPosition(40);
  EXPECT_EQ(s.strip.Block(), 40);
  // Maximum equal to Minimum leaves the filled width as it was.
  s.strip.SetMaximum(0);
  EXPECT_EQ(s.strip.Block(), 40);
  EXPECT_EQ(s.strip.Percent(), 0);
  // Position is kept within the range.
  s.strip.SetMaximum(100);
  s.strip.SetPosition(150);
  EXPECT_EQ(s.strip.Position(), 100);
  s.strip.SetPosition(-5);
  EXPECT_EQ(s.strip.Position(), 0);

  // Narrower or lower than 3 pixels: nothing is drawn.
  for (const SIZE size : {SIZE{2, 6}, SIZE{102, 2}}) {
    SCOPED_TRACE(size.cx * 1000 + size.cy);
    s.strip.SetBounds(0, 0, size.cx, size.cy);
    s.strip.SetPosition(60);
    Canvas canvas(102, 6);
    ASSERT_TRUE(canvas.Valid());
    canvas.Fill(RGB(1, 2, 3));
    s.strip.Paint(canvas.Dc());
    EXPECT_EQ(canvas.Count(RGB(1, 2, 3)), 102 * 6);
    EXPECT_FALSE(s.strip.Opaque()) << "the parent's colour shows instead";
  }
}

struct RunCase {
  std::uint32_t length;
  std::uint32_t interval;
};

class WaitingProgressRun : public ::testing::TestWithParam<RunCase> {};

TEST_P(WaitingProgressRun, AdvancesByTheIntervalUntilFullThenEndsOnce) {
  Watchdog watchdog(kThreadLimitMs, "a whole run");
  const RunCase& c = GetParam();
  ParkPointer();
  TestForm form;
  form.SetClientSize(400, 300);
  auto& bar = form.Make<RecordingBar>();
  ConfigureAsInTheWindow(bar);
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
    EXPECT_TRUE(bar.Wait().Paused());
    EXPECT_EQ(bar.Position(), static_cast<std::int32_t>(c.length));
    // Stopped: later ticks, if any were queued, change nothing.
    PumpUntil([] { return false; }, 10);
    EXPECT_EQ(ended, run);
    EXPECT_EQ(bar.positions, expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, WaitingProgressRun,
                         ::testing::Values(RunCase{400, 1}, RunCase{10, 3}, RunCase{0, 1}));

TEST(WaitingProgress, DeferredPauseMeetsTheWorkersNextPassManyTimes) {
  Watchdog watchdog(kThreadLimitMs, "the deferred pause loop");
  ParkPointer();
  TestForm form;
  auto& bar = form.Make<RecordingBar>();
  ConfigureAsInTheWindow(bar);
  bar.SetLength(2);  // every run ends at its third tick, while the worker sleeps 1 ms
  int ended = 0;
  bar.OnEnded = [&ended](fw::Control&) { ++ended; };
  form.FinishCreate();
  for (int run = 1; run <= 300; ++run) {
    bar.SetActive(true);
    ASSERT_TRUE(PumpUntil([&] { return ended == run; })) << run;
    EXPECT_EQ(bar.Position(), 2);
  }
  // The worker is still healthy: one more run goes through.
  bar.positions.clear();
  bar.SetActive(true);
  ASSERT_TRUE(PumpUntil([&] { return ended == 301; }));
  EXPECT_EQ(bar.positions, (std::vector<std::int32_t>{1, 2, 2}));
}

TEST(WaitingProgress, ActiveSetWhileLoadingStartsWhenTheFormIsCreated) {
  Watchdog watchdog(kThreadLimitMs, "a run started by loading");
  ParkPointer();
  TestForm form;
  auto& bar = form.Make<RecordingBar>();
  bar.SetLength(1000);
  bar.SetRefreshInterval(1);
  bar.SetActive(true);
  EXPECT_TRUE(bar.Active());
  EXPECT_TRUE(bar.Wait().Suspended());
  form.FinishCreate();
  EXPECT_TRUE(PumpUntil([&] { return bar.Position() > 0; }));
}

enum class Stage { kNeverActive, kRunning, kTickQueued, kJustEnded, kEnded, kStoppedByHand };

// A bar on a shown form, brought to the stage; ended counts its OnEnded.
std::unique_ptr<RecordingBar> BarAt(TestForm& form, Stage stage, int& ended) {
  form.SetClientSize(400, 300);
  form.FinishCreate();
  form.ShowForm();
  auto bar = std::make_unique<RecordingBar>(&form);
  bar->SetBounds(0, 0, 159, 4);
  bar->SetRefreshInterval(1);
  const bool short_run = stage == Stage::kEnded || stage == Stage::kJustEnded;
  bar->SetLength(short_run ? 5 : 100000);
  bar->OnEnded = [&ended](fw::Control&) { ++ended; };
  switch (stage) {
    case Stage::kNeverActive:
      break;
    case Stage::kRunning:
      bar->SetActive(true);
      EXPECT_TRUE(PumpUntil([&] { return bar->Position() > 0; }));
      break;
    case Stage::kTickQueued:
      bar->SetActive(true);
      EXPECT_TRUE(PumpUntil([&] { return bar->Position() > 0; }));
      ::Sleep(30);  // the worker offers its next tick and waits for the main thread
      break;
    case Stage::kJustEnded:
      // The ending tick has run with the worker going on; its deferred stop and the end
      // notification are still posted.
      bar->SetActive(true);
      bar->Wait().SetPaused(true);
      for (int i = 0; i < 5; ++i) {
        bar->Tick();
      }
      bar->Wait().SetPaused(false);
      bar->Tick();
      EXPECT_FALSE(bar->Active());
      ::Sleep(10);  // the worker sleeps its 1 ms and offers its next tick
      break;
    case Stage::kEnded:
      bar->SetActive(true);
      EXPECT_TRUE(PumpUntil([&] { return ended == 1; }));
      break;
    case Stage::kStoppedByHand:
      bar->SetActive(true);
      EXPECT_TRUE(PumpUntil([&] { return bar->Position() > 0; }));
      bar->SetActive(false);
      break;
  }
  return bar;
}

class WaitingProgressDestroy : public ::testing::TestWithParam<Stage> {};

TEST_P(WaitingProgressDestroy, EndsTheWorkerAndReturns) {
  Watchdog watchdog(kThreadLimitMs, "destroying the bar");
  ParkPointer();
  TestForm form;
  int ended = 0;
  auto bar = BarAt(form, GetParam(), ended);
  ASSERT_FALSE(HasFailure());
  const int ended_before = ended;
  EXPECT_EQ(ended_before, GetParam() == Stage::kEnded ? 1 : 0);
  bar.reset();
  // Whatever was still posted to it goes nowhere.
  Settle();
  EXPECT_EQ(ended, ended_before);
}

class WaitingProgressTerminate : public ::testing::TestWithParam<Stage> {};

TEST_P(WaitingProgressTerminate, TerminateAloneEndsTheWorkerSoWaitForReturns) {
  Watchdog watchdog(kThreadLimitMs, "Terminate then WaitFor");
  ParkPointer();
  TestForm form;
  int ended = 0;
  auto bar = BarAt(form, GetParam(), ended);
  ASSERT_FALSE(HasFailure());
  bar->Wait().Terminate();
  EXPECT_TRUE(bar->Wait().Terminated());
  bar->Wait().WaitFor();  // the worker's sleep and its closed gate both end
  EXPECT_TRUE(bar->Wait().Finished());
  // No tick runs any more, whatever was queued or posted.
  const std::size_t ticks = bar->positions.size();
  const std::int32_t position = bar->Position();
  PumpUntil([] { return false; }, 10);
  EXPECT_EQ(bar->positions.size(), ticks);
  EXPECT_EQ(bar->Position(), position);
}

INSTANTIATE_TEST_SUITE_P(Stages, WaitingProgressTerminate,
                         ::testing::Values(Stage::kNeverActive, Stage::kRunning, Stage::kTickQueued,
                                           Stage::kJustEnded, Stage::kStoppedByHand));

INSTANTIATE_TEST_SUITE_P(Stages, WaitingProgressDestroy,
                         ::testing::Values(Stage::kNeverActive, Stage::kRunning, Stage::kTickQueued,
                                           Stage::kJustEnded, Stage::kEnded,
                                           Stage::kStoppedByHand));

}  // namespace
