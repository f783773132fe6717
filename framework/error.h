// The program's one error currency. Platform failures become an Error carrying the exact text the
// user is to read; the application's default error report is the one place that shows it.
#pragma once

#include <exception>
#include <string>
#include <utility>

#include "framework/text.h"

namespace fw {

class Error : public std::exception {
 public:
  explicit Error(std::wstring message) : message_(std::move(message)) {}
  const std::wstring& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return "fw::Error (see Message())"; }

 private:
  std::wstring message_;
};

// A failed system call as the user reads it: what failed and the system's error code, in the
// program's "EC=" style, e.g. "Cannot create a window EC=1407".
inline Error SystemCallError(const wchar_t* what, unsigned long code) {
  std::wstring message(what);
  message.append(L" EC=").append(std::wstring_view(DecimalPiece(code)));
  return Error(std::move(message));
}

}  // namespace fw
