// How a call of the program fails: the system call that failed and the system's code for it. The
// floors below the log only return failures; the run writes each to the support log once, where it
// becomes an outcome (SetupResult) or, for the installer's own writes, the default error report.
#pragma once

#include <cstdint>
#include <utility>

namespace setup {

struct Failure {
  const wchar_t* call =
      L"";                 // the system call as the log names it: L"CreateFile", L"InternetOpenURL"
  std::uint32_t code = 0;  // its system or WinInet error code
};

// Nothing to give back but success: Result<> for a call that only succeeds or fails.
struct Done {};

// What a call gives: its value, or the failure that kept it from giving one. [[nodiscard]]: a
// failure is never dropped by forgetting to look.
template <typename T = Done>
class [[nodiscard]] Result {
 public:
  Result() = default;  // success, with a default value (Result<>: done)
  Result(T value) : value_(std::move(value)) {}
  Result(Failure failure) : failure_(failure), failed_(true) {}

  explicit operator bool() const noexcept { return !failed_; }
  // The value, when the call succeeded.
  T& operator*() noexcept { return value_; }
  const T& operator*() const noexcept { return value_; }
  T* operator->() noexcept { return &value_; }
  const T* operator->() const noexcept { return &value_; }
  // Why it did not: the failure.
  const Failure& Why() const noexcept { return failure_; }

 private:
  T value_{};
  Failure failure_;
  bool failed_ = false;
};

}  // namespace setup
