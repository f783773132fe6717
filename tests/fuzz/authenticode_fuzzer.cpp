// Feeds arbitrary files to the signature readers: no crash, no read out of bounds, and the digest's
// ranges always within the file, in order, never overlapping what is left out.
#include <cstdint>

#include "bootstrap/trust/authenticode.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const setup::Bytes file(data, size);
  // The blob reader on its own, so that the fuzzer reaches DER without first building a PE image.
  setup::ReadAuthenticodeContent(file);

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
