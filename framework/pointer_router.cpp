#include "framework/pointer_router.h"

#include <windowsx.h>

#include <algorithm>

#include "framework/app.h"
#include "framework/controls.h"

namespace fw {

namespace {

TShiftState ShiftFromKeys(WPARAM keys) {
  TShiftState shift = 0;
  if ((keys & MK_SHIFT) != 0) {
    shift |= ssShift;
  }
  if ((keys & MK_CONTROL) != 0) {
    shift |= ssCtrl;
  }
  if ((keys & MK_LBUTTON) != 0) {
    shift |= ssLeft;
  }
  if ((keys & MK_RBUTTON) != 0) {
    shift |= ssRight;
  }
  if ((keys & MK_MBUTTON) != 0) {
    shift |= ssMiddle;
  }
  if (::GetKeyState(VK_MENU) < 0) {
    shift |= ssAlt;
  }
  return shift;
}

// A handler may have destroyed the control: only a control still among the children is called.
bool IsChild(const WinControl& owner, const Control* c) {
  const std::vector<Control*>& list = owner.Controls();
  return std::find(list.begin(), list.end(), c) != list.end();
}

}  // namespace

void PointerRouter::Route(WinControl& owner, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_MOUSELEAVE) {
    Leave(owner);
  } else if (msg == WM_MOUSEMOVE) {
    Move(owner, wp, GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
  } else {
    Button(owner, msg, wp, GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
  }
}

void PointerRouter::Leave(WinControl& owner) {
  tracking_leave_ = false;
  UpdateHover(owner, nullptr);
  if (mouse_inside_) {
    mouse_inside_ = false;
    owner.MouseLeave();
  }
}

Control* PointerRouter::Target(WinControl& owner, int x, int y) const {
  if (capture_ != nullptr) {
    return capture_;
  }
  Control* under = owner.ControlAt(x, y, false);
  return under != nullptr ? under : &owner;
}

void PointerRouter::Move(WinControl& owner, WPARAM wp, int x, int y) {
  if (!tracking_leave_) {
    TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, owner.Handle(), 0};
    tracking_leave_ = ::TrackMouseEvent(&tme) != FALSE;
  }
  if (!mouse_inside_) {
    mouse_inside_ = true;
    owner.MouseEnter();
  }
  const Control* hovered = hover_;
  UpdateHover(owner, owner.ControlAt(x, y, true));
  if (hover_ != hovered) {
    ApplyCursor(owner);  // WM_SETCURSOR of this move came before the hover changed
  }
  Control* target = Target(owner, x, y);
  const TShiftState shift = ShiftFromKeys(wp);
  if (target == &owner) {
    owner.MouseMove(shift, x, y);
  } else {
    target->MouseMove(shift, x - target->Left(), y - target->Top());
  }
}

void PointerRouter::Button(WinControl& owner, UINT msg, WPARAM wp, int x, int y) {
  TShiftState shift = ShiftFromKeys(wp);
  TMouseButton button = mbLeft;
  bool down = false;
  switch (msg) {
    case WM_LBUTTONDBLCLK:
      shift |= ssDouble;
      [[fallthrough]];
    case WM_LBUTTONDOWN:
      down = true;
      break;
    case WM_RBUTTONDBLCLK:
      shift |= ssDouble;
      [[fallthrough]];
    case WM_RBUTTONDOWN:
      button = mbRight;
      down = true;
      break;
    case WM_MBUTTONDBLCLK:
      shift |= ssDouble;
      [[fallthrough]];
    case WM_MBUTTONDOWN:
      button = mbMiddle;
      down = true;
      break;
    case WM_RBUTTONUP:
      button = mbRight;
      break;
    case WM_MBUTTONUP:
      button = mbMiddle;
      break;
    default:
      break;
  }

  Control* target = Target(owner, x, y);
  const bool self = target == &owner;
  const int local_x = self ? x : x - target->Left();
  const int local_y = self ? y : y - target->Top();
  if (down) {
    if ((target->ControlStyle() & csCaptureMouse) != 0) {
      if (!self) {
        capture_ = target;
      }
      if (::GetCapture() != owner.Handle()) {
        ::SetCapture(owner.Handle());
      }
    }
    if (button == mbLeft) {
      pressed_ = target;
    }
    target->MouseDown(button, shift, local_x, local_y);
    return;
  }

  const bool click =
      button == mbLeft && pressed_ == target && (target->ControlStyle() & csClickEvents) != 0 &&
      target->Enabled() &&
      (self ? (x >= 0 && y >= 0 && x < owner.ClientWidth() && y < owner.ClientHeight())
            : target->HitTest(local_x, local_y));
  if (button == mbLeft) {
    pressed_ = nullptr;
  }
  if ((wp & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) == 0) {
    capture_ = nullptr;
    if (::GetCapture() == owner.Handle()) {
      ::ReleaseCapture();
    }
  }
  target->MouseUp(button, shift, local_x, local_y);
  // The click comes last and with the capture released: its handler may pump messages or
  // destroy controls.
  if (click && (self || IsChild(owner, target))) {
    target->Click();
  }
}

void PointerRouter::ApplyCursor(const WinControl& owner) const {
  // The control under the pointer as of the last move, not GetCursorPos: the decision then follows
  // the messages this window got, whatever the pointer did since.
  TCursor cursor = App().Cursor();
  if (cursor == crDefault) {
    const Control* c = capture_ != nullptr ? capture_ : hover_;
    cursor = c != nullptr ? c->Cursor() : crDefault;
  }
  if (cursor == crDefault) {
    cursor = owner.Cursor();
  }
  ::SetCursor(CursorHandle(cursor == crDefault ? crArrow : cursor));
}

void PointerRouter::UpdateHover(WinControl& owner, Control* now) {
  if (now == hover_) {
    return;
  }
  Control* old = hover_;
  hover_ = now;
  if (old != nullptr && IsChild(owner, old)) {
    old->MouseLeave();
  }
  if (now != nullptr && hover_ == now && IsChild(owner, now)) {
    now->MouseEnter();
  }
}

void PointerRouter::Forget(WinControl& owner, const Control* control) {
  if (hover_ == control) {
    hover_ = nullptr;
  }
  if (pressed_ == control) {
    pressed_ = nullptr;
  }
  if (capture_ == control) {
    capture_ = nullptr;
    if (owner.Handle() != nullptr && ::GetCapture() == owner.Handle()) {
      ::ReleaseCapture();
    }
  }
}

}  // namespace fw
