#include "bootstrap/network_worker.h"

#include <exception>
#include <memory>
#include <utility>

#include "bootstrap/wininet_library.h"
#include "framework/app.h"
#include "framework/error.h"
#include "framework/handle.h"
#include "build_settings.h"

namespace setup {
namespace {

// How often the window pumps while it waits for the worker. Every PeekMessage, InvalidateRect and
// paint is a round trip to the window system's server (50 to 600 us each under Wine): about 60
// pumps a second repaint smoothly and answer Close, hover and keys within milliseconds.
constexpr DWORD kPumpIntervalMs = 15;

struct Job {
  std::function<void(NetworkActivity&)> work;
  NetworkActivity activity;
  std::exception_ptr error;
  fw::KernelHandle done{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

struct WorkerStart {
  SharedState<Job> job;
  HMODULE pinned;  // WinInet, held until the worker's last call into it has returned
};

void RunJob(std::unique_ptr<WorkerStart> start) {
  Job& job = *start->job;
  try {
    job.work(job.activity);
  } catch (...) {
    job.error = std::current_exception();
  }
  ::SetEvent(job.done.get());
}

DWORD WINAPI WorkerProc(void* parameter) {
  std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(parameter));
  const HMODULE pinned = start->pinned;
  // The job (and with it any WinInet handle it captured) is released before WinInet may go.
  RunJob(std::move(start));
  // An abandoned worker can outlive the program's own use of WinInet: the library stays loaded
  // until this thread is done with it.
  ::FreeLibraryAndExitThread(pinned, 0);
}

}  // namespace

DWORD StallLimitMs() {
  return static_cast<DWORD>(kStallLimitSeconds) * 1000;
}

bool RunOffWindow(std::function<void(NetworkActivity&)> work,
                  const std::function<void()>& before_pump) {
  const SharedState<Job> job;
  job->work = std::move(work);
  if (!job->done) {
    throw fw::Error(L"Cannot start a network request: no event");
  }
  HMODULE pinned = nullptr;
  if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(WinInetLibrary::Get().InternetReadFile),
                            &pinned)) {
    throw fw::Error(L"Cannot start a network request: WinInet is not loaded");
  }
  auto start = std::make_unique<WorkerStart>(WorkerStart{job, pinned});
  const fw::KernelHandle thread(::CreateThread(nullptr, 0, WorkerProc, start.get(), 0, nullptr));
  if (!thread) {
    ::FreeLibrary(pinned);
    throw fw::Error(L"Cannot start a network request: no thread");
  }
  start.release();  // the worker owns it now

  const DWORD limit = StallLimitMs();
  for (;;) {
    if (::WaitForSingleObject(job->done.get(), kPumpIntervalMs) == WAIT_OBJECT_0) {
      break;
    }
    if (before_pump) {
      before_pump();
    }
    fw::App().ProcessMessages();
    if (job->activity.IdleMs(::GetTickCount64()) >= limit) {
      if (::WaitForSingleObject(job->done.get(), 0) == WAIT_OBJECT_0) {
        break;
      }
      return false;
    }
  }
  if (job->error) {
    std::rethrow_exception(job->error);
  }
  return true;
}

}  // namespace setup
