#include "bootstrap/vocabulary/system_error_text.h"

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

}  // namespace setup
