// Accelerator routing: which control a character reaches, the posted "R" to a push button,
// and the push button's own accelerator.
#include "tests/wine/framework_fixture.h"

namespace test {
namespace {

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

}  // namespace
}  // namespace test
