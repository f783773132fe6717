// Windowless controls for screen readers and the keyboard, in process: the form's accessible
// object, its default action and its end, the Tab walk, the focus cue and the change events.
#include <windows.h>

#include <ole2.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/app.h"
#include "framework/controls.h"
#include "framework/form.h"
#include "framework/gdi.h"
#include "framework/ole_library.h"
#include "framework/push_button.h"
#include "tests/wine/widget_fixture.h"

namespace {

// A control of a given role that paints itself black and counts its clicks.
class RoleProbe : public fw::GraphicControl {
 public:
  RoleProbe(fw::WinControl* parent, fw::TAccessibleRole role, const wchar_t* caption, int left,
            int top)
      : fw::GraphicControl(parent), role_(role) {
    SetBounds(left, top, 60, 24);
    SetCaption(caption);
    Font().SetColor(fw::clWhite);
  }

  fw::TAccessibleRole AccessibleRole() const override { return role_; }
  std::wstring AccessibleValue() const override { return value_; }
  void SetValue(const std::wstring& value) {
    value_ = value;
    AccessibleValueChanged();
  }
  void Paint(HDC dc) override { fw::FillSolidRect(dc, RECT{0, 0, Width(), Height()}, 0); }
  void Click() override { ++clicks; }

  int clicks = 0;

 private:
  fw::TAccessibleRole role_;
  std::wstring value_;
};

VARIANT Child(LONG id) {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = id;
  return v;
}

std::wstring Name(IAccessible* acc, LONG id) {
  BSTR name = nullptr;
  const HRESULT result = acc->get_accName(Child(id), &name);
  const fw::BstrHandle owned(name);
  return result == S_OK && name != nullptr ? std::wstring(name, ::SysStringLen(name))
                                           : std::wstring();
}

LONG Integer(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*), IAccessible* acc,
             LONG id) {
  VARIANT v;
  ::VariantInit(&v);
  const HRESULT hr = (acc->*get)(Child(id), &v);
  return SUCCEEDED(hr) && v.vt == VT_I4 ? v.lVal : -1;
}

class AccessibilityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) {
      GTEST_SKIP() << "no display";
    }
    const fw::OleLibraries* ole = fw::OleLibraries::Get();
    ASSERT_NE(ole, nullptr);
    com_.emplace(*ole);
    ASSERT_TRUE(com_->Usable());
    fw::App().ResetTerminated();
    form_ = std::make_unique<test::TestForm>();
    form_->SetClientSize(300, 200);
    // Creation order differs from reading order on purpose.
    right_ = &form_->Make<RoleProbe>(fw::arPushButton, L"&Right", 150, 50);
    title_ = &form_->Make<RoleProbe>(fw::arStaticText, L"Title", 10, 10);
    left_ = &form_->Make<RoleProbe>(fw::arPushButton, L"Left", 10, 50);
    hidden_ = &form_->Make<RoleProbe>(fw::arPushButton, L"Hidden", 10, 100);
    off_ = &form_->Make<RoleProbe>(fw::arPushButton, L"Off", 80, 100);
    away_ = &form_->Make<RoleProbe>(fw::arPushButton, L"Away", 10, -100);
    meter_ = &form_->Make<RoleProbe>(fw::arProgressBar, L"", 10, 150);
    meter_->SetAccessibleName(L"Progress");
    form_->Make<RoleProbe>(fw::arNone, L"Backdrop", 200, 150);
    hidden_->SetVisible(false);
    off_->SetEnabled(false);
    form_->FinishCreate();
    form_->ShowForm();
    test::Settle();
  }

  void TearDown() override {
    form_.reset();
    fw::App().ProcessMessages();
    fw::App().ResetTerminated();
    com_.reset();
  }

  void Object(fw::ComPtr<IAccessible>& acc) {
    const LRESULT result = form_->Perform(WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT));
    ASSERT_GT(result, 0);
    IAccessible* object = nullptr;
    ASSERT_EQ(::ObjectFromLresult(result, IID_IAccessible, 0, reinterpret_cast<void**>(&object)),
              S_OK);
    acc.reset(object);
  }

  bool Key(WPARAM key) {
    MSG msg{form_->Handle(), WM_KEYDOWN, key, 0, 0, {}};
    return fw::App().PreTranslate(msg);
  }

  std::optional<fw::ComApartment> com_;  // outlives the form, whose object it serves
  std::unique_ptr<test::TestForm> form_;
  RoleProbe* right_ = nullptr;
  RoleProbe* title_ = nullptr;
  RoleProbe* left_ = nullptr;
  RoleProbe* hidden_ = nullptr;
  RoleProbe* off_ = nullptr;
  RoleProbe* away_ = nullptr;
  RoleProbe* meter_ = nullptr;
};

