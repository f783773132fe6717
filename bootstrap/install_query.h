// The install-location query: one GET to the service, whose answer names the installer and its
// size.
#pragma once

#include <string>

#include "bootstrap/install_answer.h"

namespace setup {

inline constexpr char kInstallLocationPath[] = "/validate/installurl.php?get=url";
inline constexpr wchar_t kQueryUserAgent[] = L"Mozilla/3.0 (compatible; Indy Library)";

// The response body of a GET of the URL, whatever the status, read up to kAnswerReadCap bytes.
// The request runs on a worker while the calling thread pumps the window's messages (see
// bootstrap/network_worker.h). Raises fw::Error when the Internet handle or the URL cannot be
// opened, and with code 12002 (ERROR_INTERNET_TIMEOUT) when the server sends nothing for the stall
// limit.
std::string FetchUrl(const std::wstring& url);

// Asks the service at the base URL (an origin, ANSI) where the installer is. An empty URL in the
// result means there is nothing to install. Raises fw::Error on the failures of FetchUrl and when
// the answer has no lines.
InstallAnswer QueryInstallLocation(const std::string& base_url);

}  // namespace setup
