// Deferred repaint requests: collected per window, submitted on the flush, before dialogs and
// when a handler returns; and the throttled pump.
#include "tests/wine/framework_fixture.h"

namespace test {
namespace {

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

}  // namespace
}  // namespace test
