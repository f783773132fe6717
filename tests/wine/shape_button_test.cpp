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

#include "bootstrap/app/window_look.h"
#include "framework/app.h"
#include "framework/color.h"
#include "framework/form.h"
#include "framework/gdi.h"
#include "framework/handle.h"
#include "framework/panel.h"
#include "framework/push_button.h"
#include "tests/wine/canvas.h"
#include "tests/wine/widget_fixture.h"
#include "widgets/shape_button.h"
#include "widgets/shape_paint.h"

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

constexpr fw::TColor kIdle = 0x00808080;
constexpr fw::TColor kHover = 0x00EEE6D2;

// A button with the setup window's look.
void StyleAsInTheWindow(TShapeButton& button, int left, int top, const wchar_t* caption) {
  button.SetBounds(left, top, 94, 32);
  button.SetCaption(caption);
  setup::StyleShapeButton(button);
}

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

  // Disabled (as while a download runs): the character is dispatched and does nothing.
  button.SetEnabled(false);
  ASSERT_TRUE(::PostMessageW(push.Handle(), GetParam(), L'R', 0));
  Settle();
  EXPECT_EQ(clicks, 0);

  button.SetEnabled(true);
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

// Counts every event a button fires.
struct EventLog {
  int clicks = 0;
  int enters = 0;
  int exits = 0;
  int downs = 0;
  void Attach(fw::Control& control) {
    control.OnClick = [this](fw::Control&) { ++clicks; };
    control.OnMouseEnter = [this](fw::Control&) { ++enters; };
    control.OnMouseExit = [this](fw::Control&) { ++exits; };
    control.OnMouseDown = [this](fw::Control&, fw::TMouseButton, fw::TShiftState, int, int) {
      ++downs;
    };
  }
};

struct MouseStep {
  UINT msg;
  WPARAM keys;
  int x, y;  // in the button's coordinates
  widgets::TButtonState state;
  int enters, exits, downs, clicks;  // totals after the step
};

// Sends each step's message to the form's window (the framework routes it to the button) and
// checks the state and the event totals after it.
void RunSteps(TestForm& form, const TShapeButton& button, const EventLog& log, int left, int top,
              const std::vector<MouseStep>& steps) {
  int index = 0;
  for (const MouseStep& s : steps) {
    SCOPED_TRACE(testing::Message() << "step " << index++);
    if (s.msg == WM_MOUSELEAVE) {
      form.Perform(s.msg, 0, 0);
    } else {
      form.Perform(s.msg, s.keys, MAKELPARAM(left + s.x, top + s.y));
    }
    EXPECT_EQ(button.State(), s.state);
    EXPECT_EQ(log.enters, s.enters);
    EXPECT_EQ(log.exits, s.exits);
    EXPECT_EQ(log.downs, s.downs);
    EXPECT_EQ(log.clicks, s.clicks);
  }
}

TEST(ShapeButton, MouseMessagesOfTheFormDriveStatesEventsAndClick) {
  ParkPointer();
  TestForm form;
  form.SetClientSize(200, 100);
  auto& button = form.Make<TShapeButton>();
  StyleAsInTheWindow(button, 20, 30, L"Close");
  EventLog log;
  log.Attach(button);
  form.FinishCreate();
  form.ShowForm();
  Settle();
  log = EventLog{};
  log.Attach(button);

  using widgets::bsDown;
  using widgets::bsUp;
  RunSteps(form, button, log, 20, 30,
           {
               {WM_MOUSEMOVE, 0, 1, 1, bsUp, 0, 0, 0, 0},     // corner: not the button
               {WM_MOUSEMOVE, 0, 40, 16, bsUp, 1, 0, 0, 0},   // into the shape
               {WM_MOUSEMOVE, 0, 45, 16, bsUp, 2, 0, 0, 0},   // every move over it
               {WM_MOUSEMOVE, 0, 93, 31, bsUp, 2, 0, 0, 0},   // back into a corner: nothing
               {WM_MOUSEMOVE, 0, 130, 16, bsUp, 2, 1, 0, 0},  // out of the rectangle: exit
               {WM_MOUSEMOVE, 0, 47, 16, bsUp, 3, 1, 0, 0},
               {WM_LBUTTONDOWN, MK_LBUTTON, 47, 16, bsDown, 3, 1, 1, 0},
               {WM_MOUSEMOVE, MK_LBUTTON, 0, 31, bsUp, 3, 1, 1, 0},     // dragged onto a corner
               {WM_MOUSEMOVE, MK_LBUTTON, 50, 16, bsDown, 4, 1, 1, 0},  // back in: pressed again
               {WM_LBUTTONUP, 0, 50, 16, bsUp, 4, 1, 1, 1},
               {WM_LBUTTONDOWN, MK_LBUTTON, 47, 16, bsDown, 4, 1, 2, 1},
               {WM_MOUSEMOVE, MK_LBUTTON, 130, 16, bsUp, 4, 2, 2, 1},   // out, still held
               {WM_LBUTTONUP, 0, 130, 16, bsUp, 4, 2, 2, 1},            // released outside
               {WM_LBUTTONDOWN, MK_LBUTTON, 1, 1, bsUp, 4, 2, 3, 1},    // a corner press
               {WM_LBUTTONUP, 0, 47, 16, bsUp, 4, 2, 3, 1},             // ...never clicks
               {WM_RBUTTONDOWN, MK_RBUTTON, 47, 16, bsUp, 4, 2, 4, 1},  // right button
               {WM_RBUTTONUP, 0, 47, 16, bsUp, 4, 2, 4, 1},
               // A right click while the left button holds the button down ends nothing.
               {WM_LBUTTONDOWN, MK_LBUTTON, 47, 16, bsDown, 4, 2, 5, 1},
               {WM_RBUTTONDOWN, MK_LBUTTON | MK_RBUTTON, 47, 16, bsDown, 4, 2, 6, 1},
               {WM_RBUTTONUP, MK_LBUTTON, 47, 16, bsDown, 4, 2, 6, 1},
               {WM_LBUTTONUP, 0, 47, 16, bsUp, 4, 2, 6, 2},
               // A double click: the second press comes as a double-click message.
               {WM_LBUTTONDOWN, MK_LBUTTON, 47, 16, bsDown, 4, 2, 7, 2},
               {WM_LBUTTONUP, 0, 47, 16, bsUp, 4, 2, 7, 3},
               {WM_LBUTTONDBLCLK, MK_LBUTTON, 47, 16, bsDown, 4, 2, 8, 3},
               {WM_LBUTTONUP, 0, 47, 16, bsUp, 4, 2, 8, 4},
               {WM_MOUSEMOVE, 0, 47, 16, bsUp, 5, 2, 8, 4},
               {WM_MOUSELEAVE, 0, 0, 0, bsUp, 5, 3, 8, 4},  // the pointer left the window
           });
}

