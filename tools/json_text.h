// UTF-16 to UTF-8 and JSON string quoting for the test helpers, which report what they see as
// one line of JSON so that scripts never have to guess at line ends or code pages.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>

namespace tools {

inline std::string Utf8(std::wstring_view text) {
  if (text.empty()) {
    return {};
  }
  const int wide_length = static_cast<int>(text.size());
  const int length =
      ::WideCharToMultiByte(CP_UTF8, 0, text.data(), wide_length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), wide_length, out.data(), length, nullptr, nullptr);
  return out;
}

// A JSON string literal, quotes included; control characters stay visible as escapes.
inline std::string JsonString(std::wstring_view text) {
  std::wstring escaped = L"\"";
  for (wchar_t c : text) {
    switch (c) {
      case L'"':
        escaped += L"\\\"";
        break;
      case L'\\':
        escaped += L"\\\\";
        break;
      case L'\r':
        escaped += L"\\r";
        break;
      case L'\n':
        escaped += L"\\n";
        break;
      case L'\t':
        escaped += L"\\t";
        break;
      default:
        if (c < 0x20) {
          wchar_t code[8];
          std::swprintf(code, 8, L"\\u%04x", static_cast<unsigned>(c));
          escaped += code;
        } else {
          escaped += c;
        }
    }
  }
  escaped += L'"';
  return Utf8(escaped);
}

}  // namespace tools
