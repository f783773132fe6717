// TWaitingProgress: a bar that shows the program is busy. Once Active, a worker thread
// (TTickThread) sleeps RefreshInterval milliseconds and hands a tick to the main thread; each tick
// advances the position by RefreshInterval until it would pass Length, then the bar stays full, the
// control stops itself and OnEnded follows through a posted message. The inner TProgressStrip does
// all the drawing: it renders into its own buffer only when its filled width or its looks change,
// and shows each render at once.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "framework/color.h"
#include "framework/controls.h"
#include "framework/gdi.h"
#include "framework/handle.h"
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

enum TProgressTextOption : std::uint8_t { toCaption, toFormat, toNoText, toPercent };
enum TProgressBorderStyle : std::uint8_t { pbsNone, pbsSingle };

// The inner bar: a frame in Color, the filled part from StartColor to EndColor (one colour per
// column, or blocks), the rest in Color, and an optional text.
class TProgressStrip : public fw::GraphicControl {
 public:
  explicit TProgressStrip(fw::WinControl* parent);  // 150 x 15, blocks, white to black, 0..100

  std::int32_t Position() const { return FPosition; }
  void SetPosition(std::int32_t value);  // kept within Minimum..Maximum
  std::int32_t Minimum() const { return FMinimum; }
  void SetMinimum(std::int32_t value);
  std::int32_t Maximum() const { return FMaximum; }
  void SetMaximum(std::int32_t value);
  std::int32_t Step() const { return FStep; }
  void SetStep(std::int32_t value) { FStep = value; }
  void StepIt() { SetPosition(SaturatedAdd(FPosition, FStep)); }
  fw::TColor StartColor() const { return FStartColor; }
  void SetStartColor(fw::TColor color);
  fw::TColor EndColor() const { return FEndColor; }
  void SetEndColor(fw::TColor color);
  bool Solid() const { return FSolid; }
  void SetSolid(bool solid);
  bool GradientBlocks() const { return FGradientBlocks; }
  void SetGradientBlocks(bool on);
  bool TextCentered() const { return FTextCentered; }
  void SetTextCentered(bool on);
  TProgressTextOption TextOption() const { return FTextOption; }
  void SetTextOption(TProgressTextOption option);
  TProgressBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TProgressBorderStyle style);

  // The filled width in pixels, and how often the buffer was rendered (tests, benchmarks).
  int Block() const { return FBlock; }
  int RenderCount() const { return render_count_; }
  // MulDiv(Position - Minimum, 100, Maximum - Minimum), 0 for an empty range.
  int Percent() const;
  // What the text option shows now (empty with toNoText).
  std::wstring DisplayText() const;

  void Paint(HDC dc) override;

 protected:
  void Loaded() override;
  void TextChanged() override;
  void ColorChanged() override;
  void FontChanged() override;
  void BoundsChanged(bool resized) override;

 private:
  static std::int32_t SaturatedAdd(std::int32_t a, std::int32_t b);
  void RecomputeFill();
  void RenderBar();
  void Changed();  // mark the buffer stale and render it
  void RenderFilled(HDC dc, int height);
  void RenderText(HDC dc, int width, int height);

  TProgressBorderStyle FBorderStyle = pbsNone;
  fw::TColor FEndColor = fw::clBlack;
  bool FGradientBlocks = false;
  std::int32_t FMaximum = 100;
  std::int32_t FMinimum = 0;
  std::int32_t FPosition = 0;
  bool FSolid = false;
  fw::TColor FStartColor = fw::clWhite;
  std::int32_t FStep = 10;
  bool FTextCentered = false;
  TProgressTextOption FTextOption = toNoText;
  fw::OffscreenBitmap FBuffer;
  int FBlock = 0;
  bool FIsChanged = true;
  COLORREF FStart = RGB(255, 255, 255);
  COLORREF FEnd = RGB(0, 0, 0);
  int FBlockCount = 0;
  int FBlockWidth = 0;
  bool FLastBlockPartial = false;
  int FLastBlockWidth = 0;
  bool in_paint_ = false;  // a render inside Paint is copied by Paint itself
  int render_count_ = 0;
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
