// The window framework under Wine with a display: accelerator routing, the posted "R" to a push
// button, pointer enter/leave, capture and click, paint composition, deferred repaint requests,
// alignment, hand-offs between threads, the loop's handling of WM_QUIT, the throttled pump, timers,
// the default error report and the RAII owners.
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
#include "framework/pump_throttle.h"
#include "framework/push_button.h"
#include "framework/thread.h"
#include "framework/timer.h"
#include "tests/wine/canvas.h"

namespace {

using test::Canvas;

using Log = std::vector<std::string>;

std::string Narrow(const std::wstring& text) {
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
    if (fw::IsAccel(ch, Caption()) && CanAcceptAccel()) {
      Click();
      return true;
    }
    return false;
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

// --- accelerator routing --------------------------------------------------------------------

TEST_F(FrameworkTest, AcceleratorsAskGraphicsBeforeWindowsInCreationOrderDepthFirst) {
  Log log;
  TestForm form;
  form.SetClientSize(300, 200);
  fw::Panel& outer = form.Make<fw::Panel>();
  outer.SetBounds(0, 0, 300, 200);
  Probe& g2 = outer.Make<Probe>("g2", &log, RECT{0, 0, 10, 10});
  fw::Panel& inner = outer.Make<fw::Panel>();
  inner.SetBounds(50, 50, 100, 100);
  Probe& g3 = inner.Make<Probe>("g3", &log, RECT{0, 0, 10, 10});
  Probe& g4 = outer.Make<Probe>("g4", &log, RECT{20, 0, 30, 10});
  Probe& g1 = form.Make<Probe>("g1", &log, RECT{0, 0, 5, 5});  // created after the panel
  g2.SetCaption(L"&Quit");
  g3.SetCaption(L"&Go");
  g4.SetCaption(L"E&xit");
  g1.SetCaption(L"plain");
  form.FinishCreate();
  form.ShowForm();
  fw::App().ProcessMessages();

  struct Case {
    wchar_t ch;
    bool accepted;
    Log asked;  // in order; the last one accepted when accepted is true
  };
  const Case cases[] = {
      {L'z', false, {"char:g1", "char:g2", "char:g4", "char:g3"}},
      {L'q', true, {"char:g1", "char:g2", "click:g2"}},
      {L'X', true, {"char:g1", "char:g2", "char:g4", "click:g4"}},
      {L'g', true, {"char:g1", "char:g2", "char:g4", "char:g3", "click:g3"}},
  };
  for (const Case& c : cases) {
    log.clear();
    EXPECT_EQ(form.DialogChar(c.ch), c.accepted) << static_cast<char>(c.ch);
    EXPECT_EQ(log, c.asked) << static_cast<char>(c.ch);
  }

  // A disabled or hidden control, or one whose container is disabled, refuses its character.
  g2.SetEnabled(false);
  EXPECT_FALSE(form.DialogChar(L'q'));
  g2.SetEnabled(true);
  g2.SetVisible(false);
  EXPECT_FALSE(form.DialogChar(L'q'));
  g2.SetVisible(true);
  inner.SetEnabled(false);
  EXPECT_FALSE(form.DialogChar(L'g'));
  inner.SetEnabled(true);
  inner.SetVisible(false);
  EXPECT_FALSE(form.DialogChar(L'g'));
  inner.SetVisible(true);
  EXPECT_TRUE(form.DialogChar(L'g'));
}

TEST_F(FrameworkTest, PostedCharacterToPushButtonClicksTheAcceptingGraphicControl) {
  Log log;
  TestForm form;
  form.SetClientSize(200, 100);
  fw::Panel& panel = form.Make<fw::Panel>();
  panel.SetAlign(fw::alClient);
  Probe& run = panel.Make<Probe>("run", &log, RECT{10, -100, 104, -68});
  run.SetCaption(L"&Run Setup");
  fw::PushButton& button = panel.Make<fw::PushButton>();
  button.SetBounds(10, -100, 75, 25);
  button.SetCaption(L"RunBtn2");
  int button_clicks = 0;
  button.OnClick = [&](fw::Control&) { ++button_clicks; };
  form.FinishCreate();
  fw::App().SetMainForm(&form);
  form.ShowForm();
  fw::App().ProcessMessages();
  EXPECT_EQ(::GetFocus(), button.Handle()) << "the first focusable control gets the focus";

  struct Case {
    UINT message;
    wchar_t ch;
    int run_clicks;
  };
  const Case cases[] = {
      {WM_CHAR, L'R', 1}, {WM_CHAR, L'r', 1}, {WM_SYSCHAR, L'r', 1}, {WM_CHAR, L'x', 0}};
  for (const Case& c : cases) {
    log.clear();
    ASSERT_TRUE(::PostMessageW(button.Handle(), c.message, c.ch, 0));
    fw::App().ProcessMessages();
    int clicks = 0;
    for (const std::string& e : log) {
      clicks += e == "click:run" ? 1 : 0;
    }
    EXPECT_EQ(clicks, c.run_clicks) << static_cast<char>(c.ch);
  }
  EXPECT_EQ(button_clicks, 0) << "the push button's caption marks nothing";

  // The push button's own clicks: BN_CLICKED and Enter while it has the focus.
  button.Perform(BM_CLICK, 0, 0);
  EXPECT_EQ(button_clicks, 1);
  ASSERT_TRUE(::PostMessageW(button.Handle(), WM_KEYDOWN, VK_RETURN, 0));
  fw::App().ProcessMessages();
  EXPECT_EQ(button_clicks, 2);
}

TEST_F(FrameworkTest, PushButtonAcceleratorClicksIt) {
  TestForm form;
  fw::PushButton& ok = form.Make<fw::PushButton>();
  ok.SetCaption(L"&OK");
  int clicks = 0;
  ok.OnClick = [&](fw::Control&) { ++clicks; };
  form.FinishCreate();
  form.ShowForm();
  fw::App().ProcessMessages();
  EXPECT_TRUE(form.DialogChar(L'o'));
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(form.DialogChar(L'k'));
  EXPECT_EQ(clicks, 1);
}

// --- pointer ---------------------------------------------------------------------------------

LPARAM At(int x, int y) {
  return MAKELPARAM(x, y);
}

TEST_F(FrameworkTest, EnterAndLeaveFollowTheTopmostControlUnderThePointer) {
  Log log;
  TestForm form;
  form.SetClientSize(200, 100);
  form.Make<Probe>("a", &log, RECT{0, 0, 50, 50});
  Probe& b = form.Make<Probe>("b", &log, RECT{40, 0, 90, 50});  // later: above a where they meet
  form.FinishCreate();

  struct Step {
    UINT message;
    LPARAM lp;
    Log expected;
  };
  const Step steps[] = {
      {WM_MOUSEMOVE, At(10, 10), {"enter:a", "move@10,10:a"}},
      {WM_MOUSEMOVE, At(20, 10), {"move@20,10:a"}},
      {WM_MOUSEMOVE, At(45, 10), {"leave:a", "enter:b", "move@5,10:b"}},
      {WM_MOUSEMOVE, At(150, 80), {"leave:b"}},
      {WM_MOUSEMOVE, At(5, 5), {"enter:a", "move@5,5:a"}},
      {WM_MOUSELEAVE, 0, {"leave:a"}},
      {WM_MOUSELEAVE, 0, {}},
  };
  for (const Step& s : steps) {
    log.clear();
    form.Perform(s.message, 0, s.lp);
    EXPECT_EQ(log, s.expected) << "message " << s.message << " at " << LOWORD(s.lp) << ","
                               << HIWORD(s.lp);
  }
  EXPECT_EQ(form.HoverControl(), nullptr);

  // A hidden or destroyed control is no longer the hovered one.
  form.Perform(WM_MOUSEMOVE, 0, At(45, 10));
  EXPECT_EQ(form.HoverControl(), &b);
  b.SetVisible(false);
  EXPECT_EQ(form.HoverControl(), nullptr);
  log.clear();
  form.Perform(WM_MOUSEMOVE, 0, At(45, 10));
  EXPECT_EQ(log, (Log{"enter:a", "move@45,10:a"}));
  auto doomed = std::make_unique<Probe>(&form, "doomed", &log, RECT{100, 0, 150, 50});
  form.Perform(WM_MOUSEMOVE, 0, At(120, 10));
  EXPECT_EQ(form.HoverControl(), doomed.get());
  doomed.reset();
  EXPECT_EQ(form.HoverControl(), nullptr);
  form.Perform(WM_MOUSEMOVE, 0, At(120, 10));  // nothing under the pointer, nothing dangling
  EXPECT_EQ(form.HoverControl(), nullptr);
}

TEST_F(FrameworkTest, PressCapturesAndOnlyAReleaseInsideThePressedControlClicks) {
  Log log;
  TestForm form;
  form.SetClientSize(200, 100);
  Probe& p = form.Make<Probe>("p", &log, RECT{10, 10, 50, 30});
  form.Make<Probe>("q", &log, RECT{100, 10, 140, 30});
  form.FinishCreate();

  struct Case {
    const char* name;
    UINT down;
    LPARAM down_at;
    UINT up;
    LPARAM up_at;
    const char* pressed;  // receives the moves while the button is held
    Log expected;         // presses, releases and clicks
  };
  const Case cases[] = {
      {"inside",
       WM_LBUTTONDOWN,
       At(15, 15),
       WM_LBUTTONUP,
       At(20, 20),
       "p",
       {"down@5,5:p", "up@10,10:p", "click:p"}},
      {"released outside",
       WM_LBUTTONDOWN,
       At(15, 15),
       WM_LBUTTONUP,
       At(5, 5),
       "p",
       {"down@5,5:p", "up@-5,-5:p"}},
      {"released over another control",
       WM_LBUTTONDOWN,
       At(15, 15),
       WM_LBUTTONUP,
       At(110, 15),
       "p",
       {"down@5,5:p", "up@100,5:p"}},
      {"pressed elsewhere, released inside",
       WM_LBUTTONDOWN,
       At(110, 15),
       WM_LBUTTONUP,
       At(15, 15),
       "q",
       {"down@10,5:q", "up@-85,5:q"}},
      {"right button",
       WM_RBUTTONDOWN,
       At(15, 15),
       WM_RBUTTONUP,
       At(15, 15),
       "p",
       {"down@5,5:p", "up@5,5:p"}},
      {"double click press",
       WM_LBUTTONDBLCLK,
       At(15, 15),
       WM_LBUTTONUP,
       At(15, 15),
       "p",
       {"down@5,5:p", "up@5,5:p", "click:p"}},
  };
  for (const Case& c : cases) {
    log.clear();
    const WPARAM held = c.down == WM_RBUTTONDOWN ? MK_RBUTTON : MK_LBUTTON;
    form.Perform(c.down, held, c.down_at);
    EXPECT_NE(form.CaptureControl(), nullptr) << c.name;
    EXPECT_EQ(::GetCapture(), form.Handle()) << c.name;
    form.Perform(WM_MOUSEMOVE, held, At(180, 90));  // far away, still delivered to the pressed one
    form.Perform(c.up, 0, c.up_at);
    EXPECT_EQ(form.CaptureControl(), nullptr) << c.name;
    EXPECT_NE(::GetCapture(), form.Handle()) << c.name;
    Log buttons;
    int moves = 0;
    for (const std::string& e : log) {
      if (e.rfind("move@", 0) == 0) {
        ++moves;
        EXPECT_EQ(e.substr(e.find(':') + 1), c.pressed) << c.name << ": " << e;
      } else if (e.rfind("enter", 0) != 0 && e.rfind("leave", 0) != 0) {
        buttons.push_back(e);
      }
    }
    EXPECT_EQ(moves, 1) << c.name;
    EXPECT_EQ(buttons, c.expected) << c.name;
  }

  // Without the framework's click handling the release does not click.
  p.SetControlStyle(p.ControlStyle() & ~fw::csClickEvents);
  log.clear();
  form.Perform(WM_LBUTTONDOWN, MK_LBUTTON, At(15, 15));
  form.Perform(WM_LBUTTONUP, 0, At(15, 15));
  EXPECT_EQ(log, (Log{"down@5,5:p", "up@5,5:p"}));

  // Destroying the pressed control drops the capture.
  auto doomed = std::make_unique<Probe>(&form, "doomed", &log, RECT{60, 60, 80, 80});
  form.Perform(WM_LBUTTONDOWN, MK_LBUTTON, At(65, 65));
  EXPECT_EQ(form.CaptureControl(), doomed.get());
  doomed.reset();
  EXPECT_EQ(form.CaptureControl(), nullptr);
  EXPECT_NE(::GetCapture(), form.Handle());
  form.Perform(WM_LBUTTONUP, 0, At(65, 65));  // goes to the form itself, nothing dangling
}

TEST_F(FrameworkTest, HandlerExceptionsReachTheErrorReportAndTheProgramGoesOn) {
  Log log;
  TestForm form;
  form.SetClientSize(200, 100);
  Probe& p = form.Make<Probe>("p", &log, RECT{10, 10, 50, 30});
  p.OnClick = [](fw::Control&) { throw fw::Error(L"Cannot open the page"); };
  fw::PushButton& button = form.Make<fw::PushButton>();
  button.SetBounds(100, 10, 75, 25);
  button.OnClick = [](fw::Control&) { throw std::runtime_error("plain failure"); };
  form.FinishCreate();

  form.Perform(WM_LBUTTONDOWN, MK_LBUTTON, At(15, 15));
  form.Perform(WM_LBUTTONUP, 0, At(15, 15));
  button.Perform(BM_CLICK, 0, 0);
  EXPECT_EQ(reported_, (std::vector<std::string>{"Cannot open the page", "plain failure"}));
  EXPECT_EQ(form.CaptureControl(), nullptr);
}

TEST_F(FrameworkTest, CursorOfTheControlUnderThePointerUnlessTheApplicationSetsOne) {
  TestForm form;
  form.SetClientSize(200, 100);
  Probe& hand = form.Make<Probe>("hand", nullptr, RECT{0, 0, 100, 100});
  hand.SetCursor(fw::crHandPoint);
  form.FinishCreate();
  const LPARAM client_hit = MAKELPARAM(HTCLIENT, WM_MOUSEMOVE);
  const WPARAM self = reinterpret_cast<WPARAM>(form.Handle());

  struct Case {
    LPARAM pointer;  // the last move the form saw
    fw::TCursor app;
    const wchar_t* expected;
  };
  const Case cases[] = {
      {At(50, 50), fw::crDefault, IDC_HAND},
      {At(150, 50), fw::crDefault, IDC_ARROW},
      {At(50, 50), fw::crHourGlass, IDC_WAIT},
      {At(150, 50), fw::crHourGlass, IDC_WAIT},
  };
  for (const Case& c : cases) {
    form.Perform(WM_MOUSEMOVE, 0, c.pointer);
    fw::App().SetCursor(c.app);
    EXPECT_EQ(fw::App().Cursor(), c.app);
    form.Perform(WM_SETCURSOR, self, client_hit);
    EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, c.expected))
        << "at " << LOWORD(c.pointer) << " app cursor " << c.app;
  }
  fw::App().SetCursor(fw::crDefault);

