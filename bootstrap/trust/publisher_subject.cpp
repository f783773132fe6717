#include "bootstrap/trust/publisher_subject.h"

#include <algorithm>

#include "bootstrap/trust/der.h"

namespace setup {
namespace {

using subject_text::AppendUtf8;
using subject_text::DecodeUtf8;
using subject_text::Octets;

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
