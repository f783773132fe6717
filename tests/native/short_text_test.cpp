#include "bootstrap/vocabulary/short_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace setup {
namespace {

TEST(ShortTextTest, TrimShortStrRemovesCodesUpTo32AtBothEnds) {
  const struct {
    std::string text;
    std::string expected;
  } cases[] = {
      {"", ""},
      {"   ", ""},
      {"  abc \t\r\n", "abc"},
      {"\x01\x1F"
       "a b\x20",
       "a b"},
      {"\x7F"
       "a\xA0",
       "\x7F"
       "a\xA0"},                                                 // 127 and 160 are above 32
      {std::string(254, 'x') + " yyyy", std::string(254, 'x')},  // cut first, then trimmed
      {" " + std::string(300, 'x'), std::string(254, 'x')},
      {std::string(300, 'x'), std::string(255, 'x')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(TrimShortStr(c.text), c.expected);
  }
}

TEST(ShortTextTest, IntToShortStrGivesShortestDecimal) {
  const struct {
    std::int32_t value;
    const char* expected;
  } cases[] = {
      {0, "0"},
      {7, "7"},
      {-1, "-1"},
      {1048576, "1048576"},
      {std::numeric_limits<std::int32_t>::max(), "2147483647"},
      {std::numeric_limits<std::int32_t>::min(), "-2147483648"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IntToShortStr(c.value), c.expected);
  }
}

// The framework's one decimal writer, as a piece of a joined text and as a string of each width.
TEST(ShortTextTest, DecimalPiecesGiveTheShortestDecimalOfEvery64BitValue) {
  const struct {
    std::int64_t value;
    const char* expected;
  } cases[] = {
      {0, "0"},
      {9, "9"},
      {10, "10"},
      {-7, "-7"},
      {4294967295, "4294967295"},
      {std::numeric_limits<std::int64_t>::max(), "9223372036854775807"},
      {std::numeric_limits<std::int64_t>::min(), "-9223372036854775808"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    const std::wstring wide(c.expected, c.expected + std::char_traits<char>::length(c.expected));
    EXPECT_EQ(JoinedText({L"<", DecimalPiece(c.value), L">"}), L"<" + wide + L">");
    EXPECT_EQ(fw::DecimalText(c.value), c.expected);
    EXPECT_EQ(fw::DecimalText<wchar_t>(c.value), wide);
  }
}

TEST(ShortTextTest, ShortStrToIntParsesOrTellsWhereItFailed) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  const struct {
    std::string text;
    std::int32_t value;
    bool ok;
  } cases[] = {
      // decimal
      {"0", 0, true},
      {"123", 123, true},
      {"+7", 7, true},
      {"-5", -5, true},
      {"  42", 42, true},
      {"  -42   ", -42, true},
      {"007", 7, true},
      {"2147483647", kMax, true},
      {"-2147483648", kMin, true},
      {"00000000002147483647", kMax, true},
      // hexadecimal
      {"$1F", 31, true},
      {"0X1F", 31, true},
      {"0x1f", 31, true},
      {"x1F", 31, true},
      {"X1f", 31, true},
      {"-$1F", -31, true},
      {"+$10", 16, true},
      {"-0x1F", -31, true},
      {"$7FFFFFFF", kMax, true},
      {"$FFFFFFFF", -1, true},
      {"$80000000", kMin, true},
      {"-$80000000", kMin, true},
      {"-$FFFFFFFF", 1, true},
      {"$000000001", 1, true},  // leading zeros are not significant
      // failures: the 1-based position
      {"", 1, false},
      {"   ", 1, false},
      {"-", 2, false},
      {"+", 2, false},
      {" -", 3, false},
      {"- 5", 2, false},
      {"1 2", 2, false},
      {"1.5", 2, false},
      {"12A", 3, false},
      {"12\t", 3, false},  // only code 32 counts as a trailing space
      {"2147483648", 11, false},
      {"-2147483649", 12, false},
      {"3000000000", 10, false},
      {"21474836470", 11, false},
      {"99999999999", 10, false},
      {"$", 3, false},
      {"x", 3, false},
      {"0x", 4, false},
      {"-$", 4, false},
      {"+0X", 5, false},
      {"$ 1", 2, false},
      {"$1G", 3, false},
      {"0x1F.", 5, false},
      {"$100000000", 10, false},
      {"$123456789", 10, false},
      // longer texts count by their first 255 characters
      {std::string(254, ' ') + "78", 7, true},
      {std::string(255, ' ') + "5", 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("\"" + c.text + "\"");
    const ShortStrInt result = ShortStrToInt(c.text);
    EXPECT_EQ(result.value, c.value);
    EXPECT_EQ(result.ok, c.ok);
  }
}

TEST(ShortTextTest, IntToShortStrRoundTrips) {
  for (const std::int32_t value :
       {0, 1, -1, 10, -10, 65535, 1 << 30, -(1 << 30), std::numeric_limits<std::int32_t>::max(),
        std::numeric_limits<std::int32_t>::min()}) {
    const ShortStrInt back = ShortStrToInt(IntToShortStr(value));
    EXPECT_TRUE(back.ok) << value;
    EXPECT_EQ(back.value, value);
  }
}

}  // namespace
}  // namespace setup