TEST(ShapeButton, DisabledIgnoresEverything) {
  ParkPointer();
  TestForm form;
  form.SetClientSize(200, 100);
  auto& button = form.Make<TShapeButton>();
  StyleAsInTheWindow(button, 20, 30, L"&Run Setup");
  EventLog log;
  form.FinishCreate();
  form.ShowForm();
  Settle();
  log.Attach(button);
  button.SetEnabled(false);
  EXPECT_EQ(button.State(), widgets::bsDisabledUp);

  using widgets::bsDisabledUp;
  RunSteps(form, button, log, 20, 30,
           {
               {WM_MOUSEMOVE, 0, 40, 16, bsDisabledUp, 0, 0, 0, 0},
               {WM_LBUTTONDOWN, MK_LBUTTON, 47, 16, bsDisabledUp, 0, 0, 0, 0},
               {WM_MOUSEMOVE, MK_LBUTTON, 50, 16, bsDisabledUp, 0, 0, 0, 0},
               {WM_LBUTTONUP, 0, 47, 16, bsDisabledUp, 0, 0, 0, 0},
               {WM_MOUSEMOVE, 0, 130, 16, bsDisabledUp, 0, 0, 0, 0},
           });
  EXPECT_FALSE(form.DialogChar(L'R'));
  EXPECT_EQ(log.clicks, 0);

  button.SetEnabled(true);
  EXPECT_EQ(button.State(), widgets::bsUp);
  EXPECT_TRUE(form.DialogChar(L'R'));
  EXPECT_EQ(log.clicks, 1);
}

TEST(ShapeButton, CaptionAndFontChangesRepaint) {
  ParkPointer();
  TestForm form;
  form.SetClientSize(200, 100);
  auto& button = form.Make<CountingButton>();
  StyleAsInTheWindow(button, 20, 30, L"Close");
  form.FinishCreate();
  form.ShowForm();
  Settle();

  int before = button.paints;
  button.SetCaption(L"Contact");
  EXPECT_TRUE(PumpUntil([&] { return button.paints > before; }, 100));
  // A font change re-renders the face and paints it at once.
  before = button.paints;
  const int renders = button.FaceRenderCount();
  button.Font().SetColor(fw::clYellow);
  EXPECT_EQ(button.paints, before + 1);
  EXPECT_EQ(button.FaceRenderCount(), renders + 1);
}

// The shape decides pressing and entering; pointer routing (and so OnMouseExit and OnMouseDown)
// follows the rectangle.
TEST(ShapeButton, ShapeFollowsTheRoundedShapeAndRoutingTheRectangle) {
  ParkPointer();
  TestForm form;
  auto& button = form.Make<TShapeButton>();
  StyleAsInTheWindow(button, 0, 0, L"Close");
  struct Point {
    int x, y;
    bool in_shape, in_rect;
  };
  const Point points[] = {{47, 16, true, true},   {2, 16, true, true},    {91, 16, true, true},
                          {47, 1, true, true},    {47, 30, true, true},   {5, 5, true, true},
                          {0, 0, false, true},    {1, 1, false, true},    {93, 0, false, true},
                          {0, 31, false, true},   {93, 31, false, true},  {-1, 16, false, false},
                          {94, 16, false, false}, {47, -1, false, false}, {47, 32, false, false}};
  for (const Point& p : points) {
    EXPECT_EQ(button.HitTest(p.x, p.y), p.in_rect) << p.x << "," << p.y;
    EXPECT_EQ(button.PointInShape(p.x, p.y), p.in_shape) << p.x << "," << p.y;
  }
}

