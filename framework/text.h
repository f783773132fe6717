// Small text chores shared by the program and the widgets: the blank test, trimming and ASCII
// upper case. Pure (no windows.h), so the portable code of every layer uses them natively too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace fw {

// A character whose code is 32 or lower: space and the control characters.
template <typename Char>
constexpr bool IsBlank(Char c) {
  return static_cast<std::make_unsigned_t<Char>>(c) <= 32;
}

// The text without leading and trailing blanks.
template <typename Char>
constexpr std::basic_string_view<Char> TrimBlanks(std::basic_string_view<Char> text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) {
    ++begin;
  }
  while (end > begin && IsBlank(text[end - 1])) {
    --end;
  }
  return text.substr(begin, end - begin);
}

// True when the text holds nothing above a blank.
template <typename Char>
constexpr bool IsAllBlank(std::basic_string_view<Char> text) {
  return TrimBlanks(text).empty();
}

// "a" to "z" become "A" to "Z"; every other byte stays, so an ANSI text keeps its other letters.
inline std::string ToUpperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return text;
}

// A number's shortest decimal text, "-" first when it is negative, as a piece of a longer text
// with no string of its own. With HexPiece below, the one place digits are written, by hand: the
// library's formatting would pull a printf engine into the executable.
template <typename Char>
class BasicDecimalPiece {
 public:
  explicit BasicDecimalPiece(std::int64_t value) noexcept {
    // The magnitude as unsigned, so the most negative value has one too.
    std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    do {
      digits_[--start_] = static_cast<Char>('0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) {
      digits_[--start_] = static_cast<Char>('-');
    }
  }
  operator std::basic_string_view<Char>() const noexcept {
    return {digits_ + start_, kSize - start_};
  }

 private:
  static constexpr std::size_t kSize = 20;  // "-9223372036854775808"
  Char digits_[kSize];
  std::size_t start_ = kSize;
};

using DecimalPiece = BasicDecimalPiece<wchar_t>;

// A number's last `digits` hexadecimal digits (at most 16), upper case, zeros in front: how the log
// escapes a character and how the platform's documentation writes its codes (0x800B0100).
class HexPiece {
 public:
  HexPiece(std::uint64_t value, std::size_t digits) noexcept
      : size_(digits < kMaxDigits ? digits : kMaxDigits) {
    for (std::size_t i = size_; i-- > 0; value >>= 4) {
      digits_[i] = L"0123456789ABCDEF"[value & 0xF];
    }
  }
  operator std::wstring_view() const noexcept { return {digits_, size_}; }

 private:
  static constexpr std::size_t kMaxDigits = 16;
  wchar_t digits_[kMaxDigits];
  std::size_t size_;
};

// The same text as a string of its own.
template <typename Char = char>
std::basic_string<Char> DecimalText(std::int64_t value) {
  return std::basic_string<Char>(std::basic_string_view<Char>(BasicDecimalPiece<Char>(value)));
}

}  // namespace fw
