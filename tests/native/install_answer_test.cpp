#include "bootstrap/run/install_answer.h"

#include <gtest/gtest.h>

#include <random>

#include "framework/text.h"
#include "tests/native/split_stream.h"

namespace setup {

void PrintTo(const InstallAnswer& answer, std::ostream* os) {
  *os << "{\"" << answer.url << "\", " << answer.size << ", hash " << static_cast<int>(answer.hash)
      << "}";
}

namespace {

using namespace std::string_literals;

const Windows1252CodePage kCodePage{};

std::string Utf16Body(std::u16string_view text, bool little_endian) {
  std::string body = little_endian ? "\xFF\xFE" : "\xFE\xFF";
  for (const char16_t unit : text) {
    const char lo = static_cast<char>(unit & 0xFF);
    const char hi = static_cast<char>(unit >> 8);
    body += little_endian ? std::string{lo, hi} : std::string{hi, lo};
  }
  return body;
}

std::string Repeat(std::string_view piece, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) {
    out += piece;
  }
  return out;
}

struct AnswerCase {
  const char* name;
  std::string body;
  std::optional<InstallAnswer> expected;  // nullopt: the body has no lines
};

void ExpectAnswers(const std::vector<AnswerCase>& cases) {
  for (const AnswerCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<InstallAnswer> answer = ParseInstallAnswer(c.body, kCodePage);
    ASSERT_EQ(answer.has_value(), c.expected.has_value());
    if (answer) {
      EXPECT_EQ(answer->url, c.expected->url);
      EXPECT_EQ(answer->size, c.expected->size);
      EXPECT_EQ(answer->hash, c.expected->hash);
      EXPECT_TRUE(answer->sha256 == c.expected->sha256);
    }
  }
}

TEST(InstallAnswerTest, NoInstallerAndNoLines) {
  const InstallAnswer none{"", 0};
  ExpectAnswers({
      {"0", "0", none},
      {"0 CR LF", "0\r\n", none},
      {"0 LF then more", "0\nhttps://x/a.exe|5", none},
      {"blanks around 0", " \t0  \r\n", none},
      {"control chars around 0",
       "\x01"
       "0\x1F",
       none},
      {"UTF-8 mark",
       "\xEF\xBB\xBF"
       "0\r\n",
       none},
      {"UTF-16 LE 0", Utf16Body(u"0\r\n", true), none},
      {"UTF-16 BE 0", Utf16Body(u" 0", false), none},
      {"00 is not 0", "00", InstallAnswer{"00", 1}},
      {"0 with a field", "0|5", InstallAnswer{"0", 5}},
      {"empty body", "", std::nullopt},
      {"NUL first",
       "\0"
       "0\r\n"s,
       std::nullopt},
      {"only a UTF-8 mark", "\xEF\xBB\xBF", std::nullopt},
      {"only a UTF-16 mark", "\xFF\xFE", std::nullopt},
      {"UTF-16 NUL first",
       Utf16Body(u"\0"
                 "0"s,
                 true),
       std::nullopt},
      {"mark and an odd byte",
       "\xFF\xFE"
       "0",
       std::nullopt},
      {"first line empty (CR LF)", "\r\nhttps://x/a.exe|5", InstallAnswer{"", 1}},
      {"first line empty (LF)", "\n0", InstallAnswer{"", 1}},
      {"first line only blanks", "   \r\n0", InstallAnswer{"", 1}},
      {"line begins with a bar", "|77", InstallAnswer{"", 77}},
  });
}

TEST(InstallAnswerTest, UrlAndSizeFields) {
  const std::string url = "HTTPS://LOCALHOST:47443/DOWNLOADS/SETUP-SAMPLE.EXE";
  ExpectAnswers({
      {"mixed case upper-cased", "https://Localhost:47443/Downloads/Setup-Sample.exe|1048576",
       InstallAnswer{url, 1048576}},
      {"no bar: whole line, size 1", "https://localhost:47443/downloads/setup-sample.exe",
       InstallAnswer{url, 1}},
      {"blanks around fields", "  https://localhost:47443/downloads/setup-sample.exe |\t42 \r\n",
       InstallAnswer{url, 42}},
      {"a third field that is no hash", "u|5|7|x",
       InstallAnswer{"U", 5, AnnouncedHash::kMalformed}},
      {"empty size field", "u|", InstallAnswer{"U", 1}},
      {"empty second field, a third that is no hash", "u||5",
       InstallAnswer{"U", 1, AnnouncedHash::kMalformed}},
      {"size 12A", "u|12A", InstallAnswer{"U", 3}},
      {"size -5", "u|-5", InstallAnswer{"U", -5}},
      {"size $1F", "u|$1F", InstallAnswer{"U", 31}},
      {"size 0X1F", "u|0X1F", InstallAnswer{"U", 31}},
      {"size 2147483648", "u|2147483648", InstallAnswer{"U", 11}},
      {"size 3000000000", "u|3000000000", InstallAnswer{"U", 10}},
      {"only a-z upper-cased", "http://x/\xE9t\xE9.exe|1",
       InstallAnswer{"HTTP://X/\xE9T\xE9.EXE", 1}},
      {"CR LF ends the line", "u|5\r\nv|6", InstallAnswer{"U", 5}},
      {"lone CR ends the line", "u|5\rv|6", InstallAnswer{"U", 5}},
      {"LF CR ends the line", "u|5\n\rv|6", InstallAnswer{"U", 5}},
      {"NUL inside the first line", "ab\0c|5"s, InstallAnswer{"AB", 1}},
      {"NUL after the first line", "ab|5\n\0"s, InstallAnswer{"AB", 5}},
      {"an error page's first line", "<html><body>Not Found</body></html>\n",
       InstallAnswer{"<HTML><BODY>NOT FOUND</BODY></HTML>", 1}},
  });
}

// The digest of the hex text 00 01 02 ... 1F.
Sha256Digest CountingDigest() {
  Sha256Digest digest{};
  for (std::size_t i = 0; i < digest.size(); ++i) {
    digest[i] = static_cast<std::uint8_t>(i);
  }
  return digest;
}

constexpr char kCountingHex[] = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";

TEST(InstallAnswerTest, ThirdFieldBindsTheInstallersHash) {
  const std::string hex = kCountingHex;
  const InstallAnswer given{"U", 5, AnnouncedHash::kGiven, CountingDigest()};
  const InstallAnswer malformed{"U", 5, AnnouncedHash::kMalformed};
  ExpectAnswers({
      {"lower-case hex", "u|5|" + hex, given},
      {"upper-case hex", "u|5|" + fw::ToUpperAscii(hex), given},
      {"blanks around the hash", "u|5| \t" + hex + " \r\nv|6", given},
      {"fields after the hash ignored", "u|5|" + hex + "|later|fields", given},
      {"two fields: no hash", "u|5", InstallAnswer{"U", 5}},
      {"an empty third field binds nothing", "u|5|", InstallAnswer{"U", 5}},
      {"an empty third field before a fourth", "u|5||x", InstallAnswer{"U", 5}},
      {"63 digits", "u|5|" + hex.substr(1), malformed},
      {"65 digits", "u|5|" + hex + "0", malformed},
      {"a non-hex digit", "u|5|" + hex.substr(0, 63) + "g", malformed},
      {"a blank inside", "u|5|" + hex.substr(0, 32) + " " + hex.substr(32), malformed},
      {"a prefix", "u|5|0x" + hex.substr(2), malformed},
      {"a digest algorithm's name", "u|5|sha256:" + hex, malformed},
      {"no size field but a hash", "u||" + hex,
       InstallAnswer{"U", 1, AnnouncedHash::kGiven, CountingDigest()}},
      {"no URL", "|5|" + hex, InstallAnswer{"", 5, AnnouncedHash::kGiven, CountingDigest()}},
      {"cut at the 255th character", std::string(189, 'a') + "|5|" + hex,
       InstallAnswer{std::string(189, 'A'), 5, AnnouncedHash::kMalformed}},
      {"just within 255 characters", std::string(188, 'a') + "|5|" + hex,
       InstallAnswer{std::string(188, 'A'), 5, AnnouncedHash::kGiven, CountingDigest()}},
      {"UTF-16 answer with a hash",
       Utf16Body(u"u|5|000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", true),
       given},
  });
}

TEST(InstallAnswerTest, Sha256HexTextBothWays) {
  const struct {
    std::string text;
    bool valid;
  } cases[] = {
      {kCountingHex, true},
      {fw::ToUpperAscii(kCountingHex), true},
      {std::string(64, 'F'), true},
      {"", false},
      {std::string(63, '0'), false},
      {std::string(66, '0'), false},
      {std::string(63, '0') + "G", false},
      {std::string(63, '0') + ":", false},  // the characters around the digits in ASCII
      {std::string(63, '0') + "@", false},
      {std::string(63, '0') + "`", false},
      {std::string(63, '0') + "/", false},
      {std::string(63, '0') + '\0', false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    const std::optional<Sha256Digest> digest = ParseSha256Hex(c.text);
    ASSERT_EQ(digest.has_value(), c.valid);
    if (digest) {
      // Written back in upper case, as the log shows it: the same digits.
      const std::string upper = fw::ToUpperAscii(c.text);
      EXPECT_EQ(Sha256Hex(*digest), std::wstring(upper.begin(), upper.end()));
    }
  }
  EXPECT_EQ(Sha256Hex(CountingDigest()),
            L"000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F");
}

TEST(InstallAnswerTest, OnlyTheFirst255CharactersCount) {
  const std::string a252(252, 'a');
  ExpectAnswers({
      {"size field cut", a252 + "|123456789" + std::string(38, 'b'),
       InstallAnswer{std::string(252, 'A') + "", 12}},
      {"size field lost", std::string(260, 'a') + "|5", InstallAnswer{std::string(255, 'A'), 1}},
      {"blanks beyond the cut", std::string(255, ' ') + "u|5", InstallAnswer{"", 1}},
      {"blanks before the 255th", std::string(251, ' ') + "u|567", InstallAnswer{"U", 56}},
      {"UTF-16 line cut", Utf16Body(std::u16string(300, u'a') + u"|5", true),
       InstallAnswer{std::string(255, 'A'), 1}},
      {"UTF-8 line cut by characters", "\xEF\xBB\xBF" + Repeat("\xE2\x82\xAC", 260) + "|5",
       InstallAnswer{std::string(255, '\x80'), 1}},
  });
}

TEST(InstallAnswerTest, MarkedTextsAreConvertedToTheCodePage) {
  ExpectAnswers({
      {"UTF-16 LE", Utf16Body(u"https://x/a.exe|77\r\nmore", true),
       InstallAnswer{"HTTPS://X/A.EXE", 77}},
      {"UTF-16 BE", Utf16Body(u"https://x/a.exe|77\r\nmore", false),
       InstallAnswer{"HTTPS://X/A.EXE", 77}},
      {"UTF-16 euro and unmappable", Utf16Body(u"x\u20AC\u0100\u00E9|1", true),
       InstallAnswer{"X\x80?\xE9", 1}},
      {"UTF-16 NUL inside the line", Utf16Body(u"ab\0c|5"s, true), InstallAnswer{"AB", 1}},
      {"UTF-16 LE odd byte dropped", Utf16Body(u"u|5", true) + "7", InstallAnswer{"U", 5}},
      {"UTF-16 BE lone CR", Utf16Body(u"u|5\rv|6", false), InstallAnswer{"U", 5}},
      {"UTF-16 mark only in front",
       "\xFF\xFE"
       "u\0|\0"
       "5\0"s,
       InstallAnswer{"U", 5}},
      {"UTF-16 surrogate pair", Utf16Body(u"u\U0001F600|2", true), InstallAnswer{"U??", 2}},
      {"UTF-8 accents",
       "\xEF\xBB\xBF"
       "caf\xC3\xA9|9",
       InstallAnswer{"CAF\xE9", 9}},
      {"UTF-8 invalid byte",
       "\xEF\xBB\xBF"
       "a\xFF"
       "b|9",
       InstallAnswer{"A?B", 9}},
      {"UTF-8 truncated sequence",
       "\xEF\xBB\xBF"
       "a\xE2\x82|9",
       InstallAnswer{"A?", 9}},
      {"UTF-8 NUL",
       "\xEF\xBB\xBF"
       "ab\0c|5"s,
       InstallAnswer{"AB", 1}},
      {"incomplete UTF-8 mark is ANSI",
       "\xEF\xBB"
       "u|5",
       InstallAnswer{"\xEF\xBBU", 5}},
      {"lone FF is ANSI",
       "\xFF"
       "u|5",
       InstallAnswer{"\xFFU", 5}},
  });
}

TEST(InstallAnswerTest, NextFieldCutsOneField) {
  const struct {
    std::string text;
    std::string field;
    std::string rest;
  } cases[] = {
      {"a|b|c", "a", "b|c"}, {" a |b", "a", "b"},
      {"|b", "", "b"},       {"abc", "", "abc"},  // no bar: nothing cut, text unchanged
      {"", "", ""},          {std::string(300, 'x') + "|y", std::string(255, 'x'), "y"},
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(NextField(text), c.field) << c.text;
    EXPECT_EQ(text, c.rest) << c.text;
  }
}

TEST(InstallAnswerTest, DecodeUtf8ReplacesEachMaximalIllFormedPart) {
  constexpr wchar_t R = L'\xFFFD';
  const struct {
    std::string bytes;
    std::wstring expected;
  } cases[] = {
      {"A", L"A"},
      {"\xC3\xA9", L"\x00E9"},
      {"\xE2\x82\xAC", L"\x20AC"},
      {"\xF0\x9F\x98\x80", {L'\xD83D', L'\xDE00'}},
      {"\xF4\x8F\xBF\xBF", {L'\xDBFF', L'\xDFFF'}},
      {"\x80", {R}},
      {"\xC3", {R}},
      {"\xC3"
       "A",
       {R, L'A'}},
      {"\xE2\x82", {R}},
      {"\xE2\x82"
       "A",
       {R, L'A'}},
      {"\xF0\x9F\x98", {R}},
      {"\xC0\x80", {R, R}},                // overlong
      {"\xE0\x80\x80", {R, R, R}},         // overlong
      {"\xED\xA0\x80", {R, R, R}},         // surrogate
      {"\xF4\x90\x80\x80", {R, R, R, R}},  // above U+10FFFF
      {"\xF5\x80", {R, R}},
      {"\xFF\xFE", {R, R}},
      {"\0"s, {L'\0'}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    EXPECT_EQ(DecodeUtf8(c.bytes), c.expected);
  }
}

TEST(InstallAnswerTest, Windows1252CodePage) {
  for (int b = 0; b < 256; ++b) {
    const std::string byte(1, static_cast<char>(b));
    EXPECT_EQ(kCodePage.FromUtf16(kCodePage.ToUtf16(byte)), byte) << b;
  }
  EXPECT_EQ(kCodePage.ToUtf16("\x80\x81\x9F\xE9"), L"\x20AC\x0081\x0178\x00E9");
  EXPECT_EQ(kCodePage.FromUtf16(L"\x20AC\x0100\xFFFD\xD83D\xDE00"), "\x80????");
}

// Reads with the pieces a network layer might hand over, up to `total` bytes or without end.
class PatternSource {
 public:
  PatternSource(std::string_view pattern, std::optional<std::size_t> total)
      : pattern_(pattern), total_(total) {}
  std::size_t operator()(char* buffer, std::size_t size) {
    const std::size_t piece =
        std::min<std::size_t>({size, 1 + (calls_++ * 389) % 1024, total_ ? *total_ - sent_ : size});
    for (std::size_t i = 0; i < piece; ++i, ++sent_) {
      buffer[i] = pattern_[sent_ % pattern_.size()];
    }
    return piece;
  }
  std::size_t Sent() const { return sent_; }

 private:
  std::string_view pattern_;
  std::optional<std::size_t> total_;
  std::size_t calls_ = 0;
  std::size_t sent_ = 0;
};

TEST(InstallAnswerTest, ReadAnswerBodyStopsAtTheEndOrTheCap) {
  const struct {
    std::optional<std::size_t> total;
    std::size_t expected;
  } cases[] = {{0, 0},
               {1, 1},
               {5000, 5000},
               {kAnswerReadCap, kAnswerReadCap},
               {kAnswerReadCap + 1, kAnswerReadCap},
               {std::nullopt, kAnswerReadCap}};
  const std::string pattern = "u|5\r\n0123456789";
  for (const auto& c : cases) {
    PatternSource source(pattern, c.total);
    const std::string body = ReadAnswerBody(std::ref(source));
    EXPECT_EQ(body.size(), c.expected);
    EXPECT_EQ(source.Sent(), c.expected);  // never asked for more than the cap
    for (std::size_t i = 0; i < body.size(); ++i) {
      ASSERT_EQ(body[i], pattern[i % pattern.size()]) << i;
    }
  }
}

// The body is the stream's first kAnswerReadCap bytes whatever pieces it arrives in, and nothing
// past the cap is taken from the reader.
TEST(InstallAnswerTest, ReadAnswerBodyIsTheSameForEverySplit) {
  const std::size_t lengths[] = {0,
                                 1,
                                 1023,
                                 1024,
                                 1025,
                                 5000,
                                 kAnswerReadCap - 1,
                                 kAnswerReadCap,
                                 kAnswerReadCap + 1,
                                 kAnswerReadCap + 1024,
                                 2 * kAnswerReadCap};
  const auto cap = static_cast<std::int64_t>(kAnswerReadCap);
  for (const std::size_t length : lengths) {
    SCOPED_TRACE(length);
    const std::string stream = StreamBytes(length);
    const std::size_t kept = std::min(length, kAnswerReadCap);
    for (const Delivery& delivery : Deliveries(length, 1024, {cap - 1, cap, cap + 1})) {
      SCOPED_TRACE(delivery.name);
      SplitStream source(stream, delivery.pieces);
      const std::string body = ReadAnswerBody(std::ref(source));
      EXPECT_EQ(body.size(), kept);
      EXPECT_TRUE(body == stream.substr(0, kept));
      EXPECT_EQ(source.Delivered(), kept);
      EXPECT_FALSE(source.AskedAfterEnd());
    }
  }
}

TEST(InstallAnswerTest, ABodyThatNeverEndsParsesLikeItsStart) {
  const struct {
    const char* name;
    std::string pattern;
    InstallAnswer expected;
  } cases[] = {
      {"repeated answer line", "https://x/a.exe|5\r\n", {"HTTPS://X/A.EXE", 5}},
      {"one endless line", "ab", {Repeat("AB", 127) + "A", 1}},
      {"endless blanks", " ", {"", 1}},
      {"endless UTF-16 marks", "\xFF\xFE", {std::string(255, '?'), 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PatternSource source(c.pattern, std::nullopt);
    const std::optional<InstallAnswer> answer =
        ParseInstallAnswer(ReadAnswerBody(std::ref(source)), kCodePage);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(*answer, c.expected);
  }
}

// Every body parses like its first kAnswerReadCap bytes, and like any prefix of kMinAnswerPrefix
// bytes or more.
void ExpectPrefixesParseLikeTheWhole(const std::string& body) {
  const std::optional<InstallAnswer> whole = ParseInstallAnswer(body, kCodePage);
  std::vector<std::size_t> lengths = {kAnswerReadCap};
  for (std::size_t n = kMinAnswerPrefix; n < kMinAnswerPrefix + 8; ++n) {
    lengths.push_back(n);
  }
  for (const std::size_t n : lengths) {
    EXPECT_EQ(ParseInstallAnswer(std::string_view(body).substr(0, n), kCodePage), whole)
        << "prefix " << n << " of " << body.size();
  }
}

TEST(InstallAnswerTest, BodiesLargerThanTheCapParseLikeTheirCappedStart) {
  const struct {
    const char* name;
    std::string body;
    InstallAnswer expected;
  } cases[] = {
      {"first line longer than the cap",
       std::string(70000, 'a') + "|5",
       {std::string(255, 'A'), 1}},
      {"leading blanks longer than the cap", std::string(70000, ' ') + "u|5", {"", 1}},
      {"short line, long rest", "u|5\r\n" + std::string(100000, 'x'), {"U", 5}},
      {"UTF-16 line longer than the cap",
       Utf16Body(std::u16string(40000, u'a'), true),
       {std::string(255, 'A'), 1}},
      {"UTF-16 with odd total",
       Utf16Body(std::u16string(40000, u'b'), false) + "x",
       {std::string(255, 'B'), 1}},
      {"UTF-8 line longer than the cap",
       "\xEF\xBB\xBF" + Repeat("\xE2\x82\xAC", 30000),
       {std::string(255, '\x80'), 1}},
      {"UTF-8 four-byte characters",
       "\xEF\xBB\xBF" + Repeat("\xF0\x9F\x98\x80", 20000),
       {std::string(255, '?'), 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_GT(c.body.size(), kAnswerReadCap);
    EXPECT_EQ(ParseInstallAnswer(c.body, kCodePage), c.expected);
    ExpectPrefixesParseLikeTheWhole(c.body);
  }
}

TEST(InstallAnswerTest, RandomBodiesParseLikeTheirPrefixes) {
  // Long lines are likely: line ends and NULs are rare among the pieces.
  const std::vector<std::string> pieces = {"a",        "Z",
                                           " ",        "\t",
                                           "|",        "0",
                                           "7",        "$",
                                           "x",        "\xE9",
                                           "\xC3\xA9", "\xE2\x82\xAC",
                                           "\xE2\x82", "\xF0\x9F\x98\x80",
                                           "\xF0\x9F", "\xED\xA0\x80",
                                           "\x80",     "\xFF",
                                           "\x01",     "\r",
                                           "\n",       "\0"s};
  const std::vector<std::string> marks = {"", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"};
  const std::size_t common = pieces.size() - 3;
  std::mt19937 random(20240601);
  for (std::size_t round = 0; round < 300; ++round) {
    // From a line end every few pieces to lines far longer than 255 characters.
    const std::size_t spacing = 2 + round * 5;
    std::string body = marks[round % marks.size()];
    while (body.size() < kMinAnswerPrefix + 600) {
      body += random() % spacing == 0 ? pieces[common + random() % 3] : pieces[random() % common];
    }
    SCOPED_TRACE(round);
    ExpectPrefixesParseLikeTheWhole(body);
  }
}

}  // namespace
}  // namespace setup
