#include "framework/form.h"

#include <algorithm>
#include <utility>

#include "framework/accessible.h"
#include "framework/dpi.h"
#include "framework/keyboard_focus.h"
#include "framework/reading_order.h"

namespace fw {

namespace {

CreateParams FormParams() {
  CreateParams params;
  params.form = true;
  // A fixed dialog frame: caption and close box only, no sizing border.
  params.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  params.ex_style = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;
  return params;
}

}  // namespace

Form::Form() : WinControl(nullptr, FormParams()) {
  InitTopLevel(clBtnFace);
  // Focus cues stay hidden until the keyboard is used, unless the user wants them always.
  BOOL cues = FALSE;
  ::SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &cues, 0);
  Perform(WM_CHANGEUISTATE, MAKEWPARAM(cues ? UIS_CLEAR : UIS_SET, UISF_HIDEFOCUS), 0);
  dpi_ = WindowDpi(Handle());
  LoadIcons();
}

Form::~Form() {
  // Clients lose the object before anything it reports on goes.
  accessibility_.reset();
  if (App().MainForm() == this) {
    App().SetMainForm(nullptr);
  }
}

void Form::SetClientSize(int width, int height) {
  RECT r{0, 0, width, height};
  const DWORD style = static_cast<DWORD>(::GetWindowLongW(Handle(), GWL_STYLE));
  const DWORD ex_style = static_cast<DWORD>(::GetWindowLongW(Handle(), GWL_EXSTYLE));
  AdjustWindowRectForDpi(r, style, ex_style, dpi_);
  SetBounds(Left(), Top(), r.right - r.left, r.bottom - r.top);
  // Trust the frame the window actually got over the computed one.
  const RECT client = ClientRect();
  const int dw = width - (client.right - client.left);
  const int dh = height - (client.bottom - client.top);
  if (dw != 0 || dh != 0) {
    SetBounds(Left(), Top(), Width() + dw, Height() + dh);
  }
}

void Form::ApplyDpi(int dpi) {
  if (dpi <= 0 || dpi == dpi_) {
    return;
  }
  dpi_ = dpi;
  LoadIcons();
  if (OnDpiChange) {
    OnDpiChange(*this);
  }
  ::RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void Form::LoadIcons() {
  // The program's icon is resource 1, drawn at the sizes of the common scales; the system picks
  // the frame of the size asked for.
  const auto load = [this](int cx_metric, int cy_metric) {
    return IconHandle(static_cast<HICON>(::LoadImageW(
        ModuleInstance(), MAKEINTRESOURCEW(1), IMAGE_ICON, SystemMetricForDpi(cx_metric, dpi_),
        SystemMetricForDpi(cy_metric, dpi_), LR_DEFAULTCOLOR)));
  };
  IconHandle small_icon = load(SM_CXSMICON, SM_CYSMICON);
  IconHandle big_icon = load(SM_CXICON, SM_CYICON);
  if (!small_icon || !big_icon) {
    return;  // a program without the icon keeps the class's
  }
  Perform(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon.get()));
  Perform(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_icon.get()));
  // The window holds the new ones now: the old ones may go.
  small_icon_ = std::move(small_icon);
  big_icon_ = std::move(big_icon);
}

void Form::FinishCreate() {
  if (created_) {
    return;
  }
  created_ = true;
  for (Control* c : Descendants()) {
    EndLoading(*c);
  }
  EndLoading(*this);
  Realign();
  ForEachDescendant([](Control& c) { c.Realign(); });
  if (OnCreate) {
    OnCreate(*this);
  }
}

void Form::CenterOnScreen() {
  RECT work{};
  if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
    work = RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  }
  const int left = work.left + ((work.right - work.left) - Width()) / 2;
  const int top = work.top + ((work.bottom - work.top) - Height()) / 2;
  SetBounds(std::max<int>(left, work.left), std::max<int>(top, work.top), Width(), Height());
}

void Form::ShowForm() {
  SetVisible(true);
  ::ShowWindow(Handle(), SW_SHOW);
  ::SetForegroundWindow(Handle());
  ::SetActiveWindow(Handle());
}

void Form::Close() {
  if (App().MainForm() == this) {
    App().Terminate();
  } else {
    SetVisible(false);
  }
}

bool Form::Active() const {
  return Handle() != nullptr && ::GetActiveWindow() == Handle();
}

void Form::SetActiveControl(WinControl* control) {
  active_control_ = control;
  if (control != nullptr && Active() && control->CanFocus()) {
    control->SetFocus();
  }
}

bool Form::Showing() const {
  return Handle() != nullptr && Visible() && ::IsWindowVisible(Handle()) != FALSE;
}

void Form::ForgetControl(const Control* control) {
  if (active_control_ == control) {
    active_control_ = nullptr;
  }
  if (keyboard_control_ == control) {
    keyboard_control_ = nullptr;
  }
  if (accessibility_) {
    accessibility_->Forget(*control);
  }
}

void Form::FocusControl(Control* control) {
  Control* old = keyboard_control_;
  keyboard_control_ = control;
  if (old != nullptr && old != control) {
    old->Invalidate();
  }
  if (control == nullptr) {
    return;
  }
  control->Invalidate();
  if (::GetFocus() != Handle()) {
    ::SetFocus(Handle());  // its WM_SETFOCUS announces the control
  } else {
    AccessibleEvent(*control, EVENT_OBJECT_FOCUS);
  }
}

bool Form::KeyboardControlUsable() const {
  return keyboard_control_ != nullptr && keyboard_control_->Showing() &&
         keyboard_control_->Enabled();
}

