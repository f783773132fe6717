// The one owner of pointer state for the graphic (windowless) children of a window: the control
// under the pointer (hover), the one holding the mouse (capture) and the one that got the left
// press (a release inside it clicks). It turns the window's mouse messages into MouseDown / Move /
// Up / Enter / Leave and Click of the right control, in that control's coordinates, and forgets a
// control the moment it is hidden or destroyed, so nothing dangles.
#pragma once

#include <windows.h>

namespace fw {

class Control;
class WinControl;

class PointerRouter {
 public:
  Control* Hover() const { return hover_; }
  Control* Capture() const { return capture_; }

  // A mouse message of owner's window (WM_MOUSEMOVE, the button messages, WM_MOUSELEAVE).
  void Route(WinControl& owner, UINT msg, WPARAM wp, LPARAM lp);
  // The window lost the mouse capture.
  void CaptureLost() { capture_ = nullptr; }
  // The control is hidden or going away.
  void Forget(WinControl& owner, const Control* control);
  void Clear() { hover_ = capture_ = pressed_ = nullptr; }
  // Sets the cursor of the control under the pointer as of the last move (capture first), else
  // owner's own, the arrow when neither sets one; the application's cursor overrides all.
  void ApplyCursor(const WinControl& owner) const;

 private:
  void Move(WinControl& owner, WPARAM wp, int x, int y);
  void Button(WinControl& owner, UINT msg, WPARAM wp, int x, int y);
  void Leave(WinControl& owner);
  void UpdateHover(WinControl& owner, Control* now);
  // The capturing control, else the enabled graphic child under (x, y), else owner.
  Control* Target(WinControl& owner, int x, int y) const;

  Control* hover_ = nullptr;
  Control* capture_ = nullptr;
  Control* pressed_ = nullptr;
  bool tracking_leave_ = false;
  bool mouse_inside_ = false;
};

}  // namespace fw
