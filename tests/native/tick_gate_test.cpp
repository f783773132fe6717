// The waiting bar's worker logic (TickGate, RunTicks) with standard-library events and a stand-in
// for the main thread's hand-off queue: whole runs, the deferred pause met by the worker's next
// pass, and ending the worker in every state. Each test is bounded by a watchdog, so a hang fails
// instead of blocking. Built natively with ASan/UBSan and once more with ThreadSanitizer.
#include "widgets/tick_gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace widgets {
namespace {

using namespace std::chrono_literals;

class StdEvent {
 public:
  explicit StdEvent(bool set) : set_(set) {}
  void Set() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      set_ = true;
    }
    changed_.notify_all();
  }
  void Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    set_ = false;
  }
  bool Wait(std::uint32_t milliseconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (milliseconds == kForever) {
      changed_.wait(lock, [this] { return set_; });
      return true;
    }
    return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                             [this] { return set_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool set_;
};

// Ends the test program when its scope is not left in time.
class Watchdog {
 public:
  explicit Watchdog(const char* what) : what_(what), thread_([this] { Watch(); }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

 private:
  void Watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, 60s, [this] { return done_; })) {
      std::fprintf(stderr, "watchdog: %s did not finish within 60 s\n", what_);
      std::fflush(stderr);
      std::_Exit(3);
    }
  }

  const char* what_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool done_ = false;
  std::thread thread_;
};

// What the framework does for a worker: Synchronize queues a call and waits until the main thread
// has run it (an error comes back to the worker); the main thread runs the queue when it pumps.
class MainThread {
 public:
  void Synchronize(std::function<void()> call) {
    Pending pending{std::move(call), false, nullptr};
    std::unique_lock<std::mutex> lock(mutex_);
    queue_.push_back(&pending);
    changed_.wait(lock, [&] { return pending.done; });
    if (pending.error) {
      std::rethrow_exception(pending.error);
    }
  }
  // Main thread: runs what is queued; true when there was something.
  bool RunPending() {
    std::deque<Pending*> calls;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      calls.swap(queue_);
    }
    for (Pending* p : calls) {
      try {
        p->call();
      } catch (...) {
        p->error = std::current_exception();
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        p->done = true;
      }
      changed_.notify_all();
    }
    return !calls.empty();
  }
  bool HasPending() {
    std::lock_guard<std::mutex> lock(mutex_);
    return !queue_.empty();
  }

 private:
  struct Pending {
    std::function<void()> call;
    bool done = false;
    std::exception_ptr error;
  };
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Pending*> queue_;
};

// The waiting bar reduced to its thread logic: a worker started on the first un-pause, ticks that
// advance a position on the main thread, and a run that ends itself with a deferred pause.
class Bar {
 public:
  explicit Bar(int length) : length_(length) {}
  ~Bar() { Destroy(); }

  // Main thread.
  void SetActive(bool active) {
    active_ = active;
    if (in_tick_) {
      apply_later_ = true;  // as the posted message would
      return;
    }
    Apply();
  }
  void Apply() {
    if (active_) {
      position_ = 0;
    }
    gate_.SetPaused(!active_);
    if (active_ && !worker_.joinable()) {
      StartWorker();
    }
  }
  void StartWorker() {
    worker_ = std::thread([this] {
      try {
        RunTicks(
            gate_, [] { return std::uint32_t{1}; },
            [this] { main_.Synchronize([this] { RunOnDraw(); }); });
      } catch (...) {
      }
      finished_ = true;
    });
  }
  // One pump of the main thread: hand-offs, then the posted messages.
  void Pump() {
    main_.RunPending();
    if (apply_later_) {
      apply_later_ = false;
      Apply();
    }
    if (ended_posted_) {
      ended_posted_ = false;
      ++ended_;
    }
  }
  void Destroy() {
    if (destroyed_) {
      return;
    }
    destroyed_ = true;
    gate_.Stop();
    // A worker that never ran is started, and ends at once.
    if (!worker_.joinable()) {
      StartWorker();
    }
    // Waiting for the worker keeps running its hand-offs, which now do nothing.
    while (!finished_.load()) {
      main_.RunPending();
      std::this_thread::yield();
    }
    worker_.join();
  }

  int position() const { return position_; }
  int ticks() const { return ticks_; }
  int ended() const { return ended_; }
  bool paused() const { return gate_.Paused(); }
  MainThread& main() { return main_; }

