// TWaitingProgress: a bar that shows the program is busy. Once Active, a worker thread
// (TTickThread) sleeps RefreshInterval milliseconds and hands a tick to the main thread; each tick
// advances the position by RefreshInterval until it would pass Length, then the bar stays full, the
// control stops itself and OnEnded follows through a posted message.
//
// This is the first version. The worker is one class (the full version splits off
// TPausableThread) and the bar is drawn by the control itself (the full version has an inner
// TProgressStrip with gradients, blocks and texts); the names used here stay.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "framework/color.h"
#include "framework/controls.h"
#include "framework/handle.h"
#include "framework/thread.h"

namespace widgets {

// Sleeps Delay milliseconds, then hands OnDraw to the main thread and waits for it, until it is
// stopped. It starts suspended and begins on the first SetPaused(false).
class TTickThread : public fw::Thread {
 public:
  // Never throws for its events: without them Execute returns at once and the bar stays still.
  TTickThread();
  ~TTickThread() override;

  std::uint32_t Delay() const { return delay_; }
  void SetDelay(std::uint32_t milliseconds) { delay_ = milliseconds; }  // from the next pass on

  // Main thread. Pausing never waits for the worker: a worker caught inside a hand-off finishes
  // it, and the tick itself finds its control stopped.
  bool Paused() const { return paused_; }
  void SetPaused(bool paused);

  // Sets the terminate flag and wakes a sleeping or paused worker at once.
  void Stop();

  // The tick, run on the main thread; read and written only there.
  std::function<void(TTickThread& sender)> OnDraw;

 protected:
  void Execute() override;

 private:
  void RunOnDraw();

  std::atomic<std::uint32_t> delay_{500};
  bool paused_ = true;
  fw::KernelHandle stop_event_;  // manual reset: set once, when the thread is to end
  fw::KernelHandle run_event_;   // manual reset: set while not paused
};

class TWaitingProgress : public fw::WinControl {
 public:
  // Posted to the control's own window: apply Active after a tick, and report the end of a run.
  static constexpr UINT WM_WAITING_APPLY = 0x80F5;
  static constexpr UINT WM_WAITING_ENDED = 0x80F6;

  // 100 x 10, inactive, Length 30000, RefreshInterval 500, ProgressColor black, the parent's
  // colour.
  explicit TWaitingProgress(fw::WinControl* parent);
  ~TWaitingProgress() override;

  bool Active() const { return active_; }
  // True starts a run from an empty bar, false stops it where it is. While the form is loading
  // the value is only stored (Loaded applies it).
  void SetActive(bool active);
  std::uint32_t Length() const { return length_; }
  void SetLength(std::uint32_t length);  // also empties the bar
  std::uint32_t RefreshInterval() const { return refresh_interval_; }
  void SetRefreshInterval(std::uint32_t milliseconds);
  fw::TColor ProgressColor() const { return progress_color_; }
  void SetProgressColor(fw::TColor color);

  // The position reached, 0..Length (nominal milliseconds of the run).
  std::int32_t Position() const { return position_; }

  fw::NotifyEvent OnEnded;

  // Frame and empty part in Color, filled part in ProgressColor.
  void Paint(HDC dc) override;
  fw::TAccessibleRole AccessibleRole() const override { return fw::arProgressBar; }

 protected:
  // One tick (main thread): advance, or end the run at the tick that would pass Length.
  virtual void AdvanceBar();

  void Loaded() override;
  void ColorChanged() override;
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void ApplyActiveState();
  void SetPosition(std::int64_t position);
  int FilledWidth() const;

  bool active_ = false;
  std::uint32_t length_ = 30000;
  std::uint32_t refresh_interval_ = 500;
  fw::TColor progress_color_ = fw::clBlack;
  std::int32_t position_ = 0;
  bool in_on_scroll_ = false;  // a tick is running on the main thread
  std::unique_ptr<TTickThread> wait_;
};

}  // namespace widgets
