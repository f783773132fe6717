#include "bootstrap/vocabulary/system_error_text.h"

#include <wininet.h>

#include <array>

namespace setup {

std::wstring SystemErrorText(DWORD code, HMODULE messages) {
  // System messages are far shorter than this; a longer one is cut, never overrun.
  std::array<wchar_t, 1024> buffer{};
  const DWORD length = ::FormatMessageW(
      (messages != nullptr ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM) |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      messages, code, 0, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr);
  std::wstring text(buffer.data(), length);
  while (!text.empty() && (text.back() <= L' ' || text.back() == L'.')) {
    text.pop_back();
  }
  return text;
}

std::wstring ErrorCodeText(DWORD code) {
  if (code >= INTERNET_ERROR_BASE && code <= INTERNET_ERROR_LAST) {
    // A WinInet code comes from WinInet, which is then loaded from the system directory and kept
    // so: its table is looked up, never loaded here.
    if (const HMODULE wininet = ::GetModuleHandleW(L"wininet.dll"); wininet != nullptr) {
      if (std::wstring text = SystemErrorText(code, wininet); !text.empty()) {
        return text;
      }
    }
  }
  return SystemErrorText(code);
}

}  // namespace setup
