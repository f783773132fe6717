// What the framework tests under Wine share: a graphic control that records what the framework
// asks of it, a form and a panel that render their composition into any DC, and the fixture that
// catches the error report and the message dialogs.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/accel.h"
#include "framework/app.h"
#include "framework/controls.h"
#include "framework/form.h"
#include "framework/gdi.h"
#include "framework/handle.h"
#include "framework/image.h"
#include "framework/panel.h"
#include "framework/push_button.h"
#include "framework/scope_exit.h"
#include "framework/thread.h"
#include "framework/timer.h"
#include "tests/wine/canvas.h"
#include "tests/wine/watchdog.h"

namespace test {

using Log = std::vector<std::string>;

inline std::string Narrow(const std::wstring& text) {
  return std::string(text.begin(), text.end());
}

// A graphic control that records what the framework asks of it.
class Probe : public fw::GraphicControl {
 public:
  Probe(fw::WinControl* parent, std::string name, Log* log, RECT bounds,
        fw::TColor fill = fw::clNone)
      : fw::GraphicControl(parent), name_(std::move(name)), log_(log), fill_(fill) {
    SetBounds(bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top);
  }

  bool DialogChar(wchar_t ch) override {
    Record("char");
    return ClickOnAccel(ch);
  }
  void Paint(HDC dc) override {
    Record("paint");
    if (fill_ != fw::clNone) {
      fw::FillSolidRect(dc, RECT{0, 0, Width(), Height()}, fill_);
    }
  }
  void Click() override {
    Record("click");
    fw::GraphicControl::Click();
  }
  void MouseEnter() override { Record("enter"); }
  void MouseLeave() override { Record("leave"); }
  void MouseDown(fw::TMouseButton, fw::TShiftState, int x, int y) override {
    Record("down@" + std::to_string(x) + "," + std::to_string(y));
  }
  void MouseUp(fw::TMouseButton, fw::TShiftState, int x, int y) override {
    Record("up@" + std::to_string(x) + "," + std::to_string(y));
  }
  void MouseMove(fw::TShiftState, int x, int y) override {
    Record("move@" + std::to_string(x) + "," + std::to_string(y));
  }
  void Loaded() override { Record(Loading() ? "loaded-while-loading" : "loaded"); }

 private:
  void Record(const std::string& what) {
    if (log_ != nullptr) {
      log_->push_back(what + ":" + name_);
    }
  }

  std::string name_;
  Log* log_;
  fw::TColor fill_;
};

// Exposes the off-screen composition so that it can be rendered into a DIB.
class TestForm : public fw::Form {
 public:
  using fw::WinControl::PaintTo;
};

class TestPanel : public fw::Panel {
 public:
  using fw::Panel::Panel;
  using fw::WinControl::PaintTo;
};

class FrameworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) {
      GTEST_SKIP() << "no display";
    }
    fw::App().ResetTerminated();
    fw::App().OnException = [this](const std::wstring& message) {
      reported_.push_back(Narrow(message));
    };
    fw::App().OnShowMessage = [this](const std::wstring& text) {
      messages_.push_back(Narrow(text));
    };
  }
  void TearDown() override {
    fw::App().OnException = nullptr;
    fw::App().OnShowMessage = nullptr;
    fw::App().SetMainForm(nullptr);
    fw::App().ProcessMessages();
    fw::App().ResetTerminated();
  }

  std::vector<std::string> reported_;
  std::vector<std::string> messages_;
};

// Mouse coordinates as window messages carry them.
inline LPARAM At(int x, int y) {
  return MAKELPARAM(x, y);
}

}  // namespace test
