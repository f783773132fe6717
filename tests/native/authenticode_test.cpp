#include "bootstrap/trust/authenticode.h"
#include "bootstrap/trust/image_digest_feed.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

#include "tests/native/split_stream.h"

namespace setup {
namespace {

using Buffer = std::vector<std::uint8_t>;

void Put16(Buffer& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(Buffer& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  }
}

// A PE image of the given size whose headers say what the test needs: the new header at 0x80, a
// PE32 (0x10B) or PE32+ (0x20B) optional header with 16 directories, the certificate table's entry
// as given.
struct PeImage {
  std::uint32_t magic = 0x20B;
  std::uint32_t directory_count = 16;
  std::uint32_t optional_size = 240;
  std::uint32_t table = 0;
  std::uint32_t table_size = 0;
  std::size_t file_size = 1024;

  static constexpr std::size_t kPe = 0x80;
  static constexpr std::size_t kOptional = kPe + 24;

  std::size_t DirectoriesAt() const { return kOptional + (magic == 0x10B ? 96 : 112); }

  Buffer Build() const {
    Buffer b(file_size, 0xCC);
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, kPe);
    b[kPe] = 'P';
    b[kPe + 1] = 'E';
    b[kPe + 2] = b[kPe + 3] = 0;
    Put16(b, kPe + 4 + 16, optional_size);
    Put16(b, kOptional, magic);
    Put32(b, kOptional + (magic == 0x10B ? 92 : 108), directory_count);
    Put32(b, DirectoriesAt() + 32, table);
    Put32(b, DirectoriesAt() + 36, table_size);
    return b;
  }
};

TEST(AuthenticodeLayoutTest, DigestLeavesOutChecksumDirectoryEntryAndTable) {
  for (const std::uint32_t magic : {0x10Bu, 0x20Bu}) {
    SCOPED_TRACE(magic);
    PeImage image;
    image.magic = magic;
    image.table = 1000;
    image.table_size = 24;
    const Buffer file = image.Build();
    const auto layout = ReadPeSignatureLayout(file, file.size());
    ASSERT_TRUE(layout.has_value());
    const std::uint64_t checksum = PeImage::kOptional + 64;
    const std::uint64_t entry = image.DirectoriesAt() + 32;
    EXPECT_EQ(*layout, (PeSignatureLayout{checksum, entry, {1000, 24}}));
    EXPECT_EQ(
        ImageDigestRanges(*layout, file.size()),
        (std::vector<ByteRange>{
            {0, checksum}, {checksum + 4, entry - checksum - 4}, {entry + 8, 1000 - entry - 8}}));
  }
}

TEST(AuthenticodeLayoutTest, UnsignedImageIsHashedToItsEnd) {
  const PeImage image;
  const Buffer file = image.Build();
  const auto layout = ReadPeSignatureLayout(file, file.size());
  ASSERT_TRUE(layout.has_value());
  EXPECT_EQ(layout->table, ByteRange{});
  const std::uint64_t entry = image.DirectoriesAt() + 32;
  EXPECT_EQ(ImageDigestRanges(*layout, file.size()).back(),
            (ByteRange{entry + 8, file.size() - entry - 8}));
}

TEST(AuthenticodeLayoutTest, MalformedHeadersAreRefused) {
  const auto with = [](auto change) {
    PeImage image;
    image.table = 1000;
    image.table_size = 24;
    change(image);
    return image;
  };
  const struct {
    const char* name;
    PeImage image;
    std::optional<std::size_t> breaks;  // a byte to overwrite with 0
  } cases[] = {
      {"not MZ", with([](PeImage&) {}), 0},
      {"not PE", with([](PeImage&) {}), PeImage::kPe + 1},
      {"ROM image", with([](PeImage& i) { i.magic = 0x107; }), std::nullopt},
      {"four directories", with([](PeImage& i) { i.directory_count = 4; }), std::nullopt},
      {"optional header too short", with([](PeImage& i) { i.optional_size = 112 + 4 * 8 + 4; }),
       std::nullopt},
      {"table ends before the file", with([](PeImage& i) { i.table_size = 16; }), std::nullopt},
      {"table past the file", with([](PeImage& i) { i.table_size = 32; }), std::nullopt},
      {"table in the headers", with([](PeImage& i) {
         i.table = 0x100;
         i.table_size = 1024 - 0x100;
       }),
       std::nullopt},
      {"table of size 0 at an offset", with([](PeImage& i) { i.table_size = 0; }), std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Buffer file = c.image.Build();
    if (c.breaks) {
      file[*c.breaks] = 0;
    }
    EXPECT_FALSE(ReadPeSignatureLayout(file, file.size()).has_value());
  }
}

TEST(AuthenticodeLayoutTest, NewHeaderBeyondTheBytesGivenIsRefused) {
  PeImage image;
  Buffer file = image.Build();
  for (const std::uint32_t pe : {0xFFFFFFFFu, 0xFFFFFFF0u, 1000u, 1024u - 25u}) {
    SCOPED_TRACE(pe);
    Put32(file, 0x3C, pe);
    EXPECT_FALSE(ReadPeSignatureLayout(file, file.size()).has_value());
  }
  // Every truncation of a good header is refused, never read past.
  file = image.Build();
  for (std::size_t n = 0; n < image.DirectoriesAt() + 40; ++n) {
    const Buffer cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_FALSE(ReadPeSignatureLayout(cut, cut.size()).has_value()) << n;
  }
}

// DER, built by hand.
Buffer Der(std::uint8_t tag, std::initializer_list<Buffer> parts) {
  Buffer content;
  for (const Buffer& part : parts) {
    content.insert(content.end(), part.begin(), part.end());
  }
  Buffer out{tag};
  if (content.size() < 0x80) {
    out.push_back(static_cast<std::uint8_t>(content.size()));
  } else {
    out.push_back(0x82);
    out.push_back(static_cast<std::uint8_t>(content.size() >> 8));
    out.push_back(static_cast<std::uint8_t>(content.size()));
  }
  out.insert(out.end(), content.begin(), content.end());
  return out;
}

Buffer Raw(std::initializer_list<std::uint8_t> bytes) {
  return Buffer(bytes);
}

Buffer Oid(std::initializer_list<std::uint8_t> bytes) {
  return Der(0x06, {Raw(bytes)});
}

const Buffer kSha256 = Oid({0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01});
const Buffer kSha1 = Oid({0x2B, 0x0E, 0x03, 0x02, 0x1A});
const Buffer kPeImageData = Oid({0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x0F});
const Buffer kCabData = Oid({0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x19});
const Buffer kIndirectData = Oid({0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x04});
const Buffer kSignedData = Oid({0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02});
const Buffer kMessageDigest = Oid({0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x04});
const Buffer kContentType = Oid({0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x03});

Buffer Octets(std::size_t size, std::uint8_t fill) {
  return Der(0x04, {Buffer(size, fill)});
}

// A signature's parts, each replaceable by a case.
struct Signature {
  Buffer data_type = kPeImageData;
  Buffer image_algorithm = kSha256;
  Buffer image_digest = Octets(32, 0x11);
  Buffer signer_algorithm = kSha256;
  std::vector<Buffer> digest_values = {Octets(32, 0x22)};
  int digest_attributes = 1;
  int signers = 1;
  Buffer content_type = kIndirectData;

  Buffer Indirect() const {
    return Der(0x30, {Der(0x30, {data_type, Der(0x30, {})}),
                      Der(0x30, {Der(0x30, {image_algorithm, Raw({0x05, 0x00})}), image_digest})});
  }

  Buffer Build() const {
    Buffer values;
    for (const Buffer& v : digest_values) {
      values.insert(values.end(), v.begin(), v.end());
    }
    Buffer attributes = Der(0x30, {kContentType, Der(0x31, {kIndirectData})});
    for (int i = 0; i < digest_attributes; ++i) {
      const Buffer attribute = Der(0x30, {kMessageDigest, Der(0x31, {values})});
      attributes.insert(attributes.end(), attribute.begin(), attribute.end());
    }
    const Buffer signer =
        Der(0x30, {Der(0x02, {Raw({1})}), Der(0x30, {Der(0x30, {}), Der(0x02, {Raw({5})})}),
                   Der(0x30, {signer_algorithm}), Der(0xA0, {attributes}),
                   Der(0x30, {Oid({0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01})}),
                   Octets(256, 0x33)});
    Buffer signer_set;
    for (int i = 0; i < signers; ++i) {
      signer_set.insert(signer_set.end(), signer.begin(), signer.end());
    }
    return Der(0x30,
               {kSignedData,
                Der(0xA0, {Der(0x30, {Der(0x02, {Raw({1})}), Der(0x31, {Der(0x30, {kSha256})}),
                                      Der(0x30, {content_type, Der(0xA0, {Indirect()})}),
                                      Der(0xA0, {Octets(300, 0x44)}), Der(0x31, {signer_set})})})});
  }
};

TEST(AuthenticodeContentTest, ReadsTheDigestsAndWhatTheMessageDigestCovers) {
  const Signature signature;
  const Buffer blob = signature.Build();
  const auto content = ReadAuthenticodeContent(blob);
  ASSERT_TRUE(content.has_value());
  EXPECT_TRUE(content->pe_image);
  EXPECT_EQ(content->image_algorithm, DigestAlgorithm::kSha256);
  EXPECT_EQ(Buffer(content->image_digest.begin(), content->image_digest.end()), Buffer(32, 0x11));
  EXPECT_EQ(content->signer_algorithm, DigestAlgorithm::kSha256);
  EXPECT_EQ(Buffer(content->message_digest.begin(), content->message_digest.end()),
            Buffer(32, 0x22));
  // The value octets of the indirect data: its sequence's tag and length left out.
  const Buffer indirect = signature.Indirect();
  EXPECT_EQ(Buffer(content->indirect_content.begin(), content->indirect_content.end()),
            Buffer(indirect.begin() + 2, indirect.end()));
}

TEST(AuthenticodeContentTest, DataOfAnotherKindIsNotAnImage) {
  Signature signature;
  signature.data_type = kCabData;
  const Buffer blob = signature.Build();
  const auto content = ReadAuthenticodeContent(blob);
  ASSERT_TRUE(content.has_value());
  EXPECT_FALSE(content->pe_image);
}

TEST(AuthenticodeContentTest, SignaturesSetupDoesNotAcceptAreRefused) {
  const auto with = [](auto change) {
    Signature s;
    change(s);
    return s;
  };
  const struct {
    const char* name;
    Signature signature;
  } cases[] = {
      {"SHA-1 image digest", with([](Signature& s) {
         s.image_algorithm = kSha1;
         s.image_digest = Octets(20, 0x11);
       })},
      {"image digest of the wrong length",
       with([](Signature& s) { s.image_digest = Octets(31, 1); })},
      {"SHA-1 signer", with([](Signature& s) { s.signer_algorithm = kSha1; })},
      {"message digest of the wrong length",
       with([](Signature& s) { s.digest_values = {Octets(20, 0x22)}; })},
      {"no message digest", with([](Signature& s) { s.digest_attributes = 0; })},
      {"two message digests", with([](Signature& s) { s.digest_attributes = 2; })},
      {"two values", with([](Signature& s) { s.digest_values.push_back(Octets(32, 0x23)); })},
      {"no signer", with([](Signature& s) { s.signers = 0; })},
      {"two signers", with([](Signature& s) { s.signers = 2; })},
      {"other content", with([](Signature& s) { s.content_type = kMessageDigest; })},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Buffer blob = c.signature.Build();
    EXPECT_FALSE(ReadAuthenticodeContent(blob).has_value());
  }
}

TEST(AuthenticodeContentTest, TruncatedOrCorruptedBlobsNeverReadPastTheirEnd) {
  const Buffer blob = Signature().Build();
  for (std::size_t n = 0; n < blob.size(); ++n) {
    const Buffer cut(blob.begin(), blob.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_FALSE(ReadAuthenticodeContent(cut).has_value()) << n;
  }
  // Lengths made huge or indefinite at each position: refused or read within bounds (ASan).
  for (std::size_t at = 0; at < blob.size(); ++at) {
    for (const int byte : {0x80, 0x84, 0xFF}) {
      Buffer changed = blob;
      changed[at] = static_cast<std::uint8_t>(byte);
      ReadAuthenticodeContent(changed);
    }
  }
}

TEST(AuthenticodeTableTest, FirstEntryMustBePkcsSignedData) {
  const Buffer blob = Signature().Build();
  const auto table = [&](std::uint32_t length, std::uint32_t revision, std::uint32_t type) {
    Buffer t(8);
    Put32(t, 0, length);
    Put16(t, 4, revision);
    Put16(t, 6, type);
    t.insert(t.end(), blob.begin(), blob.end());
    t.resize((t.size() + 7) / 8 * 8, 0);
    return t;
  };
  const std::uint32_t whole = static_cast<std::uint32_t>(blob.size() + 8);
  const Buffer good = table(whole, 0x0200, 2);
  const auto found = SignatureBlob(good);
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(Buffer(found->begin(), found->end()), blob);
  EXPECT_FALSE(SignatureBlob(table(whole, 0x0100, 2)).has_value());
  EXPECT_FALSE(SignatureBlob(table(whole, 0x0200, 1)).has_value());
  EXPECT_FALSE(SignatureBlob(table(7, 0x0200, 2)).has_value());
  EXPECT_FALSE(SignatureBlob(table(whole + 64, 0x0200, 2)).has_value());
  EXPECT_FALSE(SignatureBlob(Buffer(good.begin(), good.begin() + 7)).has_value());
}

// No digest covers the certificate table, so whatever it holds beside the signature would travel
// with a valid signature unchecked: one entry, its encoding and at most seven zero bytes.
TEST(AuthenticodeTableTest, OnlyTheSignatureAndItsPaddingAreAccepted) {
  const Buffer blob = Signature().Build();
  // An entry whose length field counts the header, the blob and `inside` more bytes, padded with
  // zeros to eight, followed by `after` more bytes in the table.
  const auto entry = [&](const Buffer& inside, const Buffer& after, bool length_counts_padding) {
    Buffer t(8);
    Put16(t, 4, 0x0200);
    Put16(t, 6, 2);
    t.insert(t.end(), blob.begin(), blob.end());
    t.insert(t.end(), inside.begin(), inside.end());
    const std::size_t unpadded = t.size();
    t.resize((t.size() + 7) / 8 * 8, 0);
    Put32(t, 0, static_cast<std::uint32_t>(length_counts_padding ? t.size() : unpadded));
    t.insert(t.end(), after.begin(), after.end());
    return t;
  };
  const Buffer none;
  const Buffer second_entry = entry(none, none, false);
  const struct {
    const char* name;
    Buffer table;
    bool accepted;
  } cases[] = {
      {"length without padding", entry(none, none, false), true},
      {"length with padding", entry(none, none, true), true},
      {"eight zeros inside", entry(Buffer(8, 0), none, true), false},
      {"4000 junk bytes inside", entry(Buffer(4000, 0x5A), none, false), false},
      {"one non-zero byte inside", entry(Buffer{0, 0, 1}, none, true), false},
      {"5000 bytes after the entry", entry(none, Buffer(5000, 0x5A), false), false},
      {"eight zeros after the entry", entry(none, Buffer(8, 0), false), false},
      {"a second entry",
       [&] {
         Buffer t = entry(none, none, false);
         t.insert(t.end(), second_entry.begin(), second_entry.end());
         return t;
       }(),
       false},
  };
  for (const auto& c : cases) {
    const auto found = SignatureBlob(c.table);
    EXPECT_EQ(found.has_value(), c.accepted) << c.name;
    if (found && c.accepted) {
      EXPECT_EQ(Buffer(found->begin(), found->end()), blob) << c.name;
    }
  }
  // Not an encoding at all where the signature should start.
  Buffer garbage = entry(none, none, true);
  garbage[8] = 0x04;
  EXPECT_FALSE(SignatureBlob(garbage).has_value());
}

// What the digest covers when the finished file is read: the reference the feed must equal.
Buffer CoveredWhenRead(const Buffer& file) {
  Buffer covered;
  const auto layout = ReadPeSignatureLayout(file, file.size());
  if (!layout) {
    return covered;
  }
  for (const ByteRange& range : ImageDigestRanges(*layout, file.size())) {
    covered.insert(covered.end(), file.begin() + static_cast<std::ptrdiff_t>(range.offset),
                   file.begin() + static_cast<std::ptrdiff_t>(range.offset + range.size));
  }
  return covered;
}

TEST(ImageDigestFeedTest, CoversWhatReadingTheFinishedFileCoversHoweverTheBytesArrive) {
  struct Case {
    const char* name;
    PeImage image;
  };
  PeImage signed_large;  // headers shorter than the first 64 KiB the layout is read from
  signed_large.file_size = 70000;
  signed_large.table = 69000;
  signed_large.table_size = 1000;
  PeImage signed_small;  // the whole file shorter than those 64 KiB
  signed_small.file_size = 3000;
  signed_small.table = 2000;
  signed_small.table_size = 1000;
  PeImage unsigned_image;
  unsigned_image.file_size = 5000;
  PeImage pe32 = signed_small;
  pe32.magic = 0x10B;
  for (const Case& c : {Case{"signed, large", signed_large}, Case{"signed, small", signed_small},
                        Case{"unsigned", unsigned_image}, Case{"PE32", pe32}}) {
    Buffer file = c.image.Build();
    // Position-dependent bytes after the headers, so that a byte covered twice or skipped shows.
    for (std::size_t i = 0x400; i < file.size(); ++i) {
      file[i] = static_cast<std::uint8_t>(i % 251);
    }
    const Buffer expected = CoveredWhenRead(file);
    ASSERT_FALSE(expected.empty()) << c.name;
    for (const Delivery& delivery : Deliveries(file.size(), 10240, {65535, 65536, 65537})) {
      SCOPED_TRACE(std::string(c.name) + ", " + delivery.name);
      ImageDigestFeed feed(file.size());
      Buffer covered;
      std::size_t at = 0;
      for (const std::size_t piece : delivery.pieces) {
        feed.Add(Bytes(file).subspan(at, piece),
                 [&](Bytes part) { covered.insert(covered.end(), part.begin(), part.end()); });
        at += piece;
      }
      EXPECT_TRUE(feed.Matches(file.size()));
      EXPECT_EQ(covered, expected);
    }
  }
}

TEST(ImageDigestFeedTest, AFileOfAnotherSizeOrNoImageNeverMatches) {
  PeImage image;
  image.file_size = 3000;
  image.table = 2000;
  image.table_size = 1000;
  const Buffer file = image.Build();
  const auto feed_of = [&file](std::uint64_t announced, std::size_t fed) {
    ImageDigestFeed feed(announced);
    feed.Add(Bytes(file).first(fed), [](Bytes) {});
    return feed;
  };
  // Announced as the file is, but ended early; announced larger; announced smaller and overrun.
  EXPECT_FALSE(feed_of(file.size(), 2999).Matches(2999));
  EXPECT_FALSE(feed_of(file.size() + 8, file.size()).Matches(file.size()));
  EXPECT_FALSE(feed_of(2500, file.size()).Matches(file.size()));
  // Not a PE image: nothing is covered, and nothing matches.
  Buffer text(4000, 'x');
  ImageDigestFeed feed(text.size());
  bool covered = false;
  feed.Add(text, [&covered](Bytes) { covered = true; });
  EXPECT_FALSE(covered);
  EXPECT_FALSE(feed.Layout().has_value());
  EXPECT_FALSE(feed.Matches(text.size()));
}

}  // namespace
}  // namespace setup
