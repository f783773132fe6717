// The parts of an Authenticode signature that Setup checks itself, read from the bytes of a PE
// file: which byte ranges the image digest covers, the PKCS #7 blob in the certificate table, and
// the digests inside it. The platform's own verification skips some of these under Wine, and every
// byte here comes from a downloaded file: all of it is bounds-checked, and anything unexpected is
// "not a signature Setup accepts" (nullopt), never a guess.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace setup {

using Bytes = std::span<const std::uint8_t>;

// How many leading bytes of a file ReadPeSignatureLayout needs at most: the headers it reads lie
// within them, or the file is refused.
inline constexpr std::size_t kPeHeaderReadSize = 64 * 1024;

struct ByteRange {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  bool operator==(const ByteRange&) const = default;
};

// Where a PE image keeps what its Authenticode digest leaves out.
struct PeSignatureLayout {
  std::uint64_t checksum_offset = 0;   // the optional header's CheckSum, 4 bytes
  std::uint64_t directory_offset = 0;  // the certificate table's data-directory entry, 8 bytes
  ByteRange table;                     // the certificate table; size 0 when the file has none
  bool operator==(const PeSignatureLayout&) const = default;
};

// Reads the layout from the file's first bytes (header: up to kPeHeaderReadSize of them) and the
// whole file's size. Nullopt for anything that is not a PE image (PE32 or PE32+) with a data
// directory that reaches the certificate table, and for a certificate table that does not lie
// wholly after the headers and end exactly where the file ends.
std::optional<PeSignatureLayout> ReadPeSignatureLayout(Bytes header, std::uint64_t file_size);

// The ranges the image digest covers, in file order: the whole file except the checksum, the
// certificate table's directory entry and the table itself.
std::vector<ByteRange> ImageDigestRanges(const PeSignatureLayout& layout, std::uint64_t file_size);

// The PKCS #7 signed data of a certificate table's one entry (revision 2.0, PKCS signed data):
// its encoding exactly. Nullopt when the entry is of another kind or does not fit in the table,
// when the table holds anything beyond the entry padded to eight bytes, or the entry anything
// beyond the encoding and at most seven zero bytes: bytes no digest covers are not accepted.
std::optional<Bytes> SignatureBlob(Bytes table);

enum class DigestAlgorithm { kSha256, kSha384, kSha512 };

// The length in bytes of a digest of that algorithm.
std::size_t DigestSize(DigestAlgorithm algorithm);

// What an Authenticode signature says about its file, as far as Setup compares it with the file.
struct AuthenticodeContent {
  bool pe_image = false;  // the indirect data is for a PE image (not a catalog, a cabinet, ...)
  DigestAlgorithm image_algorithm = DigestAlgorithm::kSha256;
  Bytes image_digest;      // the digest of the image's ranges that was signed
  Bytes indirect_content;  // the indirect data's content octets, which the message digest covers
  DigestAlgorithm signer_algorithm = DigestAlgorithm::kSha256;
  Bytes message_digest;  // the signed attributes' message digest
};

// Reads a PKCS #7 signed-data blob with Authenticode indirect data and exactly one signer whose
// signed attributes carry exactly one message digest. The spans point into blob. Nullopt for
// anything else, including digests of other algorithms (SHA-1 among them) or of the wrong length.
std::optional<AuthenticodeContent> ReadAuthenticodeContent(Bytes blob);

// What Setup compares of an X.509 certificate with the publisher it pins: the subject's Name and
// the SubjectPublicKeyInfo, each its whole DER encoding (the key pin is the SHA-256 of the
// latter, as the publisher's own tools compute it from the certificate). The spans point into
// certificate. Nullopt for anything but one DER certificate with nothing after it.
struct CertificateParts {
  Bytes subject;
  Bytes public_key_info;
};
std::optional<CertificateParts> ReadCertificateParts(Bytes certificate);

}  // namespace setup