TEST(ShapeButton, PointInShapeOfOtherShapesAndShadows) {
  ParkPointer();
  TestForm form;
  auto& button = form.Make<TShapeButton>();
  button.SetBounds(0, 0, 40, 20);
  struct Case {
    widgets::TShapeType shape;
    widgets::TShadowStyle shadow;
    int x, y;
    bool inside;
  };
  // A 6-pixel solid shadow moves the face to (0, 0)-(34, 14).
  const Case cases[] = {
      {widgets::stRectangle, widgets::hssNone, 39, 19, true},
      {widgets::stRectangle, widgets::hssSolid, 33, 13, true},
      {widgets::stRectangle, widgets::hssSolid, 35, 15, false},
      {widgets::stEllipse, widgets::hssNone, 20, 10, true},
      {widgets::stEllipse, widgets::hssNone, 1, 1, false},
      {widgets::stDiamond, widgets::hssNone, 20, 10, true},
      {widgets::stDiamond, widgets::hssNone, 3, 3, false},
      {widgets::stDiamond, widgets::hssNone, 36, 17, false},
      {widgets::stDirectUp, widgets::hssNone, 20, 3, true},
      {widgets::stDirectUp, widgets::hssNone, 5, 15, false},
      {widgets::stStar, widgets::hssNone, 20, 10, true},
      {widgets::stStar, widgets::hssNone, 20, 16, false},
  };
  for (const Case& c : cases) {
    button.Shape().SetShape(c.shape);
    button.Shape().Shadow().SetStyle(c.shadow);
    EXPECT_EQ(button.PointInShape(c.x, c.y), c.inside)
        << "shape " << static_cast<int>(c.shape) << " at " << c.x << "," << c.y;
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

TEST(Gradient, SeveralColoursPaletteAndRealChangesOnly) {
  widgets::TGradient gradient;
  EXPECT_EQ(gradient.Color(), fw::clBlue);
  EXPECT_EQ(gradient.Style(), widgets::gstVertical);
  int changes = 0;
  const auto gradient_watched =
      gradient.OnChange.Subscribe([&changes](widgets::TChangeNotifier&) { ++changes; });
  gradient.SetStyle(widgets::gstVertical);
  gradient.SetColorCount(16);
  EXPECT_EQ(changes, 0);
  gradient.SetColorCount(1);  // two at least
  EXPECT_EQ(gradient.ColorCount(), 2);
  gradient.SetColorCount(5);
  // Through red, green and blue: two runs sharing the green.
  gradient.SetColors({RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255)});
  gradient.SetTwoColors(false);
  EXPECT_EQ(changes, 4);
  EXPECT_EQ(gradient.ColorList(),
            (widgets::TColorList{RGB(255, 0, 0), RGB(127, 128, 0), RGB(0, 255, 0), RGB(0, 127, 128),
                                 RGB(0, 0, 255)}));
  EXPECT_EQ(gradient.Palette(), nullptr);
  gradient.SetPaletteRealize(true);
  EXPECT_NE(gradient.Palette(), nullptr);
  gradient.SetPaletteRealize(false);
  EXPECT_EQ(gradient.Palette(), nullptr);
}

TEST(ShapeFill, AssignCopiesWithOneNotification) {
  widgets::TShapeFill target;
  widgets::TShapeFill source;
  source.Gradient().SetColor(kHover);
  source.Gradient().SetEndColor(fw::clNavy);
  int changes = 0;
  const auto target_watched =
      target.OnChange.Subscribe([&changes](widgets::TChangeNotifier&) { ++changes; });

  target.Assign(source);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(target.Gradient().Color(), kHover);
  EXPECT_EQ(target.Gradient().EndColor(), fw::clNavy);
  EXPECT_EQ(target.Gradient().ColorList(), source.Gradient().ColorList());
  target.Assign(source);
  EXPECT_EQ(changes, 1);
}

// ---- pixels of the face in a memory bitmap ----

COLORREF Sys(int index) {
  return ::GetSysColor(index);
}

TEST(ShapeButton, CornersKeepTheParentsPixelsIdleHoveredAndPressed) {
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
  const COLORREF red = RGB(255, 0, 0);

  struct Look {
    const char* name;
    fw::TColor gradient;
    bool pressed;
  };
  const Look looks[] = {{"idle", kIdle, false}, {"hover", kHover, false}, {"pressed", kIdle, true}};
  for (const Look& look : looks) {
    SCOPED_TRACE(look.name);
    button.ShapeFill().Gradient().SetColor(look.gradient);
    if (look.pressed) {
      form.Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20 + 47, 30 + 16));
      ASSERT_EQ(button.State(), widgets::bsDown);
    }
    Render(form, canvas);
    const POINT corners[] = {{0, 0}, {1, 1}, {93, 0}, {0, 31}, {93, 31}};
    for (const POINT& p : corners) {
      EXPECT_EQ(canvas.Pixel(20 + p.x, 30 + p.y), red) << p.x << "," << p.y;
    }
    EXPECT_EQ(canvas.Pixel(20 + 47, 30), RGB(0, 0, 0));  // the outline stays
    EXPECT_NE(canvas.Pixel(20 + 30, 30 + 16), red);
  }
  form.Perform(WM_LBUTTONUP, 0, MAKELPARAM(20 + 47, 30 + 16));
}

