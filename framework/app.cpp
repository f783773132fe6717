#include "framework/app.h"

#include <algorithm>
#include <utility>

#include "framework/ansi_text.h"
#include "framework/error_report_text.h"
#include "framework/form.h"
#include "framework/scope_exit.h"
#include "framework/system_call.h"
#include "framework/timer.h"

namespace fw {

namespace {

constexpr wchar_t kAppWindowClass[] = L"fw.Application";

}  // namespace

HINSTANCE ModuleInstance() {
  return ::GetModuleHandleW(nullptr);
}

HCURSOR CursorHandle(TCursor cursor) {
  const wchar_t* id = IDC_ARROW;
  switch (cursor) {
    case crNone:
      return nullptr;
    case crCross:
      id = IDC_CROSS;
      break;
    case crIBeam:
      id = IDC_IBEAM;
      break;
    case crHourGlass:
      id = IDC_WAIT;
      break;
    case crNo:
      id = IDC_NO;
      break;
    case crAppStart:
      id = IDC_APPSTARTING;
      break;
    case crHandPoint:
      id = IDC_HAND;
      break;
    default:
      break;
  }
  return ::LoadCursorW(nullptr, id);
}

Application& App() {
  static Application app;
  return app;
}

void ShowMessage(const std::wstring& text) {
  App().ShowMessage(text);
}

Application::Application() : main_thread_id_(::GetCurrentThreadId()) {
  pending_event_.reset(
      ThrowIfNull(::CreateEventW(nullptr, FALSE, FALSE, nullptr), L"Cannot create an event"));
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &Application::WindowProc;
  wc.hInstance = ModuleInstance();
  wc.lpszClassName = kAppWindowClass;
  // A second application in the process finds the class taken and fails here: there is only one.
  ThrowLastErrorIf(::RegisterClassExW(&wc) == 0, L"Cannot register a window class");
  // Without its window the class goes again, so that App() can be tried once more.
  ScopeExit unregister([] { ::UnregisterClassW(kAppWindowClass, ModuleInstance()); });
  // Passed through CreateWindowExW: App() is still being constructed, so the procedure must not
  // reach it through App().
  window_.reset(ThrowIfNull(::CreateWindowExW(WS_EX_TOOLWINDOW, kAppWindowClass, L"", WS_POPUP, 0,
                                              0, 0, 0, nullptr, nullptr, ModuleInstance(), this),
                            L"Cannot create a window"));
  unregister.release();
}

Application::~Application() {
  for (const TimerEntry& entry : timers_) {
    ::KillTimer(window_.get(), entry.id);
  }
  timers_.clear();
}

LRESULT CALLBACK Application::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lp);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* self = reinterpret_cast<Application*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self != nullptr) {
    switch (msg) {
      case WM_NULL:
        self->RunPendingCalls();
        self->FlushInvalidations();
        return 0;
      case WM_TIMER: {
        const auto it = std::find_if(self->timers_.begin(), self->timers_.end(),
                                     [wp](const TimerEntry& e) { return e.id == wp; });
        if (it != self->timers_.end()) {
          Timer* timer = it->timer;
          self->GuardedCall([timer] { timer->Tick(); });
        }
        self->FlushInvalidations();
        return 0;
      }
      case WM_NCDESTROY:
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        break;
      default:
        break;
    }
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

void Application::Run(Form& main_form) {
  main_form_ = &main_form;
  if (!main_form.Created()) {
    main_form.FinishCreate();
  }
  main_form.CenterOnScreen();
  main_form.ShowForm();
  while (!terminated_) {
    if (!ProcessMessage()) {
      Idle();
      if (!terminated_) {
        ::WaitMessage();
      }
    }
  }
}

bool Application::ProcessMessage() {
  FlushInvalidations();
  MSG msg{};
  if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    return false;
  }
  if (msg.message == WM_QUIT) {
    terminated_ = true;  // noted, not acted on: whoever pumps goes on with its work
  } else {
    Dispatch(msg);
  }
  return true;
}

void Application::ProcessMessages() {
  while (ProcessMessage()) {
  }
}

void Application::InvalidateLater(HWND window, const RECT* area, bool erase) {
  if (window == nullptr) {
    return;
  }
  if (!IsMainThread()) {
    ::InvalidateRect(window, area, erase ? TRUE : FALSE);
    return;
  }
  if (area != nullptr && (area->right <= area->left || area->bottom <= area->top)) {
    return;
  }
  for (PendingArea& pending : invalid_) {
    if (pending.window != window) {
      continue;
    }
    if (area == nullptr) {
      pending.whole = true;
    } else if (!pending.whole) {
      pending.area.left = std::min(pending.area.left, area->left);
      pending.area.top = std::min(pending.area.top, area->top);
      pending.area.right = std::max(pending.area.right, area->right);
      pending.area.bottom = std::max(pending.area.bottom, area->bottom);
    }
    pending.erase = pending.erase || erase;
    return;
  }
  invalid_.push_back(PendingArea{window, area != nullptr ? *area : RECT{}, area == nullptr, erase});
}

void Application::FlushInvalidations() {
  // InvalidateRect only marks the window; nothing it does can call back into the list.
  for (const PendingArea& pending : invalid_) {
    ::InvalidateRect(pending.window, pending.whole ? nullptr : &pending.area,
                     pending.erase ? TRUE : FALSE);
  }
  invalid_.clear();
}

void Application::ForgetInvalidations(HWND window) {
  std::erase_if(invalid_, [window](const PendingArea& p) { return p.window == window; });
}

