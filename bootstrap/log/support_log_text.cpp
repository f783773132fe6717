#include "bootstrap/log/support_log_text.h"

#include "framework/text.h"

namespace setup {
namespace {

constexpr std::uint32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(std::uint32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(std::uint32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// wchar_t is signed on some platforms: a negative value becomes one past every code point.
std::uint32_t UnitAt(std::wstring_view text, std::size_t index) {
  return static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<wchar_t>>(text[index]));
}

// The code point at index and how many units it takes; U+FFFD for a lone surrogate or a value no
// code point has.
std::uint32_t CodePointAt(std::wstring_view text, std::size_t index, std::size_t& units) {
  const std::uint32_t unit = UnitAt(text, index);
  units = 1;
  if (IsHighSurrogate(unit) && index + 1 < text.size() && IsLowSurrogate(UnitAt(text, index + 1))) {
    units = 2;
    return 0x10000 + ((unit - 0xD800) << 10) + (UnitAt(text, index + 1) - 0xDC00);
  }
  if (IsHighSurrogate(unit) || IsLowSurrogate(unit) || unit > 0x10FFFF) {
    return kReplacement;
  }
  return unit;
}

// Characters that end a line in some reader, or reorder how the rest of it reads.
bool NeedsUnicodeEscape(std::uint32_t c) {
  return c == 0x200E || c == 0x200F || c == 0x2028 || c == 0x2029 || (c >= 0x202A && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069);
}

// The code point as written into the text (UTF-16 units), or its escape.
void AppendWritten(std::wstring& out, std::uint32_t c) {
  switch (c) {
    case '\r':
      out += L"\\r";
      return;
    case '\n':
      out += L"\\n";
      return;
    case '\t':
      out += L"\\t";
      return;
    case '\0':
      out += L"\\0";
      return;
    default:
      break;
  }
  if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
    out += L"\\x";
    out += fw::HexPiece(c, 2);
  } else if (NeedsUnicodeEscape(c)) {
    out += L"\\u";
    out += fw::HexPiece(c, 4);
  } else if (c > 0xFFFF) {
    out += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
    out += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
  } else {
    out += static_cast<wchar_t>(c);
  }
}

void AppendUtf8(std::string& out, std::uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

template <typename Char>
std::basic_string<Char> WithoutUserInfo(std::basic_string_view<Char> url) {
  using View = std::basic_string_view<Char>;
  constexpr Char kSchemeEnd[] = {':', '/', '/'};
  constexpr Char kAuthorityEnds[] = {'/', '\\', '?', '#'};
  std::size_t start = 0;
  if (const auto scheme_end = url.find(View(kSchemeEnd, 3)); scheme_end != View::npos) {
    start = scheme_end + 3;
  } else if (url.size() >= 2 && url[0] == '/' && url[1] == '/') {
    start = 2;
  }
  auto end = url.find_first_of(View(kAuthorityEnds, 4), start);
  if (end == View::npos) {
    end = url.size();
  }
  const auto at = url.substr(start, end - start).rfind(static_cast<Char>('@'));
  std::basic_string<Char> out(url);
  if (at != View::npos) {
    out.erase(start, at + 1);
  }
  return out;
}

}  // namespace

std::wstring EscapedLogText(std::wstring_view text) {
  std::wstring out;
  std::wstring written;
  std::size_t units = 0;
  for (std::size_t index = 0; index < text.size(); index += units) {
    written.clear();
    AppendWritten(written, CodePointAt(text, index, units));
    if (out.size() + written.size() > kLogTextLimit) {
      out += L" [... cut, ";
      out += fw::DecimalText<wchar_t>(static_cast<std::int64_t>(text.size()));
      out += L" characters in all]";
      break;
    }
    out += written;
  }
  return out;
}

std::string Utf16ToUtf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t units = 0;
  for (std::size_t index = 0; index < text.size(); index += units) {
    AppendUtf8(out, CodePointAt(text, index, units));
  }
  return out;
}

std::string SupportLogLine(std::uint64_t elapsed_ms, std::wstring_view text) {
  constexpr std::size_t kTimeWidth = 7;
  const std::string time = fw::DecimalText(static_cast<std::int64_t>(elapsed_ms));
  std::string line = "[";
  if (time.size() < kTimeWidth) {
    line.append(kTimeWidth - time.size(), ' ');
  }
  line += time;
  line += " ms] ";
  line += Utf16ToUtf8(EscapedLogText(text));
  line += "\r\n";
  return line;
}

std::wstring FailureLogText(const Failure& failure, std::wstring_view text) {
  std::wstring line = L"error: (";
  line.append(failure.call).append(L") ").append(text);
  if (!text.empty()) {
    line += L' ';
  }
  return line.append(L"EC=").append(std::wstring_view(fw::DecimalPiece(failure.code)));
}

std::wstring RedactedUrl(std::wstring_view url) {
  return WithoutUserInfo(url);
}

}  // namespace setup
