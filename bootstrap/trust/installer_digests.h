// The installer's digests, made from its bytes as they are written: the SHA-256 the answer may
// announce and the Authenticode image digest. After the transfer only the system's own
// verification reads the file again. They stand for the file because Setup alone wrote it (created
// exclusive, in a folder only administrators can write), and the held file is the one written, at
// the size they were made for.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>

#include "bootstrap/files/sha256_digest.h"
#include "bootstrap/files/system_crypto.h"
#include "bootstrap/trust/authenticode.h"
#include "bootstrap/trust/image_digest_feed.h"

namespace setup {

// The SHA-256 image digest of a file of that size and layout.
struct StreamedImageDigest {
  PeSignatureLayout layout;
  std::uint64_t size = 0;
  Sha256Digest sha256{};
};

class InstallerDigests {
 public:
  // expected_size: the announced size, which the image's layout is read against. Without the
  // system's hashes (LoadSystemCrypto failed) it makes nothing, and the checks read the file.
  explicit InstallerDigests(std::uint64_t expected_size);

  // The file was emptied: everything so far is forgotten.
  void StartOver();
  // The bytes just written at the end of the file.
  void Add(const char* data, std::size_t size);
  // After the last write, with the size the file ended at.
  void Finish(std::uint64_t final_size);

  // The file's SHA-256, or why the system could not make it.
  const Result<Sha256Digest>& FileSha256() const { return file_digest_; }
  // Nullopt when not made: a failed hash, or a file that ended at another size than announced or
  // is no PE image (the signature check then reads the file).
  const std::optional<StreamedImageDigest>& Image() const { return image_digest_; }

 private:
  std::uint64_t expected_size_;
  Result<> usable_;   // the system's hashes loaded, or why not
  Result<> hashing_;  // every hash call so far succeeded, or the first that failed
  std::optional<Sha256Hash> file_;
  std::optional<Sha256Hash> image_;
  std::optional<ImageDigestFeed> feed_;
  Result<Sha256Digest> file_digest_;
  std::optional<StreamedImageDigest> image_digest_;
};

}  // namespace setup
