// The program's one error currency. Platform failures become an Error carrying the exact text the
// user is to read; the application's default error report is the one place that shows it.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace fw {

class Error : public std::exception {
 public:
  explicit Error(std::wstring message) : message_(std::move(message)) {}
  const std::wstring& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return "fw::Error (see Message())"; }

 private:
  std::wstring message_;
};

}  // namespace fw