  // Moving onto another control shows its cursor at once, before the next WM_SETCURSOR.
  form.Perform(WM_MOUSEMOVE, 0, At(50, 50));
  EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, IDC_HAND));
  form.Perform(WM_MOUSEMOVE, 0, At(150, 50));
  EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, IDC_ARROW));
  // The application-wide cursor takes effect without any message.
  fw::App().SetCursor(fw::crHourGlass);
  EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, IDC_WAIT));
  fw::App().SetCursor(fw::crDefault);
}

// --- painting and layout ---------------------------------------------------------------------

TEST_F(FrameworkTest, PaintComposesBackgroundThenGraphicChildrenInCreationOrder) {
  Log log;
  TestForm form;
  form.SetClientSize(120, 60);
  form.SetColor(RGB(0, 0, 128));
  form.Make<Probe>("red", &log, RECT{0, 0, 40, 40}, RGB(255, 0, 0));
  form.Make<Probe>("green", &log, RECT{20, 20, 60, 60}, RGB(0, 255, 0));   // over red
  Probe& opaque = form.Make<Probe>("opaque", &log, RECT{80, 0, 100, 20});  // paints nothing
  opaque.SetOpaque(true);
  form.Make<Probe>("clear", &log, RECT{100, 0, 120, 20});  // paints nothing, not opaque
  Probe& hidden = form.Make<Probe>("hidden", &log, RECT{0, 0, 120, 60}, RGB(255, 255, 0));
  hidden.SetVisible(false);
  form.FinishCreate();

  Canvas dib(120, 60);
  fw::FillSolidRect(dib.Dc(), RECT{0, 0, 120, 60}, RGB(1, 2, 3));  // what lies beneath
  log.clear();
  form.PaintTo(dib.Dc(), RECT{0, 0, 120, 60});
  EXPECT_EQ(log, (Log{"paint:red", "paint:green", "paint:opaque", "paint:clear"}));

  struct Pixel {
    int x, y;
    COLORREF expected;
    const char* why;
  };
  const Pixel pixels[] = {
      {5, 5, RGB(255, 0, 0), "first child"},
      {30, 30, RGB(0, 255, 0), "the later child paints over the earlier one"},
      {39, 39, RGB(0, 255, 0), "overlap, last pixel of the earlier child"},
      {50, 10, RGB(0, 0, 128), "background in the form's colour"},
      {90, 10, RGB(1, 2, 3), "not erased beneath an opaque child"},
      {110, 10, RGB(0, 0, 128), "erased beneath a see-through child"},
      {70, 50, RGB(0, 0, 128), "a hidden child neither paints nor covers"},
  };
  for (const Pixel& p : pixels) {
    EXPECT_EQ(dib.Pixel(p.x, p.y), p.expected) << p.why;
  }

  // Only the children that meet the dirty rectangle paint, clipped to it.
  Canvas part(120, 60);
  fw::FillSolidRect(part.Dc(), RECT{0, 0, 120, 60}, RGB(1, 2, 3));
  log.clear();
  form.PaintTo(part.Dc(), RECT{45, 45, 60, 60});
  EXPECT_EQ(log, (Log{"paint:green"}));
  EXPECT_EQ(part.Pixel(50, 50), RGB(0, 255, 0));
  EXPECT_EQ(part.Pixel(30, 30), RGB(1, 2, 3));
}

