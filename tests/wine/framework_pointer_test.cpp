// Pointer routing to graphic controls: enter and leave, capture, press and release, click,
// the cursor, and handler exceptions reaching the error report.
#include "tests/wine/framework_fixture.h"

namespace test {
namespace {

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

}  // namespace
}  // namespace test