TEST_F(AccessibilityTest, ChildrenAreThePerceivedControlsInReadingOrder) {
  fw::ComPtr<IAccessible> acc;
  Object(acc);
  LONG count = 0;
  ASSERT_EQ(acc.get()->get_accChildCount(&count), S_OK);
  std::vector<std::wstring> names;
  for (LONG id = 1; id <= count; ++id) {
    names.push_back(Name(acc.get(), id));
  }
  // Out of view is absent, hidden stays (invisible); no role, no child.
  EXPECT_EQ(names, (std::vector<std::wstring>{L"Title", L"Left", L"Right", L"Hidden", L"Off",
                                              L"Progress"}));
  const struct {
    LONG id;
    LONG role;
    LONG state;
  } expected[] = {
      {1, ROLE_SYSTEM_STATICTEXT, STATE_SYSTEM_READONLY},
      {2, ROLE_SYSTEM_PUSHBUTTON, STATE_SYSTEM_FOCUSABLE},
      {3, ROLE_SYSTEM_PUSHBUTTON, STATE_SYSTEM_FOCUSABLE},
      {4, ROLE_SYSTEM_PUSHBUTTON, STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_INVISIBLE},
      {5, ROLE_SYSTEM_PUSHBUTTON, STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_UNAVAILABLE},
      {6, ROLE_SYSTEM_PROGRESSBAR, STATE_SYSTEM_READONLY},
  };
  for (const auto& e : expected) {
    EXPECT_EQ(Integer(&IAccessible::get_accRole, acc.get(), e.id), e.role) << e.id;
    EXPECT_EQ(Integer(&IAccessible::get_accState, acc.get(), e.id), e.state) << e.id;
  }
  EXPECT_EQ(Integer(&IAccessible::get_accRole, acc.get(), CHILDID_SELF), ROLE_SYSTEM_CLIENT);
  // Locations on the screen, and the control found at a point.
  POINT origin{0, 0};
  ::ClientToScreen(form_->Handle(), &origin);
  LONG x = 0;
  LONG y = 0;
  LONG w = 0;
  LONG h = 0;
  ASSERT_EQ(acc.get()->accLocation(&x, &y, &w, &h, Child(3)), S_OK);
  EXPECT_EQ(std::vector<LONG>({x - origin.x, y - origin.y, w, h}),
            std::vector<LONG>({150, 50, 60, 24}));
  VARIANT hit;
  ::VariantInit(&hit);
  ASSERT_EQ(acc.get()->accHitTest(origin.x + 160, origin.y + 60, &hit), S_OK);
  EXPECT_EQ(hit.vt, VT_I4);
  EXPECT_EQ(hit.lVal, 3);
  EXPECT_EQ(acc.get()->get_accChildCount(nullptr), E_POINTER);
  BSTR name = nullptr;
  EXPECT_EQ(acc.get()->get_accName(Child(7), &name), E_INVALIDARG);
}

TEST_F(AccessibilityTest, DefaultActionClicksFromTheLoopOnlyWhatCanBePressed) {
  fw::ComPtr<IAccessible> acc;
  Object(acc);
  ASSERT_EQ(acc.get()->accDoDefaultAction(Child(2)), S_OK);
  // Not inside the client's call: the click may close the window.
  EXPECT_EQ(left_->clicks, 0);
  test::Settle();
  EXPECT_EQ(left_->clicks, 1);
  EXPECT_EQ(acc.get()->accDoDefaultAction(Child(5)), E_FAIL);                 // disabled
  EXPECT_EQ(acc.get()->accDoDefaultAction(Child(1)), DISP_E_MEMBERNOTFOUND);  // text
  test::Settle();
  EXPECT_EQ(off_->clicks, 0);
  EXPECT_EQ(title_->clicks, 0);
}