TEST_F(FrameworkTest, WindowPaintReachesTheChildrenThroughTheMessageLoop) {
  Log log;
  TestForm form;
  form.SetClientSize(120, 60);
  fw::Panel& panel = form.Make<fw::Panel>();
  panel.SetAlign(fw::alClient);
  Probe& first = panel.Make<Probe>("first", &log, RECT{0, 0, 40, 40}, RGB(255, 0, 0));
  panel.Make<Probe>("second", &log, RECT{20, 20, 60, 60}, RGB(0, 255, 0));
  form.FinishCreate();
  form.ShowForm();
  fw::App().ProcessMessages();
  log.clear();
  panel.Invalidate();
  fw::App().FlushInvalidations();
  ::UpdateWindow(panel.Handle());
  EXPECT_EQ(log, (Log{"paint:first", "paint:second"}));
  log.clear();
  first.Repaint();  // see-through: the parent repaints the area at once
  EXPECT_EQ(log, (Log{"paint:first", "paint:second"}));
  log.clear();
  first.SetOpaque(true);
  first.Repaint();  // opaque: painted straight onto the parent, nothing else
  EXPECT_EQ(log, (Log{"paint:first"}));
}

// --- deferred repaint requests ----------------------------------------------------------------

// The window's update region as a rectangle, or nothing when the region is not exactly one.
struct UpdateArea {
  bool invalid = false;
  bool one_rectangle = false;
  RECT box{};
};

UpdateArea UpdateAreaOf(HWND window) {
  UpdateArea area;
  fw::RegionHandle region(::CreateRectRgn(0, 0, 0, 0));
  const int kind = ::GetUpdateRgn(window, region.get(), FALSE);
  area.invalid = kind != NULLREGION && kind != ERROR;
  area.one_rectangle = kind == SIMPLEREGION;
  ::GetRgnBox(region.get(), &area.box);
  return area;
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string RectText(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right) +
         "," + std::to_string(r.bottom);
}

