#include "widgets/tick_thread.h"

namespace widgets {

// --- TPausableThread ---

TPausableThread::~TPausableThread() {
  // A paused worker is let through its gate to see the end; ended here, before the gate goes
  // (the base's destructor runs after it).
  Terminate();
  FPauseGate.Stop();
  WaitFor();
}

void TPausableThread::SetPaused(bool paused) {
  FPauseGate.SetPaused(paused);
  if (Suspended() && !FPauseGate.Paused()) {
    Start();
  }
}

// --- TTickThread ---

TTickThread::~TTickThread() {
  // Execute reads FDelay: the worker ends before this object's members go.
  Terminate();
  FPauseGate.Stop();
  WaitFor();
}

void TTickThread::Execute() {
  // An error of the tick comes back through the hand-off and ends the thread quietly.
  RunTicks(
      FPauseGate, [this] { return FDelay.load(); },
      [this] { Synchronize([this] { RunOnDraw(); }); });
}

void TTickThread::RunOnDraw() {
  if (!Terminated() && FPauseGate.TickAllowed() && FOnDraw) {
    FOnDraw(*this);
  }
}

}  // namespace widgets
