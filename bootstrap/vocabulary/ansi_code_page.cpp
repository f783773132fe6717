#include "bootstrap/vocabulary/ansi_code_page.h"

#include <array>
#include <cstdint>

namespace setup {
namespace {

// Bytes 0x80-0x9F; the rest of the code page equals Latin-1.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t ByteToUnit(unsigned char byte) {
  return byte >= 0x80 && byte <= 0x9F ? kHighControls[byte - 0x80u] : char16_t{byte};
}

char UnitToByte(std::uint32_t unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
    return static_cast<char>(unit);
  }
  for (std::size_t i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] == unit) {
      return static_cast<char>(0x80 + i);
    }
  }
  return '?';
}

}  // namespace

std::string Windows1252CodePage::FromUtf16(std::wstring_view text) const {
  std::string out;
  out.reserve(text.size());
  for (const wchar_t unit : text) {
    out.push_back(UnitToByte(static_cast<std::uint32_t>(unit)));
  }
  return out;
}

std::wstring Windows1252CodePage::ToUtf16(std::string_view text) const {
  std::wstring out;
  out.reserve(text.size());
  for (const char byte : text) {
    out.push_back(static_cast<wchar_t>(ByteToUnit(static_cast<unsigned char>(byte))));
  }
  return out;
}

}  // namespace setup
