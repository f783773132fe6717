// The message loop, timers and threads: WM_QUIT while pumping, timer ticks, hand-offs between a
// worker and the main thread.
#include "tests/wine/framework_fixture.h"

#include <atomic>
#include <utility>

namespace test {
namespace {

TEST_F(FrameworkTest, ProcessMessagesTakesWmQuitMarksTerminatedAndKeepsPumping) {
  TestForm form;
  int chars = 0;
  fw::PushButton& button = form.Make<fw::PushButton>();
  button.SetCaption(L"&Go");
  button.OnClick = [&](fw::Control&) { ++chars; };
  form.FinishCreate();
  form.ShowForm();
  fw::App().ProcessMessages();

  ASSERT_TRUE(::PostThreadMessageW(::GetCurrentThreadId(), WM_QUIT, 0, 0));
  ASSERT_TRUE(::PostMessageW(button.Handle(), WM_CHAR, L'g', 0));
  fw::App().ProcessMessages();
  EXPECT_TRUE(fw::App().Terminated());
  EXPECT_EQ(chars, 1) << "the message behind WM_QUIT was still dispatched";
  MSG msg{};
  EXPECT_FALSE(::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) << "queue drained";

  fw::App().ResetTerminated();
  fw::App().Terminate();
  EXPECT_TRUE(fw::App().Terminated());
  ASSERT_TRUE(::PostMessageW(button.Handle(), WM_CHAR, L'g', 0));
  fw::App().ProcessMessages();
  EXPECT_EQ(chars, 2) << "terminating does not stop a pump";
}

TEST_F(FrameworkTest, TimerTicksOnDemandAndThroughTheLoop) {
  fw::Timer timer;
  int ticks = 0;
  timer.OnTimer = [&](fw::Timer&) { ++ticks; };
  EXPECT_TRUE(timer.Running());
  timer.Tick();
  EXPECT_EQ(ticks, 1);

  struct Case {
    bool enabled;
    UINT interval;
    bool running;
  };
  const Case cases[] = {{false, 1000, false},
                        {true, 0, false},
                        {true, 700, true},
                        {true, 50, true},
                        {false, 50, false}};
  for (const Case& c : cases) {
    timer.SetEnabled(c.enabled);
    timer.SetInterval(c.interval);
    EXPECT_EQ(timer.Running(), c.running) << c.enabled << " " << c.interval;
    EXPECT_EQ(timer.Interval(), c.interval);
  }

  // Real ticks arrive through the loop; an exception in a tick is reported and ticking goes on.
  timer.OnTimer = [&](fw::Timer&) {
    if (++ticks == 3) {
      throw fw::Error(L"tick failed");
    }
  };
  timer.SetInterval(1);
  timer.SetEnabled(true);
  while (ticks < 4) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 1000, QS_ALLINPUT);
    fw::App().ProcessMessages();
  }
  EXPECT_EQ(reported_, (std::vector<std::string>{"tick failed"}));
  timer.SetEnabled(false);
  const int stopped_at = ticks;
  fw::App().ProcessMessages();
  EXPECT_EQ(ticks, stopped_at);
}

// Hands calls to the main thread, then one that fails there.
class CountingThread {
 public:
  explicit CountingThread(int calls) : calls_(calls) {}
  int ran_on_main = 0;
  int ran_elsewhere = 0;
  std::string caught;

 private:
  void Run() {
    for (int i = 0; i < calls_; ++i) {
      fw::App().Synchronize([this] {
        if (fw::App().IsMainThread()) {
          ++ran_on_main;
        } else {
          ++ran_elsewhere;
        }
      });
    }
    try {
      fw::App().Synchronize([] { throw fw::Error(L"raised on the main thread"); });
    } catch (const fw::Error& e) {
      caught = Narrow(e.Message());
    }
  }

  int calls_;

 public:
  // Last: it ends before what it uses goes.
  fw::WorkerThread thread{[this](const fw::StopToken&) { Run(); },
                          fw::WorkerThread::kStartSuspended};
};

