#include "widgets/waiting_progress.h"

#include <algorithm>
#include <limits>

#include "framework/scope_exit.h"

namespace widgets {

TWaitingProgress::TWaitingProgress(fw::WinControl* parent)
    : fw::WinControl(parent), FWait(std::make_unique<TTickThread>()) {
  SetBounds(Left(), Top(), 100, 10);
  FWait->SetDelay(FRefreshInterval);
  FWait->FOnDraw = [this](TTickThread&) { AdvanceBar(); };
  FProgress = std::make_unique<TProgressStrip>(this);
  FProgress->SetMaximum(static_cast<std::int32_t>(FLength));
  FProgress->SetPosition(0);
  FProgress->SetStartColor(fw::clBlack);
  FProgress->SetEndColor(fw::clBlack);
  FProgress->SetSolid(true);
  FProgress->SetColor(Color());
  FProgress->SetBounds(0, 0, Width(), Height());
}

TWaitingProgress::~TWaitingProgress() {
  // A tick already queued for the main thread then does nothing. The thread's destructor requests
  // the stop (opening the gate) and waits, running the worker's hand-offs, so a worker inside one
  // cannot block it.
  FWait->FOnDraw = nullptr;
  FWait.reset();
  FProgress.reset();
}

void TWaitingProgress::SetActive(bool active) {
  if (active == FActive) {
    return;
  }
  FActive = active;
  if (Loading()) {
    return;
  }
  if (FInOnScroll) {
    // The worker holds the tick open until it returns: applied after it.
    ::PostMessageW(Handle(), WM_WAITING_APPLY, 0, 0);
    return;
  }
  ApplyActiveState();
}

void TWaitingProgress::ApplyActiveState() {
  if (FActive) {
    FProgress->SetPosition(0);
    FWait->SetPaused(false);
  } else {
    FWait->SetPaused(true);
  }
}

void TWaitingProgress::SetLength(std::uint32_t length) {
  FLength = length;
  FProgress->SetPosition(0);
  // The strip counts in signed 32 bits: a longer run shows full from 2^31 - 1 on.
  FProgress->SetMaximum(static_cast<std::int32_t>(
      std::min<std::uint32_t>(length, std::numeric_limits<std::int32_t>::max())));
}

void TWaitingProgress::SetRefreshInterval(std::uint32_t milliseconds) {
  FRefreshInterval = milliseconds;
  FWait->SetDelay(milliseconds);
}

void TWaitingProgress::SetProgressColor(fw::TColor color) {
  FProgress->SetStartColor(color);
  FProgress->SetEndColor(color);
}

void TWaitingProgress::AdvanceBar() {
  // A tick offered before a deferred stop was applied finds the control stopped already.
  if (Destroying() || !FActive) {
    return;
  }
  const auto in_tick = fw::ScopedValue(FInOnScroll, true);
  // 64-bit, so a long interval near the top of the range cannot wrap around.
  const std::int64_t next = static_cast<std::int64_t>(FProgress->Position()) + FRefreshInterval;
  if (next <= static_cast<std::int64_t>(FLength)) {
    FProgress->SetPosition(static_cast<std::int32_t>(
        std::min<std::int64_t>(next, std::numeric_limits<std::int32_t>::max())));
    return;
  }
  FProgress->SetPosition(FProgress->Maximum());
  SetActive(false);
  // OnEnded never runs inside a tick.
  ::PostMessageW(Handle(), WM_WAITING_ENDED, 0, 0);
}

void TWaitingProgress::FireEnded() {
  if (OnEnded) {
    OnEnded(*this);
  }
}

void TWaitingProgress::Loaded() {
  fw::WinControl::Loaded();
  if (FActive) {
    ApplyActiveState();
  }
}

void TWaitingProgress::ColorChanged() {
  if (FProgress) {
    FProgress->SetColor(Color());
  }
}

void TWaitingProgress::BoundsChanged(bool resized) {
  fw::WinControl::BoundsChanged(resized);
  if (resized && FProgress) {
    FProgress->SetBounds(0, 0, Width(), Height());
  }
}

LRESULT TWaitingProgress::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_WAITING_APPLY:
      ApplyActiveState();
      return 0;
    case WM_WAITING_ENDED:
      FireEnded();
      return 0;
    default:
      return fw::WinControl::WndProc(msg, wp, lp);
  }
}

}  // namespace widgets
