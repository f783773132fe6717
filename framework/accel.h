// Accelerator characters of captions: a single "&" marks the character after it, "&&" stands for
// a literal "&". Pure, so the matching rule is unit tested natively.
#pragma once

#include <string>

namespace fw {

// Upper case for the comparison: ASCII and the Latin-1 letters, which is what captions of this
// program can hold; everything else compares as it is.
constexpr wchar_t AccelUpper(wchar_t ch) {
  if (ch >= L'a' && ch <= L'z') {
    return static_cast<wchar_t>(ch - (L'a' - L'A'));
  }
  if (ch >= 0xE0 && ch <= 0xFE && ch != 0xF7) {
    return static_cast<wchar_t>(ch - 0x20);
  }
  return ch;
}

// The marked character of a caption, or 0 when it has none (no "&", or "&" as the last character).
inline wchar_t AccelChar(const std::wstring& caption) {
  for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] == L'&') {
      if (caption[i + 1] != L'&') {
        return caption[i + 1];
      }
      ++i;  // "&&" is a literal "&", never a marker
    }
  }
  return 0;
}

// The caption as a person reads it: every marking "&" left out, "&&" read as one "&".
inline std::wstring CaptionText(const std::wstring& caption) {
  std::wstring text;
  text.reserve(caption.size());
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == L'&') {
      if (i + 1 == caption.size()) {
        break;  // a trailing "&" marks nothing and is not shown
      }
      ++i;
    }
    text.push_back(caption[i]);
  }
  return text;
}

// True when ch equals, regardless of case, the character the caption marks.
inline bool IsAccel(wchar_t ch, const std::wstring& caption) {
  const wchar_t marked = AccelChar(caption);
  return marked != 0 && ch != 0 && AccelUpper(marked) == AccelUpper(ch);
}

// The text a caption is measured by: a single space stands in for an empty caption and, when "&"
// marks accelerators, for a lone "&", so the control keeps one line's height.
inline std::wstring MeasuredCaption(const std::wstring& caption, bool show_accel_char) {
  if (caption.empty() || (show_accel_char && caption == L"&")) {
    return L" ";
  }
  return caption;
}

}  // namespace fw
