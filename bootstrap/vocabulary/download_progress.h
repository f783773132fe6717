// The numbers and texts the installer download shows while it reads and when it ends. The received
// count is 64-bit: a last read may carry it past an expected size close to the 32-bit limit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace setup {

// Percentage of the expected size received so far, truncated toward zero. Anything outside
// 0..100 (a last read past the expected size, a negative size) shows as 0, and so does an
// expected size of 0, which would otherwise divide by zero.
int DownloadPercentage(std::int64_t received, std::int32_t expected);

// "received/expected bytes downloaded.  Please wait..."
std::wstring DownloadCounterText(std::int64_t received, std::int32_t expected);

// The meter's text for a percentage: "42%".
std::wstring PercentText(int percent);

// The message shown when the transfer ended short of, or past, the expected size.
std::wstring IncompleteDownloadMessage(std::int32_t expected, std::int64_t received);

// The message shown when the installer file cannot be created.
std::wstring FileCreateErrorMessage(const std::wstring& path, std::uint32_t error_code);

// The message shown when the complete installer cannot be held for its start (someone else opened
// it for writing after the transfer, or put another file in its place).
std::wstring FileOpenErrorMessage(const std::wstring& path, std::uint32_t error_code);

// The message shown instead of a download from, or redirected to, a URL that is not https://.
std::wstring InsecureInstallerMessage(const std::wstring& url);

// The message shown when the system gives no temporary directory to download into.
std::wstring NoTempPathMessage();

}  // namespace setup
