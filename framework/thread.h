// A worker thread base: created suspended, started with Start(), with a terminate request the
// worker polls (Terminated()) and the synchronous hand-off to the main thread. Waiting for it on
// the main thread keeps running its hand-offs (Application::WaitForThread), so a worker blocked in
// Synchronize never deadlocks the wait.
//
// Derived classes whose Execute uses their own members must stop the worker in their own
// destructor (Terminate(); WaitFor();): ~Thread runs after those members are gone. ~Thread does
// the same as a last resort, resuming a thread that never started so that it runs and ends.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>

#include "framework/handle.h"

namespace fw {

// A manual-reset event for the waits of worker threads. An event that could not be made reads as
// set, so nobody waits on it for ever.
class Event {
 public:
  explicit Event(bool initially_set)
      : handle_(::CreateEventW(nullptr, TRUE, initially_set ? TRUE : FALSE, nullptr)) {}
  void Set() {
    if (handle_) {
      ::SetEvent(handle_.get());
    }
  }
  void Reset() {
    if (handle_) {
      ::ResetEvent(handle_.get());
    }
  }
  // True when set within the milliseconds (INFINITE: no limit).
  bool Wait(DWORD milliseconds) {
    return !handle_ || ::WaitForSingleObject(handle_.get(), milliseconds) == WAIT_OBJECT_0;
  }

 private:
  KernelHandle handle_;
};

class Thread {
 public:
  Thread();  // the OS thread exists from here on, suspended; throws fw::Error when it cannot
  virtual ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Resumes the suspended thread (once; later calls do nothing).
  void Start();
  bool Suspended() const { return suspended_; }
  bool Finished() const { return finished_; }

  // Sets the terminate flag only; the worker sees it at its next check.
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }

  // Waits for the worker to end (starting it first if it never ran). On the main thread the
  // hand-offs it queues keep running meanwhile.
  void WaitFor();

  HANDLE Handle() const { return handle_.get(); }

  // Hands call to the main thread and waits for it (App().Synchronize).
  static void Synchronize(std::function<void()> call);

 protected:
  virtual void Execute() = 0;

 private:
  static DWORD WINAPI ThreadProc(void* self);

  KernelHandle handle_;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  bool suspended_ = true;
};

}  // namespace fw
