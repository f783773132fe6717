// The default error report's text (a "." is appended when the message's last character has a
// higher code than ".") and the text of a failed system call.
#include "framework/error_report_text.h"

#include <gtest/gtest.h>

#include <string>

#include "framework/error.h"

namespace {

struct ReportCase {
  const wchar_t* message;
  const wchar_t* expected;
};

class ErrorReportTextTest : public ::testing::TestWithParam<ReportCase> {};

TEST_P(ErrorReportTextTest, AppendsDotOnlyAfterCharactersAboveDot) {
  EXPECT_EQ(fw::ErrorReportText(GetParam().message), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ErrorReportTextTest,
    ::testing::Values(ReportCase{L"Connection refused", L"Connection refused."},
                      ReportCase{L"Error 12029",
                                 L"Error 12029."},  // '9' (0x39) is above '.' (0x2E)
                      ReportCase{L"Already ends.", L"Already ends."},  // '.' itself: not above
                      ReportCase{L"Really?", L"Really?."},             // '?' (0x3F) is above
                      ReportCase{L"Stop!", L"Stop!"},                  // '!' (0x21) is below
                      ReportCase{L"Path /", L"Path /."},  // '/' (0x2F), the first code above
                      ReportCase{L"Dash -", L"Dash -"},   // '-' (0x2D), the last code below
                      ReportCase{L"Trailing space ", L"Trailing space "},  // ' ' (0x20)
                      ReportCase{L"Line\r\n", L"Line\r\n"},     // control characters are below
                      ReportCase{L"Caf\u00e9", L"Caf\u00e9."},  // non-ASCII codes are above
                      ReportCase{L"", L""}));                   // nothing to end with

}  // namespace

// A failed system call in the framework reads as what failed plus the system's code, and the
// report then ends it with a ".".
TEST(SystemCallErrorTest, CarriesTheSystemErrorCode) {
  const struct {
    const wchar_t* what;
    unsigned long code;
    const wchar_t* message;
  } cases[] = {
      {L"Cannot create a window", 1407, L"Cannot create a window EC=1407"},
      {L"Cannot create a thread", 8, L"Cannot create a thread EC=8"},
      {L"Cannot hand a call to the main thread", 0, L"Cannot hand a call to the main thread EC=0"},
      {L"x", 4294967295ul, L"x EC=4294967295"},
  };
  for (const auto& c : cases) {
    const fw::Error error = fw::SystemCallError(c.what, c.code);
    EXPECT_EQ(error.Message(), c.message);
    EXPECT_EQ(fw::ErrorReportText(error.Message()), std::wstring(c.message) + L".");
  }
}
