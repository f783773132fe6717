// The installer's digests made on their own thread while the file is written, against the system's
// hash of the whole file and of the ranges the image digest covers: equal whatever pieces the bytes
// come in (a block's edge, many blocks at once, so that the download waits for the hashing), after
// a start-over, and only those a run wants. The system's hash itself, against the standard's
// vectors.
#include "bootstrap/trust/installer_digests.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bootstrap/files/sha256_digest.h"
#include "bootstrap/files/system_crypto.h"
#include "bootstrap/trust/authenticode.h"
#include "framework/handle.h"
#include "framework/module_path.h"

namespace setup {
namespace {

std::vector<std::uint8_t> ReadWholeFile(const std::wstring& path) {
  const fw::FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  EXPECT_TRUE(file);
  LARGE_INTEGER size{};
  EXPECT_TRUE(::GetFileSizeEx(file.get(), &size));
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size.QuadPart));
  DWORD read = 0;
  EXPECT_TRUE(
      ::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr));
  EXPECT_EQ(read, bytes.size());
  return bytes;
}

Sha256Digest SystemSha256(const std::vector<Bytes>& pieces) {
  SystemHash hash;
  for (const Bytes piece : pieces) {
    EXPECT_TRUE(hash.Add(piece.data(), piece.size()));
  }
  const Result<Sha256Digest> digest = hash.FinishSha256();
  EXPECT_TRUE(digest);
  return digest ? *digest : Sha256Digest{};
}

// Feeds the bytes in pieces of the sizes given, in turn, until they are all in.
void Feed(InstallerDigests& digests, Bytes bytes, const std::vector<std::size_t>& pieces) {
  for (std::size_t at = 0, turn = 0; at < bytes.size(); ++turn) {
    const std::size_t piece = std::min(pieces[turn % pieces.size()], bytes.size() - at);
    digests.Add(reinterpret_cast<const char*>(bytes.data() + at), piece);
    at += piece;
  }
}

class InstallerDigestsTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(LoadSystemCrypto());
    // An image the size of a small installer: this test program, grown past several of the
    // hashing's blocks by zero bytes in its certificate table's place (it has none: the digest
    // covers the whole file but the checksum and the table's entry).
    image_ = ReadWholeFile(fw::ModulePath());
    image_.resize(image_.size() + 3 * 1024 * 1024 + 123);
    const std::optional<PeSignatureLayout> layout =
        ReadPeSignatureLayout(Bytes(image_).first(kPeHeaderReadSize), image_.size());
    ASSERT_TRUE(layout);
    layout_ = *layout;
    file_sha256_ = SystemSha256({Bytes(image_)});
    std::vector<Bytes> covered;
    for (const ByteRange& range : ImageDigestRanges(layout_, image_.size())) {
      covered.push_back(Bytes(image_).subspan(static_cast<std::size_t>(range.offset),
                                              static_cast<std::size_t>(range.size)));
    }
    image_sha256_ = SystemSha256(covered);
  }

  std::vector<std::uint8_t> image_;
  PeSignatureLayout layout_;
  Sha256Digest file_sha256_{};
  Sha256Digest image_sha256_{};
};

TEST_F(InstallerDigestsTest, EqualTheWholeFilesWhateverThePieces) {
  const std::vector<std::vector<std::size_t>> splits = {
      {1},                        // byte by byte through the headers, then past them
      {10240},                    // the download's reads
      {262144},                   // exactly one block at a time
      {262143, 2, 7},             // across every block's edge
      {4 * 1024 * 1024},          // all at once: more than the blocks, so the writer waits
      {3, 40000, 1, 700000, 13},  // anything
  };
  for (const std::vector<std::size_t>& split : splits) {
    SCOPED_TRACE(split.front());
    InstallerDigests digests(image_.size(), {.file_sha256 = true, .image = true});
    if (split.front() == 1) {
      // Byte by byte through the whole file takes long: through the headers and a little more.
      Feed(digests, Bytes(image_).first(kPeHeaderReadSize + 5), split);
      Feed(digests, Bytes(image_).subspan(kPeHeaderReadSize + 5), {65536});
    } else {
      Feed(digests, Bytes(image_), split);
    }
    digests.Finish(image_.size());
    ASSERT_TRUE(digests.FileSha256()) << digests.FileSha256().Why().code;
    EXPECT_EQ(*digests.FileSha256(), file_sha256_);
    ASSERT_TRUE(digests.Image());
    EXPECT_EQ(digests.Image()->sha256, image_sha256_);
    EXPECT_EQ(digests.Image()->size, image_.size());
    EXPECT_TRUE(digests.Image()->layout == layout_);
  }
}