TEST_F(FrameworkTest, RepaintRequestsWaitForTheFlushThenCoverTheirBoundingBox) {
  struct Case {
    const char* what;
    std::function<void(Probe& a, Probe& b, fw::Panel& panel)> change;
    bool on_panel;  // where the request lands: the panel's window, else the form's
    RECT expected;
  };
  const Case cases[] = {
      {"one control", [](Probe& a, Probe&, fw::Panel&) { a.Invalidate(); }, false,
       RECT{10, 10, 30, 30}},
      {"the same control twice",
       [](Probe& a, Probe&, fw::Panel&) {
         a.Invalidate();
         a.Invalidate();
       },
       false, RECT{10, 10, 30, 30}},
      {"moved: old and new bounds", [](Probe& a, Probe&, fw::Panel&) { a.SetLeft(20); }, false,
       RECT{10, 10, 40, 30}},
      {"grown: the new bounds hold the old", [](Probe& a, Probe&, fw::Panel&) { a.SetWidth(40); },
       false, RECT{10, 10, 50, 30}},
      {"two controls: one box around both",
       [](Probe& a, Probe& b, fw::Panel&) {
         a.Invalidate();
         b.Invalidate();
       },
       false, RECT{10, 10, 80, 40}},
      {"hidden", [](Probe& a, Probe&, fw::Panel&) { a.SetVisible(false); }, false,
       RECT{10, 10, 30, 30}},
      {"a window: its whole client area", [](Probe&, Probe&, fw::Panel& p) { p.Invalidate(); },
       true, RECT{0, 0, 60, 50}},
      {"a window's control, then the whole window",
       [](Probe&, Probe&, fw::Panel& p) {
         p.Make<Probe>("c", nullptr, RECT{5, 5, 10, 10}).Invalidate();
         p.Invalidate();
       },
       true, RECT{0, 0, 60, 50}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Log log;
    TestForm form;
    form.SetClientSize(200, 100);
    Probe& a = form.Make<Probe>("a", &log, RECT{10, 10, 30, 30});
    Probe& b = form.Make<Probe>("b", &log, RECT{50, 20, 80, 40});
    fw::Panel& panel = form.Make<fw::Panel>();
    panel.SetBounds(120, 0, 60, 50);
    form.FinishCreate();
    form.ShowForm();
    fw::App().ProcessMessages();
    ASSERT_FALSE(UpdateAreaOf(form.Handle()).invalid);
    ASSERT_FALSE(UpdateAreaOf(panel.Handle()).invalid);

    c.change(a, b, panel);
    EXPECT_FALSE(UpdateAreaOf(form.Handle()).invalid) << "the form stays valid until the flush";
    EXPECT_FALSE(UpdateAreaOf(panel.Handle()).invalid) << "the panel stays valid until the flush";

    fw::App().FlushInvalidations();
    const UpdateArea hit = UpdateAreaOf(c.on_panel ? panel.Handle() : form.Handle());
    const UpdateArea other = UpdateAreaOf(c.on_panel ? form.Handle() : panel.Handle());
    EXPECT_TRUE(hit.invalid);
    EXPECT_TRUE(hit.one_rectangle);
    EXPECT_TRUE(SameRect(hit.box, c.expected)) << RectText(hit.box);
    EXPECT_FALSE(other.invalid) << RectText(other.box);

    // The next pump paints what was requested and leaves both windows valid.
    log.clear();
    a.Invalidate();
    fw::App().ProcessMessages();
    EXPECT_FALSE(UpdateAreaOf(form.Handle()).invalid);
    EXPECT_FALSE(UpdateAreaOf(panel.Handle()).invalid);
    if (a.Visible()) {
      EXPECT_NE(std::find(log.begin(), log.end(), "paint:a"), log.end());
    }
  }
}

TEST_F(FrameworkTest, PendingRequestsAreSubmittedBeforeADialogOpens) {
  TestForm form;
  form.SetClientSize(200, 100);
  Probe& a = form.Make<Probe>("a", nullptr, RECT{10, 10, 30, 30});
  form.FinishCreate();
  form.ShowForm();
  fw::App().ProcessMessages();

  UpdateArea seen;
  fw::App().OnShowMessage = [&](const std::wstring&) { seen = UpdateAreaOf(form.Handle()); };
  fw::App().OnException = [&](const std::wstring&) { seen = UpdateAreaOf(form.Handle()); };
  const struct {
    const char* what;
    std::function<void()> open;
  } dialogs[] = {
      {"message", [] { fw::ShowMessage(L"Error"); }},
      {"error report", [] { fw::App().ShowException(fw::Error(L"I/O error 5")); }},
  };
  for (const auto& d : dialogs) {
    SCOPED_TRACE(d.what);
    seen = UpdateArea{};
    a.Invalidate();
    d.open();
    EXPECT_TRUE(seen.invalid) << "the dialog's own loop paints what was pending";
    EXPECT_TRUE(SameRect(seen.box, a.BoundsRect())) << RectText(seen.box);
    fw::App().ProcessMessages();
  }
}

TEST_F(FrameworkTest, ADestroyedControlLeavesItsPendingAreaWithItsParent) {
  TestForm form;
  form.SetClientSize(200, 100);
  form.FinishCreate();
  form.ShowForm();
  auto doomed = std::make_unique<Probe>(&form, "doomed", nullptr, RECT{10, 10, 30, 30});
  fw::App().ProcessMessages();

  doomed->SetLeft(40);  // requests 10..30 and 40..60
  doomed.reset();
  EXPECT_FALSE(UpdateAreaOf(form.Handle()).invalid);
  fw::App().FlushInvalidations();
  const UpdateArea area = UpdateAreaOf(form.Handle());
  EXPECT_TRUE(area.invalid);
  EXPECT_TRUE(SameRect(area.box, RECT{10, 10, 60, 30})) << RectText(area.box);
}

TEST_F(FrameworkTest, RequestsOfAHandlerAreSubmittedWhenItReturns) {
  Log log;
  TestForm form;
  form.SetClientSize(200, 100);
  Probe& button = form.Make<Probe>("button", &log, RECT{10, 10, 30, 30});
  Probe& target = form.Make<Probe>("target", &log, RECT{100, 10, 150, 30});
  button.OnClick = [&](fw::Control&) { target.Invalidate(); };
  form.FinishCreate();
  form.ShowForm();
  fw::App().ProcessMessages();

  // A click sent by someone else, with no pump of ours afterwards.
  form.Perform(WM_LBUTTONDOWN, MK_LBUTTON, At(15, 15));
  form.Perform(WM_LBUTTONUP, 0, At(15, 15));
  const UpdateArea clicked = UpdateAreaOf(form.Handle());
  EXPECT_TRUE(clicked.invalid);
  EXPECT_TRUE(SameRect(clicked.box, target.BoundsRect())) << RectText(clicked.box);
  fw::App().ProcessMessages();

  // A timer tick taken by a loop that is not the application's (a message box, a window drag):
  // the loop still paints what the tick asked for.
  bool ticked = false;
  fw::Timer timer;
  timer.OnTimer = [&](fw::Timer& t) {
    ticked = true;
    t.SetEnabled(false);
    target.Invalidate();
  };
  timer.SetInterval(1);
  log.clear();
  MSG msg{};
  while (!ticked) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 1000, QS_ALLINPUT);
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::DispatchMessageW(&msg);
    }
  }
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::DispatchMessageW(&msg);
  }
  EXPECT_NE(std::find(log.begin(), log.end(), "paint:target"), log.end());
  EXPECT_FALSE(UpdateAreaOf(form.Handle()).invalid);
}

