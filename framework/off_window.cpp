#include "framework/off_window.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "framework/app.h"
#include "framework/error.h"
#include "framework/scope_exit.h"
#include "framework/thread.h"

namespace fw {
namespace {

// The window takes the work's progress at most once per frame: about 60 pictures a second are
// smooth, and under Wine every repaint is a round trip to the window system's server.
constexpr DWORD kFrameMs = 16;

// Freed by whichever of window and worker lets go last. The library stays loaded until the work,
// and any handle of the library it captured, has gone (members go in reverse order): an abandoned
// worker can outlive the program's own use of the library.
struct Job {
  ModuleHandle library;
  std::function<void(WorkActivity&)> work;
  WorkActivity activity;
  std::exception_ptr error;
};

}  // namespace

bool RunOffWindow(std::function<void(WorkActivity&)> work, const std::function<void()>& before_pump,
                  DWORD stall_limit_ms, ModuleHandle keep_loaded) {
  const SharedState<Job> job;
  job->library = std::move(keep_loaded);
  job->work = std::move(work);
  if (job->activity.ProgressEvent() == nullptr) {
    throw Error(L"Cannot start a worker: no event");
  }
  WorkerThread worker(
      [job](const StopToken&) {
        try {
          job->work(job->activity);
        } catch (...) {
          job->error = std::current_exception();
        }
      },
      WorkerThread::kStartNow);
  // Never waited for on the way out: it has ended, or it is left behind (stalled, or an error of
  // the window's own while it waited).
  const ScopeExit let_go([&worker] { worker.Abandon(); });

  const DWORD limit = stall_limit_ms;
  std::uint64_t pumped_ms = 0;
  for (;;) {
    const std::uint64_t now = ::GetTickCount64();
    const std::uint64_t idle = job->activity.IdleMs(now);
    if (limit != INFINITE && idle >= limit) {
      if (::WaitForSingleObject(worker.Handle(), 0) == WAIT_OBJECT_0) {
        break;
      }
      return false;
    }
    DWORD timeout = limit == INFINITE ? INFINITE : limit - static_cast<DWORD>(idle);
    DWORD woken = WAIT_TIMEOUT;
    if (const std::uint64_t since = now - pumped_ms; since < kFrameMs) {
      // At most one pump a frame: within it only the end wakes the window. Input and progress
      // that arrive meanwhile wait for the frame's end, so a fast transfer's repaints do not
      // keep the window thread busy beside the worker.
      timeout = std::min(timeout, static_cast<DWORD>(kFrameMs - since));
      woken = ::WaitForSingleObject(worker.Handle(), timeout);
    } else {
      const HANDLE handles[2] = {worker.Handle(), job->activity.ProgressEvent()};
      woken = ::MsgWaitForMultipleObjectsEx(2, handles, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    if (woken == WAIT_OBJECT_0) {
      break;
    }
    if (woken == WAIT_TIMEOUT) {
      continue;
    }
    // Progress or input: from here on the worker signals again, and the window shows the latest.
    pumped_ms = ::GetTickCount64();
    job->activity.ProgressTaken();
    if (before_pump) {
      before_pump();
    }
    App().ProcessMessages();
  }
  if (job->error) {
    std::rethrow_exception(job->error);
  }
  return true;
}

bool WaitPumping(DWORD ms) {
  const std::uint64_t deadline = ::GetTickCount64() + ms;
  for (;;) {
    App().ProcessMessages();
    if (App().Terminated()) {
      return false;
    }
    const std::uint64_t now = ::GetTickCount64();
    if (now >= deadline) {
      return true;
    }
    ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(deadline - now), QS_ALLINPUT,
                                  MWMO_INPUTAVAILABLE);
  }
}

}  // namespace fw