TEST(ShapeButton, NotTransparentFillsTheCornersWithColor) {
  ParkPointer();
  TestForm form;
  form.SetClientSize(200, 100);
  auto& backdrop = form.Make<Backdrop>();
  backdrop.SetBounds(0, 0, 200, 100);
  auto& button = form.Make<TShapeButton>();
  StyleAsInTheWindow(button, 20, 30, L"");
  button.SetColor(0x00303030);
  button.SetTransparent(false);
  EXPECT_TRUE(button.Opaque());
  form.FinishCreate();
  Canvas canvas(200, 100);
  ASSERT_TRUE(canvas.Valid());
  Render(form, canvas);
  const POINT corners[] = {{0, 0}, {93, 0}, {0, 31}, {93, 31}};
  for (const POINT& p : corners) {
    EXPECT_EQ(canvas.Pixel(20 + p.x, 30 + p.y), RGB(0x30, 0x30, 0x30)) << p.x << "," << p.y;
  }
  EXPECT_EQ(canvas.Pixel(20 + 47, 30), RGB(0, 0, 0));
  EXPECT_EQ(canvas.Pixel(19, 30), RGB(255, 0, 0));  // around it, the backdrop
}

// A button with a plain brush face, so the bevel and shadow lines are easy to pin.
struct BevelCase {
  const char* name;
  widgets::TShapeButtonStyle style;
  widgets::TSimpleBevelStyle bevel;
  widgets::TShadowStyle shadow;
  bool pressed;
  std::vector<std::pair<POINT, COLORREF>> pixels;
};

constexpr COLORREF kFace = RGB(0, 160, 0);
constexpr COLORREF kPlain = RGB(0, 0, 255);
constexpr COLORREF kLight = RGB(255, 0, 0);
constexpr COLORREF kDark = RGB(255, 255, 0);
constexpr COLORREF kShadow = RGB(255, 0, 255);
constexpr COLORREF kBack = RGB(64, 64, 64);

class ShapeButtonBevel : public ::testing::TestWithParam<BevelCase> {};

