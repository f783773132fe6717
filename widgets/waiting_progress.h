// TWaitingProgress: a bar that shows the program is busy. Once Active, a worker thread
// (TTickThread) sleeps RefreshInterval milliseconds and hands a tick to the main thread; each tick
// advances the position by RefreshInterval until it would pass Length, then the bar stays full, the
// control stops itself and OnEnded follows through a posted message. The inner TProgressStrip does
// all the drawing (progress_strip.h); the threads are in tick_thread.h.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "framework/color.h"
#include "framework/controls.h"
#include "widgets/progress_strip.h"
#include "widgets/tick_thread.h"

namespace widgets {

class TWaitingProgress : public fw::WinControl {
 public:
  // Posted to the control's own window: apply Active after a tick, and report the end of a run.
  static constexpr UINT WM_WAITING_APPLY = 0x80F5;
  static constexpr UINT WM_WAITING_ENDED = 0x80F6;

  // 100 x 10, inactive, Length 30000, RefreshInterval 500, ProgressColor black, the parent's
  // colour.
  explicit TWaitingProgress(fw::WinControl* parent);
  ~TWaitingProgress() override;

  bool Active() const { return FActive; }
  // True starts a run from an empty bar, false stops it where it is. While the form is loading
  // the value is only stored (Loaded applies it); inside a tick it is applied after the tick.
  void SetActive(bool active);
  std::uint32_t Length() const { return FLength; }
  void SetLength(std::uint32_t length);  // also empties the bar
  std::uint32_t RefreshInterval() const { return FRefreshInterval; }
  void SetRefreshInterval(std::uint32_t milliseconds);
  fw::TColor ProgressColor() const { return FProgress->StartColor(); }
  void SetProgressColor(fw::TColor color);

  // The position reached, 0..Length (nominal milliseconds of the run).
  std::int32_t Position() const { return FProgress->Position(); }
  TProgressStrip& Progress() { return *FProgress; }
  TTickThread& Wait() { return *FWait; }

  fw::NotifyEvent OnEnded;

  fw::TAccessibleRole AccessibleRole() const override { return fw::arProgressBar; }

 protected:
  // One tick (main thread): advance, or end the run at the tick that would pass Length.
  virtual void AdvanceBar();

  void Loaded() override;
  void ColorChanged() override;
  void BoundsChanged(bool resized) override;
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void ApplyActiveState();
  void FireEnded();

  bool FActive = false;
  std::uint32_t FRefreshInterval = 500;
  std::uint32_t FLength = 30000;
  std::unique_ptr<TTickThread> FWait;
  std::unique_ptr<TProgressStrip> FProgress;
  bool FInOnScroll = false;
};

}  // namespace widgets