TEST_F(FrameworkTest, ThrottledPumpRunsOnceTheIntervalHasPassed) {
  TestForm form;
  int chars = 0;
  fw::PushButton& button = form.Make<fw::PushButton>();
  button.SetCaption(L"&Go");
  button.OnClick = [&](fw::Control&) { ++chars; };
  form.FinishCreate();
  form.ShowForm();
  fw::App().ProcessMessages();
  ::Sleep(static_cast<DWORD>(2 * fw::kPumpIntervalMs));  // past the interval on any tick clock
  ASSERT_TRUE(::PostMessageW(button.Handle(), WM_CHAR, L'g', 0));
  fw::App().ProcessMessagesIfDue();
  EXPECT_EQ(chars, 1);
  MSG msg{};
  EXPECT_FALSE(::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) << "queue drained";
}

// A 3 x 2 picture as a screen-compatible bitmap or as a 24-bit DIB section (how resources load).
fw::BitmapHandle MakePicture(const COLORREF (&top)[3], const COLORREF (&bottom)[3], bool dib) {
  if (dib) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = 3;
    info.bmiHeader.biHeight = 2;  // bottom-up, as bitmap resources are
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    fw::BitmapHandle bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    auto* row = static_cast<BYTE*>(bits);
    for (const COLORREF* line : {bottom, top}) {  // bottom row first in memory
      for (int x = 0; x < 3; ++x) {
        row[x * 3] = GetBValue(line[x]);
        row[x * 3 + 1] = GetGValue(line[x]);
        row[x * 3 + 2] = GetRValue(line[x]);
      }
      row += 12;  // 9 bytes padded to 4
    }
    return bitmap;
  }
  fw::BitmapHandle bitmap(::CreateCompatibleBitmap(fw::ClientDc(nullptr).get(), 3, 2));
  fw::MemoryDc dc(::CreateCompatibleDC(nullptr));
  fw::SelectGuard select(dc.get(), bitmap.get());
  for (int x = 0; x < 3; ++x) {
    ::SetPixel(dc.get(), x, 0, top[x]);
    ::SetPixel(dc.get(), x, 1, bottom[x]);
  }
  return bitmap;
}

TEST_F(FrameworkTest, ImageLeavesOutThePixelsOfItsBottomLeftColour) {
  const COLORREF key = RGB(255, 0, 255);  // bottom-left
  const COLORREF top[3] = {RGB(10, 20, 30), key, RGB(200, 100, 50)};
  const COLORREF bottom[3] = {key, RGB(0, 0, 0), RGB(255, 255, 255)};
  const COLORREF background = RGB(0, 128, 0);

  for (bool dib_picture : {false, true}) {
    TestForm form;
    form.SetClientSize(20, 10);
    form.SetColor(background);
    fw::Image& image = form.Make<fw::Image>();
    image.SetBounds(4, 3, 1, 1);
    image.SetBitmap(MakePicture(top, bottom, dib_picture));
    form.FinishCreate();
    EXPECT_EQ(image.Width(), 3) << "size follows the picture";
    EXPECT_EQ(image.Height(), 2);

    for (bool transparent : {true, false}) {
      image.SetTransparent(transparent);
      for (int pass = 0; pass < 2; ++pass) {  // the second pass uses the cached mask
        Canvas dib(20, 10);
        form.PaintTo(dib.Dc(), RECT{0, 0, 20, 10});
        for (int x = 0; x < 3; ++x) {
          const COLORREF want_top = transparent && top[x] == key ? background : top[x];
          const COLORREF want_bottom = transparent && bottom[x] == key ? background : bottom[x];
          EXPECT_EQ(dib.Pixel(4 + x, 3), want_top)
              << "x " << x << " transparent " << transparent << " dib " << dib_picture;
          EXPECT_EQ(dib.Pixel(4 + x, 4), want_bottom)
              << "x " << x << " transparent " << transparent << " dib " << dib_picture;
        }
        EXPECT_EQ(dib.Pixel(7, 3), background);
      }
    }
  }
}

TEST_F(FrameworkTest, PanelsLayOutAlignedChildrenInsideBorderAndMargin) {
  // The program's nesting: a raised panel, inside it a bordered panel with a one-pixel margin, a
  // client-aligned child created before a top-aligned banner.
  TestForm form;
  form.SetClientSize(532, 307);
  fw::Panel& outer = form.Make<fw::Panel>();
  outer.SetBounds(0, 0, 534, 450);
  fw::Panel& inner = outer.Make<fw::Panel>();
  inner.SetAlign(fw::alClient);
  inner.SetBevelOuter(fw::bvNone);
  inner.SetBorderStyle(fw::bsSingle);
  inner.SetBorderWidth(1);
  Probe& backdrop = inner.Make<Probe>("backdrop", nullptr, RECT{0, 0, 10, 10});
  backdrop.SetAlign(fw::alClient);
  Probe& banner = inner.Make<Probe>("banner", nullptr, RECT{1, 1, 100, 16});
  banner.SetAlign(fw::alTop);
  banner.SetVisible(false);
  form.FinishCreate();

  const RECT client = form.ClientRect();
  EXPECT_EQ(client.right, 532);
  EXPECT_EQ(client.bottom, 307);
  EXPECT_EQ(inner.BoundsRect().left, 1);
  EXPECT_EQ(inner.BoundsRect().top, 1);
  EXPECT_EQ(inner.Width(), 532);
  EXPECT_EQ(inner.Height(), 448);

  struct Case {
    bool banner_shown;
    RECT backdrop;
    RECT banner;
  };
  const Case cases[] = {
      {false, RECT{1, 1, 529, 445}, RECT{}},
      {true, RECT{1, 16, 529, 445}, RECT{1, 1, 529, 16}},
      {false, RECT{1, 1, 529, 445}, RECT{}},
  };
  for (const Case& c : cases) {
    banner.SetVisible(c.banner_shown);
    const RECT b = backdrop.BoundsRect();
    EXPECT_EQ(b.left, c.backdrop.left) << c.banner_shown;
    EXPECT_EQ(b.top, c.backdrop.top) << c.banner_shown;
    EXPECT_EQ(b.right, c.backdrop.right) << c.banner_shown;
    EXPECT_EQ(b.bottom, c.backdrop.bottom) << c.banner_shown;
    if (c.banner_shown) {
      const RECT t = banner.BoundsRect();
      EXPECT_EQ(t.left, c.banner.left);
      EXPECT_EQ(t.top, c.banner.top);
      EXPECT_EQ(t.right, c.banner.right);
      EXPECT_EQ(t.bottom, c.banner.bottom);
    }
  }
  // An aligned control that is moved goes back where its alignment puts it.
  backdrop.SetBounds(7, 7, 5, 5);
  EXPECT_EQ(backdrop.Left(), 1);
  EXPECT_EQ(backdrop.Width(), 528);
}

