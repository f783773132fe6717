// The publisher's subject as the build names it (SETUP_PUBLISHER_SUBJECT, "CN=..., O=..., C=...")
// and as a certificate carries it (a DER Name), both read into attributes of decoded text, so that
// the two compare whatever string type a CA chose for a value. Every byte of a certificate comes
// from a downloaded file: anything unexpected is refused (nullopt), or a value that never matches.
#pragma once

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

// Reads the configured subject, UTF-8: attributes separated by ',' (or ';', or '+' inside a
// multi-valued part), each TYPE=VALUE in any order. TYPE is CN, O, OU, L, S or ST, C, STREET,
// E or emailAddress, SERIALNUMBER (any case), or an object identifier (2.5.4.15, OID.2.5.4.15).
// VALUE as RFC 4514 writes it: spaces around it dropped, '\' before one of ,+;"\<>=# or a space
// taking it literally, '\' and two hex digits a byte of its UTF-8; or in double quotes, where
// separators need no escape and "" is one quote, as Windows writes names. Nullopt for an empty
// subject or value, an unknown type, an unescaped '"', '<' or '>', a value that starts with '#'
// (an encoded value), a NUL, or text that is not UTF-8.
std::optional<std::vector<NameAttribute>> ParsePublisherSubject(std::string_view text);

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