 private:
  void RunOnDraw() {
    if (gate_.TickAllowed()) {
      AdvanceBar();
    }
  }
  void AdvanceBar() {
    if (!active_) {
      return;
    }
    ++ticks_;
    in_tick_ = true;
    if (position_ + 1 <= length_) {
      ++position_;
    } else {
      SetActive(false);
      ended_posted_ = true;
    }
    in_tick_ = false;
  }

  const int length_;
  TickGate<StdEvent> gate_;
  MainThread main_;
  std::thread worker_;
  std::atomic<bool> finished_{false};
  bool destroyed_ = false;
  bool active_ = false;
  bool in_tick_ = false;
  bool apply_later_ = false;
  bool ended_posted_ = false;
  int position_ = 0;
  int ticks_ = 0;
  int ended_ = 0;
};

template <typename Done>
bool PumpUntil(Bar& bar, Done done) {
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    bar.Pump();
    std::this_thread::sleep_for(100us);
  }
  return true;
}

TEST(TickGate, AWholeRunEndsItselfOnceAndStaysStopped) {
  Watchdog watchdog("a whole run");
  Bar bar(400);
  EXPECT_FALSE(bar.paused()) << "not paused before the first start";
  bar.SetActive(true);
  ASSERT_TRUE(PumpUntil(bar, [&] { return bar.ended() == 1; }));
  EXPECT_EQ(bar.position(), 400);
  EXPECT_EQ(bar.ticks(), 401);
  EXPECT_TRUE(bar.paused());
  for (int i = 0; i < 50; ++i) {
    bar.Pump();
    std::this_thread::sleep_for(200us);
  }
  EXPECT_EQ(bar.ticks(), 401);
  EXPECT_EQ(bar.ended(), 1);
}

TEST(TickGate, DeferredPauseMeetsTheWorkersNextPassManyTimes) {
  Watchdog watchdog("the deferred pause loop");
  Bar bar(2);
  for (int run = 1; run <= 300; ++run) {
    bar.SetActive(true);
    ASSERT_TRUE(PumpUntil(bar, [&] { return bar.ended() == run; })) << run;
    EXPECT_EQ(bar.position(), 2);
  }
  EXPECT_EQ(bar.ticks(), 300 * 3);
}

TEST(TickGate, PausingNeverWaitsForAWorkerInsideAHandOff) {
  Watchdog watchdog("a pause during a hand-off");
  Bar bar(1000000);
  bar.SetActive(true);
  ASSERT_TRUE(PumpUntil(bar, [&] { return bar.position() > 0; }));
  // The worker offers its next tick and waits for the main thread, which pauses first.
  ASSERT_TRUE(PumpUntil(bar, [&] { return bar.main().HasPending(); }));
  const int ticks = bar.ticks();
  bar.SetActive(false);
  EXPECT_TRUE(bar.paused());
  bar.Pump();  // the tick queued before the pause is dropped
  EXPECT_EQ(bar.ticks(), ticks);
}

enum class Stage { kNeverActive, kRunning, kTickQueued, kJustEnded, kStopped };

class TickGateDestroy : public ::testing::TestWithParam<Stage> {};

TEST_P(TickGateDestroy, EndsTheWorkerAndReturns) {
  Watchdog watchdog("destroying the worker");
  Bar bar(GetParam() == Stage::kJustEnded ? 3 : 1000000);
  switch (GetParam()) {
    case Stage::kNeverActive:
      break;
    case Stage::kRunning:
      bar.SetActive(true);
      ASSERT_TRUE(PumpUntil(bar, [&] { return bar.position() > 0; }));
      break;
    case Stage::kTickQueued:
      bar.SetActive(true);
      ASSERT_TRUE(PumpUntil(bar, [&] { return bar.main().HasPending(); }));
      break;
    case Stage::kJustEnded:
      // The ending tick has run; its deferred pause has not been applied.
      bar.SetActive(true);
      while (bar.ticks() < 4) {
        bar.main().RunPending();
      }
      EXPECT_FALSE(bar.paused());
      break;
    case Stage::kStopped:
      bar.SetActive(true);
      ASSERT_TRUE(PumpUntil(bar, [&] { return bar.position() > 0; }));
      bar.SetActive(false);
      break;
  }
  bar.Destroy();
}

INSTANTIATE_TEST_SUITE_P(Stages, TickGateDestroy,
                         ::testing::Values(Stage::kNeverActive, Stage::kRunning, Stage::kTickQueued,
                                           Stage::kJustEnded, Stage::kStopped));

}  // namespace
}  // namespace widgets
