#include "widgets/tick_thread.h"

#include "framework/app.h"

namespace widgets {

// --- TPausableThread ---

void TPausableThread::SetPaused(bool paused) {
  FPauseGate.SetPaused(paused);
  if (FWorker.Suspended() && !FPauseGate.Paused()) {
    FWorker.Start();
  }
}

// --- TTickThread ---

TTickThread::TTickThread()
    : TPausableThread(FThread), FThread(Loop{this}, fw::WorkerThread::kStartSuspended) {}

void TTickThread::Execute() {
  // An error of the tick comes back through the hand-off and ends the thread quietly.
  RunTicks(
      FPauseGate, [this] { return FDelay.load(); },
      [this] { fw::App().Synchronize([this] { RunOnDraw(); }); });
}

void TTickThread::RunOnDraw() {
  if (!Terminated() && FPauseGate.TickAllowed() && FOnDraw) {
    FOnDraw(*this);
  }
}

}  // namespace widgets
