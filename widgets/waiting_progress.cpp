#include "widgets/waiting_progress.h"

#include <algorithm>
#include <limits>

#include "framework/gdi.h"
#include "framework/scope_exit.h"

namespace widgets {

// --- TTickThread ---

TTickThread::TTickThread()
    : stop_event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      run_event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  // Throwing here would leave the base to resume a half-destroyed worker, so a missing event
  // only makes Execute return at once: the bar then never moves.
}

TTickThread::~TTickThread() {
  // Before the events go: the base's destructor runs after them.
  Stop();
  WaitFor();
}

void TTickThread::SetPaused(bool paused) {
  if (paused != paused_) {
    paused_ = paused;
    if (run_event_) {
      if (paused_) {
        ::ResetEvent(run_event_.get());
      } else {
        ::SetEvent(run_event_.get());
      }
    }
  }
  if (Suspended() && !paused_) {
    Start();
  }
}

void TTickThread::Stop() {
  Terminate();
  if (stop_event_) {
    ::SetEvent(stop_event_.get());
  }
}

void TTickThread::Execute() {
  if (!stop_event_ || !run_event_) {
    return;
  }
  const HANDLE stop_or_run[2] = {stop_event_.get(), run_event_.get()};
  while (!Terminated()) {
    // The pause between ticks, cut short by Stop.
    if (::WaitForSingleObject(stop_event_.get(), delay_.load()) != WAIT_TIMEOUT) {
      break;
    }
    // Held here while paused; with both set, the stop (the lower index) wins.
    if (::WaitForMultipleObjects(2, stop_or_run, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
      break;
    }
    if (Terminated()) {
      break;
    }
    // An error of the tick comes back here and ends the thread quietly.
    Synchronize([this] { RunOnDraw(); });
  }
}

void TTickThread::RunOnDraw() {
  if (!Terminated() && OnDraw) {
    OnDraw(*this);
  }
}

// --- TWaitingProgress ---

TWaitingProgress::TWaitingProgress(fw::WinControl* parent)
    : fw::WinControl(parent), wait_(std::make_unique<TTickThread>()) {
  SetOpaque(true);
  SetBounds(Left(), Top(), 100, 10);
  wait_->SetDelay(refresh_interval_);
  wait_->OnDraw = [this](TTickThread&) { AdvanceBar(); };
}

TWaitingProgress::~TWaitingProgress() {
  // A tick already queued for the main thread then does nothing; the wait keeps running the
  // worker's hand-offs, so a worker inside one cannot block it.
  wait_->OnDraw = nullptr;
  wait_->Stop();
  wait_.reset();
}

void TWaitingProgress::SetActive(bool active) {
  if (active == active_) {
    return;
  }
  active_ = active;
  if (Loading()) {
    return;
  }
  if (in_on_scroll_) {
    // Applied after the running tick has returned.
    ::PostMessageW(Handle(), WM_WAITING_APPLY, 0, 0);
    return;
  }
  ApplyActiveState();
}

void TWaitingProgress::ApplyActiveState() {
  if (active_) {
    SetPosition(0);
    wait_->SetPaused(false);
  } else {
    wait_->SetPaused(true);
  }
}

void TWaitingProgress::SetLength(std::uint32_t length) {
  length_ = length;
  SetPosition(0);
}

void TWaitingProgress::SetRefreshInterval(std::uint32_t milliseconds) {
  refresh_interval_ = milliseconds;
  wait_->SetDelay(milliseconds);
}

void TWaitingProgress::SetProgressColor(fw::TColor color) {
  if (color != progress_color_) {
    progress_color_ = color;
    Repaint();
  }
}

int TWaitingProgress::FilledWidth() const {
  const int inner = ClientWidth() - 2;
  const std::uint32_t maximum =
      std::min<std::uint32_t>(length_, std::numeric_limits<std::int32_t>::max());
  if (inner <= 0 || maximum == 0) {
    return 0;
  }
  return ::MulDiv(position_, inner, static_cast<int>(maximum));
}

void TWaitingProgress::SetPosition(std::int64_t position) {
  const std::int64_t maximum =
      std::min<std::int64_t>(length_, std::numeric_limits<std::int32_t>::max());
  position = std::clamp<std::int64_t>(position, 0, maximum);
  if (position == position_) {
    return;
  }
  const int before = FilledWidth();
  position_ = static_cast<std::int32_t>(position);
  // Only a step that shows is drawn, and at once, so it is on screen by the end of its tick.
  if (FilledWidth() != before) {
    Repaint();
  }
}

void TWaitingProgress::AdvanceBar() {
  // A tick that was queued before the control stopped finds it inactive and does nothing.
  if (Destroying() || !active_) {
    return;
  }
  const auto in_tick = fw::ScopedValue(in_on_scroll_, true);
  const std::int64_t next = static_cast<std::int64_t>(position_) + refresh_interval_;
  if (next <= static_cast<std::int64_t>(length_)) {
    SetPosition(next);
    return;
  }
  SetPosition(length_);
  SetActive(false);
  // OnEnded never runs inside a tick.
  ::PostMessageW(Handle(), WM_WAITING_ENDED, 0, 0);
}

void TWaitingProgress::Loaded() {
  fw::WinControl::Loaded();
  if (active_) {
    ApplyActiveState();
  }
}

void TWaitingProgress::ColorChanged() {
  Repaint();
}

LRESULT TWaitingProgress::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_WAITING_APPLY:
      ApplyActiveState();
      return 0;
    case WM_WAITING_ENDED:
      if (OnEnded) {
        OnEnded(*this);
      }
      return 0;
    default:
      return fw::WinControl::WndProc(msg, wp, lp);
  }
}

void TWaitingProgress::Paint(HDC dc) {
  const RECT client = ClientRect();
  fw::FillSolidRect(dc, client, Color());
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  if (width <= 2 || height <= 2) {
    return;
  }
  // A one-pixel frame in Color stays around the filled part.
  const int filled = FilledWidth();
  if (filled > 0) {
    fw::FillSolidRect(dc, RECT{1, 1, 1 + filled, height - 1}, progress_color_);
  }
}

}  // namespace widgets