TEST_F(AccessibilityTest, NothingIsUsableWhileADialogHasDisabledTheWindow) {
  fw::ComPtr<IAccessible> acc;
  Object(acc);
  // Asked for before the dialog came up, still queued when it disables the window.
  ASSERT_EQ(acc.get()->accDoDefaultAction(Child(2)), S_OK);
  // What a modal message box does to its owner.
  ::EnableWindow(form_->Handle(), FALSE);
  const struct {
    LONG id;
    LONG state;  // while the window is enabled
  } states[] = {
      {CHILDID_SELF, STATE_SYSTEM_FOCUSABLE},
      {1, STATE_SYSTEM_READONLY},
      {2, STATE_SYSTEM_FOCUSABLE},
      {3, STATE_SYSTEM_FOCUSABLE},
  };
  for (const auto& e : states) {
    // The form's own focus bit depends on where the focus is: compare only the rest.
    EXPECT_EQ(Integer(&IAccessible::get_accState, acc.get(), e.id) & ~STATE_SYSTEM_FOCUSED,
              e.state | STATE_SYSTEM_UNAVAILABLE)
        << e.id;
  }
  EXPECT_EQ(acc.get()->accDoDefaultAction(Child(2)), E_FAIL);
  EXPECT_EQ(acc.get()->accDoDefaultAction(Child(3)), E_FAIL);
  EXPECT_EQ(acc.get()->accSelect(SELFLAG_TAKEFOCUS, Child(3)), E_FAIL);
  test::Settle();
  EXPECT_EQ(form_->KeyboardControl(), nullptr);
  ::EnableWindow(form_->Handle(), TRUE);
  test::Settle();
  // Nothing was kept for after the dialog.
  EXPECT_EQ(left_->clicks, 0);
  EXPECT_EQ(right_->clicks, 0);
  for (const auto& e : states) {
    EXPECT_EQ(Integer(&IAccessible::get_accState, acc.get(), e.id) & ~STATE_SYSTEM_FOCUSED, e.state)
        << e.id;
  }
  ASSERT_EQ(acc.get()->accDoDefaultAction(Child(3)), S_OK);
  test::Settle();
  EXPECT_EQ(right_->clicks, 1);
  EXPECT_EQ(left_->clicks, 0);
}

TEST_F(AccessibilityTest, EveryCallFailsCleanlyOnceTheFormIsGone) {
  fw::ComPtr<IAccessible> acc;
  Object(acc);
  ASSERT_EQ(acc.get()->accDoDefaultAction(Child(2)), S_OK);  // still queued when the form goes
  form_.reset();
  fw::App().ProcessMessages();
  LONG count = -1;
  EXPECT_EQ(acc.get()->get_accChildCount(&count), CO_E_OBJNOTCONNECTED);
  BSTR name = nullptr;
  EXPECT_EQ(acc.get()->get_accName(Child(CHILDID_SELF), &name), CO_E_OBJNOTCONNECTED);
  EXPECT_EQ(name, nullptr);
  EXPECT_EQ(acc.get()->accDoDefaultAction(Child(2)), CO_E_OBJNOTCONNECTED);
  VARIANT focus;
  ::VariantInit(&focus);
  EXPECT_EQ(acc.get()->get_accFocus(&focus), CO_E_OBJNOTCONNECTED);
}

