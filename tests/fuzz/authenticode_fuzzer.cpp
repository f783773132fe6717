// Feeds arbitrary files to the signature readers: no crash, no read out of bounds, and the digest's
// ranges always within the file, in order, never overlapping what is left out. The certificate and
// name readers, and the configured subject's parser, get the same bytes.
#include <cstdint>
#include <string_view>

#include "bootstrap/trust/authenticode.h"
#include "bootstrap/trust/publisher_subject.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const setup::Bytes file(data, size);
  // The blob reader on its own, so that the fuzzer reaches DER without first building a PE image.
  setup::ReadAuthenticodeContent(file);
  if (const auto parts = setup::ReadCertificateParts(file)) {
    fuzz::Check(parts->subject.data() >= data &&
                parts->subject.data() + parts->subject.size() <= data + size);
    fuzz::Check(parts->public_key_info.data() >= data &&
                parts->public_key_info.data() + parts->public_key_info.size() <= data + size);
    setup::DecodeName(parts->subject);
  }
  // A name decodes to attributes with types, and never to a value with a NUL in it.
  if (const auto name = setup::DecodeName(file)) {
    for (const setup::NameAttribute& attribute : *name) {
      fuzz::Check(!attribute.type.empty());
      fuzz::Check(!attribute.value || attribute.value->find('\0') == std::string::npos);
    }
    setup::SubjectMatches(*name, *name);
  }
  if (const auto subject = setup::ParsePublisherSubject(
          std::string_view(reinterpret_cast<const char*>(data), size))) {
    for (const setup::NameAttribute& attribute : *subject) {
      fuzz::Check(attribute.value && !attribute.value->empty());
    }
    // What the parser reads always matches itself.
    fuzz::Check(setup::SubjectMatches(*subject, *subject));
  }

  const auto layout = setup::ReadPeSignatureLayout(file, size);
  if (!layout) {
    return 0;
  }
  std::uint64_t end = 0;
  std::uint64_t covered = 0;
  for (const setup::ByteRange& range : setup::ImageDigestRanges(*layout, size)) {
    fuzz::Check(range.size > 0 && range.offset >= end && range.offset + range.size <= size);
    end = range.offset + range.size;
    covered += range.size;
  }
  fuzz::Check(covered == size - 4 - 8 - layout->table.size);
  if (layout->table.size != 0) {
    const auto table = file.subspan(static_cast<std::size_t>(layout->table.offset),
                                    static_cast<std::size_t>(layout->table.size));
    if (const auto blob = setup::SignatureBlob(table)) {
      fuzz::Check(blob->data() >= table.data() &&
                  blob->data() + blob->size() <= table.data() + table.size());
      setup::ReadAuthenticodeContent(*blob);
    }
  }
  return 0;
}
