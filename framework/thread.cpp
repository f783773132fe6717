#include "framework/thread.h"

#include "framework/app.h"
#include "framework/system_call.h"

namespace fw {

Thread::Thread() {
  handle_.reset(
      ThrowIfNull(::CreateThread(nullptr, 0, &Thread::ThreadProc, this, CREATE_SUSPENDED, nullptr),
                  L"Cannot create a thread"));
}

Thread::~Thread() {
  if (!finished_) {
    Terminate();
    WaitFor();
  }
}

void Thread::Start() {
  if (suspended_) {
    suspended_ = false;
    ::ResumeThread(handle_.get());
  }
}

void Thread::WaitFor() {
  Start();
  App().WaitForThread(handle_.get());
}

void Thread::Synchronize(std::function<void()> call) {
  App().Synchronize(std::move(call));
}

DWORD WINAPI Thread::ThreadProc(void* self) {
  auto* thread = static_cast<Thread*>(self);
  try {
    thread->Execute();
  } catch (...) {
    // An error that ends Execute ends the thread quietly; it must not leave the thread function.
  }
  thread->finished_ = true;
  return 0;
}

}  // namespace fw