TEST_F(FrameworkTest, PanelBevelIsLightTopLeftAndDarkBottomRight) {
  TestForm form;
  form.SetClientSize(40, 30);
  TestPanel& panel = form.Make<TestPanel>();
  panel.SetBounds(0, 0, 40, 30);
  panel.SetColor(RGB(48, 48, 48));
  form.FinishCreate();
  Canvas own(40, 30);
  panel.PaintTo(own.Dc(), RECT{0, 0, 40, 30});
  const COLORREF light = fw::ColorToRGB(fw::clBtnHighlight);
  const COLORREF dark = fw::ColorToRGB(fw::clBtnShadow);
  EXPECT_EQ(own.Pixel(0, 0), light);
  EXPECT_EQ(own.Pixel(20, 0), light);
  EXPECT_EQ(own.Pixel(0, 15), light);
  EXPECT_EQ(own.Pixel(39, 15), dark);
  EXPECT_EQ(own.Pixel(20, 29), dark);
  EXPECT_EQ(own.Pixel(39, 0), dark) << "the dark edges take the far corners";
  EXPECT_EQ(own.Pixel(0, 29), dark);
  EXPECT_EQ(own.Pixel(20, 15), RGB(48, 48, 48));
}

// --- creation, colours, fonts ----------------------------------------------------------------

TEST_F(FrameworkTest, FinishCreateLoadsEveryControlOnceThenRunsOnCreate) {
  Log log;
  TestForm form;
  fw::Panel& panel = form.Make<fw::Panel>();
  panel.Make<Probe>("in-panel", &log, RECT{0, 0, 1, 1});
  form.Make<Probe>("on-form", &log, RECT{0, 0, 1, 1});
  form.OnCreate = [&](fw::Control&) { log.push_back("create"); };
  EXPECT_TRUE(form.Loading());
  EXPECT_TRUE(panel.Loading());
  form.FinishCreate();
  form.FinishCreate();
  EXPECT_EQ(log, (Log{"loaded:in-panel", "loaded:on-form", "create"}));
  EXPECT_FALSE(form.Loading());
  EXPECT_FALSE(panel.Loading());
  Probe late(&form, "late", &log, RECT{0, 0, 1, 1});
  EXPECT_FALSE(late.Loading()) << "created under a finished parent";
}

TEST_F(FrameworkTest, ColourAndFontFollowTheParentUntilSetOwn) {
  TestForm form;
  form.Font().SetName(L"Arial");
  fw::Panel& panel = form.Make<fw::Panel>();
  panel.SetParentColor(true);
  Probe& child = panel.Make<Probe>("child", nullptr, RECT{0, 0, 1, 1});
  EXPECT_EQ(child.Font().Name(), L"Arial");
  EXPECT_EQ(child.Color(), fw::clBtnFace);

  form.SetColor(RGB(1, 2, 3));
  form.Font().SetHeight(13);
  form.Font().SetBold(true);
  EXPECT_EQ(panel.Color(), RGB(1, 2, 3));
  EXPECT_EQ(child.Color(), RGB(1, 2, 3));
  EXPECT_EQ(child.Font().Height(), 13);
  EXPECT_TRUE(child.Font().Bold());
  EXPECT_TRUE(child.ParentFont());

  child.Font().SetName(L"Tahoma");
  child.SetColor(RGB(9, 9, 9));
  EXPECT_FALSE(child.ParentFont());
  EXPECT_FALSE(child.ParentColor());
  form.SetColor(RGB(4, 5, 6));
  form.Font().SetItalic(true);
  EXPECT_EQ(child.Color(), RGB(9, 9, 9));
  EXPECT_FALSE(child.Font().Italic());
  child.SetParentFont(true);
  EXPECT_TRUE(child.Font().Italic());
  EXPECT_EQ(child.Font().Name(), L"Arial");
}

TEST_F(FrameworkTest, FontRecreatesItsHandleOnlyWhenTheDescriptionChanges) {
  fw::Font font;
  int changes = 0;
  font.OnChange = [&](fw::Font&) { ++changes; };
  const HFONT first = font.Handle();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(font.Handle(), first) << "cached";
  font.SetHeight(11);  // the default: no change
  EXPECT_EQ(changes, 0);
  font.SetColor(fw::clRed);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(font.LogFont().lfHeight, -11);

  font.BeginUpdate();
  font.SetName(L"Tahoma");
  font.SetHeight(27);
  font.SetQuality(ANTIALIASED_QUALITY);
  EXPECT_EQ(changes, 1);
  font.EndUpdate();
  EXPECT_EQ(changes, 2);
  LOGFONTW created{};
  ASSERT_NE(::GetObjectW(font.Handle(), sizeof(created), &created), 0);
  EXPECT_EQ(created.lfHeight, -27);
  EXPECT_EQ(created.lfQuality, ANTIALIASED_QUALITY);
  EXPECT_EQ(std::wstring(created.lfFaceName), L"Tahoma");

  LOGFONTW lf = font.LogFont();
  lf.lfQuality = DEFAULT_QUALITY;
  font.SetLogFont(lf);
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(font.Quality(), DEFAULT_QUALITY);
  EXPECT_EQ(font.Color(), fw::clRed) << "the colour is not part of the logical font";
}

TEST_F(FrameworkTest, FormTakesItsClientSizeAndClosingTheMainFormTerminates) {
  TestForm form;
  form.SetClientSize(532, 307);
  form.CenterOnScreen();
  const RECT client = form.ClientRect();
  EXPECT_EQ(client.right - client.left, 532);
  EXPECT_EQ(client.bottom - client.top, 307);
  RECT work{};
  ASSERT_TRUE(::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
  EXPECT_LE(std::abs((form.Left() - work.left) - (work.right - form.Left() - form.Width())), 1);
  EXPECT_LE(std::abs((form.Top() - work.top) - (work.bottom - form.Top() - form.Height())), 1);
  const LONG style = ::GetWindowLongW(form.Handle(), GWL_STYLE);
  EXPECT_NE(style & WS_SYSMENU, 0);
  EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0);

  form.ShowForm();
  fw::App().ProcessMessages();
  fw::App().SetMainForm(&form);
  form.Perform(WM_CLOSE, 0, 0);
  EXPECT_TRUE(fw::App().Terminated());
  EXPECT_TRUE(form.Showing()) << "the window stays until the loop ends";
}