TEST_P(ShapeButtonBevel, PinnedPixels) {
  const BevelCase& c = GetParam();
  ParkPointer();
  TestForm form;
  form.SetClientSize(120, 60);
  auto& button = form.Make<TShapeButton>();
  button.SetBounds(0, 0, 94, 32);
  button.SetColor(kBack);
  button.SetMode(widgets::sbmShapeFill);
  button.SetStyle(c.style);
  button.Shape().SetShape(widgets::stRoundRect);
  button.Shape().Brush().SetColor(kFace);
  button.Shape().Bevel().SetWidth(1);
  button.Shape().Bevel().SetColor(kPlain);
  button.Shape().Bevel().SetLightColor(kLight);
  button.Shape().Bevel().SetShadowColor(kDark);
  button.Shape().Bevel().SetStyle(c.bevel);
  button.Shape().Shadow().SetStyle(c.shadow);
  button.Shape().Shadow().SetDepth(4);
  button.Shape().Shadow().SetColor(kShadow);
  form.FinishCreate();
  if (c.pressed) {
    button.SetButtonState(widgets::bsDown);
  }
  Canvas canvas(120, 60);
  ASSERT_TRUE(canvas.Valid());
  Render(form, canvas);
  for (const auto& [p, color] : c.pixels) {
    EXPECT_EQ(canvas.Pixel(p.x, p.y), color) << p.x << "," << p.y;
  }
  if (c.shadow == widgets::hssTracing) {
    // Every other pixel of the shadow: the background masked by the shadow colour, and the
    // background itself.
    int masked = 0;
    int plain = 0;
    for (int y = 28; y < 31; ++y) {
      for (int x = 89; x < 93; ++x) {
        const COLORREF px = canvas.Pixel(x, y);
        masked += px == (kBack & kShadow) ? 1 : 0;
        plain += px == kBack ? 1 : 0;
      }
    }
    EXPECT_GT(masked, 0);
    EXPECT_GT(plain, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Styles, ShapeButtonBevel,
    ::testing::Values(
        BevelCase{"normal: the plain colour all round",
                  widgets::sbsShadow,
                  widgets::sbNormal,
                  widgets::hssNone,
                  false,
                  {{{47, 0}, kPlain},
                   {{0, 16}, kPlain},
                   {{93, 16}, kPlain},
                   {{47, 31}, kPlain},
                   {{47, 16}, kFace},
                   {{0, 0}, kBack}}},
        BevelCase{"offset: light top and left, shadow right and bottom",
                  widgets::sbsShadow,
                  widgets::sbOffset,
                  widgets::hssNone,
                  false,
                  {{{47, 0}, kLight},
                   {{0, 16}, kLight},
                   {{93, 16}, kDark},
                   {{47, 31}, kDark},
                   {{47, 16}, kFace}}},
        BevelCase{"inset: the reverse",
                  widgets::sbsShadow,
                  widgets::sbInset,
                  widgets::hssNone,
                  false,
                  {{{47, 0}, kDark}, {{0, 16}, kDark}, {{93, 16}, kLight}, {{47, 31}, kLight}}},
        BevelCase{"solid shadow below and right of a smaller face",
                  widgets::sbsShadow,
                  widgets::sbNormal,
                  widgets::hssSolid,
                  false,
                  {{{91, 29}, kShadow},
                   {{47, 31}, kShadow},
                   {{47, 27}, kPlain},
                   {{89, 14}, kPlain},
                   {{47, 14}, kFace},
                   {{93, 1}, kBack}}},
        BevelCase{"pressed onto the shadow: no shadow, full-size face",
                  widgets::sbsShadow,
                  widgets::sbNormal,
                  widgets::hssSolid,
                  true,
                  {{{47, 31}, kPlain}, {{93, 16}, kPlain}, {{91, 28}, kFace}}},
        BevelCase{"tracing shadow",
                  widgets::sbsShadow,
                  widgets::sbNormal,
                  widgets::hssTracing,
                  false,
                  {{{47, 14}, kFace}}},
        BevelCase{"3D up: offset bevel, no shadow",
                  widgets::sbs3D,
                  widgets::sbNormal,
                  widgets::hssSolid,
                  false,
                  {{{47, 0}, kLight}, {{93, 16}, kDark}, {{47, 31}, kDark}}},
        BevelCase{"3D pressed: inset bevel",
                  widgets::sbs3D,
                  widgets::sbNormal,
                  widgets::hssSolid,
                  true,
                  {{{47, 0}, kDark}, {{0, 16}, kDark}, {{93, 16}, kLight}}}));

TEST(ShapeButton, DisabledCaptionHasALightCopyOneRightAndDown) {
  ParkPointer();
  TestForm form;
  form.SetClientSize(200, 100);
  auto& button = form.Make<TShapeButton>();
  StyleAsInTheWindow(button, 20, 30, L"Close");
  // A blue face, so no face pixel has the colour of the caption's passes.
  button.ShapeFill().Gradient().SetColor(fw::clBlue);
  form.FinishCreate();
  Canvas canvas(200, 100);
  ASSERT_TRUE(canvas.Valid());
  const COLORREF grey = Sys(COLOR_GRAYTEXT);
  const COLORREF light = Sys(COLOR_BTNHIGHLIGHT);

  button.SetEnabled(false);
  Render(form, canvas);
  int greys = 0;
  int lights = 0;
  for (int y = 30; y < 62; ++y) {
    for (int x = 20; x < 114; ++x) {
      if (canvas.Pixel(x, y) == light) {
        ++lights;
        // The grey pass covers the light one except one pixel right and down.
        EXPECT_EQ(canvas.Pixel(x - 1, y - 1), grey) << x << "," << y;
      }
      greys += canvas.Pixel(x, y) == grey ? 1 : 0;
    }
  }
  EXPECT_GT(greys, 0);
  EXPECT_GT(lights, 0);

  button.SetEnabled(true);
  Render(form, canvas);
  int whites = 0;
  greys = 0;
  for (int y = 30; y < 62; ++y) {
    for (int x = 20; x < 114; ++x) {
      whites += canvas.Pixel(x, y) == RGB(255, 255, 255) ? 1 : 0;
      greys += canvas.Pixel(x, y) == grey ? 1 : 0;
    }
  }
  EXPECT_GT(whites, 0);
  EXPECT_EQ(greys, 0);
}

TEST(ShapeButton, ResizingRendersTheFaceForTheNewSize) {
  ParkPointer();
  TestForm form;
  auto& button = form.Make<TShapeButton>();
  StyleAsInTheWindow(button, 0, 0, L"Close");
  form.FinishCreate();
  const int renders = button.FaceRenderCount();
  button.SetBounds(0, 0, 60, 20);
  EXPECT_EQ(button.FaceRenderCount(), renders + 1);
  EXPECT_EQ(button.FaceImage().Width(), 60);
  EXPECT_EQ(button.FaceImage().Height(), 20);
  // The corners follow the shorter side: 20 * 33 div 100 = 6.
  EXPECT_EQ(button.Points().Point(2).x, 6);
  button.SetBounds(10, 10, 60, 20);  // moving alone renders nothing
  EXPECT_EQ(button.FaceRenderCount(), renders + 1);
}

// ---- hover, groups, repeat, drop-down, glyph, auto-size ----

TEST(ShapeButton, HoverStateTakesTheHoverColours) {
  ParkPointer();
  TestForm form;
  form.SetClientSize(200, 100);
  auto& backdrop = form.Make<Backdrop>();
  backdrop.SetBounds(0, 0, 200, 100);
  auto& button = form.Make<TShapeButton>();  // fast mode, hover on: the defaults
  button.SetBounds(20, 30, 94, 32);
  button.SetTransparent(true);
  button.Shape().SetShape(widgets::stRoundRect);
  button.Shape().Shadow().SetStyle(widgets::hssNone);
  button.Shape().Bevel().SetColor(fw::clGray);
  button.Colors().SetUp(fw::clGreen);
  button.Colors().SetMouseOver(fw::clYellow);
  button.SetCaption(L"WWWW");
  button.Font().SetColor(fw::clBlack);
  button.SetEnterColor(fw::clBlue);
  button.SetEnterColorChange(true);
  EventLog log;
  form.FinishCreate();
  form.ShowForm();
  Settle();
  log.Attach(button);
  Canvas canvas(200, 100);
  ASSERT_TRUE(canvas.Valid());
  const auto move = [&](int x, int y) {
    form.Perform(WM_MOUSEMOVE, 0, MAKELPARAM(20 + x, 30 + y));
  };
  const auto count = [&](COLORREF color) {
    int n = 0;
    for (int y = 30; y < 62; ++y) {
      for (int x = 20; x < 114; ++x) {
        n += canvas.Pixel(x, y) == color ? 1 : 0;
      }
    }
    return n;
  };

  move(47, 16);
  EXPECT_EQ(button.State(), widgets::bsMouseOver);
  EXPECT_NE(button.HoverTimer(), nullptr);
  Render(form, canvas);
  EXPECT_EQ(canvas.Pixel(20 + 8, 30 + 16), RGB(255, 255, 0));
  EXPECT_GT(count(RGB(0, 0, 255)), 0);  // the caption in EnterColor
  EXPECT_EQ(count(RGB(0, 0, 0)), 0);
  EXPECT_EQ(canvas.Pixel(20, 30), RGB(255, 0, 0));  // corners see-through

  move(0, 31);  // a corner: back to the state before the hover
  EXPECT_EQ(button.State(), widgets::bsUp);
  EXPECT_EQ(button.HoverTimer(), nullptr);
  Render(form, canvas);
  EXPECT_EQ(canvas.Pixel(20 + 8, 30 + 16), RGB(0, 128, 0));
  EXPECT_GT(count(RGB(0, 0, 0)), 0);
  EXPECT_EQ(count(RGB(0, 0, 255)), 0);

  // Pressed and released inside, the button hovers again and has clicked.
  move(47, 16);
  form.Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20 + 47, 30 + 16));
  EXPECT_EQ(button.State(), widgets::bsDown);
  form.Perform(WM_LBUTTONUP, 0, MAKELPARAM(20 + 47, 30 + 16));
  EXPECT_EQ(button.State(), widgets::bsMouseOver);
  EXPECT_EQ(log.clicks, 1);
  form.Perform(WM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(button.State(), widgets::bsUp);
}

TEST(ShapeButton, ToggleGroupKeepsOneButtonDown) {
  ParkPointer();
  TestForm form;
  form.SetClientSize(300, 100);
  TShapeButton* buttons[3] = {};
  for (int i = 0; i < 3; ++i) {
    auto& b = form.Make<TShapeButton>();
    StyleAsInTheWindow(b, 10 + 100 * i, 30, L"");
    b.SetGroupIndex(1);
    buttons[i] = &b;
  }
  buttons[2]->SetCaption(L"&Third");
  form.FinishCreate();
  form.ShowForm();
  Settle();
  const auto click = [&](int i) {
    const LPARAM at = MAKELPARAM(10 + 100 * i + 47, 30 + 16);
    form.Perform(WM_LBUTTONDOWN, MK_LBUTTON, at);
    form.Perform(WM_LBUTTONUP, 0, at);
  };
  const auto expect_down = [&](int down) {
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(buttons[i]->Pressed(), i == down) << i;
      EXPECT_EQ(buttons[i]->State(), i == down ? widgets::bsOptionSet : widgets::bsUp) << i;
    }
  };
  click(0);
  expect_down(0);
  click(1);
  expect_down(1);
  click(1);  // one button stays down
  expect_down(1);
  EXPECT_TRUE(form.DialogChar(L't'));  // the accelerator toggles too
  expect_down(2);
  buttons[2]->SetAllowAllUp(true);
  click(2);
  expect_down(-1);
}