TEST_F(InstallerDigestsTest, StartOverForgetsEverythingBefore) {
  InstallerDigests digests(image_.size(), {.file_sha256 = true, .image = true});
  // Another version's first megabyte and a bit, then the file emptied and sent whole.
  std::vector<std::uint8_t> other(image_.begin(), image_.begin() + 1024 * 1024 + 77);
  other[kPeHeaderReadSize + 1] ^= 0xFF;
  Feed(digests, Bytes(other), {10240});
  digests.StartOver();
  Feed(digests, Bytes(image_), {10240});
  digests.Finish(image_.size());
  ASSERT_TRUE(digests.FileSha256());
  EXPECT_EQ(*digests.FileSha256(), file_sha256_);
  ASSERT_TRUE(digests.Image());
  EXPECT_EQ(digests.Image()->sha256, image_sha256_);
}

TEST_F(InstallerDigestsTest, OnlyWhatTheRunWantsAndOnlyForTheAnnouncedSize) {
  {
    SCOPED_TRACE("the file's SHA-256 only");
    InstallerDigests digests(image_.size(), {.file_sha256 = true, .image = false});
    Feed(digests, Bytes(image_), {10240});
    digests.Finish(image_.size());
    ASSERT_TRUE(digests.FileSha256());
    EXPECT_EQ(*digests.FileSha256(), file_sha256_);
    EXPECT_FALSE(digests.Image());
  }
  {
    SCOPED_TRACE("the image digest only");
    InstallerDigests digests(image_.size(), {.file_sha256 = false, .image = true});
    Feed(digests, Bytes(image_), {10240});
    digests.Finish(image_.size());
    EXPECT_FALSE(digests.FileSha256());
    ASSERT_TRUE(digests.Image());
    EXPECT_EQ(digests.Image()->sha256, image_sha256_);
  }
  {
    SCOPED_TRACE("nothing");
    InstallerDigests digests(image_.size(), {});
    Feed(digests, Bytes(image_), {10240});
    digests.Finish(image_.size());
    EXPECT_FALSE(digests.FileSha256());
    EXPECT_FALSE(digests.Image());
  }
  {
    // A file that ended past the size it was announced at was laid out for another file: no
    // image digest stands for it. Its SHA-256 is still its own.
    SCOPED_TRACE("longer than announced");
    InstallerDigests digests(image_.size() - 100, {.file_sha256 = true, .image = true});
    Feed(digests, Bytes(image_), {10240});
    digests.Finish(image_.size());
    ASSERT_TRUE(digests.FileSha256());
    EXPECT_EQ(*digests.FileSha256(), file_sha256_);
    EXPECT_FALSE(digests.Image());
  }
}

TEST(SystemHashTest, TheStandardsVectorsInAnyPieces) {
  ASSERT_TRUE(LoadSystemCrypto());
  const std::string million(1000000, 'a');
  const struct {
    const wchar_t* algorithm;
    std::string content;
    std::size_t piece;
    const char* digest;
  } cases[] = {
      {BCRYPT_SHA256_ALGORITHM, "", 1,
       "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {BCRYPT_SHA256_ALGORITHM, "abc", 1,
       "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {BCRYPT_SHA256_ALGORITHM, million, 65537,
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
      {BCRYPT_SHA384_ALGORITHM, "abc", 2,
       "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c"
       "8"
       "25a7"},
      {BCRYPT_SHA512_ALGORITHM, "abc", 3,
       "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3f"
       "e"
       "ebbd454d4423643ce80e2a9ac94fa54ca49f"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.digest);
    SystemHash hash(c.algorithm);
    for (std::size_t at = 0; at < c.content.size(); at += c.piece) {
      const std::size_t piece = std::min(c.piece, c.content.size() - at);
      ASSERT_TRUE(hash.Add(reinterpret_cast<const std::uint8_t*>(c.content.data() + at), piece));
    }
    std::vector<std::uint8_t> digest(std::string_view(c.digest).size() / 2);
    ASSERT_TRUE(hash.Finish(digest));
    std::string hex;
    for (const std::uint8_t byte : digest) {
      hex += "0123456789abcdef"[byte >> 4];
      hex += "0123456789abcdef"[byte & 15];
    }
    EXPECT_EQ(hex, c.digest);
  }
  std::uint8_t random[16] = {};
  std::uint8_t again[16] = {};
  ASSERT_TRUE(SystemRandom(random, sizeof(random)));
  ASSERT_TRUE(SystemRandom(again, sizeof(again)));
  EXPECT_NE(std::string(random, random + 16), std::string(again, again + 16));
}

}  // namespace
}  // namespace setup