TEST_F(FrameworkTest, WaitForThreadRunsTheHandOffsOfAWorkerInsideSynchronize) {
  CountingThread worker(5);
  worker.thread.Start();
  fw::App().WaitForThread(worker.thread.Handle());
  EXPECT_TRUE(worker.thread.Finished());
  EXPECT_EQ(worker.ran_on_main, 5);
  EXPECT_EQ(worker.ran_elsewhere, 0);
  EXPECT_EQ(worker.caught, "raised on the main thread") << "re-raised in the worker";
  EXPECT_TRUE(reported_.empty()) << "a hand-off's exception is the worker's, not reported";
}

TEST_F(FrameworkTest, HandOffsRunWhenTheWakeUpIsDispatched) {
  CountingThread worker(3);
  worker.thread.Start();
  while (!worker.thread.Finished()) {
    ::MsgWaitForMultipleObjects(1, std::array<HANDLE, 1>{worker.thread.Handle()}.data(), FALSE,
                                1000, QS_ALLINPUT);
    fw::App().ProcessMessages();
  }
  EXPECT_EQ(worker.ran_on_main, 3);
}

TEST_F(FrameworkTest, ThreadNeverStartedEndsWhenDestroyed) {
  auto worker = std::make_unique<CountingThread>(2);
  EXPECT_TRUE(worker->thread.Suspended());
  worker.reset();  // resumes, runs its hand-offs through the wait, ends
  SUCCEED();
}

// Waits at its own event until stopped; the stop request wakes it there.
struct WaitingBody {
  fw::Event* wake;
  std::atomic<int>* passes;
  std::atomic<bool>* ended;
  void operator()(const fw::StopToken& stop) const {
    while (!stop.StopRequested()) {
      ++*passes;
      wake->Wait(INFINITE);
    }
    *ended = true;
  }
  void Wake() const { wake->Set(); }
};

class WorkerThreadStop : public FrameworkTest,
                         public ::testing::WithParamInterface<fw::WorkerThread::StartMode> {};

TEST_P(WorkerThreadStop, DestroyingTheOwnerWakesTheWorkerAndWaitsForItsEnd) {
  Watchdog watchdog(60000, "a worker waiting at its event");
  fw::Event event(false);
  std::atomic<int> passes{0};
  std::atomic<bool> ended{false};
  {
    fw::WorkerThread worker(WaitingBody{&event, &passes, &ended}, GetParam());
    if (GetParam() == fw::WorkerThread::kStartNow) {
      while (passes == 0) {
        ::Sleep(1);  // inside its wait, or about to be
      }
    }
    EXPECT_FALSE(worker.StopRequested());
  }
  EXPECT_TRUE(ended.load()) << "the destructor returned before the worker ended";
  EXPECT_EQ(passes.load(), GetParam() == fw::WorkerThread::kStartNow ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(StartModes, WorkerThreadStop,
                         ::testing::Values(fw::WorkerThread::kStartNow,
                                           fw::WorkerThread::kStartSuspended));

TEST_F(FrameworkTest, AnAbandonedWorkerRunsOnAndFreesItsBodyWhenItReturns) {
  Watchdog watchdog(60000, "an abandoned worker");
  // Counts its own destruction: the body's copy goes with the worker.
  struct Held {
    std::atomic<int>* freed;
    explicit Held(std::atomic<int>* f) : freed(f) {}
    Held(Held&& other) noexcept : freed(std::exchange(other.freed, nullptr)) {}
    ~Held() {
      if (freed != nullptr) {
        ++*freed;
      }
    }
  };
  fw::Event release(false);
  std::atomic<int> freed{0};
  std::atomic<bool> returned{false};
  {
    fw::WorkerThread worker(
        [held = Held(&freed), &release, &returned](const fw::StopToken&) {
          release.Wait(INFINITE);  // a call that returns only after the owner let go
          returned = held.freed != nullptr;
        },
        fw::WorkerThread::kStartNow);
    worker.Abandon();
    EXPECT_EQ(worker.Handle(), nullptr);
  }  // returns at once: nothing waits for the worker
  EXPECT_EQ(freed.load(), 0) << "the worker still holds its body";
  release.Set();
  const ULONGLONG deadline = ::GetTickCount64() + 30000;
  while (freed.load() == 0 && ::GetTickCount64() < deadline) {
    ::Sleep(5);
  }
  EXPECT_TRUE(returned.load());
  EXPECT_EQ(freed.load(), 1);
}

}  // namespace
}  // namespace test
