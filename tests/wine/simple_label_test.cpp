// The simple label, drawn into 24-bit memory bitmaps and driven through its properties, its blink
// timer and its shell seams.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cwchar>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/app.h"
#include "framework/color.h"
#include "framework/form.h"
#include "framework/gdi.h"
#include "framework/handle.h"
#include "framework/push_button.h"
#include "tests/wine/canvas.h"
#include "tests/wine/widget_fixture.h"
#include "widgets/simple_label.h"

namespace widgets {
namespace {

using test::Canvas;
using test::Counting;
using test::WidgetTest;

// Replaces the label's platform calls for one test and puts the real ones back afterwards.
class SeamScope {
 public:
  SeamScope()
      : draw_(TCustomSimpleLabel::DrawTextExSeam),
        execute_ex_(TCustomSimpleLabel::ShellExecuteExSeam),
        execute_(TCustomSimpleLabel::ShellExecuteSeam) {}
  SeamScope(const SeamScope&) = delete;
  SeamScope& operator=(const SeamScope&) = delete;
  ~SeamScope() {
    TCustomSimpleLabel::DrawTextExSeam = draw_;
    TCustomSimpleLabel::ShellExecuteExSeam = execute_ex_;
    TCustomSimpleLabel::ShellExecuteSeam = execute_;
  }

 private:
  decltype(TCustomSimpleLabel::DrawTextExSeam) draw_;
  decltype(TCustomSimpleLabel::ShellExecuteExSeam) execute_ex_;
  decltype(TCustomSimpleLabel::ShellExecuteSeam) execute_;
};

struct DrawTextCall {
  std::wstring text;
  UINT flags;
};

struct ShellExCall {
  DWORD size;
  ULONG mask;
  HWND owner;
  std::wstring verb;
  std::wstring file;
  bool no_parameters;
  bool no_directory;
  int show;
  HANDLE process;
};

constexpr COLORREF kBackground = RGB(0, 0, 255);
constexpr COLORREF kText = RGB(255, 0, 0);

class LabelTest : public WidgetTest {
 protected:
  // The seams are plain function pointers: they reach the running test through this.
  static inline LabelTest* running_ = nullptr;

  void SetUp() override {
    WidgetTest::SetUp();
    running_ = this;
    TCustomSimpleLabel::DrawTextExSeam = [](HDC dc, LPWSTR text, int count, LPRECT r, UINT flags,
                                            LPDRAWTEXTPARAMS params) {
      running_->draws_.push_back({std::wstring(text, static_cast<std::size_t>(count)), flags});
      return ::DrawTextExW(dc, text, count, r, flags, params);
    };
    TCustomSimpleLabel::ShellExecuteExSeam = [](SHELLEXECUTEINFOW* info) -> BOOL {
      ShellExCall call{info->cbSize,
                       info->fMask,
                       info->hwnd,
                       info->lpVerb != nullptr ? info->lpVerb : L"(null)",
                       info->lpFile != nullptr ? info->lpFile : L"(null)",
                       info->lpParameters == nullptr,
                       info->lpDirectory == nullptr,
                       info->nShow,
                       nullptr};
      if (!running_->shell_succeeds_) {
        running_->shell_calls_.push_back(call);
        return FALSE;
      }
      // A real handle, so that closing it can be checked.
      info->hProcess = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
      call.process = info->hProcess;
      running_->shell_calls_.push_back(call);
      return TRUE;
    };
  }
  void TearDown() override {
    running_ = nullptr;
    WidgetTest::TearDown();
  }

  // A label as the setup window makes its small white texts (non-antialiased Tahoma).
  Counting<TSimpleLabel>& MakeLabel(const std::wstring& caption) {
    auto& label = form_->Make<Counting<TSimpleLabel>>();
    label.SetBounds(0, 0, 30, 30);
    label.Font().SetName(L"Tahoma");
    label.Font().SetHeight(11);
    label.Font().SetBold(true);
    label.Font().SetColor(kText);
    label.SetCaption(caption);
    return label;
  }

