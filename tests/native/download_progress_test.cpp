#include "bootstrap/vocabulary/download_progress.h"

#include <gtest/gtest.h>

#include <climits>

namespace setup {
namespace {

TEST(DownloadProgressTest, PercentageIsTruncatedAndClamped) {
  struct Case {
    std::int64_t received;
    std::int32_t expected;
    int percent;
  };
  const Case cases[] = {
      {0, 1000000, 0},
      {20480, 1000000, 2},  // truncated, not rounded
      {999999, 1000000, 99},
      {1000000, 1000000, 100},
      {1010240, 1000000, 0},  // a last read past the expected size
      {10240, -5, 0},         // negative expected size
      {10240, 0, 0},          // zero expected size must not divide by zero
      {0, 0, 0},
      {INT_MAX, INT_MAX, 100},  // received * 100 needs 64 bits
      {INT_MAX / 2, INT_MAX, 49},
      {10240, 1, 0},
      {std::int64_t{INT_MAX} + 10239, INT_MAX, 100},  // past a size near the 32-bit limit
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.received << " of " << c.expected);
    EXPECT_EQ(DownloadPercentage(c.received, c.expected), c.percent);
  }
}

TEST(DownloadProgressTest, Texts) {
  EXPECT_EQ(DownloadCounterText(20480, 1000000),
            L"20480/1000000 bytes downloaded.  Please wait...");
  EXPECT_EQ(DownloadCounterText(10240, -5), L"10240/-5 bytes downloaded.  Please wait...");
  EXPECT_EQ(PercentText(0), L"0%");
  EXPECT_EQ(PercentText(100), L"100%");
  EXPECT_EQ(IncompleteDownloadMessage(1000, 512),
            L"Error\rDownload was incomplete.\r\rBytes expected: 1000\rBytes received: 512");
  EXPECT_EQ(IncompleteDownloadMessage(INT_MAX, std::int64_t{INT_MAX} + 10239),
            L"Error\rDownload was incomplete.\r\rBytes expected: 2147483647\r"
            L"Bytes received: 2147493886");
  EXPECT_EQ(FileCreateErrorMessage(L"C:\\users\\a b\\Temp\\Install.exe", 32),
            L"File I/O Error!  Creating File= C:\\users\\a b\\Temp\\Install.exe  EC=32");
  EXPECT_EQ(FileOpenErrorMessage(L"C:\\Temp\\Install.exe", 32),
            L"File I/O Error!  Opening File= C:\\Temp\\Install.exe  EC=32");
  EXPECT_EQ(InsecureInstallerMessage(L"HTTP://EXAMPLE.COM/SETUP.EXE"),
            L"Error!  The installer is only downloaded over a secure connection (https).\r\r"
            L"Not downloaded from: HTTP://EXAMPLE.COM/SETUP.EXE");
  EXPECT_EQ(NoTempPathMessage(),
            L"Error!  The temporary folder cannot be found, so the installer cannot be "
            L"downloaded.");
}

}  // namespace
}  // namespace setup
