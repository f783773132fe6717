// Texts of at most 255 characters: the trimming and number routines the query, the environment
// selection and the download meter share. Longer input is cut to its first 255 characters first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "framework/text.h"

namespace setup {

inline constexpr std::size_t kShortStrMax = 255;

// The text without leading and trailing characters whose codes are 32 or lower.
std::string TrimShortStr(const std::string& text);

// The shortest decimal text of the value, "-" first when it is negative.
std::string IntToShortStr(std::int32_t value);

// A number as a piece of a text, with no string of its own: JoinedText({L"EC=", DecimalPiece(5)}).
using DecimalPiece = fw::DecimalPiece;

// The pieces one after another, in one allocation: the way the program's messages are built.
std::wstring JoinedText(std::initializer_list<std::wstring_view> pieces);

struct ShortStrInt {
  std::int32_t value;  // the number, or the 1-based position where parsing failed
  bool ok;
};

// Decimal, or hexadecimal after "$", "x", "X", "0x" or "0X" (32-bit two's complement).
ShortStrInt ShortStrToInt(const std::string& text);

// The value of a hexadecimal digit in either case, -1 for any other character.
int HexDigit(char c);

}  // namespace setup
