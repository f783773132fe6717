#include "framework/thread.h"

#include "framework/app.h"
#include "framework/system_call.h"

namespace fw {

void WorkerThread::Release::operator()(State* state) const noexcept {
  if (state->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    delete state;
  }
}

WorkerThread::WorkerThread(State* state, StartMode mode)
    : state_(state), suspended_(mode == kStartSuspended) {
  state_->refs.fetch_add(1, std::memory_order_relaxed);  // the thread's, handed over below
  handle_.reset(::CreateThread(nullptr, 0, &WorkerThread::ThreadProc, state_.get(),
                               suspended_ ? CREATE_SUSPENDED : 0, nullptr));
  if (!handle_) {
    state_->refs = 1;  // no thread took its reference
    ThrowLastError(L"Cannot create a thread");
  }
}

WorkerThread::~WorkerThread() {
  if (state_) {
    RequestStop();
    Join();
  }
}

void WorkerThread::Start() {
  if (suspended_ && handle_) {
    suspended_ = false;
    ::ResumeThread(handle_.get());
  }
}

void WorkerThread::RequestStop() {
  if (!state_) {
    return;
  }
  state_->stop.requested_ = true;
  state_->Wake();
}

void WorkerThread::Join() {
  if (!handle_) {
    return;
  }
  Start();
  App().WaitForThread(handle_.get());
}

void WorkerThread::Abandon() {
  Start();
  handle_.reset();
  state_.reset();
}

DWORD WINAPI WorkerThread::ThreadProc(void* parameter) {
  const StatePtr state(static_cast<State*>(parameter));
  try {
    state->Run();
  } catch (...) {
    // An error that ends the body ends the thread quietly; it must not leave the thread function.
  }
  return 0;
}

}  // namespace fw
