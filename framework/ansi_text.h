// Conversions between UTF-16 and the system's ANSI code page, the one place that calls
// MultiByteToWideChar / WideCharToMultiByte.
#pragma once

#include <string>
#include <string_view>

namespace fw {

std::wstring AnsiToUtf16(std::string_view text);
// No best-fit mapping: a character the code page lacks becomes "?" instead of a look-alike, so a
// URL cannot gain a "/" or ":" that was never there.
std::string Utf16ToAnsi(std::wstring_view text);

}  // namespace fw
