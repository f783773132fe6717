#include "bootstrap/run/install_answer.h"

#include <algorithm>
#include <array>

#include "bootstrap/vocabulary/short_text.h"
#include "framework/text.h"

namespace setup {
namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

std::uint8_t Byte(std::string_view bytes, std::size_t i) {
  return static_cast<std::uint8_t>(bytes[i]);
}

void AppendCodePoint(std::wstring& out, std::uint32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<wchar_t>(cp));
  }
}

// A trailing odd byte is no character and is dropped.
std::wstring DecodeUtf16(std::string_view bytes, bool little_endian) {
  std::wstring out;
  out.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const unsigned lo = Byte(bytes, little_endian ? i : i + 1);
    const unsigned hi = Byte(bytes, little_endian ? i + 1 : i);
    out.push_back(static_cast<wchar_t>(hi << 8 | lo));
  }
  return out;
}

// The text ends at a NUL and the first line at CR or LF; a text that is empty has no lines.
template <typename Char>
std::optional<std::basic_string_view<Char>> FirstLine(std::basic_string_view<Char> text) {
  text = text.substr(0, text.find(Char{0}));
  if (text.empty()) {
    return std::nullopt;
  }
  const Char ends[] = {Char{'\r'}, Char{'\n'}};
  return text.substr(0, text.find_first_of(std::basic_string_view<Char>(ends, 2)));
}

std::optional<std::string> FirstUtf16Line(const std::wstring& text, const AnsiCodePage& code_page) {
  const auto line = FirstLine(std::wstring_view(text));
  if (!line) {
    return std::nullopt;
  }
  // Only the first 255 characters survive, and a character takes at most two units.
  return code_page.FromUtf16(line->substr(0, 2 * kShortStrMax));
}

}  // namespace

// Ill-formed input becomes U+FFFD, as MultiByteToWideChar(CP_UTF8) makes it. How many replace
// an overlong or surrogate form differs between platform versions; here it is one per maximal
// ill-formed subsequence, the practice Unicode recommends, so every build reads an answer alike.
std::wstring DecodeUtf8(std::string_view bytes) {
  std::wstring out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::uint8_t lead = Byte(bytes, i++);
    if (lead < 0x80) {
      out.push_back(static_cast<wchar_t>(lead));
      continue;
    }
    int trail = 0;
    std::uint32_t cp = 0;
    std::uint8_t low = 0x80;  // the range allowed for the first trail byte
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      trail = 1;
      cp = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      trail = 2;
      cp = lead & 0x0Fu;
      low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
      high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      trail = 3;
      cp = lead & 0x07u;
      low = lead == 0xF0 ? 0x90 : 0x80;
      high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing above U+10FFFF
    } else {
      out.push_back(L'\xFFFD');
      continue;
    }
    bool complete = true;
    for (int k = 0; k < trail; ++k, low = 0x80, high = 0xBF) {
      if (i == bytes.size() || Byte(bytes, i) < low || Byte(bytes, i) > high) {
        complete = false;
        break;
      }
      cp = cp << 6 | (Byte(bytes, i++) & 0x3Fu);
    }
    if (complete) {
      AppendCodePoint(out, cp);
    } else {
      out.push_back(L'\xFFFD');
    }
  }
  return out;
}

std::optional<std::string> FirstAnswerLine(std::string_view body, const AnsiCodePage& code_page) {
  std::optional<std::string> line;
  if (body.starts_with(kUtf8Mark)) {
    line = FirstUtf16Line(DecodeUtf8(body.substr(kUtf8Mark.size())), code_page);
  } else if (body.starts_with(kUtf16LeMark) || body.starts_with(kUtf16BeMark)) {
    line = FirstUtf16Line(DecodeUtf16(body.substr(2), body.starts_with(kUtf16LeMark)), code_page);
  } else if (const auto ansi = FirstLine(body)) {
    line = std::string(*ansi);
  }
  if (!line) {
    return std::nullopt;
  }
  // Cutting comes before trimming: blanks beyond the 255th character never count.
  return fw::ToUpperAscii(TrimShortStr(line->substr(0, kShortStrMax)));
}

std::string NextField(std::string& text) {
  const std::size_t bar = text.find('|');
  if (bar == std::string::npos) {
    return {};
  }
  std::string field = TrimShortStr(text.substr(0, bar));
  text.erase(0, bar + 1);
  return field;
}

std::optional<InstallAnswer> ParseInstallAnswer(std::string_view body,
                                                const AnsiCodePage& code_page) {
  std::optional<std::string> line = FirstAnswerLine(body, code_page);
  if (!line) {
    return std::nullopt;
  }
  if (*line == "0") {
    return InstallAnswer{{}, 0};
  }
  // The extra "|" lets a line without any still give its whole text as the URL.
  *line += '|';
  InstallAnswer answer{};
  answer.url = NextField(*line);
  // A size that is no number still gives a value: the position where parsing failed.
  answer.size = ShortStrToInt(NextField(*line)).value;
  // A field cut off at the 255th character has fewer than 64 digits and so counts as malformed.
  // An empty one (a trailing bar) binds nothing, like no field at all.
  if (const std::string hash = NextField(*line); !hash.empty()) {
    const std::optional<Sha256Digest> digest = ParseSha256Hex(hash);
    answer.hash = digest ? AnnouncedHash::kGiven : AnnouncedHash::kMalformed;
    answer.sha256 = digest.value_or(Sha256Digest{});
  }
  return answer;
}

}  // namespace setup
