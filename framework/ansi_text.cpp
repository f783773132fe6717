#include "framework/ansi_text.h"

#include <windows.h>

namespace fw {

std::wstring AnsiToUtf16(std::string_view text) {
  if (text.empty()) {
    return {};
  }
  const int bytes = static_cast<int>(text.size());
  const int size = ::MultiByteToWideChar(CP_ACP, 0, text.data(), bytes, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0) {
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), bytes, out.data(), size);
  }
  return out;
}

std::string Utf16ToAnsi(std::wstring_view text) {
  if (text.empty()) {
    return {};
  }
  const int units = static_cast<int>(text.size());
  const int size = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), units, nullptr,
                                         0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), units, out.data(), size,
                          nullptr, nullptr);
  }
  return out;
}

}  // namespace fw
