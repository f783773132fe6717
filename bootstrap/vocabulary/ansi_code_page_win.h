// The system's ANSI code page behind the code page seam.
#pragma once

#include "bootstrap/vocabulary/ansi_code_page.h"

namespace setup {

class SystemAnsiCodePage final : public AnsiCodePage {
 public:
  std::string FromUtf16(std::wstring_view text) const override;
  std::wstring ToUtf16(std::string_view text) const override;
};

}  // namespace setup
