#include "bootstrap/trust/publisher_subject.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "bootstrap/trust/der.h"

namespace setup {
namespace {

using Octets = std::vector<std::uint8_t>;

// The attribute types a publisher's subject is written with: 2.5.4.x and emailAddress, the
// object identifier's content octets (size of them used).
struct KnownType {
  std::string_view name;
  std::array<std::uint8_t, 9> oid;
  std::size_t size;
};

constexpr KnownType kKnownTypes[] = {
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

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// A dotted object identifier's content octets: two arcs at least, the first 0, 1 or 2 (and the
// second below 40 unless the first is 2), each arc a decimal number below 2^32 without leading
// zeros.
std::optional<Octets> EncodeObjectId(std::string_view dotted) {
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

std::optional<Octets> TypeOf(std::string_view name) {
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
void AppendUtf8(std::string& text, char32_t c) {
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
std::optional<std::string> DecodeUtf8(std::span<const std::uint8_t> bytes) {
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
std::optional<std::string> ReadValue(std::string_view text, std::size_t& at) {
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

// -- a certificate's string values ----------------------------------------------------------------

constexpr std::uint8_t kUtf8String = 0x0C;
constexpr std::uint8_t kNumericString = 0x12;
constexpr std::uint8_t kPrintableString = 0x13;
constexpr std::uint8_t kTeletexString = 0x14;
constexpr std::uint8_t kIa5String = 0x16;
constexpr std::uint8_t kVisibleString = 0x1A;
constexpr std::uint8_t kUniversalString = 0x1C;
constexpr std::uint8_t kBmpString = 0x1E;

bool IsCharacter(char32_t c) {
  return c != 0 && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

std::optional<std::string> DecodeValue(const der::Element& value) {
  const der::Bytes bytes = value.content;
  std::string text;
  switch (value.tag) {
    case kUtf8String:
      return DecodeUtf8(bytes);
    case kNumericString:
    case kPrintableString:
    case kIa5String:
    case kVisibleString:
      for (const std::uint8_t b : bytes) {
        if (b == 0 || b >= 0x80) {
          return std::nullopt;
        }
        text.push_back(static_cast<char>(b));
      }
      return text;
    case kTeletexString:
      // What CAs put in a TeletexString is UTF-8 or Latin-1 in practice, never T.61's own
      // repertoire; Windows reads it the same way: UTF-8 when it is that, else a byte a character.
      if (std::optional<std::string> utf8 = DecodeUtf8(bytes)) {
        return utf8;
      }
      for (const std::uint8_t b : bytes) {
        if (b == 0) {
          return std::nullopt;
        }
        AppendUtf8(text, b);
      }
      return text;
    case kBmpString:
      // UTF-16, big-endian; a surrogate pair is read as the one character it stands for.
      if (bytes.size() % 2 != 0) {
        return std::nullopt;
      }
      for (std::size_t i = 0; i < bytes.size(); i += 2) {
        char32_t c = static_cast<char32_t>((bytes[i] << 8) | bytes[i + 1]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 3 < bytes.size()) {
          const char32_t low = static_cast<char32_t>((bytes[i + 2] << 8) | bytes[i + 3]);
          if (low >= 0xDC00 && low <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
          }
        }
        if (!IsCharacter(c)) {
          return std::nullopt;
        }
        AppendUtf8(text, c);
      }
      return text;
    case kUniversalString:
      if (bytes.size() % 4 != 0) {
        return std::nullopt;
      }
      for (std::size_t i = 0; i < bytes.size(); i += 4) {
        const char32_t c = (static_cast<char32_t>(bytes[i]) << 24) |
                           (static_cast<char32_t>(bytes[i + 1]) << 16) |
                           (static_cast<char32_t>(bytes[i + 2]) << 8) | bytes[i + 3];
        if (!IsCharacter(c)) {
          return std::nullopt;
        }
        AppendUtf8(text, c);
      }
      return text;
    default:
      return std::nullopt;
  }
}

}  // namespace

std::optional<std::vector<NameAttribute>> ParsePublisherSubject(std::string_view text) {
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
    std::optional<Octets> type = TypeOf(name);
    if (!type) {
      return std::nullopt;
    }
    at = equals + 1;
    skip_spaces();
    std::optional<std::string> value = ReadValue(text, at);
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

std::optional<std::vector<NameAttribute>> DecodeName(std::span<const std::uint8_t> name) {
  der::Reader outer(name);
  const std::optional<der::Element> sequence = outer.Next(der::kSequence);
  if (!sequence || !outer.AtEnd()) {
    return std::nullopt;
  }
  std::vector<NameAttribute> attributes;
  der::Reader parts(sequence->content);
  while (!parts.AtEnd()) {
    const std::optional<der::Element> part = parts.Next(der::kSet);
    if (!part || part->content.empty()) {
      return std::nullopt;
    }
    der::Reader values(part->content);
    while (!values.AtEnd()) {
      const std::optional<der::Element> pair = values.Next(der::kSequence);
      if (!pair) {
        return std::nullopt;
      }
      der::Reader fields(pair->content);
      const std::optional<der::Element> type = fields.Next(der::kObjectId);
      const std::optional<der::Element> value = fields.Next();
      if (!type || type->content.empty() || !value || !fields.AtEnd()) {
        return std::nullopt;
      }
      attributes.push_back(
          {Octets(type->content.begin(), type->content.end()), DecodeValue(*value)});
    }
  }
  return attributes;
}

// Exact, case included: a CA writes the names it verified as the publisher spelled them, and
// renews them unchanged; folding case (in Unicode, locale by locale) would only let more names
// pass than the one pinned.
bool SubjectMatches(const std::vector<NameAttribute>& wanted,
                    const std::vector<NameAttribute>& subject) {
  if (wanted.empty()) {
    return false;
  }
  // The same values of each type wanted, as many times each: the same number of values of the
  // type, and of each wanted value. A value that could not be read equals nothing.
  const auto count = [](const std::vector<NameAttribute>& name, const NameAttribute& of,
                        bool value_too) {
    return std::ranges::count_if(name, [&](const NameAttribute& a) {
      return a.type == of.type && (!value_too || (a.value && a.value == of.value));
    });
  };
  return std::ranges::all_of(wanted, [&](const NameAttribute& attribute) {
    return attribute.value && count(subject, attribute, false) == count(wanted, attribute, false) &&
           count(subject, attribute, true) == count(wanted, attribute, true);
  });
}

}  // namespace setup