TEST_F(FrameworkTest, RunShowsTheMainFormCentredAndReturnsWhenItCloses) {
  TestForm form;
  form.SetClientSize(300, 200);
  Log log;
  form.Make<Probe>("child", &log, RECT{0, 0, 10, 10});
  form.OnCreate = [&](fw::Control&) { log.push_back("create"); };
  form.OnActivate = [&](fw::Control&) {
    log.push_back(form.Showing() ? "activate-shown" : "activate-hidden");
    // Close from inside a handler: the loop ends once this handler has returned.
    form.Close();
    log.push_back("after-close");
  };
  fw::App().Run(form);
  EXPECT_TRUE(fw::App().Terminated());
  EXPECT_EQ(fw::App().MainForm(), &form);
  EXPECT_EQ(log, (Log{"loaded:child", "create", "activate-shown", "after-close"}))
      << "creation finished by Run, then shown and activated";
  RECT work{};
  ASSERT_TRUE(::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
  EXPECT_LE(std::abs((form.Left() - work.left) - (work.right - form.Left() - form.Width())), 1);
}

TEST_F(FrameworkTest, ActivationFiresOnActivateEachTime) {
  TestForm form;
  int activations = 0;
  form.OnActivate = [&](fw::Control&) { ++activations; };
  form.FinishCreate();
  form.ShowForm();
  fw::App().ProcessMessages();
  EXPECT_EQ(activations, 1);
  TestForm other;
  other.FinishCreate();
  other.ShowForm();
  fw::App().ProcessMessages();
  form.ShowForm();
  fw::App().ProcessMessages();
  EXPECT_EQ(activations, 2);
}

TEST_F(FrameworkTest, ShowMessageGoesToTheDialogHook) {
  fw::ShowMessage(L"Error!  Internet connection not found.");
  EXPECT_EQ(messages_, (std::vector<std::string>{"Error!  Internet connection not found."}));
}

// --- message loop, timers, threads -----------------------------------------------------------

TEST_F(FrameworkTest, ProcessMessagesTakesWmQuitMarksTerminatedAndKeepsPumping) {
  TestForm form;
  int chars = 0;
  fw::PushButton& button = form.Make<fw::PushButton>();
  button.SetCaption(L"&Go");
  button.OnClick = [&](fw::Control&) { ++chars; };
  form.FinishCreate();
  form.ShowForm();
  fw::App().ProcessMessages();

  ASSERT_TRUE(::PostThreadMessageW(::GetCurrentThreadId(), WM_QUIT, 0, 0));
  ASSERT_TRUE(::PostMessageW(button.Handle(), WM_CHAR, L'g', 0));
  fw::App().ProcessMessages();
  EXPECT_TRUE(fw::App().Terminated());
  EXPECT_EQ(chars, 1) << "the message behind WM_QUIT was still dispatched";
  MSG msg{};
  EXPECT_FALSE(::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) << "queue drained";

  fw::App().ResetTerminated();
  fw::App().Terminate();
  EXPECT_TRUE(fw::App().Terminated());
  ASSERT_TRUE(::PostMessageW(button.Handle(), WM_CHAR, L'g', 0));
  fw::App().ProcessMessages();
  EXPECT_EQ(chars, 2) << "terminating does not stop a pump";
}

TEST_F(FrameworkTest, TimerTicksOnDemandAndThroughTheLoop) {
  fw::Timer timer;
  int ticks = 0;
  timer.OnTimer = [&](fw::Timer&) { ++ticks; };
  EXPECT_TRUE(timer.Running());
  timer.Tick();
  EXPECT_EQ(ticks, 1);

  struct Case {
    bool enabled;
    UINT interval;
    bool running;
  };
  const Case cases[] = {{false, 1000, false},
                        {true, 0, false},
                        {true, 700, true},
                        {true, 50, true},
                        {false, 50, false}};
  for (const Case& c : cases) {
    timer.SetEnabled(c.enabled);
    timer.SetInterval(c.interval);
    EXPECT_EQ(timer.Running(), c.running) << c.enabled << " " << c.interval;
    EXPECT_EQ(timer.Interval(), c.interval);
  }

  // Real ticks arrive through the loop; an exception in a tick is reported and ticking goes on.
  timer.OnTimer = [&](fw::Timer&) {
    if (++ticks == 3) {
      throw fw::Error(L"tick failed");
    }
  };
  timer.SetInterval(1);
  timer.SetEnabled(true);
  while (ticks < 4) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 1000, QS_ALLINPUT);
    fw::App().ProcessMessages();
  }
  EXPECT_EQ(reported_, (std::vector<std::string>{"tick failed"}));
  timer.SetEnabled(false);
  const int stopped_at = ticks;
  fw::App().ProcessMessages();
  EXPECT_EQ(ticks, stopped_at);
}

class CountingThread : public fw::Thread {
 public:
  explicit CountingThread(int calls) : calls_(calls) {}
  ~CountingThread() override {
    Terminate();
    WaitFor();
  }
  int ran_on_main = 0;
  int ran_elsewhere = 0;
  std::string caught;

 protected:
  void Execute() override {
    for (int i = 0; i < calls_; ++i) {
      Synchronize([this] {
        if (fw::App().IsMainThread()) {
          ++ran_on_main;
        } else {
          ++ran_elsewhere;
        }
      });
    }
    try {
      Synchronize([] { throw fw::Error(L"raised on the main thread"); });
    } catch (const fw::Error& e) {
      caught = Narrow(e.Message());
    }
  }

 private:
  int calls_;
};

TEST_F(FrameworkTest, WaitForThreadRunsTheHandOffsOfAWorkerInsideSynchronize) {
  CountingThread worker(5);
  worker.Start();
  fw::App().WaitForThread(worker.Handle());
  EXPECT_TRUE(worker.Finished());
  EXPECT_EQ(worker.ran_on_main, 5);
  EXPECT_EQ(worker.ran_elsewhere, 0);
  EXPECT_EQ(worker.caught, "raised on the main thread") << "re-raised in the worker";
  EXPECT_TRUE(reported_.empty()) << "a hand-off's exception is the worker's, not reported";
}

TEST_F(FrameworkTest, HandOffsRunWhenTheWakeUpIsDispatched) {
  CountingThread worker(3);
  worker.Start();
  while (!worker.Finished()) {
    ::MsgWaitForMultipleObjects(1, std::array<HANDLE, 1>{worker.Handle()}.data(), FALSE, 1000,
                                QS_ALLINPUT);
    fw::App().ProcessMessages();
  }
  EXPECT_EQ(worker.ran_on_main, 3);
}

TEST_F(FrameworkTest, ThreadNeverStartedEndsWhenDestroyed) {
  auto worker = std::make_unique<CountingThread>(2);
  EXPECT_TRUE(worker->Suspended());
  worker.reset();  // resumes, runs its hand-offs through the wait, ends
  SUCCEED();
}

// --- RAII owners -----------------------------------------------------------------------------

