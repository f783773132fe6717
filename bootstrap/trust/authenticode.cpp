#include "bootstrap/trust/authenticode.h"

#include <algorithm>
#include <array>

#include "bootstrap/trust/der.h"

namespace setup {
namespace {

std::uint32_t Little16(Bytes bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at] | (bytes[at + 1] << 8));
}

std::uint32_t Little32(Bytes bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | (static_cast<std::uint32_t>(bytes[at + 1]) << 8) |
         (static_cast<std::uint32_t>(bytes[at + 2]) << 16) |
         (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

// The PE format's fixed offsets.
constexpr std::size_t kDosHeaderSize = 64;
constexpr std::size_t kNewHeaderPointer = 0x3C;
constexpr std::size_t kFileHeaderSize = 20;
constexpr std::size_t kOptionalHeaderSizeField = 16;  // within the file header
constexpr std::uint32_t kPe32Magic = 0x10B;
constexpr std::uint32_t kPe32PlusMagic = 0x20B;
constexpr std::size_t kChecksumField = 64;  // within the optional header, either kind
constexpr std::size_t kSecurityDirectory = 4;
constexpr std::size_t kDirectoryEntrySize = 8;
constexpr std::uint32_t kWinCertRevision2 = 0x0200;
constexpr std::uint32_t kWinCertTypePkcsSignedData = 0x0002;
constexpr std::size_t kWinCertHeaderSize = 8;

}  // namespace

std::optional<PeSignatureLayout> ReadPeSignatureLayout(Bytes header, std::uint64_t file_size) {
  header = header.first(static_cast<std::size_t>(
      std::min<std::uint64_t>({header.size(), file_size, kPeHeaderReadSize})));
  if (header.size() < kDosHeaderSize || header[0] != 'M' || header[1] != 'Z') {
    return std::nullopt;
  }
  // Every offset below is checked against the header's size before it is read; the sums stay far
  // below 2^64 because each term is at most 2^32.
  const std::uint64_t pe = Little32(header, kNewHeaderPointer);
  const std::uint64_t optional = pe + 4 + kFileHeaderSize;
  if (optional + 2 > header.size()) {
    return std::nullopt;
  }
  const std::size_t at = static_cast<std::size_t>(pe);
  if (header[at] != 'P' || header[at + 1] != 'E' || header[at + 2] != 0 || header[at + 3] != 0) {
    return std::nullopt;
  }
  const std::uint64_t optional_size = Little16(header, at + 4 + kOptionalHeaderSizeField);
  const std::uint32_t magic = Little16(header, static_cast<std::size_t>(optional));
  std::uint64_t count_field = 0;
  if (magic == kPe32Magic) {
    count_field = 92;
  } else if (magic == kPe32PlusMagic) {
    count_field = 108;
  } else {
    return std::nullopt;
  }
  const std::uint64_t directories = count_field + 4;
  const std::uint64_t directory = optional + directories + kSecurityDirectory * kDirectoryEntrySize;
  const std::uint64_t directory_end = directory + kDirectoryEntrySize;
  // The certificate table's entry must lie within the optional header as the file declares it.
  if (directory_end > optional + optional_size || directory_end > header.size()) {
    return std::nullopt;
  }
  if (Little32(header, static_cast<std::size_t>(optional + count_field)) <= kSecurityDirectory) {
    return std::nullopt;
  }
  PeSignatureLayout layout;
  layout.checksum_offset = optional + kChecksumField;
  layout.directory_offset = directory;
  const std::uint64_t table = Little32(header, static_cast<std::size_t>(directory));
  const std::uint64_t table_size = Little32(header, static_cast<std::size_t>(directory) + 4);
  if (table == 0 && table_size == 0) {
    return layout;
  }
  // A table within the headers, or with data after it, would leave bytes out of the digest, or
  // count them twice.
  if (table_size == 0 || table < directory_end || table + table_size != file_size) {
    return std::nullopt;
  }
  layout.table = {table, table_size};
  return layout;
}

std::vector<ByteRange> ImageDigestRanges(const PeSignatureLayout& layout, std::uint64_t file_size) {
  const std::uint64_t table_end = layout.table.offset + layout.table.size;
  const std::uint64_t stop = layout.table.size == 0 ? file_size : layout.table.offset;
  std::vector<ByteRange> ranges;
  const auto add = [&ranges](std::uint64_t from, std::uint64_t to) {
    if (to > from) {
      ranges.push_back({from, to - from});
    }
  };
  add(0, layout.checksum_offset);
  add(layout.checksum_offset + 4, layout.directory_offset);
  add(layout.directory_offset + kDirectoryEntrySize, stop);
  if (layout.table.size != 0) {
    add(table_end, file_size);
  }
  return ranges;
}

std::size_t DigestSize(DigestAlgorithm algorithm) {
  switch (algorithm) {
    case DigestAlgorithm::kSha256:
      return 32;
    case DigestAlgorithm::kSha384:
      return 48;
    case DigestAlgorithm::kSha512:
      return 64;
  }
  return 0;
}

namespace {

using der::Element;
using der::IsObjectId;
using der::kContext0;
using der::kContext1;
using der::kInteger;
using der::kObjectId;
using der::kOctetString;
using der::kSequence;
using der::kSet;
using DerReader = der::Reader;

// 1.2.840.113549.1.7.2
constexpr std::array<std::uint8_t, 9> kSignedDataOid = {0x2A, 0x86, 0x48, 0x86, 0xF7,
                                                        0x0D, 0x01, 0x07, 0x02};
// 1.3.6.1.4.1.311.2.1.4
constexpr std::array<std::uint8_t, 10> kIndirectDataOid = {0x2B, 0x06, 0x01, 0x04, 0x01,
                                                           0x82, 0x37, 0x02, 0x01, 0x04};
// 1.3.6.1.4.1.311.2.1.15
constexpr std::array<std::uint8_t, 10> kPeImageDataOid = {0x2B, 0x06, 0x01, 0x04, 0x01,
                                                          0x82, 0x37, 0x02, 0x01, 0x0F};
// 1.2.840.113549.1.9.4
constexpr std::array<std::uint8_t, 9> kMessageDigestOid = {0x2A, 0x86, 0x48, 0x86, 0xF7,
                                                           0x0D, 0x01, 0x09, 0x04};
// 2.16.840.1.101.3.4.2.1, .2 and .3
constexpr std::array<std::uint8_t, 9> kSha256Oid = {0x60, 0x86, 0x48, 0x01, 0x65,
                                                    0x03, 0x04, 0x02, 0x01};
constexpr std::array<std::uint8_t, 9> kSha384Oid = {0x60, 0x86, 0x48, 0x01, 0x65,
                                                    0x03, 0x04, 0x02, 0x02};
constexpr std::array<std::uint8_t, 9> kSha512Oid = {0x60, 0x86, 0x48, 0x01, 0x65,
                                                    0x03, 0x04, 0x02, 0x03};

// An AlgorithmIdentifier of a digest Setup accepts.
std::optional<DigestAlgorithm> ReadDigestAlgorithm(const Element& identifier) {
  if (identifier.tag != kSequence) {
    return std::nullopt;
  }
  DerReader reader(identifier.content);
  const std::optional<Element> oid = reader.Next(kObjectId);
  if (!oid) {
    return std::nullopt;
  }
  if (IsObjectId(*oid, kSha256Oid)) {
    return DigestAlgorithm::kSha256;
  }
  if (IsObjectId(*oid, kSha384Oid)) {
    return DigestAlgorithm::kSha384;
  }
  if (IsObjectId(*oid, kSha512Oid)) {
    return DigestAlgorithm::kSha512;
  }
  return std::nullopt;
}

// SpcIndirectDataContent: the kind of data and the digest of the file.
bool ReadIndirectData(const Element& indirect, AuthenticodeContent& content) {
  if (indirect.tag != kSequence) {
    return false;
  }
  DerReader reader(indirect.content);
  const std::optional<Element> data = reader.Next(kSequence);
  const std::optional<Element> digest_info = reader.Next(kSequence);
  if (!data || !digest_info || !reader.AtEnd()) {
    return false;
  }
  DerReader data_reader(data->content);
  const std::optional<Element> type = data_reader.Next(kObjectId);
  content.pe_image = type && IsObjectId(*type, kPeImageDataOid);

  DerReader digest_reader(digest_info->content);
  const std::optional<Element> algorithm = digest_reader.Next(kSequence);
  const std::optional<Element> digest = digest_reader.Next(kOctetString);
  if (!algorithm || !digest || !digest_reader.AtEnd()) {
    return false;
  }
  const std::optional<DigestAlgorithm> known = ReadDigestAlgorithm(*algorithm);
  if (!known || digest->content.size() != DigestSize(*known)) {
    return false;
  }
  content.image_algorithm = *known;
  content.image_digest = digest->content;
  // The message digest covers the value octets only, without the sequence's tag and length.
  content.indirect_content = indirect.content;
  return true;
}

// The one SignerInfo: its digest algorithm and its signed attributes' one message digest.
bool ReadSigner(const Element& signer, AuthenticodeContent& content) {
  if (signer.tag != kSequence) {
    return false;
  }
  DerReader reader(signer.content);
  const std::optional<Element> version = reader.Next(kInteger);
  const std::optional<Element> signer_id = reader.Next();  // issuer and serial, or a key id
  const std::optional<Element> algorithm = reader.Next(kSequence);
  const std::optional<Element> attributes = reader.Next(kContext0);
  if (!version || !signer_id || !algorithm || !attributes) {
    return false;
  }
  const std::optional<DigestAlgorithm> known = ReadDigestAlgorithm(*algorithm);
  if (!known) {
    return false;
  }
  std::optional<Bytes> digest;
  DerReader attribute_reader(attributes->content);
  while (!attribute_reader.AtEnd()) {
    const std::optional<Element> attribute = attribute_reader.Next(kSequence);
    if (!attribute) {
      return false;
    }
    DerReader parts(attribute->content);
    const std::optional<Element> type = parts.Next(kObjectId);
    const std::optional<Element> values = parts.Next(kSet);
    if (!type || !values || !parts.AtEnd()) {
      return false;
    }
    if (!IsObjectId(*type, kMessageDigestOid)) {
      continue;
    }
    DerReader value_reader(values->content);
    const std::optional<Element> value = value_reader.Next(kOctetString);
    // A second message digest, or a second value, would leave open which one was meant.
    if (digest || !value || !value_reader.AtEnd()) {
      return false;
    }
    digest = value->content;
  }
  if (!digest || digest->size() != DigestSize(*known)) {
    return false;
  }
  content.signer_algorithm = *known;
  content.message_digest = *digest;
  return true;
}

}  // namespace

std::optional<Bytes> SignatureBlob(Bytes table) {
  if (table.size() < kWinCertHeaderSize) {
    return std::nullopt;
  }
  const std::uint64_t length = Little32(table, 0);
  if (length < kWinCertHeaderSize || length > table.size() ||
      Little16(table, 4) != kWinCertRevision2 || Little16(table, 6) != kWinCertTypePkcsSignedData) {
    return std::nullopt;
  }
  // Exactly one entry, padded to eight bytes, filling the table: no digest covers the table, so
  // a second entry or bytes after the first would ride along with a valid signature unchecked.
  if ((length + 7) / 8 * 8 != table.size()) {
    return std::nullopt;
  }
  // Likewise inside the entry: the signature's encoding, then at most the seven zero bytes that
  // pad it to eight.
  const Bytes entry = table.subspan(kWinCertHeaderSize);
  const std::optional<Element> signature = DerReader(entry).Next(kSequence);
  if (!signature) {
    return std::nullopt;
  }
  const Bytes padding = entry.subspan(signature->whole.size());
  if (padding.size() > 7 || !std::ranges::all_of(padding, [](std::uint8_t b) { return b == 0; })) {
    return std::nullopt;
  }
  return signature->whole;
}

std::optional<AuthenticodeContent> ReadAuthenticodeContent(Bytes blob) {
  DerReader outer(blob);
  const std::optional<Element> content_info = outer.Next(kSequence);
  if (!content_info) {
    return std::nullopt;
  }
  DerReader info(content_info->content);
  const std::optional<Element> type = info.Next(kObjectId);
  const std::optional<Element> explicit_data = info.Next(kContext0);
  if (!type || !IsObjectId(*type, kSignedDataOid) || !explicit_data) {
    return std::nullopt;
  }
  DerReader explicit_reader(explicit_data->content);
  const std::optional<Element> signed_data = explicit_reader.Next(kSequence);
  if (!signed_data) {
    return std::nullopt;
  }
  DerReader reader(signed_data->content);
  const std::optional<Element> version = reader.Next(kInteger);
  const std::optional<Element> digest_algorithms = reader.Next(kSet);
  const std::optional<Element> encapsulated = reader.Next(kSequence);
  if (!version || !digest_algorithms || !encapsulated) {
    return std::nullopt;
  }
  reader.Next(kContext0);  // certificates
  reader.Next(kContext1);  // revocation lists
  const std::optional<Element> signer_infos = reader.Next(kSet);
  if (!signer_infos || !reader.AtEnd()) {
    return std::nullopt;
  }

  AuthenticodeContent content;
  DerReader encapsulated_reader(encapsulated->content);
  const std::optional<Element> content_type = encapsulated_reader.Next(kObjectId);
  const std::optional<Element> explicit_content = encapsulated_reader.Next(kContext0);
  if (!content_type || !IsObjectId(*content_type, kIndirectDataOid) || !explicit_content ||
      !encapsulated_reader.AtEnd()) {
    return std::nullopt;
  }
  DerReader explicit_content_reader(explicit_content->content);
  const std::optional<Element> indirect = explicit_content_reader.Next();
  if (!indirect || !explicit_content_reader.AtEnd() || !ReadIndirectData(*indirect, content)) {
    return std::nullopt;
  }

  // Authenticode has exactly one signer; a second one's attributes would go unchecked.
  DerReader signers(signer_infos->content);
  const std::optional<Element> signer = signers.Next(kSequence);
  if (!signer || !signers.AtEnd() || !ReadSigner(*signer, content)) {
    return std::nullopt;
  }
  return content;
}

std::optional<CertificateParts> ReadCertificateParts(Bytes certificate) {
  DerReader outer(certificate);
  const std::optional<Element> whole = outer.Next(kSequence);
  if (!whole || !outer.AtEnd()) {
    return std::nullopt;
  }
  DerReader parts(whole->content);
  const std::optional<Element> tbs = parts.Next(kSequence);
  if (!tbs) {
    return std::nullopt;
  }
  DerReader fields(tbs->content);
  fields.Next(kContext0);  // the version, absent in version 1
  const std::optional<Element> serial = fields.Next(kInteger);
  const std::optional<Element> algorithm = fields.Next(kSequence);
  const std::optional<Element> issuer = fields.Next(kSequence);
  const std::optional<Element> validity = fields.Next(kSequence);
  const std::optional<Element> subject = fields.Next(kSequence);
  const std::optional<Element> key = fields.Next(kSequence);
  if (!serial || !algorithm || !issuer || !validity || !subject || !key) {
    return std::nullopt;
  }
  return CertificateParts{subject->whole, key->whole};
}

}  // namespace setup
