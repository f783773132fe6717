// What the widget tests under Wine share: a form that renders its composition into any DC, an
// opaque backdrop for see-through controls, and a bounded message pump.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "framework/app.h"
#include "framework/color.h"
#include "framework/form.h"
#include "framework/gdi.h"
#include "framework/handle.h"
#include "tests/wine/canvas.h"
#include "tests/wine/watchdog.h"

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

}  // namespace test
