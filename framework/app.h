// The one application object of the process (fw::App()): its title, the main message loop, the
// pump used during long work (ProcessMessages), termination, the application-wide cursor, modal
// message dialogs and the default error report, and the synchronous hand-off of calls from worker
// threads to the main thread (Synchronize / WaitForThread). Everything except Synchronize runs on
// the main thread, which is the thread that first calls App().
//
// Error handling: every call into program code that starts in a window procedure, a timer tick or
// the message loop goes through GuardedCall, so an exception is shown by the default error report
// (ShowException) and never unwinds through Win32 frames; the program keeps running.
//
// Repaint requests are deferred (InvalidateLater): each InvalidateRect is a round trip to the
// window system's server, and a download changes its label after every read. They are collected per
// window and submitted when the application next pumps, goes idle, waits for a thread, shows a
// dialog or repaints at once, and when a handler called by the window system returns (so a modal
// loop of someone else's, a message box or a window drag, still paints what its timers and
// hand-offs change).
//
// Hand-off exceptions: an exception thrown by a call run through Synchronize is caught on the main
// thread and re-raised in the worker that called Synchronize (the worker decides what it means);
// it is not shown by the error report.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "framework/error.h"
#include "framework/handle.h"

namespace fw {

class Form;
class Timer;

// Cursor identifiers, 16-bit signed as the program stores them.
using TCursor = int16_t;
inline constexpr TCursor crDefault = 0;
inline constexpr TCursor crNone = -1;
inline constexpr TCursor crArrow = -2;
inline constexpr TCursor crCross = -3;
inline constexpr TCursor crIBeam = -4;
inline constexpr TCursor crHourGlass = -11;
inline constexpr TCursor crNo = -18;
inline constexpr TCursor crAppStart = -19;
inline constexpr TCursor crHandPoint = -21;

// The system cursor for an identifier (crDefault and unknown ids give the arrow, crNone null).
HCURSOR CursorHandle(TCursor cursor);

class Application {
 public:
  Application();
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // Titles every message dialog and error report.
  void SetTitle(const std::wstring& title) { title_ = title; }
  const std::wstring& Title() const { return title_; }

  // Finishes the form's creation if that has not happened yet, shows it centred on the screen's
  // work area and activates it, then dispatches messages until Terminated().
  void Run(Form& main_form);
  Form* MainForm() const { return main_form_; }
  void SetMainForm(Form* form) { main_form_ = form; }

  // Dispatches every pending message (with the keyboard handling of the loop) and returns when the
  // queue is empty. A WM_QUIT taken here marks the application terminated and pumping goes on, so
  // a Close during a long transfer does not cut it short; the main loop ends afterwards.
  void ProcessMessages();
  // Takes and dispatches one message if there is one; false when the queue was empty.
  bool ProcessMessage();

  // Merges area (client coordinates; null: the whole client area) into the window's pending
  // repaint request; one rectangle per window, the bounding box of everything requested. Off the
  // main thread it invalidates at once.
  void InvalidateLater(HWND window, const RECT* area, bool erase);
  // Submits every pending request: one InvalidateRect per window.
  void FlushInvalidations();
  // Drops the window's pending request (the window is being destroyed).
  void ForgetInvalidations(HWND window);

  // Asks the main loop to end once the current handler has returned. No WM_QUIT is posted (a
  // pending one would end the next modal dialog at once); a pump in progress keeps pumping.
  void Terminate();
  bool Terminated() const { return terminated_; }
  // For a second loop in the same process (tests): forget an earlier termination.
  void ResetTerminated() { terminated_ = false; }

  // The hidden application window: owner of the timers, target of the hand-off wake-up (WM_NULL).
  HWND Handle() const { return window_.get(); }

  // Worker thread: queues call for the main thread, wakes it and blocks until the call has run;
  // an exception of the call is re-raised here. On the main thread the call runs at once.
  void Synchronize(std::function<void()> call);
  // Main thread: runs the queued hand-offs; true when there were any.
  bool RunPendingCalls();
  // Main thread: waits for the thread to end while running the hand-offs it queues, so a worker
  // inside Synchronize cannot deadlock the wait. Other messages are not dispatched meanwhile.
  void WaitForThread(HANDLE thread);
  bool IsMainThread() const { return ::GetCurrentThreadId() == main_thread_id_; }

  // The application-wide cursor; takes effect at once. While it is not crDefault it shows over all
  // of the program's windows, otherwise each control's own Cursor does.
  void SetCursor(TCursor cursor);
  TCursor Cursor() const { return cursor_; }

  // Modal MessageBoxW owned by the active form, titled with Title(), MB_OK, no icon.
  void ShowMessage(const std::wstring& text);
  // The default error report: MB_OK | MB_ICONERROR, titled with Title(), text ErrorReportText.
  void ShowException(const Error& error);
  void ShowException(const std::exception& error);  // what() taken in the ANSI code page
  // Inside a catch block: reports the exception in flight (an unknown one as "Unknown error").
  void HandleException() noexcept;

  // Runs f; an exception reaches the default error report instead of the caller.
  template <typename F>
  void GuardedCall(F&& f) noexcept {
    try {
      f();
    } catch (...) {
      HandleException();
    }
  }

  // When set, these replace the dialogs (tests, headless runs): OnShowMessage gets the text,
  // OnException the error's message as raised (before the "." rule).
  std::function<void(const std::wstring& text)> OnShowMessage;
  std::function<void(const std::wstring& message)> OnException;

  // The loop's keyboard step, exposed for tests: true when the message was consumed (an accepted
  // accelerator character, a navigation key of the form, or the Enter of a push button).
  bool PreTranslate(MSG& msg);

  // Timer plumbing (fw::Timer uses these).
  UINT_PTR StartTimer(Timer& timer, UINT interval_ms);
  void StopTimer(UINT_PTR id);

 private:
  struct PendingArea {
    HWND window;
    RECT area;   // meaningless while whole
    bool whole;  // the whole client area
    bool erase;
  };

  struct PendingCall {
    std::function<void()> call;
    std::exception_ptr error;
    KernelHandle done;
  };

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  void Dispatch(MSG& msg);
  void Idle();
  HWND DialogOwner() const;

  std::wstring title_;
  Form* main_form_ = nullptr;
  std::atomic<bool> terminated_{false};
  DWORD main_thread_id_ = 0;
  WindowHandle window_;
  TCursor cursor_ = crDefault;

  CriticalSection pending_lock_;
  std::vector<PendingCall*> pending_;
  KernelHandle pending_event_;  // auto-reset, set whenever a call is queued

  std::vector<PendingArea> invalid_;

  struct TimerEntry {
    UINT_PTR id;
    Timer* timer;
  };
  std::vector<TimerEntry> timers_;  // a handful at most: a list beats a hash table here
  UINT_PTR next_timer_id_ = 1;
};

// The process's application object, created on first use (on the main thread).
Application& App();

// Shorthand for App().ShowMessage(text).
void ShowMessage(const std::wstring& text);

// Whole-module instance handle, for window classes and resources.
HINSTANCE ModuleInstance();

}  // namespace fw
