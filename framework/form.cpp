#include "framework/form.h"

#include <algorithm>

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
}

Form::~Form() {
  if (App().MainForm() == this) {
    App().SetMainForm(nullptr);
  }
}

void Form::SetClientSize(int width, int height) {
  RECT r{0, 0, width, height};
  const DWORD style = static_cast<DWORD>(::GetWindowLongW(Handle(), GWL_STYLE));
  const DWORD ex_style = static_cast<DWORD>(::GetWindowLongW(Handle(), GWL_EXSTYLE));
  ::AdjustWindowRectEx(&r, style, FALSE, ex_style);
  SetBounds(Left(), Top(), r.right - r.left, r.bottom - r.top);
  // Trust the frame the window actually got over the computed one.
  const RECT client = ClientRect();
  const int dw = width - (client.right - client.left);
  const int dh = height - (client.bottom - client.top);
  if (dw != 0 || dh != 0) {
    SetBounds(Left(), Top(), Width() + dw, Height() + dh);
  }
}

void Form::FinishCreate() {
  if (created_) {
    return;
  }
  created_ = true;
  std::vector<Control*> all;
  ForEachDescendant([&all](Control& c) { all.push_back(&c); });
  for (Control* c : all) {
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
}

void Form::NoteFocus(WinControl* control) {
  active_control_ = control;
}

bool Form::HandleKeyMessage(MSG& msg) {
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
        if (target != nullptr) {
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
    default:
      break;
  }
  return WinControl::WndProc(msg, wp, lp);
}

}  // namespace fw
