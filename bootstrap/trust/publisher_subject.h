// The publisher's subject as the build names it (SETUP_PUBLISHER_SUBJECT, "CN=..., O=..., C=...")
// and as a certificate carries it (a DER Name), both read into attributes of decoded text, so that
// the two compare whatever string type a CA chose for a value. Every byte of a certificate comes
// from a downloaded file: anything unexpected is refused (nullopt), or a value that never matches.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace setup {

// One attribute of a distinguished name: its type (the object identifier's content octets) and
// its value as Unicode text, in UTF-8 of valid characters only (so that equal texts are equal
// bytes); no value when a certificate's is of a type or encoding Setup does not read as text (it
// then equals nothing).
struct NameAttribute {
  std::vector<std::uint8_t> type;
  std::optional<std::string> value;
  bool operator==(const NameAttribute&) const = default;
};

// The configured subject's reading, in pieces the certificate's side shares (UTF-8 of valid
// characters).
namespace subject_text {

using Octets = std::vector<std::uint8_t>;

// The attribute types a publisher's subject is written with: 2.5.4.x and emailAddress, the
// object identifier's content octets (size of them used).
struct KnownType {
  std::string_view name;
  std::array<std::uint8_t, 9> oid;
  std::size_t size;
};

inline constexpr KnownType kKnownTypes[] = {
    {"CN", {0x55, 0x04, 0x03}, 3},
    {"SERIALNUMBER", {0x55, 0x04, 0x05}, 3},
    {"C", {0x55, 0x04, 0x06}, 3},
    {"L", {0x55, 0x04, 0x07}, 3},
    {"S", {0x55, 0x04, 0x08}, 3},
    {"ST", {0x55, 0x04, 0x08}, 3},
    {"STREET", {0x55, 0x04, 0x09}, 3},
    {"O", {0x55, 0x04, 0x0A}, 3},
    {"OU", {0x55, 0x04, 0x0B}, 3},
    {"E", {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x01}, 9},
    {"EMAILADDRESS", {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x01}, 9},
};

constexpr char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// A dotted object identifier's content octets: two arcs at least, the first 0, 1 or 2 (and the
// second below 40 unless the first is 2), each arc a decimal number below 2^32 without leading
// zeros.
constexpr std::optional<Octets> EncodeObjectId(std::string_view dotted) {
  std::vector<std::uint64_t> arcs;
  std::size_t at = 0;
  while (true) {
    const std::size_t end = std::min(dotted.find('.', at), dotted.size());
    const std::string_view arc = dotted.substr(at, end - at);
    if (arc.empty() || arc.size() > 10 || (arc.size() > 1 && arc[0] == '0') ||
        !std::ranges::all_of(arc, IsDigit)) {
      return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : arc) {
      value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value > 0xFFFFFFFFu) {
      return std::nullopt;
    }
    arcs.push_back(value);
    if (end == dotted.size()) {
      break;
    }
    at = end + 1;
  }
  if (arcs.size() < 2 || arcs[0] > 2 || (arcs[0] < 2 && arcs[1] >= 40)) {
    return std::nullopt;
  }
  arcs[1] += arcs[0] * 40;
  Octets oid;
  for (std::size_t i = 1; i < arcs.size(); ++i) {
    // Base 128, most significant group first, every group but the last with its top bit set.
    std::array<std::uint8_t, 10> groups{};
    std::size_t count = 0;
    std::uint64_t value = arcs[i];
    do {
      groups[count++] = static_cast<std::uint8_t>(value & 0x7F);
      value >>= 7;
    } while (value != 0);
    while (count > 0) {
      --count;
      oid.push_back(static_cast<std::uint8_t>(groups[count] | (count > 0 ? 0x80 : 0)));
    }
  }
  return oid;
}

constexpr std::optional<Octets> TypeOf(std::string_view name) {
  std::string upper(name);
  std::ranges::transform(upper, upper.begin(), Upper);
  for (const KnownType& known : kKnownTypes) {
    if (upper == known.name) {
      return Octets(known.oid.begin(), known.oid.begin() + static_cast<std::ptrdiff_t>(known.size));
    }
  }
  if (upper.starts_with("OID.")) {
    return EncodeObjectId(name.substr(4));
  }
  return EncodeObjectId(name);
}

// Text is kept as UTF-8 of valid characters: equal texts are equal bytes.
constexpr void AppendUtf8(std::string& text, char32_t c) {
  const auto put = [&text](std::uint32_t byte) { text.push_back(static_cast<char>(byte)); };
  if (c < 0x80) {
    put(c);
  } else if (c < 0x800) {
    put(0xC0 | (c >> 6));
    put(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    put(0xE0 | (c >> 12));
    put(0x80 | ((c >> 6) & 0x3F));
    put(0x80 | (c & 0x3F));
  } else {
    put(0xF0 | (c >> 18));
    put(0x80 | ((c >> 12) & 0x3F));
    put(0x80 | ((c >> 6) & 0x3F));
    put(0x80 | (c & 0x3F));
  }
}

// UTF-8 read and written again: no overlong forms, no surrogates, nothing past U+10FFFF, no NUL.
constexpr std::optional<std::string> DecodeUtf8(std::span<const std::uint8_t> bytes) {
  std::string text;
  for (std::size_t i = 0; i < bytes.size();) {
    const std::uint8_t lead = bytes[i];
    std::size_t count = 0;
    char32_t c = 0;
    char32_t least = 0;
    if (lead < 0x80) {
      c = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      count = 1, c = lead & 0x1Fu, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      count = 2, c = lead & 0x0Fu, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      count = 3, c = lead & 0x07u, least = 0x10000;
    } else {
      return std::nullopt;
    }
    if (bytes.size() - i - 1 < count) {
      return std::nullopt;
    }
    for (std::size_t k = 1; k <= count; ++k) {
      if ((bytes[i + k] & 0xC0) != 0x80) {
        return std::nullopt;
      }
      c = (c << 6) | (bytes[i + k] & 0x3Fu);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) || c == 0) {
      return std::nullopt;
    }
    AppendUtf8(text, c);
    i += count + 1;
  }
  return text;
}

// Reads one value of the configured subject from at, up to the separator after it (left at it).
// The UTF-8 bytes are gathered first, so that escaped bytes join the literal ones into characters.
constexpr std::optional<std::string> ReadValue(std::string_view text, std::size_t& at) {
  std::vector<std::uint8_t> bytes;
  const auto hex = [](char c) -> int {
    c = Upper(c);
    return IsDigit(c) ? c - '0' : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
  };
  // An escape: a special character or a space taken literally, or a byte in two hex digits.
  const auto escape = [&]() -> bool {
    if (at + 1 >= text.size()) {
      return false;
    }
    const char next = text[at + 1];
    if (std::string_view(",+;\"\\<>=# ").find(next) != std::string_view::npos) {
      bytes.push_back(static_cast<std::uint8_t>(next));
      at += 2;
      return true;
    }
    if (at + 2 < text.size() && hex(next) >= 0 && hex(text[at + 2]) >= 0) {
      bytes.push_back(static_cast<std::uint8_t>(hex(next) * 16 + hex(text[at + 2])));
      at += 3;
      return true;
    }
    return false;
  };
  if (at < text.size() && text[at] == '"') {
    for (++at;;) {
      if (at >= text.size()) {
        return std::nullopt;
      }
      if (text[at] == '"') {
        if (at + 1 < text.size() && text[at + 1] == '"') {
          bytes.push_back('"');
          at += 2;
          continue;
        }
        ++at;
        break;
      }
      if (text[at] == '\\') {
        if (!escape()) {
          return std::nullopt;
        }
        continue;
      }
      bytes.push_back(static_cast<std::uint8_t>(text[at++]));
    }
    while (at < text.size() && text[at] == ' ') {
      ++at;
    }
  } else {
    if (at < text.size() && text[at] == '#') {
      return std::nullopt;
    }
    // Spaces at the end are dropped unless escaped: kept counts the bytes up to the last one that
    // was not an unescaped space.
    std::size_t kept = 0;
    while (at < text.size() && std::string_view(",;+").find(text[at]) == std::string_view::npos) {
      const char c = text[at];
      if (c == '"' || c == '<' || c == '>') {
        return std::nullopt;
      }
      if (c == '\\') {
        if (!escape()) {
          return std::nullopt;
        }
        kept = bytes.size();
        continue;
      }
      bytes.push_back(static_cast<std::uint8_t>(c));
      ++at;
      if (c != ' ') {
        kept = bytes.size();
      }
    }
    bytes.resize(kept);
  }
  if (bytes.empty()) {
    return std::nullopt;
  }
  return DecodeUtf8(bytes);
}

}  // namespace subject_text

