// The worker that blocking network calls run on: the main thread pumps its messages while it
// waits, wakes for the work's progress, gives up on work that stays silent for the stall limit,
// and an abandoned worker keeps what its work captured until it ends.
#include "bootstrap/network/network_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "framework/app.h"
#include "framework/error.h"

namespace setup {
namespace {

TEST(NetworkWorkerTest, WorkEndsAndItsErrorIsRaisedOnTheCaller) {
  int runs = 0;
  EXPECT_TRUE(RunRequestOffWindow([&](fw::WorkActivity&) { ++runs; }));
  EXPECT_EQ(runs, 1);
  EXPECT_THROW(RunRequestOffWindow([](fw::WorkActivity&) { throw fw::Error(L"I/O error 112"); }),
               fw::Error);
}

std::atomic<int> g_timer_ticks{0};

TEST(NetworkWorkerTest, MessagesArePumpedWhileTheWorkRuns) {
  // Nobody else dispatches messages here: the thread timer's ticks arrive through the wait's pumps,
  // and the hook runs before each of them.
  g_timer_ticks = 0;
  const UINT_PTR timer =
      ::SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR, DWORD) { ++g_timer_ticks; });
  ASSERT_NE(timer, 0u);
  // The work lasts until both have been seen often enough (or a generous cap), so a loaded machine
  // makes it slower, never wrong.
  std::atomic<int> hooks{0};
  EXPECT_TRUE(RunRequestOffWindow(
      [&](fw::WorkActivity& activity) {
        for (int waited = 0; waited < 20000 && (hooks < 6 || g_timer_ticks < 6); waited += 10) {
          activity.Touch();
          ::Sleep(10);
        }
      },
      [&] { ++hooks; }));
  ::KillTimer(nullptr, timer);
  EXPECT_GT(hooks.load(), 5);
  EXPECT_GT(g_timer_ticks.load(), 5);
}

TEST(NetworkWorkerTest, ProgressWakesTheWindowForEachValueWhileTheWorkWaits) {
  // No timer and no input here: only the work's progress brings the hook round. Each value waits
  // until the hook has shown it (or a generous cap), so a slow machine is slower, never wrong.
  std::atomic<int> stored{0};
  std::atomic<int> shown{0};
  std::vector<int> seen;
  EXPECT_TRUE(RunRequestOffWindow(
      [&](fw::WorkActivity& activity) {
        for (int value = 1; value <= 5; ++value) {
          stored = value;
          activity.Progressed();
          for (int waited = 0; waited < 10000 && shown < value; waited += 5) {
            activity.Touch();
            ::Sleep(5);
          }
        }
      },
      [&] {
        const int value = stored;
        if (value > 0 && (seen.empty() || seen.back() != value)) {
          seen.push_back(value);
        }
        shown = value;
      }));
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST(NetworkWorkerTest, ActivityKeepsWorkAlivePastTheLimit) {
  const DWORD limit = StallLimitMs();
  // Silent for half the limit at a time, but never for the whole of it.
  EXPECT_TRUE(RunRequestOffWindow([limit](fw::WorkActivity& activity) {
    for (int i = 0; i < 3; ++i) {
      ::Sleep(limit / 2);
      activity.Touch();
    }
  }));
}

TEST(NetworkWorkerTest, SilentWorkIsLeftBehindAndReleasesWhatItHoldsWhenItEnds) {
  const DWORD limit = StallLimitMs();
  // Counts its own destruction, so the test sees when the worker lets go of it.
  struct Held {
    int value = 7;
    std::atomic<bool>* freed = nullptr;
    ~Held() { freed->store(true); }
  };
  std::atomic<bool> freed{false};
  const ULONGLONG started = ::GetTickCount64();
  {
    const fw::SharedState<Held> held;
    held->freed = &freed;
    EXPECT_FALSE(RunRequestOffWindow([held, limit](fw::WorkActivity&) {
      ::Sleep(limit + 2000);  // a call that returns only after the window gave up
      EXPECT_EQ(held->value, 7);
    }));
  }
  const ULONGLONG waited = ::GetTickCount64() - started;
  EXPECT_GE(waited, limit);
  EXPECT_FALSE(freed.load());  // the worker still holds it
  const ULONGLONG deadline = ::GetTickCount64() + limit + 30000;
  while (!freed.load() && ::GetTickCount64() < deadline) {
    ::Sleep(50);
  }
  EXPECT_TRUE(freed.load());
}

}  // namespace
}  // namespace setup