// A group is the buttons of one parent with one index: a button with the same index under another
// parent, one of another index and the parent's other controls are left as they are.
TEST(ShapeButton, ToggleGroupStaysAmongItsParentsButtons) {
  TestForm form;
  form.SetClientSize(300, 200);
  form.Make<Backdrop>();
  auto& panel = form.Make<fw::Panel>();
  panel.SetBounds(0, 100, 300, 100);
  auto& sibling = form.Make<TShapeButton>();
  auto& disabled_sibling = form.Make<TShapeButton>();
  auto& other_index = form.Make<TShapeButton>();
  auto& other_parent = panel.Make<TShapeButton>();
  auto& pressed = form.Make<TShapeButton>();
  for (TShapeButton* b : {&sibling, &disabled_sibling, &other_parent, &pressed}) {
    b->SetGroupIndex(1);
  }
  other_index.SetGroupIndex(2);
  form.FinishCreate();
  for (TShapeButton* b : {&sibling, &disabled_sibling, &other_index, &other_parent}) {
    b->SetPressed(true);
  }
  disabled_sibling.SetEnabled(false);
  pressed.SetPressed(true);
  const struct {
    const char* name;
    TShapeButton& button;
    bool down;
    widgets::TButtonState state;
  } cases[] = {
      {"sibling", sibling, false, widgets::bsUp},
      {"disabled sibling", disabled_sibling, false, widgets::bsDisabledUp},
      {"other index", other_index, true, widgets::bsOptionSet},
      {"other parent", other_parent, true, widgets::bsOptionSet},
      {"pressed", pressed, true, widgets::bsOptionSet},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.button.Pressed(), c.down) << c.name;
    EXPECT_EQ(c.button.State(), c.state) << c.name;
  }
}

