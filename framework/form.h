// A top-level window: a fixed-size dialog frame with caption and close box (no minimise or
// maximise box, not resizable), sized by its client area and centred on the screen's work area.
// It finishes the creation of its control tree (FinishCreate: Loaded on every control, then
// OnCreate), moves the focus to its first focusable windowed control on activation, fires
// OnActivate on each activation, and offers characters the focused window does not take to its
// controls as accelerators. Closing the application's main form terminates the application.
//
// The keyboard reaches windowless controls through the form: Tab and Shift+Tab move a focus among
// the visible focusable ones in reading order (the form's window then holds the platform's focus),
// Space and Enter press the focused one, Escape closes the form. A focus cue is drawn only once the
// keyboard has been used, as the platform does (WM_CHANGEUISTATE / WM_UPDATEUISTATE), so a window
// used with the mouse looks as it always has. Screen readers: framework/accessible.h.
#pragma once

#include <memory>

#include "framework/controls.h"
#include "framework/dpi_scale.h"
#include "framework/handle.h"

namespace fw {

class FormAccessibility;

class Form : public WinControl {
 public:
  // Hidden, clBtnFace, font "MS Sans Serif" 11 px; loading until FinishCreate.
  Form();
  ~Form() override;

  // In pixels at the form's DPI.
  void SetClientSize(int width, int height);

  // The DPI of the monitor the form is on: read when the window is made, then told by the system
  // (WM_DPICHANGED) when the form moves to a monitor of another DPI or the user changes the scale.
  // The form then takes the system's rectangle, loads its icons at the new size and fires
  // OnDpiChange, where its owner lays the controls out again.
  int Dpi() const { return dpi_; }
  NotifyEvent OnDpiChange;

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
  // Also the navigation keys (WM_KEYDOWN of Tab, Escape, Space, Enter) described above.
  bool HandleKeyMessage(MSG& msg);

  // The windowless control holding the keyboard focus; null while a window holds it.
  Control* KeyboardControl() const { return keyboard_control_; }
  // Gives a windowless control the focus (the form's window takes the platform's focus); null
  // only forgets the one that had it.
  void FocusControl(Control* control);
  // Whether focus cues are drawn: the keyboard has been used in this window, or the user asked
  // the system to show them always.
  bool FocusCuesShown() const { return focus_cues_shown_; }

  // Tells screen readers that something of control changed (EVENT_OBJECT_...).
  void AccessibleEvent(const Control& control, DWORD event);

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void ApplyDpi(int dpi);
  void LoadIcons();
  bool NavigationKey(const MSG& msg);
  void ShowFocusCues();
  bool KeyboardControlUsable() const;
  // Kept current by the form's windowed controls as they come and go and take the focus.
  friend class WinControl;
  void ForgetControl(const Control* control);
  void NoteFocus(WinControl* control);

  bool created_ = false;
  int dpi_ = kDesignDpi;
  IconHandle small_icon_;
  IconHandle big_icon_;
  WinControl* active_control_ = nullptr;
  Control* keyboard_control_ = nullptr;
  bool focus_cues_shown_ = false;
  std::unique_ptr<FormAccessibility> accessibility_;
};

}  // namespace fw
