// The waiting bar's worker: a thread the main thread can pause before its next step, and the
// thread that sleeps between ticks and hands each one to the main thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "framework/thread.h"
#include "widgets/tick_gate.h"

namespace widgets {

// The pause gate of a worker thread that the main thread can hold before its next step (see
// TickGate: a gate, not a lock, so pausing never waits for a worker that waits for the main
// thread). The thread itself is the derived class's last member: it ends before anything its loop
// reads goes, and its stop request opens this gate.
class TPausableThread {
 public:
  TPausableThread(const TPausableThread&) = delete;
  TPausableThread& operator=(const TPausableThread&) = delete;

  // Main thread. Resumes a thread that never ran whenever the value read is false, changed or
  // not: the first un-pause is what starts the worker.
  bool Paused() const { return FPauseGate.Paused(); }
  void SetPaused(bool paused);

  bool Suspended() const { return FWorker.Suspended(); }
  // Ends the worker's loop: wakes its sleep and opens its gate. WaitFor then returns.
  void Terminate() { FWorker.RequestStop(); }
  bool Terminated() const { return FWorker.StopRequested(); }
  void WaitFor() { FWorker.Join(); }
  bool Finished() const { return FWorker.Finished(); }

 protected:
  explicit TPausableThread(fw::WorkerThread& worker) : FWorker(worker) {}
  ~TPausableThread() = default;

  TickGate<fw::Event> FPauseGate;

 private:
  fw::WorkerThread& FWorker;
};

// Sleeps Delay milliseconds, then hands OnDraw to the main thread and waits for it, until it is
// told to terminate.
class TTickThread : public TPausableThread {
 public:
  TTickThread();  // created suspended

  std::uint32_t Delay() const { return FDelay.load(); }
  void SetDelay(std::uint32_t milliseconds) { FDelay = milliseconds; }  // from the next pass on
  std::int32_t Tag() const { return FTag; }
  void SetTag(std::int32_t tag) { FTag = tag; }

  // The tick, run on the main thread; read and written only there.
  std::function<void(TTickThread& sender)> FOnDraw;

  // What the worker hands over: FOnDraw, unless the thread is to end, is paused by now, or has
  // no tick.
  void RunOnDraw();

 private:
  // The worker's body: the tick loop; a stop request opens the gate.
  struct Loop {
    TTickThread* self;
    void operator()(const fw::StopToken&) const { self->Execute(); }
    void Wake() const { self->FPauseGate.Stop(); }
  };
  void Execute();

  std::atomic<std::uint32_t> FDelay{500};
  std::int32_t FTag = 0;
  fw::WorkerThread FThread;  // last: see TPausableThread
};

}  // namespace widgets
