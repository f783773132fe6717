// Creation, colours and fonts: loading and FinishCreate, parent colour and font links, the font
// handle cache, the form's size, Run, activation and message dialogs.
#include "tests/wine/framework_fixture.h"

namespace test {
namespace {

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
  const auto font_watched = font.OnChange.Subscribe([&](fw::Font&) { ++changes; });
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

}  // namespace
}  // namespace test