struct CountingTraits {
  static inline std::vector<int> closed;
  static constexpr int Invalid() noexcept { return -1; }
  static bool IsValid(int v) noexcept { return v >= 0; }
  static void Close(int v) noexcept {
    closed.push_back(v);
    ::SetLastError(ERROR_GEN_FAILURE);  // a close that disturbs the error code
  }
};
using Counted = fw::UniqueHandle<int, CountingTraits>;

TEST(UniqueHandleTest, ClosesEveryOwnedValueExactlyOnce) {
  CountingTraits::closed.clear();
  {
    Counted a(1);
    Counted b(std::move(a));
    EXPECT_FALSE(a);
    Counted c(3);
    c = std::move(b);  // closes 3, takes 1
    Counted d(4);
    EXPECT_EQ(d.release(), 4);  // given up, never closed
    Counted e(5);
    e.reset(6);  // closes 5
    Counted none;
    none.reset();
  }
  EXPECT_EQ(CountingTraits::closed, (std::vector<int>{3, 5, 6, 1}));

  CountingTraits::closed.clear();
  ::SetLastError(ERROR_FILE_NOT_FOUND);
  { Counted f(7); }
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "kept across close";
  EXPECT_EQ(CountingTraits::closed, (std::vector<int>{7}));
}

LOGFONTW Description(const wchar_t* face, LONG height) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  wcsncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
  return lf;
}

LOGFONTW SelectedFont(HDC dc) {
  LOGFONTW lf{};
  ::GetObjectW(::GetCurrentObject(dc, OBJ_FONT), sizeof(lf), &lf);
  return lf;
}

TEST_F(FrameworkTest, TextMeasurerKeepsOneFontPerDescriptionSelected) {
  const LOGFONTW tahoma = Description(L"Tahoma", -11);
  const LOGFONTW arial = Description(L"Arial", -24);
  fw::TextMeasurer measurer;
  const HDC dc = measurer.DcFor(tahoma);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(::GetObjectType(dc), static_cast<DWORD>(OBJ_MEMDC));
  EXPECT_EQ(::GetDeviceCaps(dc, LOGPIXELSY),
            ::GetDeviceCaps(fw::ClientDc(nullptr).get(), LOGPIXELSY));
  const HGDIOBJ first = ::GetCurrentObject(dc, OBJ_FONT);
  EXPECT_EQ(std::wstring(SelectedFont(dc).lfFaceName), L"Tahoma");
  EXPECT_EQ(SelectedFont(dc).lfHeight, -11);

  EXPECT_EQ(measurer.DcFor(tahoma), dc);
  EXPECT_EQ(::GetCurrentObject(dc, OBJ_FONT), first) << "the same description selects nothing";

  EXPECT_EQ(measurer.DcFor(arial), dc);
  EXPECT_EQ(std::wstring(SelectedFont(dc).lfFaceName), L"Arial");
  EXPECT_EQ(SelectedFont(dc).lfHeight, -24);
  EXPECT_EQ(measurer.DcFor(tahoma), dc);
  EXPECT_EQ(std::wstring(SelectedFont(dc).lfFaceName), L"Tahoma");
}

// Takes every GDI handle the process can still get. Wine counts nothing in GetGuiResources, so
// leak checks give a few thousand back and then run more often than that.
std::vector<fw::BrushHandle> HoardGdiHandles() {
  std::vector<fw::BrushHandle> hoard;
  for (;;) {
    fw::BrushHandle brush(::CreateSolidBrush(RGB(7, 7, 7)));
    if (!brush) {
      return hoard;
    }
    hoard.push_back(std::move(brush));
  }
}

TEST_F(FrameworkTest, TextMeasurerLeaksNoFontWhenSwitching) {
  fw::TextMeasurer measurer;
  const LOGFONTW fonts[2] = {Description(L"Tahoma", -11), Description(L"Arial", -24)};
  ASSERT_NE(measurer.DcFor(fonts[0]), nullptr);
  // As in the painting test below: with the spare GDI handles nearly gone, a font leaked per
  // switch would make the last switches fail to create theirs.
  constexpr std::size_t kSpare = 2000;
  std::vector<fw::BrushHandle> hoard = HoardGdiHandles();
  ASSERT_GT(hoard.size(), kSpare);
  hoard.resize(hoard.size() - kSpare);
  for (std::size_t i = 0; i < kSpare + 500; ++i) {
    measurer.DcFor(fonts[i % 2]);
  }
  const HDC dc = measurer.DcFor(fonts[1]);
  EXPECT_EQ(std::wstring(SelectedFont(dc).lfFaceName), L"Arial");
  EXPECT_EQ(SelectedFont(dc).lfHeight, -24);
  hoard.clear();
}

TEST_F(FrameworkTest, PaintingLeaksNoGdiObjects) {
  TestForm form;
  form.SetClientSize(60, 40);
  form.Make<Probe>("p", nullptr, RECT{0, 0, 20, 20}, RGB(255, 0, 0));
  Probe& opaque = form.Make<Probe>("o", nullptr, RECT{20, 0, 40, 20}, RGB(0, 0, 255));
  opaque.SetOpaque(true);
  fw::Image& image = form.Make<fw::Image>();
  image.SetBounds(40, 20, 8, 8);
  image.SetBitmap(fw::BitmapHandle(::CreateCompatibleBitmap(fw::ClientDc(nullptr).get(), 8, 8)));
  image.SetTransparent(false);
  form.FinishCreate();
  form.ShowForm();
  fw::App().ProcessMessages();
  Canvas dib(60, 40);
  form.PaintTo(dib.Dc(), RECT{0, 0, 60, 40});  // caches settle
  const DWORD before = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
  // Wine counts nothing in GetGuiResources, so the check is exhaustion: take every GDI handle the
  // process can get, give back a few thousand, and paint more times than that. One leaked object
  // per paint would use the rest up and the last paint would come out wrong.
  constexpr std::size_t kSpare = 3000;
  std::vector<fw::BrushHandle> hoard = HoardGdiHandles();
  ASSERT_GT(hoard.size(), kSpare);
  hoard.resize(hoard.size() - kSpare);
  for (std::size_t i = 0; i < kSpare + 500; ++i) {
    image.SetTransparent(i % 2 == 0);
    form.PaintTo(dib.Dc(), RECT{0, 0, 60, 40});
    if (i % 100 == 0) {
      form.Invalidate();
      fw::App().FlushInvalidations();
      ::UpdateWindow(form.Handle());
    }
  }
  fw::FillSolidRect(dib.Dc(), RECT{0, 0, 60, 40}, RGB(1, 2, 3));
  form.PaintTo(dib.Dc(), RECT{0, 0, 60, 40});
  EXPECT_EQ(dib.Pixel(5, 5), RGB(255, 0, 0));
  EXPECT_EQ(dib.Pixel(25, 5), RGB(0, 0, 255));
  EXPECT_EQ(dib.Pixel(5, 30), fw::ColorToRGB(fw::clBtnFace));
  hoard.clear();
  if (before != 0) {
    EXPECT_EQ(::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS), before);
  }
}

}  // namespace