// Reads the configured subject, UTF-8 (when Setup is built, so that a subject it could never
// match does not build; the tests read it at run time): attributes separated by ',' (or ';', or '+'
// inside a multi-valued part), each TYPE=VALUE in any order. TYPE is CN, O, OU, L, S or ST, C,
// STREET, E or emailAddress, SERIALNUMBER (any case), or an object identifier (2.5.4.15,
// OID.2.5.4.15). VALUE as RFC 4514 writes it: spaces around it dropped, '\' before one of ,+;"\<>=#
// or a space taking it literally, '\' and two hex digits a byte of its UTF-8; or in double quotes,
// where separators need no escape and "" is one quote, as Windows writes names. Nullopt for an
// empty subject or value, an unknown type, an unescaped '"', '<' or '>', a value that starts with
// '#' (an encoded value), a NUL, or text that is not UTF-8.
constexpr std::optional<std::vector<NameAttribute>> ParsePublisherSubject(std::string_view text) {
  std::vector<NameAttribute> attributes;
  std::size_t at = 0;
  const auto skip_spaces = [&] {
    while (at < text.size() && text[at] == ' ') {
      ++at;
    }
  };
  while (true) {
    skip_spaces();
    const std::size_t equals = text.find('=', at);
    if (equals == std::string_view::npos) {
      return std::nullopt;
    }
    std::string_view name = text.substr(at, equals - at);
    while (!name.empty() && name.back() == ' ') {
      name.remove_suffix(1);
    }
    std::optional<subject_text::Octets> type = subject_text::TypeOf(name);
    if (!type) {
      return std::nullopt;
    }
    at = equals + 1;
    skip_spaces();
    std::optional<std::string> value = subject_text::ReadValue(text, at);
    if (!value ||
        (at < text.size() && std::string_view(",;+").find(text[at]) == std::string_view::npos)) {
      return std::nullopt;
    }
    attributes.push_back({std::move(*type), std::move(*value)});
    if (at == text.size()) {
      return attributes;
    }
    ++at;  // the separator
  }
}

// Reads a DER Name (the whole SEQUENCE) into its attributes, in order, multi-valued parts
// flattened. Values of PrintableString, IA5String, VisibleString, NumericString, UTF8String,
// BMPString, UniversalString and TeletexString are text; anything else, text that is not valid in
// its encoding, or text with a NUL, is kept without a value. Nullopt when the encoding is not a
// Name.
std::optional<std::vector<NameAttribute>> DecodeName(std::span<const std::uint8_t> name);

// Whether subject is the wanted publisher's: for every type that wanted names, subject has exactly
// the values wanted gives that type (as many, and equal, in any order). Types wanted does not name
// may be there too. Values compare exactly, code point for code point: case included.
bool SubjectMatches(const std::vector<NameAttribute>& wanted,
                    const std::vector<NameAttribute>& subject);

}  // namespace setup