  // Renders the label onto a canvas of its size filled with kBackground.
  std::unique_ptr<Canvas> Render(TSimpleLabel& label) {
    auto canvas = std::make_unique<Canvas>(label.Width(), label.Height());
    canvas->Fill(kBackground);
    label.Paint(canvas->Dc());
    return canvas;
  }

  SeamScope seams_;
  std::vector<DrawTextCall> draws_;
  std::vector<ShellExCall> shell_calls_;
  bool shell_succeeds_ = true;
};

SIZE TextBlock(const fw::Font& font, const std::wstring& text) {
  const fw::ClientDc screen(nullptr);
  const fw::SelectGuard select(screen.get(), font.Handle());
  SIZE extent{};
  ::GetTextExtentPoint32W(screen.get(), text.c_str(), static_cast<int>(text.size()), &extent);
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(screen.get(), &metrics);
  return SIZE{extent.cx, metrics.tmHeight};
}

TEST_F(LabelTest, DefaultsOfANewLabel) {
  auto& label = form_->Make<TSimpleLabel>();
  EXPECT_TRUE(label.Transparent());
  EXPECT_FALSE(label.Opaque());
  EXPECT_EQ(label.Width(), 30);
  EXPECT_EQ(label.Height(), 30);
  EXPECT_EQ(label.Alignment(), agTopLeft);
  EXPECT_TRUE(label.AutoSize());
  EXPECT_FALSE(label.MultiLine());
  EXPECT_TRUE(label.ShowAccelChar());
  EXPECT_FALSE(label.Twinkle());
  EXPECT_EQ(label.TwinkleVisible(), 700);
  EXPECT_EQ(label.TwinkleInVisible(), 700);
  EXPECT_EQ(label.TwinkleColor(), fw::clNone);
  EXPECT_FALSE(label.UseGlobalTimer());
  EXPECT_FALSE(label.FontSmoothing());
  EXPECT_EQ(label.Options(), TLabelOptions{});
  EXPECT_EQ(label.Font3D().Style(), tdNone);
  EXPECT_EQ(label.Font3D().LightDepth(), 1);
  EXPECT_EQ(label.Font3D().ShadowDepth(), 1);
  EXPECT_EQ(label.Jump(), L"");
  EXPECT_EQ(label.JumpMode(), jmNone);
  EXPECT_EQ(label.ActiveColor(), 0x00800080u);
  EXPECT_EQ(label.InActiveColor(), 0x00FF0000u);
  EXPECT_TRUE(label.JumpUnderline());
  EXPECT_FALSE(label.ShowURLInHint());
  EXPECT_FALSE(label.ShowURLMenu());
  EXPECT_EQ(label.Counter(), 0);
  EXPECT_EQ(label.TwinkleTimer(), nullptr);
  EXPECT_TRUE(label.TwinkleShown());
}

TEST_F(LabelTest, FlagSetsHandedToDrawText) {
  const struct {
    const char* name;
    TAlignment alignment;
    bool show_accel_char;
    std::wstring caption;
    UINT measure_flags;
    UINT paint_flags;
  } cases[] = {
      {"brand word", agTopLeft, false, L"OSTREVO", 0xC60, 0x870},
      {"banner", agCenter, true, L"<UAT ENVIRONMENT>", 0x460, 0x75},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto& label = MakeLabel(L"");
    label.SetAlignment(c.alignment);
    label.SetShowAccelChar(c.show_accel_char);
    draws_.clear();
    label.SetCaption(c.caption);
    ASSERT_EQ(draws_.size(), 1u);
    EXPECT_EQ(draws_[0].flags, c.measure_flags);
    EXPECT_EQ(draws_[0].text, c.caption);
    draws_.clear();
    auto canvas = Render(label);
    ASSERT_EQ(draws_.size(), 1u);
    EXPECT_EQ(draws_[0].flags, c.paint_flags);
    EXPECT_EQ(draws_[0].text, c.caption);
    EXPECT_GT(canvas->Count(kText), 0);
  }
}

TEST_F(LabelTest, AutoSizeIsTheTextBlockPlusTwo) {
  const struct {
    std::wstring caption;
    bool show_accel_char;
    std::wstring measured_as;
  } cases[] = {
      {L"", true, L" "},
      {L"", false, L" "},
      {L"&", true, L" "},
      {L"&", false, L"&"},
      {L"&&", true, L"&"},
      {L"A&B", true, L"AB"},
      {L"OSTREVO", false, L"OSTREVO"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "caption " << testing::PrintToString(c.caption) << " accel "
                                    << c.show_accel_char);
    auto& label = MakeLabel(L"seed");
    label.SetBounds(17, 40, 39, 15);
    label.SetShowAccelChar(c.show_accel_char);
    label.SetCaption(c.caption);
    const SIZE block = TextBlock(label.Font(), c.measured_as);
    EXPECT_EQ(label.Left(), 17);
    EXPECT_EQ(label.Top(), 40);
    EXPECT_EQ(label.Width(), block.cx + 2);
    EXPECT_EQ(label.Height(), block.cy + 2);
  }
}

// Measuring needs no GetDC round trip: the label uses the shared measurer's memory DC, whose
// metrics are the screen's, so every size comes out as a screen DC gives it, font after font.
TEST_F(LabelTest, MeasuresOnTheSharedMemoryDcWithTheScreensMetrics) {
  static std::vector<HDC> dcs;
  dcs.clear();
  TCustomSimpleLabel::DrawTextExSeam = [](HDC dc, LPWSTR text, int count, LPRECT r, UINT flags,
                                          LPDRAWTEXTPARAMS params) {
    dcs.push_back(dc);
    return ::DrawTextExW(dc, text, count, r, flags, params);
  };
  const struct {
    const wchar_t* face;
    int height;
    bool bold;
    bool smoothing;
    std::wstring caption;
  } cases[] = {
      {L"Tahoma", 11, true, true, L"20480/268435456 bytes downloaded.  Please wait..."},
      {L"Tahoma", 11, true, false, L"OSTREVO"},
      {L"Arial", 24, false, true, L"SOFTWARE"},
      {L"MS Sans Serif", 11, false, false, L"Downloading..."},
      {L"Tahoma", 17, true, true, L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "font " << std::string(c.face, c.face + wcslen(c.face))
                                    << " " << c.height << " caption length " << c.caption.size());
    auto& label = MakeLabel(L"seed");
    label.SetShowAccelChar(false);
    label.Font().BeginUpdate();
    label.Font().SetName(c.face);
    label.Font().SetHeight(c.height);
    label.Font().SetBold(c.bold);
    label.Font().EndUpdate();
    label.SetFontSmoothing(c.smoothing);
    dcs.clear();
    label.SetCaption(c.caption);
    ASSERT_EQ(dcs.size(), 1u);
    EXPECT_EQ(dcs[0], fw::SharedTextMeasurer().Dc());
    EXPECT_EQ(::GetObjectType(dcs[0]), static_cast<DWORD>(OBJ_MEMDC));

    const fw::ClientDc screen(nullptr);
    const fw::SelectGuard select(screen.get(), label.Font().Handle());
    std::wstring text = c.caption.empty() ? L" " : c.caption;
    RECT r{0, 0, 0, 0};
    ::DrawTextExW(screen.get(), text.data(), static_cast<int>(text.size()), &r, 0xC60, nullptr);
    EXPECT_EQ(label.Width(), r.right - r.left + 2);
    EXPECT_EQ(label.Height(), r.bottom - r.top + 2);
  }
}

// The download sets a caption after every read; one that keeps the size moves nothing and asks for
// one repaint only.
TEST_F(LabelTest, ACaptionOfTheSameSizeOnlyRequestsARepaint) {
  auto& label = MakeLabel(L"10240/20480");
  const RECT before = label.BoundsRect();
  label.invalidations = 0;
  label.SetCaption(L"20480/10240");  // the same glyphs in another order
  EXPECT_EQ(label.Left(), before.left);
  EXPECT_EQ(label.Top(), before.top);
  EXPECT_EQ(label.Width(), before.right - before.left);
  EXPECT_EQ(label.Height(), before.bottom - before.top);
  EXPECT_EQ(label.invalidations, 1);

  label.invalidations = 0;
  label.SetCaption(L"102400/20480");
  EXPECT_GT(label.Width(), before.right - before.left);
  EXPECT_EQ(label.invalidations, 3) << "old bounds, new bounds, the text";
}

TEST_F(LabelTest, SizeIsKeptWhenAutoSizeCannotApply) {
  const struct {
    const char* name;
    std::function<void(TSimpleLabel&)> setup;
  } cases[] = {
      {"AutoSize off", [](TSimpleLabel& l) { l.SetAutoSize(false); }},
      {"aligned to the top", [](TSimpleLabel& l) { l.SetAlign(fw::alTop); }},
      {"inside an update bracket", [](TSimpleLabel& l) { l.BeginUpdate(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto& label = MakeLabel(L"x");
    c.setup(label);
    label.SetBounds(label.Left(), label.Top(), label.Width(), 15);
    const int width = label.Width();
    label.SetCaption(L"a much longer caption than before");
    EXPECT_EQ(label.Width(), width);
    EXPECT_EQ(label.Height(), 15);
  }
}

TEST_F(LabelTest, TransparentEmptyCaptionDrawsNothing) {
  auto& label = MakeLabel(L"");
  draws_.clear();
  auto canvas = Render(label);
  EXPECT_TRUE(draws_.empty());
  EXPECT_EQ(canvas->Count(kBackground), label.Width() * label.Height());
}

TEST_F(LabelTest, OpaqueLabelFillsItsColour) {
  auto& label = MakeLabel(L"");
  label.SetTransparent(false);
  EXPECT_TRUE(label.Opaque());
  label.SetColor(RGB(0, 128, 0));
  auto empty = Render(label);
  EXPECT_EQ(empty->Count(RGB(0, 128, 0)), label.Width() * label.Height());

  label.SetCaption(L"Downloading...");
  auto text = Render(label);
  EXPECT_EQ(text->Count(kBackground), 0);
  EXPECT_EQ(text->Pixel(0, 0), RGB(0, 128, 0));
  EXPECT_GT(text->Count(kText), 0);
}

TEST_F(LabelTest, AmpersandIsDrawnOnlyWithoutAccelerators) {
  // "&&" is one "&" with accelerators; without them both characters are drawn.
  auto& single = MakeLabel(L"&&");
  single.SetShowAccelChar(true);
  single.SetAutoSize(false);
  single.SetBounds(0, 0, 40, 20);
  auto& twice = MakeLabel(L"&&");
  twice.SetShowAccelChar(false);
  twice.SetAutoSize(false);
  twice.SetBounds(0, 0, 40, 20);
  const int one = Render(single)->Count(kText);
  const int two = Render(twice)->Count(kText);
  EXPECT_GT(one, 0);
  EXPECT_EQ(two, 2 * one);
}

TEST_F(LabelTest, DisabledLabelDrawsInGrayText) {
  auto& label = MakeLabel(L"SOFTWARE");
  label.SetEnabled(false);
  auto canvas = Render(label);
  EXPECT_EQ(canvas->Count(kText), 0);
  EXPECT_GT(canvas->Count(fw::ColorToRGB(fw::clGrayText)), 0);
}

TEST_F(LabelTest, RepaintRequestsFollowTransparency) {
  auto& label = MakeLabel(L"x");
  label.invalidations = label.repaints = 0;
  label.SetShowAccelChar(false);
  EXPECT_EQ(label.invalidations, 1);
  EXPECT_EQ(label.repaints, 0);

  label.SetTransparent(false);
  label.invalidations = label.repaints = 0;
  label.SetShowAccelChar(true);
  EXPECT_EQ(label.repaints, 1);

  // Brackets nest; the outermost end repaints once for everything held back, and an update in
  // which nothing changed repaints nothing.
  label.BeginUpdate();
  label.BeginUpdate();
  label.invalidations = label.repaints = 0;
  label.SetShowAccelChar(false);
  label.SetMultiLine(true);
  label.EndUpdate();
  EXPECT_EQ(label.invalidations + label.repaints, 0);
  label.EndUpdate();
  EXPECT_EQ(label.repaints, 1);
  label.BeginUpdate();
  label.SetShowAccelChar(false);
  label.EndUpdate();
  EXPECT_EQ(label.repaints, 1);
}

TEST_F(LabelTest, BlinkPhasesFollowTheTimer) {
  auto& label = MakeLabel(L"<UAT ENVIRONMENT>");
  label.SetTwinkleVisible(300);
  label.SetTwinkleInVisible(900);
  label.SetTwinkle(true);
  fw::Timer* timer = label.TwinkleTimer();
  ASSERT_NE(timer, nullptr);
  EXPECT_TRUE(timer->Enabled());
  EXPECT_EQ(timer->Interval(), 300u);
  EXPECT_TRUE(label.TwinkleShown());
  EXPECT_GT(Render(label)->Count(kText), 0);

  const struct {
    bool shown;
    UINT interval;
  } ticks[] = {{false, 300}, {true, 900}, {false, 300}};
  for (const auto& t : ticks) {
    label.invalidations = 0;
    timer->Tick();
    EXPECT_EQ(label.TwinkleShown(), t.shown);
    EXPECT_EQ(timer->Interval(), t.interval);
    EXPECT_EQ(label.invalidations, 1);
    auto canvas = Render(label);
    if (t.shown) {
      EXPECT_GT(canvas->Count(kText), 0);
    } else {
      // TwinkleColor clNone: only what lies beneath.
      EXPECT_EQ(canvas->Count(kBackground), label.Width() * label.Height());
    }
  }
}

TEST_F(LabelTest, HiddenPhaseWithATwinkleColour) {
  auto& label = MakeLabel(L"<SIT ENVIRONMENT>");
  label.SetTwinkleColor(RGB(0, 255, 0));
  label.SetTwinkle(true);
  label.TwinkleTimer()->Tick();
  ASSERT_FALSE(label.TwinkleShown());
  auto canvas = Render(label);
  EXPECT_EQ(canvas->Count(kText), 0);
  EXPECT_GT(canvas->Count(RGB(0, 255, 0)), 0);
}

TEST_F(LabelTest, SwitchingTwinkleOffInTheHiddenPhaseShowsTheText) {
  auto& label = MakeLabel(L"<DIT ENVIRONMENT>");
  label.SetTwinkle(true);
  label.TwinkleTimer()->Tick();
  ASSERT_FALSE(label.TwinkleShown());
  label.invalidations = 0;
  label.SetTwinkle(false);
  EXPECT_EQ(label.TwinkleTimer(), nullptr);
  EXPECT_TRUE(label.TwinkleShown());
  EXPECT_EQ(label.invalidations, 1);
  EXPECT_GT(Render(label)->Count(kText), 0);
}

TEST_F(LabelTest, HiddenLabelKeepsFlippingSilently) {
  auto& label = MakeLabel(L"banner");
  label.SetVisible(false);
  label.SetTwinkle(true);
  label.invalidations = label.repaints = 0;
  label.TwinkleTimer()->Tick();
  EXPECT_FALSE(label.TwinkleShown());
  label.TwinkleTimer()->Tick();
  EXPECT_TRUE(label.TwinkleShown());
  EXPECT_EQ(label.invalidations + label.repaints, 0);
}

TEST_F(LabelTest, TimerOfADisabledLabelStartsDisabled) {
  auto& label = MakeLabel(L"banner");
  label.SetEnabled(false);
  label.SetTwinkle(true);
  ASSERT_NE(label.TwinkleTimer(), nullptr);
  EXPECT_FALSE(label.TwinkleTimer()->Enabled());
  // Setting an unchanged value keeps the same timer.
  fw::Timer* timer = label.TwinkleTimer();
  label.SetTwinkle(true);
  EXPECT_EQ(label.TwinkleTimer(), timer);
}

TEST_F(LabelTest, FontSmoothingRecreatesTheFontQuality) {
  auto& label = MakeLabel(L"OSTREVO");
  EXPECT_NE(label.Font().Quality(), ANTIALIASED_QUALITY);
  label.SetFontSmoothing(true);
  EXPECT_EQ(label.Font().Quality(), ANTIALIASED_QUALITY);
  // A smoothed label keeps antialiased text whatever font it is given.
  label.Font().SetQuality(NONANTIALIASED_QUALITY);
  EXPECT_EQ(label.Font().Quality(), ANTIALIASED_QUALITY);
  LOGFONTW lf = label.Font().LogFont();
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfHeight = -27;
  label.Font().SetLogFont(lf);
  EXPECT_EQ(label.Font().Quality(), ANTIALIASED_QUALITY);
  EXPECT_EQ(label.Font().Height(), 27);
  label.SetFontSmoothing(false);
  EXPECT_EQ(label.Font().Quality(), DEFAULT_QUALITY);
  // Without smoothing, other qualities are left alone.
  label.Font().SetQuality(NONANTIALIASED_QUALITY);
  EXPECT_EQ(label.Font().Quality(), NONANTIALIASED_QUALITY);
}

TEST_F(LabelTest, FontChangeResizes) {
  auto& label = MakeLabel(L"OSTREVO");
  const int small = label.Height();
  label.Font().SetHeight(27);
  EXPECT_EQ(label.Height(), TextBlock(label.Font(), L"OSTREVO").cy + 2);
  EXPECT_GT(label.Height(), small);
}

TEST_F(LabelTest, JumpModeSetterAppliesTheLinkLook) {
  auto& label = MakeLabel(L"link");
  label.SetActiveColor(0x00D7A034);
  label.SetInActiveColor(0x00D7A034);
  label.SetJumpMode(jmInternet);
  EXPECT_EQ(label.Font().Color(), 0x00D7A034u);
  EXPECT_TRUE(label.Font().Underline());
  EXPECT_EQ(label.Cursor(), fw::crHandPoint);
  EXPECT_EQ(label.Counter(), 0);

  label.SetJumpMode(jmNone);
  EXPECT_EQ(label.Font().Color(), fw::clBlack);
  EXPECT_FALSE(label.Font().Underline());
  EXPECT_EQ(label.Cursor(), fw::crDefault);

  label.SetJumpUnderline(false);
  label.Font().SetUnderline(true);
  label.SetJumpMode(jmApplication);
  EXPECT_EQ(label.Font().Color(), 0x00D7A034u);
  label.SetJumpMode(jmNone);
  EXPECT_TRUE(label.Font().Underline()) << "underline is left alone without JumpUnderline";
}

TEST_F(LabelTest, ShellPrefixesOfTheOpenedTarget) {
  const struct {
    std::wstring jump;
    std::wstring caption;
    std::wstring opened;
  } cases[] = {
      {L"www.ostrevo.com", L"", L"http://www.ostrevo.com"},
      {L"WWW.ostrevo.com", L"", L"WWW.ostrevo.com"},
      {L"ftp.ostrevo.com", L"", L"ftp://ftp.ostrevo.com"},
      {L"sales@ostrevo.com", L"", L"mailto:sales@ostrevo.com"},
      {L"@ostrevo.com", L"", L"@ostrevo.com"},
      {L" \t ", L"www.caption.com", L"http://www.caption.com"},
      {L"https://localhost:47443/about-us/contact", L"",
       L"https://localhost:47443/about-us/contact"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.jump));
    auto& label = MakeLabel(c.caption);
    label.SetJumpMode(jmInternet);
    label.SetJump(c.jump);
    shell_calls_.clear();
    label.Execute();
    ASSERT_EQ(shell_calls_.size(), 1u);
    const ShellExCall& call = shell_calls_[0];
    EXPECT_EQ(call.file, c.opened);
    EXPECT_EQ(call.size, sizeof(SHELLEXECUTEINFOW));
    EXPECT_EQ(call.mask, 0x140u);
    EXPECT_EQ(call.owner, nullptr);
    EXPECT_EQ(call.verb, L"Open");
    EXPECT_TRUE(call.no_parameters);
    EXPECT_TRUE(call.no_directory);
    EXPECT_EQ(call.show, 0);
    // The process handle the shell returned has been closed.
    DWORD info = 0;
    EXPECT_FALSE(::GetHandleInformation(call.process, &info));
    EXPECT_TRUE(label.Enabled());
    EXPECT_EQ(label.JumpMode(), jmInternet);
  }
}

TEST_F(LabelTest, InternetExecuteCountsAndNeverCallsOnClick) {
  auto& label = MakeLabel(L"");
  int clicks = 0;
  label.OnClick = [&clicks](fw::Control&) { ++clicks; };
  label.SetActiveColor(RGB(1, 2, 3));
  label.SetJumpMode(jmInternet);
  label.SetJump(L"https://localhost:47443/about-us/contact");
  label.Execute();
  label.Execute();
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(shell_calls_.size(), 2u);
  EXPECT_EQ(label.Counter(), 2);
  EXPECT_EQ(label.Font().Color(), RGB(1, 2, 3));
  label.ResetCounter();
  EXPECT_EQ(label.Counter(), 0);
  EXPECT_EQ(label.Font().Color(), label.InActiveColor());
}

TEST_F(LabelTest, ExecuteOnOrdinaryModesCallsOnClick) {
  const struct {
    TJumpModes mode;
    int counter;
  } cases[] = {{jmNone, 0}, {jmCustom, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(int{c.mode});
    auto& label = MakeLabel(L"www.ostrevo.com");
    label.SetJumpMode(c.mode);
    int clicks = 0;
    label.OnClick = [&clicks](fw::Control&) { ++clicks; };
    label.Execute();
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(label.Counter(), c.counter);
    EXPECT_TRUE(shell_calls_.empty());
  }
}

TEST_F(LabelTest, ApplicationModeStartsTheTargetWithTheShell) {
  struct Call {
    HWND owner;
    bool no_verb;
    std::wstring file;
    bool no_parameters;
    bool no_directory;
    INT show;
  };
  static std::vector<Call> calls;
  calls.clear();
  TCustomSimpleLabel::ShellExecuteSeam = [](HWND owner, LPCWSTR verb, LPCWSTR file,
                                            LPCWSTR parameters, LPCWSTR directory,
                                            INT show) -> HINSTANCE {
    calls.push_back(
        {owner, verb == nullptr, file, parameters == nullptr, directory == nullptr, show});
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(2));  // "file not found": ignored
  };
  auto& label = MakeLabel(L"notepad.exe");
  label.SetJumpMode(jmApplication);
  int clicks = 0;
  label.OnClick = [&clicks](fw::Control&) { ++clicks; };
  label.Execute();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].owner, fw::App().Handle());
  EXPECT_TRUE(calls[0].no_verb);
  EXPECT_EQ(calls[0].file, L"notepad.exe");
  EXPECT_TRUE(calls[0].no_parameters);
  EXPECT_TRUE(calls[0].no_directory);
  EXPECT_EQ(calls[0].show, SW_SHOWNORMAL);
  EXPECT_EQ(clicks, 0);
  EXPECT_TRUE(label.Enabled());
  EXPECT_EQ(label.JumpMode(), jmApplication);
}

TEST_F(LabelTest, FailedOpenSwitchesTheLinkOffWithoutLooping) {
  shell_succeeds_ = false;
  auto& label = MakeLabel(L"");
  label.SetVisible(false);
  label.SetActiveColor(0x00D7A034);
  label.SetInActiveColor(0x00D7A034);
  label.SetJumpMode(jmInternet);
  // The Contact handler is also the label's own OnClick, and it calls Execute.
  int contact_runs = 0;
  const auto contact = [&] {
    ++contact_runs;
    label.SetJump(L"https://localhost:47443/about-us/contact");
    label.Execute();
  };
  label.OnClick = [&contact](fw::Control&) { contact(); };

  contact();
  EXPECT_EQ(shell_calls_.size(), 1u);
  EXPECT_EQ(contact_runs, 1);
  EXPECT_EQ(label.JumpMode(), jmNone);
  EXPECT_FALSE(label.Enabled());
  EXPECT_EQ(label.Font().Color(), 0x00D7A034u);  // colour and cursor stay as they were
  EXPECT_TRUE(label.Font().Underline());
  EXPECT_EQ(label.Cursor(), fw::crHandPoint);

  // A second Contact runs the ordinary click, whose handler calls Execute once more: that nested
  // call must do nothing.
  contact();
  EXPECT_EQ(contact_runs, 3);
  EXPECT_EQ(shell_calls_.size(), 1u);
  EXPECT_EQ(label.JumpMode(), jmNone);
}

TEST_F(LabelTest, LeftPressUsesTheLink) {
  auto& label = MakeLabel(L"www.ostrevo.com");
  label.SetActiveColor(RGB(9, 9, 9));
  label.SetJumpMode(jmInternet);
  label.MouseDown(fw::mbRight, 0, 1, 1);
  EXPECT_EQ(label.Counter(), 0);
  label.MouseDown(fw::mbLeft, fw::ssLeft, 1, 1);
  EXPECT_EQ(label.Counter(), 1);
  EXPECT_EQ(label.Font().Color(), RGB(9, 9, 9));
  label.MouseUp(fw::mbLeft, 0, 1, 1);
  EXPECT_EQ(label.Font().Color(), RGB(9, 9, 9));

  auto& plain = MakeLabel(L"plain");
  plain.MouseDown(fw::mbLeft, fw::ssLeft, 1, 1);
  EXPECT_EQ(plain.Counter(), 0);
  EXPECT_EQ(plain.Font().Color(), kText);
}

TEST_F(LabelTest, CopyURLPutsTheTargetOnTheClipboard) {
  const struct {
    std::wstring jump;
    std::wstring expected;
  } cases[] = {
      {L"https://localhost:47443/about-us/contact", L"https://localhost:47443/about-us/contact"},
      {L"  ", L"the caption"}};
  for (const auto& c : cases) {
    auto& label = MakeLabel(L"the caption");
    label.SetJump(c.jump);
    ASSERT_TRUE(label.CopyURL());
    ASSERT_TRUE(::OpenClipboard(nullptr));
    const HANDLE data = ::GetClipboardData(CF_UNICODETEXT);
    std::wstring text;
    if (data != nullptr) {
      if (const auto* p = static_cast<const wchar_t*>(::GlobalLock(data))) {
        text = p;
        ::GlobalUnlock(data);
      }
    }
    ::CloseClipboard();
    EXPECT_EQ(text, c.expected);
  }
}

TEST_F(LabelTest, AcceleratorMovesTheFocusToTheFocusControl) {
  auto& button = form_->Make<fw::PushButton>();
  auto& label = MakeLabel(L"&Name");
  EXPECT_FALSE(label.DialogChar(L'n')) << "no focus control yet";
  label.SetFocusControl(&button);
  EXPECT_TRUE(label.DialogChar(L'n'));
  EXPECT_FALSE(label.DialogChar(L'x'));
  label.SetShowAccelChar(false);
  EXPECT_FALSE(label.DialogChar(L'n'));
}

}  // namespace
}  // namespace widgets
