// Accelerator characters of captions: the character after a single "&", compared regardless of
// case; "&&" is a literal "&".
#include "framework/accel.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct AccelCase {
  const wchar_t* caption;
  wchar_t typed;
  bool expected;
};

class IsAccelTest : public ::testing::TestWithParam<AccelCase> {};

TEST_P(IsAccelTest, MatchesTheMarkedCharacter) {
  const AccelCase& c = GetParam();
  EXPECT_EQ(fw::IsAccel(c.typed, c.caption), c.expected)
      << "caption " << testing::PrintToString(std::wstring(c.caption)) << " typed "
      << static_cast<int>(c.typed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IsAccelTest,
    ::testing::Values(AccelCase{L"&Run Setup", L'R', true}, AccelCase{L"&Run Setup", L'r', true},
                      AccelCase{L"&Run Setup", L'u', false}, AccelCase{L"Run &Setup", L's', true},
                      AccelCase{L"Run &Setup", L'r', false}, AccelCase{L"RunBtn2", L'R', false},
                      AccelCase{L"", L'R', false},
                      AccelCase{L"Save && &Exit", L'e', true},  // "&&" is not a marker
                      AccelCase{L"Save && Exit", L' ', false},  // the & after "&&" marks nothing
                      AccelCase{L"A&&B", L'B', false}, AccelCase{L"Ends with &", L'&', false},
                      AccelCase{L"&&", L'&', false},
                      AccelCase{L"&First &Second", L'S', false},  // the first marker counts
                      AccelCase{L"&First &Second", L'f', true}, AccelCase{L"&1 one", L'1', true},
                      AccelCase{L"&\u00e9t\u00e9", L'\u00c9', true},
                      AccelCase{L"&\u00c9t\u00e9", L'\u00e9', true},
                      AccelCase{L"&\u00f7", L'\u00d7', false},  // division sign has no case
                      AccelCase{L"&Run", L'\0', false}));

TEST(AccelCharTest, ReportsTheMarkedCharacterOrNone) {
  EXPECT_EQ(fw::AccelChar(L"&Run Setup"), L'R');
  EXPECT_EQ(fw::AccelChar(L"a&&b&c"), L'c');
  EXPECT_EQ(fw::AccelChar(L"no marker"), L'\0');
  EXPECT_EQ(fw::AccelChar(L"trailing&"), L'\0');
}

TEST(CaptionTextTest, LeavesOutTheMarks) {
  const struct {
    const wchar_t* caption;
    const wchar_t* expected;
  } cases[] = {
      {L"&Run Setup", L"Run Setup"},        {L"Close", L"Close"},
      {L"Fish && &Chips", L"Fish & Chips"}, {L"&&&x", L"&x"},
      {L"trailing&", L"trailing"},          {L"", L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fw::CaptionText(c.caption), c.expected)
        << testing::PrintToString(std::wstring(c.caption));
  }
}

TEST(MeasuredCaption, BlankStandsInForAnEmptyCaptionOrALoneMarker) {
  const struct {
    std::wstring caption;
    bool show_accel_char;
    std::wstring expected;
  } cases[] = {
      {L"", false, L" "},
      {L"", true, L" "},
      {L"&", true, L" "},
      {L"&", false, L"&"},
      {L"&&", true, L"&&"},
      {L"&Run", true, L"&Run"},
      {L"OSTREVO", false, L"OSTREVO"},
      {L" ", true, L" "},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fw::MeasuredCaption(c.caption, c.show_accel_char), c.expected)
        << "caption \"" << testing::PrintToString(c.caption) << "\" accel " << c.show_accel_char;
  }
}

}  // namespace
