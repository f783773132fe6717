// Failed system calls, raised with their code: the one vocabulary for every call the framework
// checks. Each raises SystemCallError(what, GetLastError()), so read nothing in between that could
// change the thread's last error.
#pragma once

#include <windows.h>

#include "framework/error.h"

namespace fw {

// Raises SystemCallError(what, GetLastError()).
[[noreturn]] void ThrowLastError(const wchar_t* what);

// For calls that report failure as FALSE or zero: raises when failed is true.
inline void ThrowLastErrorIf(bool failed, const wchar_t* what) {
  if (failed) {
    ThrowLastError(what);
  }
}

// For calls that return a handle or pointer, null on failure; returns it when it is not null.
template <typename T>
T ThrowIfNull(T value, const wchar_t* what) {
  if (value == nullptr) {
    ThrowLastError(what);
  }
  return value;
}

}  // namespace fw