void Application::Dispatch(MSG& msg) {
  bool consumed = false;
  GuardedCall([&] { consumed = PreTranslate(msg); });
  if (!consumed) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

bool Application::PreTranslate(MSG& msg) {
  if (msg.message != WM_CHAR && msg.message != WM_SYSCHAR && msg.message != WM_KEYDOWN) {
    return false;
  }
  for (HWND h = msg.hwnd; h != nullptr; h = ::GetParent(h)) {
    if (WinControl* control = WinControl::FromHandle(h)) {
      if (Form* form = control->ParentForm()) {
        return form->HandleKeyMessage(msg);
      }
      return false;
    }
  }
  return false;
}

void Application::Idle() {
  RunPendingCalls();
  FlushInvalidations();  // before the loop sleeps in WaitMessage
}

void Application::Terminate() {
  terminated_ = true;
  // No WM_QUIT: a pending one would end the next modal dialog at once (an error report after a
  // Close); the wake-up only gets a loop blocked in WaitMessage to look at the flag.
  if (window_) {
    ::PostMessageW(window_.get(), WM_NULL, 0, 0);
  }
}

void Application::Synchronize(std::function<void()> call) {
  if (IsMainThread()) {
    call();
    return;
  }
  PendingCall pending{std::move(call), nullptr,
                      KernelHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr))};
  ThrowLastErrorIf(!pending.done, L"Cannot hand a call to the main thread");
  {
    Lock lock(pending_lock_);
    pending_.push_back(&pending);
  }
  ::SetEvent(pending_event_.get());
  ::PostMessageW(window_.get(), WM_NULL, 0, 0);
  ::WaitForSingleObject(pending.done.get(), INFINITE);
  if (pending.error) {
    std::rethrow_exception(pending.error);
  }
}

bool Application::RunPendingCalls() {
  std::vector<PendingCall*> batch;
  {
    Lock lock(pending_lock_);
    batch.swap(pending_);
  }
  for (PendingCall* pending : batch) {
    try {
      pending->call();
    } catch (...) {
      pending->error = std::current_exception();
    }
    // The worker may free *pending as soon as this is set.
    ::SetEvent(pending->done.get());
  }
  return !batch.empty();
}

void Application::WaitForThread(HANDLE thread) {
  if (!IsMainThread()) {
    ::WaitForSingleObject(thread, INFINITE);
    return;
  }
  const HANDLE handles[2] = {thread, pending_event_.get()};
  for (;;) {
    RunPendingCalls();
    FlushInvalidations();
    const DWORD r = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    if (r == WAIT_OBJECT_0 + 1) {
      continue;
    }
    break;  // ended, or the handle is unusable: nothing left to wait for
  }
  RunPendingCalls();
  FlushInvalidations();
}

void Application::SetCursor(TCursor cursor) {
  if (cursor == cursor_) {
    return;
  }
  cursor_ = cursor;
  if (cursor != crDefault) {
    ::SetCursor(CursorHandle(cursor));
    return;
  }
  // Let the window under the pointer choose again, as if the pointer had moved.
  POINT p{};
  if (!::GetCursorPos(&p)) {
    return;
  }
  HWND hwnd = ::WindowFromPoint(p);
  if (hwnd != nullptr && ::GetWindowThreadProcessId(hwnd, nullptr) == main_thread_id_) {
    const LRESULT hit = ::SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
    ::SendMessageW(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd),
                   MAKELPARAM(static_cast<WORD>(hit), WM_MOUSEMOVE));
  } else {
    ::SetCursor(CursorHandle(crArrow));
  }
}

HWND Application::DialogOwner() const {
  HWND active = ::GetActiveWindow();
  if (active != nullptr) {
    return active;
  }
  if (main_form_ != nullptr) {
    return main_form_->Handle();
  }
  return nullptr;
}

void Application::ShowMessage(const std::wstring& text) {
  // The dialog's own loop paints what is pending; nothing else would submit it until it closes.
  FlushInvalidations();
  if (OnShowMessage) {
    OnShowMessage(text);
    return;
  }
  ::MessageBoxW(DialogOwner(), text.c_str(), title_.c_str(), MB_OK);
}

void Application::ShowException(const Error& error) {
  FlushInvalidations();
  if (OnException) {
    OnException(error.Message());
    return;
  }
  const std::wstring text = ErrorReportText(error.Message());
  ::MessageBoxW(DialogOwner(), text.c_str(), title_.c_str(), MB_OK | MB_ICONERROR);
}

void Application::ShowException(const std::exception& error) {
  ShowException(Error(AnsiToUtf16(error.what())));
}

void Application::HandleException() noexcept {
  try {
    try {
      throw;
    } catch (const Error& e) {
      ShowException(e);
    } catch (const std::exception& e) {
      ShowException(e);
    } catch (...) {
      ShowException(Error(L"Unknown error"));
    }
  } catch (...) {
    // The report itself failed (out of memory, or a throwing hook): nothing sensible is left.
  }
}

UINT_PTR Application::StartTimer(Timer& timer, UINT interval_ms) {
  const UINT_PTR id = next_timer_id_++;
  if (::SetTimer(window_.get(), id, interval_ms, nullptr) == 0) {
    return 0;
  }
  timers_.push_back(TimerEntry{id, &timer});
  return id;
}

void Application::StopTimer(UINT_PTR id) {
  if (id == 0) {
    return;
  }
  ::KillTimer(window_.get(), id);
  std::erase_if(timers_, [id](const TimerEntry& e) { return e.id == id; });
}

}  // namespace fw
