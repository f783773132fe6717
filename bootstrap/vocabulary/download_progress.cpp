#include "bootstrap/vocabulary/download_progress.h"

#include "bootstrap/vocabulary/short_text.h"

namespace setup {

int DownloadPercentage(std::int64_t received, std::int32_t expected) {
  if (expected == 0) {
    return 0;
  }
  // received * 100 needs more than 32 bits.
  const std::int64_t percent = received * 100 / expected;
  return (percent < 0 || percent > 100) ? 0 : static_cast<int>(percent);
}

std::wstring DownloadCounterText(std::int64_t received, std::int32_t expected) {
  return JoinedText({DecimalPiece(received), L"/", DecimalPiece(expected),
                     L" bytes downloaded.  Please wait..."});
}

std::wstring PercentText(int percent) {
  return JoinedText({DecimalPiece(percent), L"%"});
}

std::wstring IncompleteDownloadMessage(std::int32_t expected, std::int64_t received) {
  return JoinedText({L"Error\rDownload was incomplete.\r\rBytes expected: ", DecimalPiece(expected),
                     L"\rBytes received: ", DecimalPiece(received)});
}

std::wstring FileCreateErrorMessage(const std::wstring& path, std::uint32_t error_code) {
  return JoinedText(
      {L"File I/O Error!  Creating File= ", path, L"  EC=", DecimalPiece(error_code)});
}

std::wstring FileOpenErrorMessage(const std::wstring& path, std::uint32_t error_code) {
  return JoinedText({L"File I/O Error!  Opening File= ", path, L"  EC=", DecimalPiece(error_code)});
}

std::wstring InsecureInstallerMessage(const std::wstring& url) {
  return JoinedText(
      {L"Error!  The installer is only downloaded over a secure connection (https).\r\r"
       L"Not downloaded from: ",
       url});
}

std::wstring NoTempPathMessage() {
  return L"Error!  The temporary folder cannot be found, so the installer cannot be downloaded.";
}

}  // namespace setup
