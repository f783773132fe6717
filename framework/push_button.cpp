#include "framework/push_button.h"

namespace fw {

namespace {

CreateParams ButtonParams() {
  CreateParams params;
  params.class_name = L"BUTTON";
  params.style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
  return params;
}

}  // namespace

PushButton::PushButton(WinControl* parent) : WinControl(parent, ButtonParams()) {
  SetTabStop(true);
  SetBounds(Left(), Top(), 75, 25);
  Perform(WM_SETFONT, reinterpret_cast<WPARAM>(Font().Handle()), FALSE);
}

bool PushButton::DialogChar(wchar_t ch) {
  return ClickOnAccel(ch);
}

LRESULT PushButton::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  // A BUTTON outside a dialog ignores Enter; the program expects Enter to press the focused one.
  if (msg == WM_KEYDOWN && wp == VK_RETURN) {
    Click();
    return 0;
  }
  return WinControl::WndProc(msg, wp, lp);
}

void PushButton::Command(WORD notify_code) {
  if (notify_code == BN_CLICKED) {
    Click();
  }
}

void PushButton::TextChanged() {
  Invalidate();
}

void PushButton::FontChanged() {
  Perform(WM_SETFONT, reinterpret_cast<WPARAM>(Font().Handle()), TRUE);
}

}  // namespace fw
