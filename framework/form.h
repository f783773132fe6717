// A top-level window: a fixed-size dialog frame with caption and close box (no minimise or
// maximise box, not resizable), sized by its client area and centred on the screen's work area.
// It finishes the creation of its control tree (FinishCreate: Loaded on every control, then
// OnCreate), moves the focus to its first focusable windowed control on activation, fires
// OnActivate on each activation, and offers characters the focused window does not take to its
// controls as accelerators. Closing the application's main form terminates the application.
#pragma once

#include "framework/controls.h"

namespace fw {

class Form : public WinControl {
 public:
  // Hidden, clBtnFace, font "MS Sans Serif" 11 px; loading until FinishCreate.
  Form();
  ~Form() override;

  void SetClientSize(int width, int height);

  // Ends loading for the whole tree: clears every control's flag and calls Loaded (pre-order,
  // creation order; the form last), re-aligns, then fires OnCreate. Runs once; Run calls it when
  // the program has not.
  void FinishCreate();
  bool Created() const { return created_; }

  void CenterOnScreen();
  // Shows and activates the form.
  void ShowForm();
  // The main form: terminates the application (the window stays until the loop ends); any other
  // form is hidden. The close box does the same.
  void Close();
  bool Active() const;

  // The windowed control that gets the focus on activation; null means the first focusable one
  // in creation order.
  WinControl* ActiveControl() const { return active_control_; }
  void SetActiveControl(WinControl* control);

  bool Showing() const override;
  Form* AsForm() override { return this; }

  NotifyEvent OnCreate;
  NotifyEvent OnActivate;

  // The keyboard step of the message loop for a message addressed to a window of this form:
  // WM_CHAR / WM_SYSCHAR that the target window does not take (no DLGC_WANTCHARS) are offered to
  // DialogChar; true when one accepted (the message is then consumed).
  bool HandleKeyMessage(MSG& msg);

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  // Kept current by the form's windowed controls as they come and go and take the focus.
  friend class WinControl;
  void ForgetControl(const Control* control);
  void NoteFocus(WinControl* control);

  bool created_ = false;
  WinControl* active_control_ = nullptr;
};

}  // namespace fw