TEST_F(AccessibilityTest, TabWalksThePressableButtonsAndSpaceOrEnterPressTheFocusedOne) {
  // Before any Tab the keys belong to whichever window has the focus.
  EXPECT_FALSE(Key(VK_SPACE));
  EXPECT_EQ(form_->KeyboardControl(), nullptr);
  const struct {
    bool shift;
    RoleProbe* expected;
  } walk[] = {{false, left_}, {false, right_}, {false, left_}, {true, right_}, {true, left_}};
  BYTE keys[256] = {};
  for (const auto& step : walk) {
    ASSERT_TRUE(::GetKeyboardState(keys));
    keys[VK_SHIFT] = step.shift ? 0x80 : 0;
    ASSERT_TRUE(::SetKeyboardState(keys));
    EXPECT_TRUE(Key(VK_TAB));
    EXPECT_EQ(form_->KeyboardControl(), step.expected);
  }
  keys[VK_SHIFT] = 0;
  ::SetKeyboardState(keys);
  EXPECT_TRUE(left_->HasKeyboardFocus());
  EXPECT_TRUE(Key(VK_SPACE));
  EXPECT_TRUE(Key(VK_RETURN));
  EXPECT_EQ(left_->clicks, 2);
  EXPECT_EQ(right_->clicks + hidden_->clicks + off_->clicks + away_->clicks, 0);
  // A window taking the focus ends the windowless one.
  fw::PushButton& button = form_->Make<fw::PushButton>();
  button.SetFocus();
  EXPECT_EQ(form_->KeyboardControl(), nullptr);
  // Escape closes the form.
  fw::App().SetMainForm(form_.get());
  EXPECT_TRUE(Key(VK_ESCAPE));
  EXPECT_TRUE(fw::App().Terminated());
  fw::App().SetMainForm(nullptr);
}

TEST_F(AccessibilityTest, FocusCueShowsOnlyOnceTheKeyboardIsUsed) {
  // Hidden until the keyboard is used, as on a system set the way Windows comes (Wine is set to
  // show them always, which the form honours at creation).
  form_->Perform(WM_CHANGEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS), 0);
  test::Canvas canvas(300, 200);
  const auto cue_pixels = [&] {
    test::Render(*form_, canvas);
    int white = 0;
    for (int x = 10; x < 70; ++x) {
      for (int y = 50; y < 74; ++y) {
        white += canvas.Pixel(x, y) == RGB(255, 255, 255) ? 1 : 0;
      }
    }
    return white;
  };
  // Focused from outside the keyboard (a screen reader's request): no cue yet.
  form_->FocusControl(left_);
  EXPECT_TRUE(left_->HasKeyboardFocus());
  EXPECT_FALSE(form_->FocusCuesShown());
  EXPECT_EQ(cue_pixels(), 0);
  EXPECT_TRUE(Key(VK_TAB));
  EXPECT_TRUE(Key(VK_TAB));
  EXPECT_TRUE(form_->FocusCuesShown());
  ASSERT_EQ(form_->KeyboardControl(), left_);
  // A dotted outline 4 px inside the 60 x 24 button: every other pixel of its 52 x 16 ring.
  EXPECT_EQ(cue_pixels(), (2 * 52 + 2 * 16 - 4) / 2);
  EXPECT_EQ(canvas.Pixel(14, 54), RGB(255, 255, 255));
  EXPECT_EQ(canvas.Pixel(15, 54), RGB(0, 0, 0));
}

// Value changes reach a client of the platform's events; rapid ones are merged, and the last
// value is always announced.
std::vector<std::wstring>* g_values = nullptr;
RoleProbe* g_meter = nullptr;

void CALLBACK RecordValue(HWINEVENTHOOK, DWORD, HWND, LONG object, LONG child, DWORD, DWORD) {
  if (object == OBJID_CLIENT && child > 0 && g_values != nullptr) {
    g_values->push_back(g_meter->AccessibleValue());
  }
}

TEST_F(AccessibilityTest, ValueChangesAreMergedAndTheLastOneIsAnnounced) {
  std::vector<std::wstring> values;
  g_values = &values;
  g_meter = meter_;
  const HWINEVENTHOOK hook =
      ::SetWinEventHook(EVENT_OBJECT_VALUECHANGE, EVENT_OBJECT_VALUECHANGE, nullptr, RecordValue,
                        ::GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
  ASSERT_NE(hook, nullptr);
  for (int percent = 0; percent <= 100; percent += 10) {
    meter_->SetValue(std::to_wstring(percent) + L"%");
  }
  EXPECT_TRUE(test::PumpUntil([&] { return !values.empty() && values.back() == L"100%"; }));
  ::UnhookWinEvent(hook);
  g_values = nullptr;
  // Eleven changes in a row, with no pump between them: the first is announced, the others wait
  // for the interval and go out as one.
  EXPECT_LT(values.size(), 11u);
  EXPECT_EQ(values.back(), L"100%");
}

}  // namespace