void Form::ShowFocusCues() {
  Perform(WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
}

void Form::AccessibleEvent(const Control& control, DWORD event) {
  if (Handle() == nullptr || Destroying()) {
    return;
  }
  if (!accessibility_) {
    accessibility_ = std::make_unique<FormAccessibility>(*this);
  }
  accessibility_->Notify(control, event);
}

bool Form::NavigationKey(const MSG& msg) {
  if (::GetKeyState(VK_CONTROL) < 0) {
    return false;
  }
  // As in a dialog, a window that asks for the key keeps it.
  if (msg.hwnd != nullptr && msg.hwnd != Handle()) {
    const LRESULT code =
        ::SendMessageW(msg.hwnd, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&msg));
    if ((code & (DLGC_WANTALLKEYS | DLGC_WANTMESSAGE)) != 0 ||
        (msg.wParam == VK_TAB && (code & DLGC_WANTTAB) != 0)) {
      return false;
    }
  }
  switch (msg.wParam) {
    case VK_TAB: {
      const std::vector<Control*> stops = TabStops(*this);
      if (stops.empty()) {
        return false;
      }
      const auto it = std::find(stops.begin(), stops.end(), keyboard_control_);
      const int current = it == stops.end() ? -1 : static_cast<int>(it - stops.begin());
      const int next =
          NextTabStop(static_cast<int>(stops.size()), current, ::GetKeyState(VK_SHIFT) >= 0);
      ShowFocusCues();
      FocusControl(stops[static_cast<std::size_t>(next)]);
      return true;
    }
    case VK_ESCAPE:
      Close();
      return true;
    case VK_SPACE:
    case VK_RETURN:
      // Before any Tab the focused window (a push button) handles them itself.
      if (keyboard_control_ == nullptr || ::GetFocus() != Handle()) {
        return false;
      }
      // A held key presses once.
      if ((msg.lParam & (LPARAM{1} << 30)) == 0 && KeyboardControlUsable()) {
        Control& pressed = *keyboard_control_;
        AccessibleEvent(pressed, EVENT_OBJECT_INVOKED);
        pressed.Click();
      }
      return true;
    default:
      return false;
  }
}

void Form::NoteFocus(WinControl* control) {
  active_control_ = control;
  FocusControl(nullptr);  // a window has the focus now, not a windowless control
}

bool Form::HandleKeyMessage(MSG& msg) {
  if (msg.message == WM_KEYDOWN) {
    return NavigationKey(msg);
  }
  if (msg.message != WM_CHAR && msg.message != WM_SYSCHAR) {
    return false;
  }
  // Alt+character is never text, so only plain characters ask the target first.
  if (msg.message == WM_CHAR && msg.hwnd != nullptr) {
    const LRESULT code =
        ::SendMessageW(msg.hwnd, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&msg));
    if ((code & DLGC_WANTCHARS) != 0) {
      return false;
    }
  }
  return DialogChar(static_cast<wchar_t>(msg.wParam));
}

LRESULT Form::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ACTIVATE:
      if (LOWORD(wp) != WA_INACTIVE) {
        Control* target = active_control_;
        if (target == nullptr || !target->CanFocus()) {
          target = nullptr;
          ForEachDescendant([&target](Control& c) {
            if (target == nullptr && c.CanFocus()) {
              target = &c;
            }
          });
        }
        if (KeyboardControlUsable()) {
          ::SetFocus(Handle());  // back to the windowless control the keyboard left it on
        } else if (target != nullptr) {
          target->SetFocus();
        } else {
          ::SetFocus(Handle());
        }
        if (OnActivate) {
          OnActivate(*this);
        }
        return 0;
      }
      break;
    case WM_CLOSE:
      Close();
      return 0;
    case WM_DPICHANGED: {
      // The system's rectangle keeps the window where the user put it, at the new scale.
      const RECT& suggested = *reinterpret_cast<const RECT*>(lp);
      SetBounds(suggested.left, suggested.top, suggested.right - suggested.left,
                suggested.bottom - suggested.top);
      ApplyDpi(HIWORD(wp));
      return 0;
    }
    case WM_SETFOCUS:
      if (keyboard_control_ != nullptr) {
        keyboard_control_->Invalidate();
        AccessibleEvent(*keyboard_control_, EVENT_OBJECT_FOCUS);
      }
      break;
    case WM_KILLFOCUS:
      if (keyboard_control_ != nullptr) {
        keyboard_control_->Invalidate();
      }
      break;
    case WM_CHANGEUISTATE:
      // A top-level window applies the change to itself and its children.
      Perform(WM_UPDATEUISTATE, wp, 0);
      return 0;
    case WM_UPDATEUISTATE:
      if ((HIWORD(wp) & UISF_HIDEFOCUS) != 0 &&
          (LOWORD(wp) == UIS_SET || LOWORD(wp) == UIS_CLEAR)) {
        const bool shown = LOWORD(wp) == UIS_CLEAR;
        if (shown != focus_cues_shown_) {
          focus_cues_shown_ = shown;
          if (keyboard_control_ != nullptr) {
            keyboard_control_->Invalidate();
          }
        }
      }
      break;
    case WM_GETOBJECT:
      // On 64-bit the object id arrives zero-extended: compare its low 32 bits.
      if (static_cast<LONG>(static_cast<DWORD>(lp)) == OBJID_CLIENT) {
        if (!accessibility_) {
          accessibility_ = std::make_unique<FormAccessibility>(*this);
        }
        if (const LRESULT object = accessibility_->AnswerGetObject(wp); object != 0) {
          return object;
        }
      }
      break;
    case FormAccessibility::WM_ACCESSIBLE_ACTION:
      if (accessibility_) {
        accessibility_->RunDefaultAction(wp);
      }
      return 0;
    default:
      break;
  }
  return WinControl::WndProc(msg, wp, lp);
}

}  // namespace fw
