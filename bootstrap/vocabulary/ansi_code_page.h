// The seam between UTF-16 and the system's ANSI code page, so that the answer parsing needs no
// windows.h. The program uses the system's code page; tests and the fuzzer use Windows-1252.
#pragma once

#include <string>
#include <string_view>

namespace setup {

class AnsiCodePage {
 public:
  virtual ~AnsiCodePage() = default;
  // Characters the code page lacks become "?".
  virtual std::string FromUtf16(std::wstring_view text) const = 0;
  virtual std::wstring ToUtf16(std::string_view text) const = 0;
};

// Windows-1252 as the platform maps it: the five unassigned bytes stand for the C1 controls of the
// same value, and each UTF-16 unit is converted on its own (a surrogate pair gives "??").
class Windows1252CodePage final : public AnsiCodePage {
 public:
  std::string FromUtf16(std::wstring_view text) const override;
  std::wstring ToUtf16(std::string_view text) const override;
};

}  // namespace setup
