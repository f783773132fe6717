#include "bootstrap/trust/publisher_subject.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "bootstrap/trust/authenticode.h"

namespace setup {
namespace {

using Buffer = std::vector<std::uint8_t>;

const Buffer kCn = {0x55, 0x04, 0x03};
const Buffer kSerialNumber = {0x55, 0x04, 0x05};
const Buffer kCountry = {0x55, 0x04, 0x06};
const Buffer kLocality = {0x55, 0x04, 0x07};
const Buffer kState = {0x55, 0x04, 0x08};
const Buffer kOrganization = {0x55, 0x04, 0x0A};
const Buffer kUnit = {0x55, 0x04, 0x0B};
const Buffer kEmail = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x01};
const Buffer kBusinessCategory = {0x55, 0x04, 0x0F};
// 1.3.6.1.4.1.311.60.2.1.3, the jurisdiction's country of an EV certificate: arcs past 127.
const Buffer kJurisdiction = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x3C, 0x02, 0x01, 0x03};

NameAttribute A(const Buffer& type, std::string value) {
  return {type, std::move(value)};
}

using Attributes = std::vector<NameAttribute>;

TEST(PublisherSubjectTest, ReadsTheConfiguredSubject) {
  const struct {
    const char* text;
    Attributes expected;
  } cases[] = {
      {"CN=Ostrevo Software, O=Ostrevo, C=CZ",
       {A(kCn, "Ostrevo Software"), A(kOrganization, "Ostrevo"), A(kCountry, "CZ")}},
      // Any case of the type, spaces around everything, ';' and '+' as separators.
      {"  cn = Ostrevo Software ;o=Ostrevo+ c=CZ  ",
       {A(kCn, "Ostrevo Software"), A(kOrganization, "Ostrevo"), A(kCountry, "CZ")}},
      {"OU=Builds,OU=Signing, L=Brno, S=South Moravia, ST=Jihomoravsky",
       {A(kUnit, "Builds"), A(kUnit, "Signing"), A(kLocality, "Brno"), A(kState, "South Moravia"),
        A(kState, "Jihomoravsky")}},
      {"E=sign@ostrevo.test, emailAddress=a@b.test, SERIALNUMBER=0123",
       {A(kEmail, "sign@ostrevo.test"), A(kEmail, "a@b.test"), A(kSerialNumber, "0123")}},
      {"2.5.4.15=Private Organization, OID.1.3.6.1.4.1.311.60.2.1.3=CZ",
       {A(kBusinessCategory, "Private Organization"), A(kJurisdiction, "CZ")}},
      // Escapes: the special characters, a kept space at either end, bytes of UTF-8 in hex.
      {R"(CN=Ostrevo\, s.r.o.\+\;\"\\\<\>\=\#, O=\ spaced\ )",
       {A(kCn, "Ostrevo, s.r.o.+;\"\\<>=#"), A(kOrganization, " spaced ")}},
      {R"(CN=Ostr\C4\9Bvo, O=#1 tool\20)", {}},
      {R"(CN=Ostr\C4\9Bvo, O=no\23 1\20)", {A(kCn, "Ostrěvo"), A(kOrganization, "no# 1 ")}},
      // UTF-8 as written, and a value with '=' in it.
      {"CN=Ostrěvo Šoftware, O=a=b", {A(kCn, "Ostrěvo Šoftware"), A(kOrganization, "a=b")}},
      // Quoted, as Windows writes names: separators inside, "" for a quote.
      {R"(CN="Ostrevo, s.r.o.", O="say ""hi"" ; +" , C=CZ)",
       {A(kCn, "Ostrevo, s.r.o."), A(kOrganization, "say \"hi\" ; +"), A(kCountry, "CZ")}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto parsed = ParsePublisherSubject(c.text);
    if (c.expected.empty()) {
      EXPECT_FALSE(parsed.has_value());
    } else {
      ASSERT_TRUE(parsed.has_value());
      EXPECT_EQ(*parsed, c.expected);
    }
  }
}

TEST(PublisherSubjectTest, RefusesWhatIsNoSubject) {
  for (const char* text : {
           "",           " ",        "Ostrevo",         "CN",
           "CN=",        "CN= ",     "CN=Ostrevo,",     "CN=Ostrevo,,O=x",
           "XX=Ostrevo", "=Ostrevo", "CN=a, DC=b",      "1=a",
           "3.1=a",      "1.40=a",   "2.05=a",          "1.2.99999999999=a",
           "1..2=a",     "OID.=a",   "CN=#0403",        "CN=a\"b",
           "CN=<a>",     "CN=a\\",   "CN=a\\q",         "CN=a\\4",
           "CN=a\\00b",  "CN=\\C4",  "CN=\\FF\\FE",     "CN=\"open",
           "CN=\"a\"b",  "CN=\xC4",  "CN=\xED\xA0\x80",
       }) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(ParsePublisherSubject(text).has_value());
  }
}

