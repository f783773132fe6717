// The shape button on a real form: accelerators, press and release, immediate repaints, painted
// pixels and the hit test. Needs a display.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "framework/app.h"
#include "framework/color.h"
#include "framework/form.h"
#include "framework/gdi.h"
#include "framework/handle.h"
#include "framework/panel.h"
#include "framework/push_button.h"
#include "widgets/shape_button.h"
#include "tests/wine/canvas.h"
#include "tests/wine/widget_fixture.h"

namespace {

using test::Backdrop;
using test::Canvas;
using test::ParkPointer;
using test::PumpUntil;
using test::Render;
using test::Settle;
using test::TestForm;
using widgets::TShapeButton;

class CountingButton : public TShapeButton {
 public:
  using TShapeButton::TShapeButton;
  void Paint(HDC dc) override {
    ++paints;
    TShapeButton::Paint(dc);
  }
  int paints = 0;
};

void StyleAsInTheWindow(TShapeButton& button, int left, int top, const wchar_t* caption) {
  button.SetBounds(left, top, 94, 32);
  button.SetCaption(caption);
  fw::Font& font = button.Font();
  font.BeginUpdate();
  font.SetName(L"Arial");
  font.SetHeight(11);
  font.SetBold(true);
  font.SetColor(fw::clWhite);
  font.EndUpdate();
}

constexpr fw::TColor kIdle = 0x00808080;
constexpr fw::TColor kHover = 0x00EEE6D2;

struct AccelCase {
  const wchar_t* caption;
  wchar_t ch;
  bool button_enabled;
  bool button_visible;
  bool parent_enabled;
  bool parent_visible;
  bool clicks;
};

void PrintTo(const AccelCase& c, std::ostream* os) {
  *os << "caption " << testing::PrintToString(std::wstring(c.caption)) << " char "
      << static_cast<char>(c.ch) << " enabled " << c.button_enabled << " visible "
      << c.button_visible << " parent enabled " << c.parent_enabled << " parent visible "
      << c.parent_visible;
}

class ShapeButtonAccel : public ::testing::TestWithParam<AccelCase> {};

TEST_P(ShapeButtonAccel, ClicksOnlyWhenButtonAndParentCanTakeIt) {
  const AccelCase& c = GetParam();
  ParkPointer();
  TestForm form;
  form.SetClientSize(300, 200);
  auto& panel = form.Make<fw::Panel>();
  panel.SetBounds(0, 0, 300, 200);
  auto& button = panel.Make<TShapeButton>();
  // Where the window keeps its Run Setup button: out of sight, still reachable by keyboard.
  StyleAsInTheWindow(button, 20, -100, c.caption);
  int clicks = 0;
  button.OnClick = [&clicks](fw::Control&) { ++clicks; };
  form.FinishCreate();
  form.ShowForm();
  button.SetEnabled(c.button_enabled);
  button.SetVisible(c.button_visible);
  panel.SetEnabled(c.parent_enabled);
  panel.SetVisible(c.parent_visible);

  EXPECT_EQ(form.DialogChar(c.ch), c.clicks);
  EXPECT_EQ(clicks, c.clicks ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShapeButtonAccel,
    ::testing::Values(AccelCase{L"&Run Setup", L'R', true, true, true, true, true},
                      AccelCase{L"&Run Setup", L'r', true, true, true, true, true},
                      AccelCase{L"Run &Setup", L's', true, true, true, true, true},
                      AccelCase{L"&Run Setup", L'x', true, true, true, true, false},
                      AccelCase{L"Run Setup", L'R', true, true, true, true, false},
                      AccelCase{L"&&Run Setup", L'R', true, true, true, true, false},
                      AccelCase{L"&Run Setup", L'R', false, true, true, true, false},
                      AccelCase{L"&Run Setup", L'R', true, false, true, true, false},
                      AccelCase{L"&Run Setup", L'R', true, true, false, true, false},
                      AccelCase{L"&Run Setup", L'R', true, true, true, false, false}));

// The window's way in: a character posted to the focused push button, with or without Alt.
class ShapeButtonPostedChar : public ::testing::TestWithParam<UINT> {};

TEST_P(ShapeButtonPostedChar, ReachesTheAcceleratorThroughTheMessageLoop) {
  ParkPointer();
  TestForm form;
  form.SetClientSize(300, 200);
  auto& button = form.Make<TShapeButton>();
  StyleAsInTheWindow(button, 20, -100, L"&Run Setup");
  auto& push = form.Make<fw::PushButton>();
  push.SetBounds(20, -100, 75, 25);
  push.SetCaption(L"RunBtn2");
  int clicks = 0;
  int push_clicks = 0;
  button.OnClick = [&clicks](fw::Control&) { ++clicks; };
  push.OnClick = [&push_clicks](fw::Control&) { ++push_clicks; };
  form.FinishCreate();
  form.ShowForm();
  Settle();

  ASSERT_TRUE(::PostMessageW(push.Handle(), GetParam(), L'R', 0));
  EXPECT_TRUE(PumpUntil([&] { return clicks > 0; }, 100));
  Settle();
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(push_clicks, 0);
}

INSTANTIATE_TEST_SUITE_P(CharAndAltChar, ShapeButtonPostedChar,
                         ::testing::Values(UINT{WM_CHAR}, UINT{WM_SYSCHAR}));

TEST(ShapeButton, GradientColorRepaintsAtOnceOnlyOnARealChange) {
  ParkPointer();
  TestForm form;
  form.SetClientSize(200, 100);
  auto& button = form.Make<CountingButton>();
  StyleAsInTheWindow(button, 20, 30, L"");
  button.ShapeFill().Gradient().SetColor(kIdle);
  form.FinishCreate();
  form.ShowForm();
  Settle();

  struct Step {
    fw::TColor color;
    bool repaints;
  };
  const Step steps[] = {{kIdle, false}, {kHover, true}, {kHover, false}, {kIdle, true}};
  Canvas canvas(200, 100);
  ASSERT_TRUE(canvas.Valid());
  for (const Step& step : steps) {
    SCOPED_TRACE(testing::Message() << std::hex << step.color);
    const int before = button.paints;
    button.ShapeFill().Gradient().SetColor(step.color);
    // At once, without a message being dispatched...
    EXPECT_EQ(button.paints - before, step.repaints ? 1 : 0);
    // ...and nothing left for later.
    Settle();
    EXPECT_EQ(button.paints - before, step.repaints ? 1 : 0);
    EXPECT_EQ(button.ShapeFill().Gradient().Color(), step.color);
    // The first colour of the ramp fills the innermost ellipse, box (43, 15)-(51, 17), and
    // nothing else.
    Render(form, canvas);
    int inside = 0;
    int outside = 0;
    for (int y = 0; y < 32; ++y) {
      for (int x = 0; x < 94; ++x) {
        if (canvas.Pixel(20 + x, 30 + y) == fw::ColorToRGB(step.color)) {
          ++(x >= 43 && x < 51 && y >= 15 && y < 17 ? inside : outside);
        }
      }
    }
    EXPECT_GT(inside, 0);
    EXPECT_EQ(outside, 0);
  }
}

TEST(ShapeButton, FaceIsOutlinedAndSeeThroughOutsideTheShape) {
  ParkPointer();
  TestForm form;
  form.SetClientSize(200, 100);
  auto& backdrop = form.Make<Backdrop>();
  backdrop.SetBounds(0, 0, 200, 100);
  auto& button = form.Make<TShapeButton>();
  StyleAsInTheWindow(button, 20, 30, L"Close");
  form.FinishCreate();
  Canvas canvas(200, 100);
  ASSERT_TRUE(canvas.Valid());
  Render(form, canvas);

  const COLORREF red = RGB(255, 0, 0);
  const COLORREF black = RGB(0, 0, 0);
  struct Probe {
    int x, y;
    COLORREF expected;
  };
  const Probe probes[] = {
      {0, 0, red},    {93, 0, red},    {0, 31, red},   {93, 31, red},    // corners
      {47, 0, black}, {47, 31, black}, {0, 16, black}, {93, 16, black},  // outline
      {-1, 16, red},  {94, 16, red},   {47, -1, red},  {47, 32, red},    // around it
  };
  for (const Probe& p : probes) {
    EXPECT_EQ(canvas.Pixel(20 + p.x, 30 + p.y), p.expected) << p.x << "," << p.y;
  }
  // The white caption lies in the middle of the face.
  int white = 0;
  for (int y = 8; y < 24; ++y) {
    for (int x = 20; x < 74; ++x) {
      white += canvas.Pixel(20 + x, 30 + y) == RGB(255, 255, 255) ? 1 : 0;
    }
  }
  EXPECT_GT(white, 0);
}

TEST(ShapeButton, PressedFaceMovesOnePixelInsideTheSameOutline) {
  ParkPointer();
  TestForm form;
  form.SetClientSize(200, 100);
  auto& button = form.Make<TShapeButton>();
  StyleAsInTheWindow(button, 20, 30, L"");
  form.FinishCreate();
  Canvas released(200, 100);
  Canvas pressed(200, 100);
  Canvas again(200, 100);
  ASSERT_TRUE(released.Valid() && pressed.Valid() && again.Valid());

  Render(form, released);
  button.MouseDown(fw::mbLeft, fw::ssLeft, 47, 16);
  EXPECT_EQ(button.State(), widgets::bsDown);
  Render(form, pressed);
  button.MouseUp(fw::mbLeft, 0, 47, 16);
  EXPECT_EQ(button.State(), widgets::bsUp);
  Render(form, again);

  for (int y = 4; y < 27; y += 2) {
    for (int x = 10; x < 82; x += 3) {
      EXPECT_EQ(pressed.Pixel(20 + x + 1, 30 + y + 1), released.Pixel(20 + x, 30 + y))
          << x << "," << y;
      EXPECT_EQ(again.Pixel(20 + x, 30 + y), released.Pixel(20 + x, 30 + y)) << x << "," << y;
    }
  }
  EXPECT_EQ(pressed.Pixel(20 + 47, 30), RGB(0, 0, 0));
  EXPECT_EQ(pressed.Pixel(20, 30), released.Pixel(20, 30));
}

struct PressCase {
  fw::TMouseButton button;
  int press_x, press_y;
  int release_x, release_y;
  bool enabled;
  int clicks;
};

void PrintTo(const PressCase& c, std::ostream* os) {
  *os << (c.button == fw::mbLeft ? "left" : "other") << " press (" << c.press_x << "," << c.press_y
      << ") release (" << c.release_x << "," << c.release_y << ") enabled " << c.enabled;
}

class ShapeButtonPress : public ::testing::TestWithParam<PressCase> {};

TEST_P(ShapeButtonPress, ClicksOnReleaseInsideAfterAPressInside) {
  const PressCase& c = GetParam();
  ParkPointer();
  TestForm form;
  form.SetClientSize(200, 100);
  auto& button = form.Make<TShapeButton>();
  StyleAsInTheWindow(button, 20, 30, L"Close");
  int clicks = 0;
  int downs = 0;
  button.OnClick = [&clicks](fw::Control&) { ++clicks; };
  button.OnMouseDown = [&downs](fw::Control&, fw::TMouseButton, fw::TShiftState, int, int) {
    ++downs;
  };
  form.FinishCreate();
  button.SetEnabled(c.enabled);

  button.MouseDown(c.button, 0, c.press_x, c.press_y);
  button.MouseUp(c.button, 0, c.release_x, c.release_y);
  EXPECT_EQ(clicks, c.clicks);
  EXPECT_EQ(downs, 1);  // fired even when the press is ignored
  EXPECT_EQ(button.State(), c.enabled ? widgets::bsUp : widgets::bsDisabledUp);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShapeButtonPress,
    ::testing::Values(PressCase{fw::mbLeft, 47, 16, 47, 16, true, 1},
                      PressCase{fw::mbLeft, 47, 16, 80, 25, true, 1},
                      PressCase{fw::mbLeft, 47, 16, 120, 16, true, 0},  // outside the rectangle
                      PressCase{fw::mbLeft, 47, 16, 0, 0, true, 0},     // corner outside the shape
                      PressCase{fw::mbLeft, 0, 0, 47, 16, true, 0},     // press in a corner
                      PressCase{fw::mbRight, 47, 16, 47, 16, true, 0},
                      PressCase{fw::mbLeft, 47, 16, 47, 16, false, 0}));

TEST(ShapeButton, MouseMessagesOfTheFormDriveStatesEventsAndClick) {
  ParkPointer();
  TestForm form;
  form.SetClientSize(200, 100);
  auto& button = form.Make<TShapeButton>();
  StyleAsInTheWindow(button, 20, 30, L"Close");
  int clicks = 0;
  int enters = 0;
  button.OnClick = [&clicks](fw::Control&) { ++clicks; };
  button.OnMouseEnter = [&enters](fw::Control&) { ++enters; };
  form.FinishCreate();
  form.ShowForm();
  Settle();
  enters = 0;
  const auto at = [](int x, int y) { return MAKELPARAM(20 + x, 30 + y); };

  struct Step {
    UINT msg;
    WPARAM keys;
    int x, y;
    widgets::TButtonState state;
    int enters, clicks;
  };
  const Step steps[] = {
      {WM_MOUSEMOVE, 0, 1, 1, widgets::bsUp, 0, 0},    // corner: not the button
      {WM_MOUSEMOVE, 0, 40, 16, widgets::bsUp, 1, 0},  // into the shape
      {WM_MOUSEMOVE, 0, 45, 16, widgets::bsUp, 2, 0},  // every move over it
      {WM_LBUTTONDOWN, MK_LBUTTON, 47, 16, widgets::bsDown, 2, 0},
      {WM_MOUSEMOVE, MK_LBUTTON, 130, 16, widgets::bsUp, 2, 0},   // dragged out: released look
      {WM_MOUSEMOVE, MK_LBUTTON, 50, 16, widgets::bsDown, 3, 0},  // back in: pressed again
      {WM_LBUTTONUP, 0, 50, 16, widgets::bsUp, 3, 1},
      {WM_LBUTTONDOWN, MK_LBUTTON, 47, 16, widgets::bsDown, 3, 1},
      {WM_LBUTTONUP, 0, 130, 16, widgets::bsUp, 3, 1},          // released outside: no click
      {WM_LBUTTONDOWN, MK_LBUTTON, 1, 1, widgets::bsUp, 3, 1},  // a corner press is the form's
      {WM_LBUTTONUP, 0, 47, 16, widgets::bsUp, 3, 1},
  };
  int index = 0;
  for (const Step& s : steps) {
    SCOPED_TRACE(index++);
    form.Perform(s.msg, s.keys, at(s.x, s.y));
    EXPECT_EQ(button.State(), s.state);
    EXPECT_EQ(enters, s.enters);
    EXPECT_EQ(clicks, s.clicks);
  }
}

TEST(ShapeButton, HitTestFollowsTheRoundedShape) {
  ParkPointer();
  TestForm form;
  auto& button = form.Make<TShapeButton>();
  StyleAsInTheWindow(button, 0, 0, L"Close");
  struct Point {
    int x, y;
    bool inside;
  };
  const Point points[] = {{47, 16, true},  {2, 16, true},   {91, 16, true},  {47, 1, true},
                          {47, 30, true},  {5, 5, true},    {0, 0, false},   {1, 1, false},
                          {93, 0, false},  {0, 31, false},  {93, 31, false}, {-1, 16, false},
                          {94, 16, false}, {47, -1, false}, {47, 32, false}};
  for (const Point& p : points) {
    EXPECT_EQ(button.HitTest(p.x, p.y), p.inside) << p.x << "," << p.y;
    EXPECT_EQ(button.PointInShape(p.x, p.y), p.inside) << p.x << "," << p.y;
  }
}

TEST(Gradient, RampRunsFromColorToEndColorWithRoundedSteps) {
  struct Case {
    fw::TColor color;
    std::vector<std::uint32_t> red;  // the red channel of each of the 16 colours
    std::vector<std::uint32_t> green;
    std::vector<std::uint32_t> blue;
  };
  const std::vector<std::uint32_t> grey = {128, 119, 111, 102, 94, 85, 77, 68,
                                           60,  51,  43,  34,  26, 17, 9,  0};
  const Case cases[] = {
      {kIdle, grey, grey, grey},
      {kHover,
       {210, 196, 182, 168, 154, 140, 126, 112, 98, 84, 70, 56, 42, 28, 14, 0},
       {230, 215, 199, 184, 169, 153, 138, 123, 107, 92, 77, 61, 46, 31, 15, 0},
       {238, 222, 206, 190, 175, 159, 143, 127, 111, 95, 79, 63, 48, 32, 16, 0}},
  };
  for (const Case& c : cases) {
    widgets::TGradient gradient;
    gradient.SetColor(c.color);
    ASSERT_EQ(gradient.ColorList().size(), 16u);
    for (std::size_t i = 0; i < 16; ++i) {
      const std::uint32_t rgb = gradient.ColorList()[i];
      EXPECT_EQ(fw::GetR(rgb), c.red[i]) << i;
      EXPECT_EQ(fw::GetG(rgb), c.green[i]) << i;
      EXPECT_EQ(fw::GetB(rgb), c.blue[i]) << i;
    }
  }
}

TEST(ShapeFill, AssignCopiesWithOneNotification) {
  widgets::TShapeFill target;
  widgets::TShapeFill source;
  source.Gradient().SetColor(kHover);
  source.Gradient().SetEndColor(fw::clNavy);
  int changes = 0;
  target.OnChange = [&changes](widgets::TChangeNotifier&) { ++changes; };

  target.Assign(source);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(target.Gradient().Color(), kHover);
  EXPECT_EQ(target.Gradient().EndColor(), fw::clNavy);
  EXPECT_EQ(target.Gradient().ColorList(), source.Gradient().ColorList());
  target.Assign(source);
  EXPECT_EQ(changes, 1);
}

}  // namespace
