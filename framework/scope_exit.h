// The one scope guard: "undo this on the way out" (a flag, a cursor, a busy marker), on every
// path, exceptions included. Movable, so a helper can hand one back; release() keeps the undo
// from happening. Pure, no windows.h.
#pragma once

#include <utility>

namespace fw {

template <typename F>
class [[nodiscard]] ScopeExit {
 public:
  explicit ScopeExit(F f) noexcept : f_(std::move(f)) {}
  ScopeExit(ScopeExit&& other) noexcept : f_(std::move(other.f_)), armed_(other.armed_) {
    other.armed_ = false;
  }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
  ScopeExit& operator=(ScopeExit&&) = delete;
  ~ScopeExit() {
    if (armed_) {
      f_();
    }
  }

  // The undo will not run.
  void release() noexcept { armed_ = false; }

 private:
  F f_;
  bool armed_ = true;
};

// Sets flag to value for the length of a scope, then back to what it was.
template <typename T>
[[nodiscard]] auto ScopedValue(T& variable, T value) {
  T old = std::exchange(variable, std::move(value));
  return ScopeExit([&variable, old = std::move(old)]() mutable { variable = std::move(old); });
}

}  // namespace fw