TEST(ShapeButton, RepeatedClickWhileHeld) {
  ParkPointer();
  TestForm form;
  form.SetClientSize(200, 100);
  auto& button = form.Make<TShapeButton>();
  StyleAsInTheWindow(button, 20, 30, L"");
  button.SetRepeatedClick(true);
  EventLog log;
  log.Attach(button);
  form.FinishCreate();
  form.ShowForm();
  Settle();
  const auto at = [](int x, int y) { return MAKELPARAM(20 + x, 30 + y); };

  form.Perform(WM_LBUTTONDOWN, MK_LBUTTON, at(47, 16));
  EXPECT_EQ(log.clicks, 1);  // at once
  ASSERT_NE(button.RepeatTimer(), nullptr);
  EXPECT_EQ(button.RepeatTimer()->Interval(), 500u);
  button.RepeatTimer()->Tick();
  EXPECT_EQ(log.clicks, 2);
  EXPECT_EQ(button.RepeatTimer()->Interval(), 100u);
  form.Perform(WM_MOUSEMOVE, MK_LBUTTON, at(130, 16));
  button.RepeatTimer()->Tick();  // dragged off: waits
  EXPECT_EQ(log.clicks, 2);
  form.Perform(WM_MOUSEMOVE, MK_LBUTTON, at(47, 16));
  button.RepeatTimer()->Tick();
  EXPECT_EQ(log.clicks, 3);
  form.Perform(WM_LBUTTONUP, 0, at(47, 16));
  EXPECT_EQ(log.clicks, 3);  // the release adds none
  EXPECT_EQ(button.RepeatTimer(), nullptr);
}

// Records, in order, every paint with the state it draws and every click with the state then.
class RecordingButton : public TShapeButton {
 public:
  using TShapeButton::TShapeButton;
  void Paint(HDC dc) override {
    events.push_back("paint " + StateName(State()));
    TShapeButton::Paint(dc);
  }
  void Record(const char* what) { events.push_back(what + (" " + StateName(State()))); }
  static std::string StateName(widgets::TButtonState state) {
    static const char* const names[] = {"up",     "disabled-up", "mouse-over",     "option-set",
                                        "down",   "drag-over",   "drop-down-open", "disabled-down",
                                        "default"};
    return names[state];
  }
  std::vector<std::string> events;
};

TEST(ShapeButton, RepeatedClickClicksBeforeTheButtonShowsPressed) {
  struct Case {
    const char* name;
    bool hover;             // AllowMouseOver, with the pointer moved in before the press
    bool handler_disables;  // the first click's handler disables the button
    std::vector<std::string> events;
    widgets::TButtonState after;
    bool repeats;
  };
  const Case cases[] = {
      {"plain", false, false, {"click up", "paint down"}, widgets::bsDown, true},
      {"hovered", true, false, {"click mouse-over", "paint down"}, widgets::bsDown, true},
      {"handler disables", false, true, {"click up"}, widgets::bsDisabledUp, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ParkPointer();
    TestForm form;
    form.SetClientSize(200, 100);
    auto& button = form.Make<RecordingButton>();
    StyleAsInTheWindow(button, 20, 30, L"");
    button.SetTransparent(false);  // an opaque button paints each state at once
    button.SetAllowMouseOver(c.hover);
    button.SetRepeatedClick(true);
    button.OnClick = [&button, &c](fw::Control&) {
      button.Record("click");
      if (c.handler_disables) {
        button.SetEnabled(false);
      }
    };
    form.FinishCreate();
    form.ShowForm();
    Settle();
    const LPARAM at = MAKELPARAM(20 + 47, 30 + 16);
    if (c.hover) {
      form.Perform(WM_MOUSEMOVE, 0, at);
      ASSERT_EQ(button.State(), widgets::bsMouseOver);
    }
    button.events.clear();
    form.Perform(WM_LBUTTONDOWN, MK_LBUTTON, at);
    EXPECT_EQ(button.events, c.events);
    EXPECT_EQ(button.State(), c.after);
    EXPECT_EQ(button.RepeatTimer() != nullptr, c.repeats);
    form.Perform(WM_LBUTTONUP, 0, at);
  }
}

TEST(ShapeButton, DropDownOpensAndClosesWithoutClicking) {
  for (const bool hover : {false, true}) {
    SCOPED_TRACE(hover ? "AllowMouseOver on" : "AllowMouseOver off");
    ParkPointer();
    TestForm form;
    form.SetClientSize(200, 100);
    auto& button = form.Make<TShapeButton>();
    StyleAsInTheWindow(button, 20, 30, L"");
    button.SetAllowMouseOver(hover);
    button.SetDropDown(true);
    button.SetDropDownCombo(true);  // only the 12 pixels at the right drop down
    EventLog log;
    log.Attach(button);
    int drops = 0;
    button.OnDropDown = [&drops](fw::Control&) { ++drops; };
    form.FinishCreate();
    form.ShowForm();
    Settle();
    const auto press = [&](int x) {
      form.Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20 + x, 30 + 16));
      form.Perform(WM_LBUTTONUP, 0, MAKELPARAM(20 + x, 30 + 16));
    };
    press(40);  // the button part
    EXPECT_EQ(log.clicks, 1);
    EXPECT_EQ(drops, 0);
    press(88);
    EXPECT_EQ(button.State(), widgets::bsDropDownOpen);
    EXPECT_EQ(drops, 1);
    form.Perform(WM_MOUSEMOVE, 0, MAKELPARAM(20 + 47, 30 + 16));  // ignored while open
    EXPECT_EQ(button.State(), widgets::bsDropDownOpen);
    // A press closes it into the hover state, whether hovering is allowed or not; leaving the
    // button ends that.
    press(88);
    EXPECT_EQ(button.State(), widgets::bsMouseOver);
    form.Perform(WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(button.State(), widgets::bsUp);
    // A press on the button part closes it too, without a click.
    press(88);
    ASSERT_EQ(button.State(), widgets::bsDropDownOpen);
    form.Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20 + 40, 30 + 16));
    EXPECT_EQ(button.State(), widgets::bsMouseOver);
    form.Perform(WM_LBUTTONUP, 0, MAKELPARAM(20 + 40, 30 + 16));
    EXPECT_EQ(drops, 2);
    EXPECT_EQ(log.clicks, 1);
  }
}

