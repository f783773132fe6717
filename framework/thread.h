// Worker threads, one way: a WorkerThread runs one callable and owns its thread. Its stop request
// is a flag the callable polls through its StopToken, and a call of the callable's own Wake() when
// it has one (opening a gate, setting an event it waits at), so one request ends every wait. The
// destructor requests the stop and waits; on the main thread the wait keeps running the worker's
// hand-offs (Application::WaitForThread), so a worker blocked in Synchronize never deadlocks it.
// A worker that may never return (a blocked network call) is let go with Abandon instead.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <utility>

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

// A condition the threads sharing a state wait for, under the lock that guards the state. Nothing
// to release: the system's condition variable needs none.
class Condition {
 public:
  // With held entered (by a Lock): leaves it while asleep, holds it again on return. Wakes may
  // come without a change, so the waiter checks the state in a loop.
  void Wait(CriticalSection& held) noexcept {
    ::SleepConditionVariableCS(&condition_, held.Native(), INFINITE);
  }
  void WakeAll() noexcept { ::WakeAllConditionVariable(&condition_); }

 private:
  CONDITION_VARIABLE condition_ = CONDITION_VARIABLE_INIT;
};

// What the worker sees of its stop request.
class StopToken {
 public:
  bool StopRequested() const noexcept { return requested_.load(); }

 private:
  friend class WorkerThread;
  std::atomic<bool> requested_{false};
};

class WorkerThread {
 public:
  enum StartMode : std::uint8_t { kStartNow, kStartSuspended };

  // Creates the thread that runs body(const StopToken&) once, at once or from Start(); throws
  // fw::Error when it cannot. body.Wake(), if it exists, runs on the requesting thread with every
  // stop request. The body may be move-only; whichever of owner and thread lets go last frees it.
  template <typename Body>
  requires requires(Body& body, const StopToken& stop) { body(stop); }
  WorkerThread(Body body, StartMode mode)
      : WorkerThread(new Running<Body>(std::move(body)), mode) {}
  // Requests the stop and waits for the worker (starting it first if it never ran).
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Resumes a suspended thread (once; later calls do nothing).
  void Start();
  bool Suspended() const { return suspended_; }
  bool Finished() const {
    return !handle_ || ::WaitForSingleObject(handle_.get(), 0) == WAIT_OBJECT_0;
  }

  void RequestStop();
  bool StopRequested() const { return !state_ || state_->stop.StopRequested(); }

  // Waits for the worker to end (starting it first). On the main thread the hand-offs it queues
  // keep running meanwhile.
  void Join();
  // Signalled once the thread has ended; null after Abandon.
  HANDLE Handle() const { return handle_.get(); }

  // Lets the worker run on alone (started if it never ran): the destructor no longer waits, and
  // the body, with all it holds, goes when the worker returns.
  void Abandon();

 private:
  struct State {
    virtual ~State() = default;
    virtual void Run() = 0;
    virtual void Wake() = 0;
    std::atomic<long> refs{1};
    StopToken stop;
  };
  template <typename Body>
  struct Running final : State {
    explicit Running(Body&& b) : body(std::move(b)) {}
    void Run() override { body(static_cast<const StopToken&>(stop)); }
    void Wake() override {
      if constexpr (requires { body.Wake(); }) {
        body.Wake();
      }
    }
    Body body;
  };
  // Drops one of the two references, the owner's or the thread's.
  struct Release {
    void operator()(State* state) const noexcept;
  };
  using StatePtr = std::unique_ptr<State, Release>;

  WorkerThread(State* state, StartMode mode);  // takes the owner's reference
  static DWORD WINAPI ThreadProc(void* state);

  StatePtr state_;
  KernelHandle handle_;
  bool suspended_;
};

}  // namespace fw
