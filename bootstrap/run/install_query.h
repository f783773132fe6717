// The install-location query: one GET to the service, whose answer names the installer and its
// size.
#pragma once

#include <windows.h>

#include <string>

#include "bootstrap/run/install_answer.h"
#include "bootstrap/vocabulary/setup_outcome.h"

namespace setup {

inline constexpr char kInstallLocationPath[] = "/validate/installurl.php?get=url";
inline constexpr wchar_t kQueryUserAgent[] = L"Mozilla/3.0 (compatible; Indy Library)";

// The response body of a GET of the URL over the HTTPS client, whatever the final status (an error
// page too, never a proxy's 407 page), read up to kAnswerReadCap bytes. kReady with the body, or
// the client's outcome (kRefusedInsecure, kTooManyRedirects, kProxySignInRefused, kNotConnected,
// with the call, code and text of the failure; after a stall in the body, "InternetReadFile" and
// 12002). The owner window owns the proxy's sign-in dialog.
SetupResult FetchUrl(const std::wstring& url, HWND owner, std::string& body);

// Asks the service at the base URL (an origin, ANSI) where the installer is. kReady with the
// answer (an empty URL means there is nothing to install), kNoAnswer when the body has no lines,
// or the outcome of FetchUrl.
SetupResult QueryInstallLocation(const std::string& base_url, HWND owner, InstallAnswer& answer);

}  // namespace setup
