// The text of the application's default error report, kept pure so that its one rule is unit
// tested natively: the message gets a "." when its last character has a higher code than ".".
#pragma once

#include <string>

namespace fw {

inline std::wstring ErrorReportText(const std::wstring& message) {
  std::wstring text = message;
  if (!text.empty() && static_cast<unsigned>(text.back()) > static_cast<unsigned>(L'.')) {
    text += L'.';
  }
  return text;
}

}  // namespace fw
