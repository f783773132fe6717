#include "bootstrap/vocabulary/short_text.h"

#include <limits>

#include "framework/text.h"

namespace setup {
namespace {

ShortStrInt FailAt(std::size_t index) {
  return {static_cast<std::int32_t>(index + 1), false};
}

}  // namespace

int HexDigit(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

std::string TrimShortStr(const std::string& text) {
  const std::string_view cut = std::string_view(text).substr(0, kShortStrMax);
  return std::string(fw::TrimBlanks(cut));
}

std::string IntToShortStr(std::int32_t value) {
  return fw::DecimalText<char>(value);
}

ShortStrInt ShortStrToInt(const std::string& text) {
  std::string s = text.substr(0, kShortStrMax);
  while (!s.empty() && s.back() == ' ') {
    s.pop_back();
  }
  const std::size_t n = s.size();
  std::size_t i = 0;
  while (i < n && s[i] == ' ') {
    ++i;
  }
  bool negative = false;
  if (i < n && (s[i] == '-' || s[i] == '+')) {
    negative = s[i] == '-';
    ++i;
  }

  const bool zero_x = i + 1 < n && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X');
  if (zero_x || (i < n && (s[i] == '$' || s[i] == 'x' || s[i] == 'X'))) {
    i += zero_x ? 2 : 1;
    if (i == n) {
      // The position reported for a bare prefix lies one further than for other missing digits.
      return FailAt(n + 1);
    }
    std::uint32_t value = 0;
    for (; i < n; ++i) {
      const int digit = HexDigit(s[i]);
      if (digit < 0 || value > 0x0FFFFFFFu) {
        return FailAt(i);
      }
      value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    // Unsigned negation wraps like the two's-complement result it stands for.
    return {static_cast<std::int32_t>(negative ? 0u - value : value), true};
  }

  if (i == n) {
    return FailAt(n);
  }
  std::uint32_t value = 0;
  for (; i < n; ++i) {
    if (s[i] < '0' || s[i] > '9' || value > 214748364u) {
      return FailAt(i);
    }
    value = value * 10 + static_cast<std::uint32_t>(s[i] - '0');
  }
  const std::uint32_t limit = std::numeric_limits<std::int32_t>::max() + (negative ? 1u : 0u);
  if (value > limit) {
    return FailAt(n);
  }
  return {static_cast<std::int32_t>(negative ? 0u - value : value), true};
}

std::wstring JoinedText(std::initializer_list<std::wstring_view> pieces) {
  std::size_t size = 0;
  for (const std::wstring_view piece : pieces) {
    size += piece.size();
  }
  std::wstring text;
  text.reserve(size);
  for (const std::wstring_view piece : pieces) {
    text += piece;
  }
  return text;
}

}  // namespace setup
