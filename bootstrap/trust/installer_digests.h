// The installer's digests, made from its bytes as they are written: the SHA-256 the answer may
// announce and the Authenticode image digest. After the transfer only the system's own
// verification reads the file again. They stand for the file because Setup alone wrote it (created
// exclusive, in a folder only administrators can write), and the held file is the one written, at
// the size they were made for.
//
// The hashing runs on a thread of its own: the download only copies what it wrote into a block and
// goes back to the network, so a hash never slows the transfer while a processor is free (the
// system's SHA-256 can be slower than a fast connection). The blocks are few, so the hashing stays
// at most that far behind and its memory bounded; when it is behind by all of them, the transfer
// waits for it.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "bootstrap/files/sha256_digest.h"
#include "bootstrap/files/system_crypto.h"
#include "bootstrap/trust/authenticode.h"
#include "bootstrap/trust/image_digest_feed.h"
#include "bootstrap/vocabulary/failure.h"
#include "framework/handle.h"
#include "framework/thread.h"

namespace setup {

// The SHA-256 image digest of a file of that size and layout.
struct StreamedImageDigest {
  PeSignatureLayout layout;
  std::uint64_t size = 0;
  Sha256Digest sha256{};
};

// Which digests a run needs: the file's SHA-256 only when the answer announces one, the image
// digest only when the installer's signature is checked. Nothing wanted, nothing made.
struct WantedDigests {
  bool file_sha256 = false;
  bool image = false;
};

class InstallerDigests {
 public:
  // expected_size: the announced size, which the image's layout is read against. Without the
  // system's hashes (LoadSystemCrypto failed) it makes nothing, and the checks read the file. On
  // the main thread; raises fw::Error when the system cannot make the hashing thread.
  InstallerDigests(std::uint64_t expected_size, WantedDigests wanted);
  ~InstallerDigests();
  InstallerDigests(const InstallerDigests&) = delete;
  InstallerDigests& operator=(const InstallerDigests&) = delete;

  // The file was emptied: everything so far is forgotten. Not while Add runs.
  void StartOver();
  // The bytes just written at the end of the file. One thread at a time, each after the last
  // (the download's worker, under its lock).
  void Add(const char* data, std::size_t size);
  // After the last write, with the size the file ended at: waits until everything is hashed.
  void Finish(std::uint64_t final_size);

  // The file's SHA-256, or why it was not made (not wanted, or the system could not).
  const Result<Sha256Digest>& FileSha256() const { return file_digest_; }
  // Nullopt when not made: not wanted, a failed hash, or a file that ended at another size than
  // announced or is no PE image (the signature check then reads the file).
  const std::optional<StreamedImageDigest>& Image() const { return image_digest_; }

 private:
  static constexpr std::size_t kBlockSize = 256 * 1024;
  static constexpr std::size_t kBlocks = 4;

  // What the download and the hashing thread share. The queue holds the blocks from `next_hashed`
  // on, `queued` of them, the one being hashed included; the download fills the block after them.
  struct Pipe {
    fw::CriticalSection lock;
    fw::Condition changed;  // a block queued or hashed, or the hashing asked to end or ended
    std::vector<std::uint8_t> bytes;  // the blocks one after another
    std::array<std::size_t, kBlocks> sizes{};
    std::size_t next_hashed = 0;
    std::size_t queued = 0;
    bool ending = false;  // the owner is going: the hashing thread ends at once
    bool ended = false;   // the hashing thread has gone: nobody waits for it any more
  };
  struct Hashing;  // the thread's body

  // The hashes themselves: only the hashing thread touches them while blocks are queued.
  void Hash(const std::uint8_t* data, std::size_t size);
  // Hands the block being filled to the hashing thread and waits for a free one.
  void Queue();
  // Queues what is filled and waits until every block is hashed.
  void Drain();

  std::uint64_t expected_size_;
  WantedDigests wanted_;
  Result<> hashing_;  // every hash call so far succeeded, or the first that failed
  std::optional<SystemHash> file_;
  std::optional<SystemHash> image_;
  std::optional<ImageDigestFeed> feed_;
  Result<Sha256Digest> file_digest_;
  std::optional<StreamedImageDigest> image_digest_;
  std::size_t filling_ = 0;  // the block the download fills, and how much of it
  std::size_t filled_ = 0;
  std::unique_ptr<Pipe> pipe_;                // before the thread, which uses it until it ends
  std::unique_ptr<fw::WorkerThread> thread_;  // last: stopped and joined first
};

}  // namespace setup
