// Screen readers and windowless controls (Microsoft Active Accessibility). Every control of a form
// may be drawn by its parent, so the platform alone would show a screen reader an empty window.
// The form therefore answers WM_GETOBJECT for its client area with one long-lived IAccessible
// whose simple children (ids 1..n) are the controls a person perceives, in reading order, and it
// raises the platform's events (NotifyWinEvent) when they change.
//
// oleacc.dll, ole32.dll and oleaut32.dll are loaded at run time from the system directory: a
// program that runs elevated from a downloads folder must not import them from beside itself.
// COM is initialised for the form's thread when the first client asks, so a run nobody inspects
// never loads them. When the form goes, the object is cut off from its clients (CoDisconnectObject)
// and every call a client still makes fails cleanly.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "framework/ole_library.h"
#include "framework/timer.h"

namespace fw {

class Control;
class Form;
class AccessibleObject;
struct Oleacc;
// oleacc with COM, all of them or none (in accessible.cpp).
using OleaccLibrary = Library<Oleacc, Ole32, OleAut32>;

// The controls of the form a person perceives, in reading order: each control with a role that
// lies at least partly inside the client area of every parent (a control moved out of view is
// absent). Hidden ones stay, reported invisible, so that showing one does not renumber the others.
std::vector<Control*> PerceivedControls(Form& form);

// A control's child id in the form's accessible object (1..n), or 0 when it is not perceived.
LONG AccessibleChildId(Form& form, const Control& control);

// The platform's role constant for a control (ROLE_SYSTEM_...).
LONG PlatformRole(const Control& control);

class FormAccessibility {
 public:
  // Posted to the form: a client asked for a control's default action (wParam: the control). The
  // click runs from the message loop, never inside the client's call, as a real click does.
  static constexpr UINT WM_ACCESSIBLE_ACTION = WM_APP + 0x3A1;

  explicit FormAccessibility(Form& form);
  ~FormAccessibility();
  FormAccessibility(const FormAccessibility&) = delete;
  FormAccessibility& operator=(const FormAccessibility&) = delete;

  // WM_GETOBJECT for OBJID_CLIENT; 0 leaves the answer to the window's default.
  LRESULT AnswerGetObject(WPARAM wp);

  // Raises event for the control. Name and value changes come at most every kChangeIntervalMs
  // per control and kind; one that comes sooner is held and raised when the interval is over,
  // so the last state is always announced.
  void Notify(const Control& control, DWORD event);
  // The control is going away: nothing held for it is raised.
  void Forget(const Control& control);

  // The posted default action: clicks the control if it is still perceived, showing and enabled,
  // and the form takes input (no modal dialog has disabled it since the action was asked for).
  void RunDefaultAction(WPARAM control);

  static constexpr std::uint64_t kChangeIntervalMs = 250;

 private:
  struct HeldChange {
    const Control* control;
    DWORD event;
    std::uint64_t last_raised;  // GetTickCount64 of the last event raised
    bool held;
  };

  void Raise(const Control& control, DWORD event);
  void RaiseHeld();

  Form& form_;
  const OleaccLibrary* ole_ = nullptr;  // loaded with the first client
  ComPtr<AccessibleObject> object_;     // released where the class is complete
  std::unique_ptr<ComApartment> com_;   // from the first client to the form's end
  std::vector<HeldChange> changes_;
  Timer timer_;
};

}  // namespace fw
