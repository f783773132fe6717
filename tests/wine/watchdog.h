// A bound on a test that may hang: a worker thread that never ends fails the test instead of
// blocking the run.
#pragma once

#include <windows.h>

#include <cstdio>

#include "framework/handle.h"

namespace test {

// Ends the whole test program with exit code 3 when its scope is not left within the limit, so a
// hung thread fails the test instead of blocking the run.
class Watchdog {
 public:
  Watchdog(DWORD limit_ms, const char* what)
      : limit_ms_(limit_ms), what_(what), done_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    thread_.reset(::CreateThread(nullptr, 0, &Watchdog::Run, this, 0, nullptr));
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;
  ~Watchdog() {
    ::SetEvent(done_.get());
    ::WaitForSingleObject(thread_.get(), INFINITE);
  }

 private:
  static DWORD WINAPI Run(void* self) {
    auto* dog = static_cast<Watchdog*>(self);
    if (::WaitForSingleObject(dog->done_.get(), dog->limit_ms_) == WAIT_TIMEOUT) {
      std::fprintf(stderr, "watchdog: %s did not finish within %lu ms\n", dog->what_,
                   static_cast<unsigned long>(dog->limit_ms_));
      std::fflush(stderr);
      ::TerminateProcess(::GetCurrentProcess(), 3);
    }
    return 0;
  }

  DWORD limit_ms_;
  const char* what_;
  fw::KernelHandle done_;
  fw::KernelHandle thread_;
};

}  // namespace test