TEST(ShapeButton, GlyphBesideTheCaptionAndAutoSize) {
  ParkPointer();
  TestForm form;
  form.SetClientSize(300, 100);
  auto& button = form.Make<TShapeButton>();
  StyleAsInTheWindow(button, 10, 30, L"Go");
  // Two 16 x 16 pictures: up in green, disabled in blue; magenta (bottom-left) is see-through.
  Canvas picture(32, 16);
  ASSERT_TRUE(picture.Valid());
  picture.Fill(RGB(255, 0, 255));
  fw::FillSolidRect(picture.Dc(), RECT{4, 4, 12, 12}, RGB(0, 255, 0));
  fw::FillSolidRect(picture.Dc(), RECT{20, 4, 28, 12}, RGB(0, 0, 255));
  fw::BitmapHandle glyph(static_cast<HBITMAP>(
      ::CopyImage(::GetCurrentObject(picture.Dc(), OBJ_BITMAP), IMAGE_BITMAP, 0, 0, 0)));
  ASSERT_TRUE(glyph);
  button.Glyph().SetBitmap(std::move(glyph));
  form.FinishCreate();
  Canvas canvas(300, 100);
  ASSERT_TRUE(canvas.Valid());
  Render(form, canvas);

  const RECT g = button.GlyphRect();
  const RECT t = button.TextRect();
  EXPECT_EQ(g.right - g.left, 16);
  EXPECT_EQ(g.bottom - g.top, 16);
  EXPECT_EQ(t.left, g.right + 4 + 1);  // spacing 4, then the text's one-pixel shift
  EXPECT_EQ(canvas.Pixel(10 + g.left + 8, 30 + g.top + 8), RGB(0, 255, 0));
  EXPECT_NE(canvas.Pixel(10 + g.left + 1, 30 + g.top + 1), RGB(255, 0, 255));
  button.SetEnabled(false);
  Render(form, canvas);
  EXPECT_EQ(canvas.Pixel(10 + g.left + 8, 30 + g.top + 8), RGB(0, 0, 255));

  // Auto-size: the block of glyph, spacing and text plus twice the spacing.
  button.SetAutoSize(true);
  const int text_width = t.right - t.left;
  EXPECT_EQ(button.Width(), 16 + 4 + text_width + 2 * 4);
  button.SetCaption(L"Go further");
  EXPECT_GT(button.Width(), 16 + 4 + text_width + 2 * 4);
}

TEST(ShapePaint, KeyedAndMaskedCopiesLeaveOutTheKeyWithOrWithoutScratch) {
  constexpr COLORREF kRed = RGB(255, 0, 0);
  constexpr COLORREF kGreen = RGB(0, 200, 0);
  constexpr COLORREF kKey = RGB(48, 48, 48);
  Canvas source(10, 10);
  Canvas mask(10, 10);
  ASSERT_TRUE(source.Valid() && mask.Valid());
  source.Fill(kGreen);
  ::SetPixel(source.Dc(), 2, 3, kKey);
  ::SetPixel(source.Dc(), 7, 3, kKey);
  mask.Fill(kKey);
  fw::FillSolidRect(mask.Dc(), RECT{0, 0, 5, 10}, RGB(255, 255, 255));  // the left half
  widgets::ShapeScratch scratch;
  for (widgets::ShapeScratch* s : {static_cast<widgets::ShapeScratch*>(nullptr), &scratch}) {
    SCOPED_TRACE(s == nullptr ? "own surfaces" : "scratch");
    Canvas canvas(12, 12);
    ASSERT_TRUE(canvas.Valid());
    canvas.Fill(kRed);
    fw::DrawTransparent(canvas.Dc(), 1, 1, 10, 10, source.Dc(), 0, 0, kKey,
                        s == nullptr ? nullptr : &s->transparent);
    EXPECT_EQ(canvas.Pixel(3, 4), kRed);  // the key pixels leave the canvas as it was
    EXPECT_EQ(canvas.Pixel(8, 4), kRed);
    EXPECT_EQ(canvas.Pixel(1, 1), kGreen);
    EXPECT_EQ(canvas.Pixel(10, 10), kGreen);
    EXPECT_EQ(canvas.Pixel(0, 0), kRed);  // outside the rectangle
    EXPECT_EQ(canvas.Count(kGreen), 98);

    canvas.Fill(kRed);
    widgets::DrawMaskedImage(canvas.Dc(), RECT{1, 1, 11, 11}, mask.Dc(), kKey, source.Dc(), s);
    EXPECT_EQ(canvas.Pixel(1, 5), kGreen);  // where the mask is white
    EXPECT_EQ(canvas.Pixel(5, 5), kGreen);
    EXPECT_EQ(canvas.Pixel(3, 4), kRed);  // a key pixel inside the mask is left out too
    EXPECT_EQ(canvas.Pixel(6, 5), kRed);  // the mask's key half
    EXPECT_EQ(canvas.Count(kGreen), 49);
  }
}

}  // namespace
