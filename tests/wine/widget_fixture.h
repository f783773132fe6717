// What the widget tests under Wine share: a form that renders its composition into any DC, an
// opaque backdrop for see-through controls, and a bounded message pump.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "framework/app.h"
#include "framework/color.h"
#include "framework/form.h"
#include "framework/gdi.h"
#include "framework/handle.h"
#include "tests/wine/canvas.h"

namespace test {

// A form whose composition can be rendered into any DC.
class TestForm : public fw::Form {
 public:
  using fw::WinControl::PaintTo;
};

// A graphic control that paints its whole area in one colour, to lie beneath a see-through one.
class Backdrop : public fw::GraphicControl {
 public:
  explicit Backdrop(fw::WinControl* parent) : fw::GraphicControl(parent) { SetOpaque(true); }
  void Paint(HDC dc) override { fw::FillSolidRect(dc, RECT{0, 0, Width(), Height()}, fw::clRed); }
};

template <typename Control>
void Render(Control& control, Canvas& canvas) {
  fw::FillSolidRect(canvas.Dc(), RECT{0, 0, canvas.Width(), canvas.Height()}, 0x00123456);
  control.PaintTo(canvas.Dc(), RECT{0, 0, canvas.Width(), canvas.Height()});
}

// Counts repaint requests without changing what they do.
template <typename T>
class Counting : public T {
 public:
  using T::T;
  void Invalidate() override {
    ++invalidations;
    T::Invalidate();
  }
  void Repaint() override {
    ++repaints;
    T::Repaint();
  }
  int invalidations = 0;
  int repaints = 0;
};

// A finished 600 x 500 form for each test, to create the widget on.
class WidgetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = std::make_unique<fw::Form>();
    form_->SetClientSize(600, 500);
    form_->FinishCreate();
  }
  void TearDown() override { form_.reset(); }

  std::unique_ptr<fw::Form> form_;
};

// Pumps messages until done() holds or the (generous) bound of rounds runs out; each round waits
// for a message for at most 50 ms, so the bound is not a timing assertion.
template <typename Done>
bool PumpUntil(Done done, int rounds = 4000) {
  for (int i = 0; i < rounds && !done(); ++i) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    fw::App().ProcessMessages();
  }
  return done();
}

inline void Settle() {
  fw::App().ProcessMessages();
}

// Keeps the real pointer off the test forms, so only the test's own mouse messages count.
inline void ParkPointer() {
  ::SetCursorPos(0, 0);
}

// Ends the whole test program with exit code 3 when its scope is not left within the limit, so a
// hung thread fails the test instead of blocking the run.
class Watchdog {
 public:
  Watchdog(DWORD limit_ms, const char* what)
      : limit_ms_(limit_ms), what_(what), done_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    thread_.reset(::CreateThread(nullptr, 0, &Watchdog::Run, this, 0, nullptr));
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;
  ~Watchdog() {
    ::SetEvent(done_.get());
    ::WaitForSingleObject(thread_.get(), INFINITE);
  }

 private:
  static DWORD WINAPI Run(void* self) {
    auto* dog = static_cast<Watchdog*>(self);
    if (::WaitForSingleObject(dog->done_.get(), dog->limit_ms_) == WAIT_TIMEOUT) {
      std::fprintf(stderr, "watchdog: %s did not finish within %lu ms\n", dog->what_,
                   static_cast<unsigned long>(dog->limit_ms_));
      std::fflush(stderr);
      ::TerminateProcess(::GetCurrentProcess(), 3);
    }
    return 0;
  }

  DWORD limit_ms_;
  const char* what_;
  fw::KernelHandle done_;
  fw::KernelHandle thread_;
};

}  // namespace test
