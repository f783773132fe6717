// The waiting bar's worker: a thread the main thread can pause before its next step, and the
// thread that sleeps between ticks and hands each one to the main thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "framework/thread.h"
#include "widgets/tick_gate.h"

namespace widgets {

// A thread that the main thread can hold before its next step (see TickGate: a gate, not a lock,
// so pausing never waits for a worker that waits for the main thread).
class TPausableThread : public fw::Thread {
 public:
  TPausableThread() = default;  // created suspended
  ~TPausableThread() override;

  // Main thread. Resumes a thread that never ran whenever the value read is false, changed or
  // not: the first un-pause is what starts the worker.
  bool Paused() const { return FPauseGate.Paused(); }
  void SetPaused(bool paused);

 protected:
  TickGate<fw::Event> FPauseGate;
};

// Sleeps Delay milliseconds, then hands OnDraw to the main thread and waits for it, until it is
// told to terminate.
class TTickThread : public TPausableThread {
 public:
  TTickThread() = default;
  ~TTickThread() override;

  std::uint32_t Delay() const { return FDelay.load(); }
  void SetDelay(std::uint32_t milliseconds) { FDelay = milliseconds; }  // from the next pass on
  std::int32_t Tag() const { return FTag; }
  void SetTag(std::int32_t tag) { FTag = tag; }

  // The tick, run on the main thread; read and written only there.
  std::function<void(TTickThread& sender)> FOnDraw;

  // What the worker hands over: FOnDraw, unless the thread is to end, is paused by now, or has
  // no tick.
  void RunOnDraw();

 protected:
  void Execute() override;

 private:
  std::atomic<std::uint32_t> FDelay{500};
  std::int32_t FTag = 0;
};

}  // namespace widgets