// DER, built by hand.
Buffer Der(std::uint8_t tag, const Buffer& content) {
  Buffer out{tag, static_cast<std::uint8_t>(content.size())};
  out.insert(out.end(), content.begin(), content.end());
  return out;
}

Buffer Cat(std::initializer_list<Buffer> parts) {
  Buffer out;
  for (const Buffer& part : parts) {
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

Buffer Ava(const Buffer& type, std::uint8_t tag, const Buffer& value) {
  return Der(0x30, Cat({Der(0x06, type), Der(tag, value)}));
}

Buffer Text(const std::string& text) {
  return Buffer(text.begin(), text.end());
}

TEST(PublisherSubjectTest, DecodesEveryStringTypeToTheSameText) {
  const Buffer bmp = {0x00, 'O', 0x01, 0x1B, 0x00, 's'};                    // "Oěs"
  const Buffer bmp_pair = {0xD8, 0x3D, 0xDE, 0x00, 0x00, 'x'};              // U+1F600, 'x'
  const Buffer universal = {0, 0, 0, 'O', 0, 0, 0x01, 0x1B, 0, 0, 0, 's'};  // "Oěs"
  const struct {
    const char* name;
    std::uint8_t tag;
    Buffer value;
    std::optional<std::string> text;
  } cases[] = {
      {"PrintableString", 0x13, Text("Ostrevo"), "Ostrevo"},
      {"IA5String", 0x16, Text("a@b.test"), "a@b.test"},
      {"VisibleString", 0x1A, Text("Ostrevo"), "Ostrevo"},
      {"NumericString", 0x12, Text("0123"), "0123"},
      {"UTF8String", 0x0C, Text("Ostrěvo"), "Ostrěvo"},
      {"BMPString", 0x1E, bmp, "Oěs"},
      {"BMPString with a surrogate pair", 0x1E, bmp_pair, "\xF0\x9F\x98\x80x"},
      {"UniversalString", 0x1C, universal, "Oěs"},
      {"TeletexString in UTF-8", 0x14, Text("Ostrěvo"), "Ostrěvo"},
      {"TeletexString in Latin-1", 0x14, Buffer{'O', 0xE9}, "Oé"},
      // Text that is not what its type says equals nothing.
      {"PrintableString with a high byte", 0x13, Buffer{'O', 0xE9}, std::nullopt},
      {"UTF8String overlong", 0x0C, Buffer{0xC0, 0xAF}, std::nullopt},
      {"UTF8String surrogate", 0x0C, Buffer{0xED, 0xA0, 0x80}, std::nullopt},
      {"UTF8String cut", 0x0C, Buffer{'O', 0xC4}, std::nullopt},
      {"a NUL inside", 0x0C, Buffer{'O', 0, 'x'}, std::nullopt},
      {"BMPString of odd length", 0x1E, Buffer{0x00, 'O', 0x00}, std::nullopt},
      {"BMPString lone surrogate", 0x1E, Buffer{0xD8, 0x3D, 0x00, 'x'}, std::nullopt},
      {"UniversalString past U+10FFFF", 0x1C, Buffer{0, 0x11, 0, 0}, std::nullopt},
      {"OCTET STRING", 0x04, Text("Ostrevo"), std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Buffer name = Der(0x30, Der(0x31, Ava(kCn, c.tag, c.value)));
    const auto decoded = DecodeName(name);
    ASSERT_TRUE(decoded.has_value());
    ASSERT_EQ(decoded->size(), 1u);
    EXPECT_EQ((*decoded)[0].type, kCn);
    EXPECT_EQ((*decoded)[0].value, c.text);
  }
}

TEST(PublisherSubjectTest, DecodesNamesAndRefusesWhatIsNoName) {
  const Buffer cn = Ava(kCn, 0x0C, Text("Ostrevo"));
  const Buffer o = Ava(kOrganization, 0x13, Text("Ostrevo"));
  // A multi-valued part is flattened, in order.
  const auto decoded = DecodeName(Der(0x30, Cat({Der(0x31, Cat({cn, o})), Der(0x31, cn)})));
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(*decoded,
            (Attributes{A(kCn, "Ostrevo"), A(kOrganization, "Ostrevo"), A(kCn, "Ostrevo")}));
  EXPECT_EQ(DecodeName(Der(0x30, {})), Attributes{});
  const struct {
    const char* name;
    Buffer der;
  } refused[] = {
      {"not a sequence", Der(0x31, Der(0x31, cn))},
      {"bytes after the name", Cat({Der(0x30, Der(0x31, cn)), Buffer{0}})},
      {"a part that is no set", Der(0x30, Der(0x30, cn))},
      {"an empty part", Der(0x30, Der(0x31, {}))},
      {"a pair without a value", Der(0x30, Der(0x31, Der(0x30, Der(0x06, kCn))))},
      {"a pair with three fields",
       Der(0x30, Der(0x31, Der(0x30, Cat({Der(0x06, kCn), Der(0x0C, Text("a")),
                                          Der(0x0C, Text("b"))}))))},
      {"a type that is no object identifier",
       Der(0x30, Der(0x31, Der(0x30, Cat({Der(0x02, kCn), Der(0x0C, Text("a"))}))))},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(DecodeName(c.der).has_value());
  }
  // Every truncation is refused, never read past.
  const Buffer whole = Der(0x30, Cat({Der(0x31, Cat({cn, o})), Der(0x31, cn)}));
  for (std::size_t n = 0; n < whole.size(); ++n) {
    EXPECT_FALSE(DecodeName(Buffer(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n)))
                     .has_value())
        << n;
  }
}

TEST(PublisherSubjectTest, MatchesEveryAttributeGivenWhateverItsStringType) {
  const Attributes wanted = *ParsePublisherSubject("CN=Ostrěvo Software, O=Ostrevo, C=CZ");
  const Buffer bmp_name = {0x00, 'O',  0x00, 's',  0x00, 't',  0x00, 'r',  0x01, 0x1B, 0x00,
                           'v',  0x00, 'o',  0x00, ' ',  0x00, 'S',  0x00, 'o',  0x00, 'f',
                           0x00, 't',  0x00, 'w',  0x00, 'a',  0x00, 'r',  0x00, 'e'};
  const auto name = [](std::initializer_list<Buffer> avas) {
    Buffer parts;
    for (const Buffer& ava : avas) {
      const Buffer part = Der(0x31, ava);
      parts.insert(parts.end(), part.begin(), part.end());
    }
    return *DecodeName(Der(0x30, parts));
  };
  const Buffer country = Ava(kCountry, 0x13, Text("CZ"));
  const Buffer organization = Ava(kOrganization, 0x0C, Text("Ostrevo"));
  const Buffer cn = Ava(kCn, 0x0C, Text("Ostrěvo Software"));
  const struct {
    const char* name;
    Attributes subject;
    bool matches;
  } cases[] = {
      {"the same, in certificate order", name({country, organization, cn}), true},
      {"the name in a BMPString, the organization printable",
       name({country, Ava(kOrganization, 0x13, Text("Ostrevo")), Ava(kCn, 0x1E, bmp_name)}), true},
      {"more attributes than given",
       name({country, Ava(kLocality, 0x0C, Text("Brno")), organization, cn,
             Ava(kSerialNumber, 0x13, Text("12345"))}),
       true},
      {"one attribute missing", name({country, cn}), false},
      {"another name", name({country, organization, Ava(kCn, 0x0C, Text("Ostrevo Softwar"))}),
       false},
      {"another case", name({country, organization, Ava(kCn, 0x0C, Text("ostrěvo software"))}),
       false},
      {"a trailing space", name({country, organization, Ava(kCn, 0x0C, Text("Ostrěvo Software "))}),
       false},
      {"a second common name beside the right one",
       name({country, organization, cn, Ava(kCn, 0x0C, Text("Evil"))}), false},
      {"the name in an unreadable encoding",
       name({country, organization, Ava(kCn, 0x0C, Buffer{0xC0, 0xAF})}), false},
      {"an unreadable second name beside the right one",
       name({country, organization, cn, Ava(kCn, 0x04, Text("x"))}), false},
      {"nothing", {}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SubjectMatches(wanted, c.subject), c.matches);
  }
  // Two units wanted: both, in any order, and no third.
  const Attributes units = *ParsePublisherSubject("OU=Builds, OU=Signing");
  const Buffer builds = Ava(kUnit, 0x0C, Text("Builds"));
  const Buffer signing = Ava(kUnit, 0x0C, Text("Signing"));
  EXPECT_TRUE(SubjectMatches(units, name({signing, builds})));
  EXPECT_FALSE(SubjectMatches(units, name({builds})));
  EXPECT_FALSE(SubjectMatches(units, name({builds, signing, Ava(kUnit, 0x0C, Text("Other"))})));
  EXPECT_FALSE(SubjectMatches({}, name({cn})));
}

// A self-signed P-256 certificate made with openssl for this test: C=CZ, O=Ostrevo Test,
// CN=Ostrevo Test Publisher. Its key's SHA-256 pin (`openssl x509 -pubkey | openssl pkey -pubin
// -outform DER | sha256sum`) is fbf0e43017d9b479f5f5b056ed3758e6bd4057d9ee030a3d968296d2f820d64d.
const Buffer kCertificate = {
    0x30, 0x82, 0x01, 0xE1, 0x30, 0x82, 0x01, 0x87, 0xA0, 0x03, 0x02, 0x01, 0x02, 0x02, 0x14, 0x36,
    0x5B, 0xED, 0xDA, 0xC5, 0x92, 0xD3, 0x0B, 0xCA, 0x15, 0xA1, 0x2B, 0x60, 0x19, 0x88, 0x0D, 0xE9,
    0xBD, 0xDF, 0xE2, 0x30, 0x0A, 0x06, 0x08, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x04, 0x03, 0x02, 0x30,
    0x45, 0x31, 0x0B, 0x30, 0x09, 0x06, 0x03, 0x55, 0x04, 0x06, 0x13, 0x02, 0x43, 0x5A, 0x31, 0x15,
    0x30, 0x13, 0x06, 0x03, 0x55, 0x04, 0x0A, 0x0C, 0x0C, 0x4F, 0x73, 0x74, 0x72, 0x65, 0x76, 0x6F,
    0x20, 0x54, 0x65, 0x73, 0x74, 0x31, 0x1F, 0x30, 0x1D, 0x06, 0x03, 0x55, 0x04, 0x03, 0x0C, 0x16,
    0x4F, 0x73, 0x74, 0x72, 0x65, 0x76, 0x6F, 0x20, 0x54, 0x65, 0x73, 0x74, 0x20, 0x50, 0x75, 0x62,
    0x6C, 0x69, 0x73, 0x68, 0x65, 0x72, 0x30, 0x20, 0x17, 0x0D, 0x32, 0x36, 0x31, 0x32, 0x31, 0x31,
    0x30, 0x36, 0x31, 0x30, 0x31, 0x33, 0x5A, 0x18, 0x0F, 0x32, 0x31, 0x32, 0x36, 0x31, 0x31, 0x31,
    0x37, 0x30, 0x36, 0x31, 0x30, 0x31, 0x33, 0x5A, 0x30, 0x45, 0x31, 0x0B, 0x30, 0x09, 0x06, 0x03,
    0x55, 0x04, 0x06, 0x13, 0x02, 0x43, 0x5A, 0x31, 0x15, 0x30, 0x13, 0x06, 0x03, 0x55, 0x04, 0x0A,
    0x0C, 0x0C, 0x4F, 0x73, 0x74, 0x72, 0x65, 0x76, 0x6F, 0x20, 0x54, 0x65, 0x73, 0x74, 0x31, 0x1F,
    0x30, 0x1D, 0x06, 0x03, 0x55, 0x04, 0x03, 0x0C, 0x16, 0x4F, 0x73, 0x74, 0x72, 0x65, 0x76, 0x6F,
    0x20, 0x54, 0x65, 0x73, 0x74, 0x20, 0x50, 0x75, 0x62, 0x6C, 0x69, 0x73, 0x68, 0x65, 0x72, 0x30,
    0x59, 0x30, 0x13, 0x06, 0x07, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x02, 0x01, 0x06, 0x08, 0x2A, 0x86,
    0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00, 0x04, 0xCF, 0xA8, 0xCE, 0x73, 0x97, 0x08,
    0xD2, 0xBC, 0xDA, 0x15, 0xC4, 0x08, 0x6A, 0x21, 0x89, 0x91, 0xC5, 0x80, 0x6D, 0xA4, 0xB7, 0xFE,
    0xEE, 0xD1, 0x9E, 0x6F, 0x66, 0x92, 0x51, 0x55, 0xEB, 0xD8, 0x82, 0x18, 0x9F, 0x04, 0x07, 0xE3,
    0x48, 0x57, 0x52, 0x23, 0xB3, 0xA0, 0xDB, 0xE9, 0x63, 0xAC, 0xE5, 0x80, 0x9A, 0x9B, 0xFF, 0x65,
    0x1C, 0x43, 0x37, 0x30, 0x1E, 0xFA, 0x96, 0xF3, 0x50, 0x1E, 0xA3, 0x53, 0x30, 0x51, 0x30, 0x1D,
    0x06, 0x03, 0x55, 0x1D, 0x0E, 0x04, 0x16, 0x04, 0x14, 0xCD, 0xB5, 0xEB, 0xA7, 0xEA, 0x4D, 0xC3,
    0x00, 0x82, 0x6D, 0xFA, 0x3E, 0xCC, 0x25, 0xDB, 0x1D, 0x36, 0xE1, 0x5A, 0xAE, 0x30, 0x1F, 0x06,
    0x03, 0x55, 0x1D, 0x23, 0x04, 0x18, 0x30, 0x16, 0x80, 0x14, 0xCD, 0xB5, 0xEB, 0xA7, 0xEA, 0x4D,
    0xC3, 0x00, 0x82, 0x6D, 0xFA, 0x3E, 0xCC, 0x25, 0xDB, 0x1D, 0x36, 0xE1, 0x5A, 0xAE, 0x30, 0x0F,
    0x06, 0x03, 0x55, 0x1D, 0x13, 0x01, 0x01, 0xFF, 0x04, 0x05, 0x30, 0x03, 0x01, 0x01, 0xFF, 0x30,
    0x0A, 0x06, 0x08, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x04, 0x03, 0x02, 0x03, 0x48, 0x00, 0x30, 0x45,
    0x02, 0x20, 0x16, 0x46, 0x8D, 0xEC, 0x21, 0x69, 0x9D, 0x95, 0x26, 0x68, 0x11, 0x43, 0x29, 0x11,
    0xAF, 0xE1, 0x39, 0xB2, 0xB2, 0x68, 0xAF, 0x3B, 0x4B, 0xAE, 0x1D, 0x3B, 0x32, 0x49, 0x4A, 0x28,
    0x49, 0xC2, 0x02, 0x21, 0x00, 0xF5, 0x45, 0x7A, 0x05, 0x6B, 0x64, 0x79, 0xE3, 0x6C, 0xE6, 0x3F,
    0xBD, 0x37, 0xF5, 0x67, 0x21, 0xD2, 0x2B, 0x88, 0xBD, 0x60, 0xAB, 0xA0, 0x49, 0xE8, 0x2F, 0x82,
    0x21, 0xF7, 0xFD, 0x98, 0xE5,
};

TEST(CertificatePartsTest, FindsTheSubjectAndTheKeyEncodingsWhole) {
  const auto parts = ReadCertificateParts(kCertificate);
  ASSERT_TRUE(parts.has_value());
  // The issuer's encoding is the same name at 47; the subject's follows the validity.
  EXPECT_EQ(parts->subject.data(), kCertificate.data() + 152);
  EXPECT_EQ(parts->subject.size(), 71u);
  // The SubjectPublicKeyInfo as openssl writes it on its own: the bytes its pin hashes.
  EXPECT_EQ(parts->public_key_info.data(), kCertificate.data() + 223);
  ASSERT_EQ(parts->public_key_info.size(), 91u);
  EXPECT_EQ(Buffer(parts->public_key_info.begin(), parts->public_key_info.begin() + 4),
            (Buffer{0x30, 0x59, 0x30, 0x13}));
  const auto subject = DecodeName(parts->subject);
  ASSERT_TRUE(subject.has_value());
  EXPECT_EQ(*subject, (Attributes{A(kCountry, "CZ"), A(kOrganization, "Ostrevo Test"),
                                  A(kCn, "Ostrevo Test Publisher")}));
  EXPECT_TRUE(SubjectMatches(*ParsePublisherSubject("CN=Ostrevo Test Publisher, O=Ostrevo Test"),
                             *subject));
}

TEST(CertificatePartsTest, RefusesWhatIsNoCertificate) {
  Buffer trailing = kCertificate;
  trailing.push_back(0);
  EXPECT_FALSE(ReadCertificateParts(trailing).has_value());
  for (std::size_t n = 0; n < kCertificate.size(); ++n) {
    EXPECT_FALSE(ReadCertificateParts(Buffer(kCertificate.begin(),
                                             kCertificate.begin() + static_cast<std::ptrdiff_t>(n)))
                     .has_value())
        << n;
  }
  // Without its key: the certificate's own sequence ends after the subject.
  Buffer keyless(kCertificate.begin(), kCertificate.begin() + 223);
  keyless[2] = 0x00;
  keyless[3] = 223 - 4;
  keyless[6] = 0x00;
  keyless[7] = 223 - 8;
  EXPECT_FALSE(ReadCertificateParts(keyless).has_value());
}

}  // namespace
}  // namespace setup
