// The setup window at the DPI its Wine prefix gives the screen (LogPixels, SETUP_TEST_DPI), and
// after the system tells it of another DPI (WM_DPICHANGED): size, captions, overlaps, the backdrop,
// the pointer.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <exception>
#include <string>
#include <vector>

#include "bootstrap/app/pre_setup.h"
#include "framework/app.h"
#include "framework/error.h"
#include "framework/handle.h"
#include "tests/wine/canvas.h"

namespace {

// An error that ends the program (one raised where nothing can catch it) names itself first.
[[noreturn]] void ReportErrorAndAbort() {
  if (const std::exception_ptr error = std::current_exception(); error != nullptr) {
    try {
      std::rethrow_exception(error);
    } catch (const fw::Error& e) {
      std::fwprintf(stderr, L"ended by fw::Error: %ls\n", e.Message().c_str());
    } catch (...) {
    }
  }
  std::abort();
}
const std::terminate_handler kPreviousHandler = std::set_terminate(ReportErrorAndAbort);

constexpr COLORREF kHover = RGB(0xD2, 0xE6, 0xEE);
constexpr COLORREF kIdle = RGB(0x80, 0x80, 0x80);

// The rounding a person would do by hand, apart from the one the program uses.
int Scaled(int value, int dpi) {
  return static_cast<int>(std::lround(value * dpi / 96.0));
}

int PrefixDpi() {
  const char* text = std::getenv("SETUP_TEST_DPI");
  return text != nullptr ? std::atoi(text) : 96;
}

RECT Bounds(const fw::Control& c) {
  return c.BoundsRect();
}

// What a caption needs, measured with the control's own font.
SIZE TextSize(const fw::Control& control, const std::wstring& text) {
  const fw::MemoryDc dc(::CreateCompatibleDC(nullptr));
  const fw::SelectGuard font(dc.get(), control.Font().Handle());
  SIZE size{};
  ::GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
  return size;
}

// Sends what the system sends when the window reaches a monitor of another DPI: the new DPI and
// the window's rectangle at that scale.
void ChangeDpi(setup::TPreSetupBox& box, int dpi) {
  RECT r{};
  ::GetWindowRect(box.Handle(), &r);
  const int old = box.Dpi();
  RECT suggested{r.left, r.top, r.left + (r.right - r.left) * dpi / old,
                 r.top + (r.bottom - r.top) * dpi / old};
  ::SendMessageW(box.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                 reinterpret_cast<LPARAM>(&suggested));
}

void ExpectLaidOutAt(setup::TPreSetupBox& box, int dpi) {
  SCOPED_TRACE("at " + std::to_string(dpi) + " DPI");
  EXPECT_EQ(box.Dpi(), dpi);
  RECT client{};
  ::GetClientRect(box.Handle(), &client);
  EXPECT_EQ(client.right, Scaled(532, dpi));
  EXPECT_EQ(client.bottom, Scaled(307, dpi));

  // The shape buttons' faces hold their captions inside bevel and shadow.
  for (const widgets::TShapeButton* button : {&box.CloseBtn, &box.PanelSelectBtn}) {
    EXPECT_EQ(button->Width(), Scaled(94, dpi));
    EXPECT_EQ(button->Height(), Scaled(32, dpi));
    EXPECT_EQ(button->Font().Height(), Scaled(11, dpi));
    const SIZE text = TextSize(*button, button->Caption());
    const int frame = 2 * (Scaled(1, dpi) + Scaled(1, dpi));
    EXPECT_LE(text.cx, button->Width() - frame)
        << std::string(button->Caption().begin(), button->Caption().end());
    EXPECT_LE(text.cy, button->Height() - frame);
    // The keyboard's focus cue keeps its inset inside the scaled face.
    const RECT cue = button->FocusCueRect();
    EXPECT_EQ(cue.left, Scaled(4, dpi));
    EXPECT_EQ(button->Width() - cue.right, Scaled(4, dpi));
  }
  // The labels of the name show their whole text.
  for (const widgets::TSimpleLabel* label : {&box.SimpleLabel2, &box.SimpleLabel3}) {
    const SIZE text = TextSize(*label, label->Caption());
    EXPECT_LE(text.cx, label->Width());
    EXPECT_LE(text.cy, label->Height());
  }
  EXPECT_EQ(box.SimpleLabel2.Font().Height(), Scaled(27, dpi));

  // What is seen lies inside the window and apart from everything else seen.
  const std::vector<const fw::Control*> shown = {&box.Image3,         &box.SimpleLabel2,
                                                 &box.SimpleLabel3,   &box.CloseBtn,
                                                 &box.PanelSelectBtn, &box.WaitingProgress1};
  const POINT panel_origin{box.Panel5.Left() + box.Panel3.Left(),
                           box.Panel5.Top() + box.Panel3.Top()};
  for (std::size_t i = 0; i < shown.size(); ++i) {
    RECT in_window = Bounds(*shown[i]);
    ::OffsetRect(&in_window, panel_origin.x, panel_origin.y);
    RECT inside{};
    ::IntersectRect(&inside, &in_window, &client);
    EXPECT_TRUE(::EqualRect(&inside, &in_window)) << "control " << i;
    for (std::size_t j = i + 1; j < shown.size(); ++j) {
      RECT a = Bounds(*shown[i]);
      RECT b = Bounds(*shown[j]);
      RECT overlap{};
      EXPECT_FALSE(::IntersectRect(&overlap, &a, &b)) << "controls " << i << " and " << j;
    }
  }
  // The logo is drawn for the scale, not stretched from another size by the window system.
  EXPECT_EQ(box.Image3.Width(), Scaled(54, dpi));
  EXPECT_EQ(box.Image3.Height(), Scaled(49, dpi));
  const SIZE logo = fw::BitmapSize(box.Image3.Bitmap());
  EXPECT_EQ(logo.cx, Scaled(54, dpi));
  EXPECT_EQ(logo.cy, Scaled(49, dpi));
  // Drawn over the backdrop, the key colour is left out to the last pixel (no fringe of it at the
  // edges of a resized drawing), and the blue ring and the white arrow are there.
  test::Canvas canvas(logo.cx, logo.cy);
  canvas.Fill(RGB(0x30, 0x30, 0x30));
  box.Image3.Paint(canvas.Dc());
  int tinted = 0;
  for (int y = 0; y < logo.cy; ++y) {
    for (int x = 0; x < logo.cx; ++x) {
      const COLORREF c = canvas.Pixel(x, y);
      tinted += GetRValue(c) > GetGValue(c) + 48 && GetBValue(c) > GetGValue(c) + 48 ? 1 : 0;
    }
  }
  EXPECT_EQ(tinted, 0);
  EXPECT_EQ(canvas.Pixel(0, 0), RGB(0x30, 0x30, 0x30));
  EXPECT_EQ(canvas.Pixel(logo.cx / 2, logo.cy / 2), RGB(0xFF, 0xFF, 0xFF));
  EXPECT_GT(canvas.Count(RGB(0x34, 0xA0, 0xD7)), 0);
}

// The backdrop at the same places relative to its size.
std::vector<COLORREF> BackdropSamples(setup::TPreSetupBox& box) {
  test::Canvas canvas(box.Gradient1.Width(), box.Gradient1.Height());
  box.Gradient1.Paint(canvas.Dc());
  std::vector<COLORREF> samples;
  for (int fy : {1, 3, 5, 7, 9}) {
    for (int fx : {1, 3, 5, 7, 9}) {
      samples.push_back(canvas.Pixel(canvas.Width() * fx / 10, canvas.Height() * fy / 10));
    }
  }
  return samples;
}

class SetupWindowDpi : public ::testing::Test {
 protected:
  void TearDown() override { fw::App().ResetTerminated(); }
};

TEST_F(SetupWindowDpi, OpensAtTheDpiOfItsScreen) {
  const int dpi = PrefixDpi();
  setup::TPreSetupBox box;
  ExpectLaidOutAt(box, dpi);
  // The two Run Setup controls stay out of view.
  EXPECT_EQ(box.RunSetupBtn.Top(), Scaled(-100, dpi));
  EXPECT_LT(box.RunBtn2.Top() + box.RunBtn2.Height(), 0);
}

TEST_F(SetupWindowDpi, LaysItselfOutAgainAtEachDpiTheSystemTellsOf) {
  setup::TPreSetupBox box;
  for (int dpi : {120, 144, 192, 96, PrefixDpi()}) {
    ChangeDpi(box, dpi);
    ExpectLaidOutAt(box, dpi);
    EXPECT_LT(box.RunSetupBtn.Top() + box.RunSetupBtn.Height(), 0);
  }
}

TEST_F(SetupWindowDpi, BackdropKeepsItsStructureAtEveryScale) {
  setup::TPreSetupBox box;
  ChangeDpi(box, 96);
  const std::vector<COLORREF> design = BackdropSamples(box);
  // The pyramid: darkest at the edges, lightest in the middle.
  EXPECT_LT(GetRValue(design[0]), GetRValue(design[12]));
  for (int dpi : {120, 144, 192}) {
    ChangeDpi(box, dpi);
    const std::vector<COLORREF> scaled = BackdropSamples(box);
    for (std::size_t i = 0; i < design.size(); ++i) {
      for (int shift : {0, 8, 16}) {
        const int a = static_cast<int>((design[i] >> shift) & 0xFF);
        const int b = static_cast<int>((scaled[i] >> shift) & 0xFF);
        EXPECT_LE(std::abs(a - b), 3) << "sample " << i << " at " << dpi << " DPI";
      }
    }
  }
}

TEST_F(SetupWindowDpi, PointerFindsTheButtonsWhereTheyAreDrawn) {
  setup::TPreSetupBox box;
  fw::App().SetMainForm(&box);
  for (int dpi : {PrefixDpi(), 144}) {
    if (dpi != box.Dpi()) {
      ChangeDpi(box, dpi);
    }
    SCOPED_TRACE("at " + std::to_string(dpi) + " DPI");
    const RECT close = box.CloseBtn.BoundsRect();
    const LPARAM centre =
        MAKELPARAM((close.left + close.right) / 2, (close.top + close.bottom) / 2);
    // Just outside the scaled face, then its centre: hover follows the drawn button.
    box.Panel3.Perform(WM_MOUSEMOVE, 0, MAKELPARAM(close.right + Scaled(3, dpi), close.top));
    EXPECT_EQ(fw::ColorToRGB(box.CloseBtn.ShapeFill().Gradient().Color()), kIdle);
    box.Panel3.Perform(WM_MOUSEMOVE, 0, centre);
    EXPECT_EQ(fw::ColorToRGB(box.CloseBtn.ShapeFill().Gradient().Color()), kHover);
    box.Panel3.Perform(WM_MOUSEMOVE, 0, MAKELPARAM(1, 1));
    EXPECT_EQ(fw::ColorToRGB(box.CloseBtn.ShapeFill().Gradient().Color()), kIdle);
    ASSERT_FALSE(fw::App().Terminated());
    box.Panel3.Perform(WM_LBUTTONDOWN, MK_LBUTTON, centre);
    box.Panel3.Perform(WM_LBUTTONUP, 0, centre);
    EXPECT_TRUE(fw::App().Terminated());
    fw::App().ResetTerminated();
  }
  fw::App().SetMainForm(nullptr);
}

}  // namespace
