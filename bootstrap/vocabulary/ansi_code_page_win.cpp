#include "bootstrap/vocabulary/ansi_code_page_win.h"

#include "framework/ansi_text.h"

namespace setup {

std::string SystemAnsiCodePage::FromUtf16(std::wstring_view text) const {
  return fw::Utf16ToAnsi(text);
}

std::wstring SystemAnsiCodePage::ToUtf16(std::string_view text) const {
  return fw::AnsiToUtf16(text);
}

}  // namespace setup
