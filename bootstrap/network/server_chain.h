// The server's certificate chain checked by Setup itself, for the one case where WinInet is asked
// to skip a check: a revocation server that cannot be reached does not make a certificate revoked,
// but Wine also reports an unknown certificate authority that way, so the chain that answered is
// checked for the host name and a trusted root before its answer is used.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <string>

#include "bootstrap/vocabulary/failure.h"

namespace setup {

// Checks the chain of the server that answered the sent request (INTERNET_OPTION_SERVER_CERT_CHAIN_
// CONTEXT) with the system's SSL policy for host, an unknown revocation status allowed. A chain
// that fails is WinInet's code for the same fault (12045 unknown authority, 12038 wrong name, 12037
// expired, 12170 revoked, 12169 otherwise), as Windows would have reported it without the
// revocation failure in front; no chain to check, or no crypt32, is the revocation failure itself
// (12057). Each failure is named after InternetOpenURL, like every other failed send; the log
// says what was found.
Result<> CheckServerChain(HINTERNET request, const std::wstring& host);

}  // namespace setup
