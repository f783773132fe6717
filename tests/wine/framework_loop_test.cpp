// The message loop, timers and threads: WM_QUIT while pumping, timer ticks, hand-offs between a
// worker and the main thread.
#include "tests/wine/framework_fixture.h"

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

class CountingThread : public fw::Thread {
 public:
  explicit CountingThread(int calls) : calls_(calls) {}
  ~CountingThread() override {
    Terminate();
    WaitFor();
  }
  int ran_on_main = 0;
  int ran_elsewhere = 0;
  std::string caught;

 protected:
  void Execute() override {
    for (int i = 0; i < calls_; ++i) {
      Synchronize([this] {
        if (fw::App().IsMainThread()) {
          ++ran_on_main;
        } else {
          ++ran_elsewhere;
        }
      });
    }
    try {
      Synchronize([] { throw fw::Error(L"raised on the main thread"); });
    } catch (const fw::Error& e) {
      caught = Narrow(e.Message());
    }
  }

 private:
  int calls_;
};

TEST_F(FrameworkTest, WaitForThreadRunsTheHandOffsOfAWorkerInsideSynchronize) {
  CountingThread worker(5);
  worker.Start();
  fw::App().WaitForThread(worker.Handle());
  EXPECT_TRUE(worker.Finished());
  EXPECT_EQ(worker.ran_on_main, 5);
  EXPECT_EQ(worker.ran_elsewhere, 0);
  EXPECT_EQ(worker.caught, "raised on the main thread") << "re-raised in the worker";
  EXPECT_TRUE(reported_.empty()) << "a hand-off's exception is the worker's, not reported";
}

TEST_F(FrameworkTest, HandOffsRunWhenTheWakeUpIsDispatched) {
  CountingThread worker(3);
  worker.Start();
  while (!worker.Finished()) {
    ::MsgWaitForMultipleObjects(1, std::array<HANDLE, 1>{worker.Handle()}.data(), FALSE, 1000,
                                QS_ALLINPUT);
    fw::App().ProcessMessages();
  }
  EXPECT_EQ(worker.ran_on_main, 3);
}

TEST_F(FrameworkTest, ThreadNeverStartedEndsWhenDestroyed) {
  auto worker = std::make_unique<CountingThread>(2);
  EXPECT_TRUE(worker->Suspended());
  worker.reset();  // resumes, runs its hand-offs through the wait, ends
  SUCCEED();
}

}  // namespace
}  // namespace test
