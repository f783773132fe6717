// The one HTTPS client of the query and the download. It follows redirects itself, so that every
// hop is checked before it is requested: https:// only, at most kMaxRedirects of them. It never
// reads the cache or writes to it, signs in to a proxy that asks (once per run), and takes a 407
// page never for an answer. The blocking calls run on a worker while the window pumps.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "bootstrap/network/network_worker.h"
#include "bootstrap/network/wininet_library.h"
#include "bootstrap/vocabulary/failure.h"
#include "bootstrap/vocabulary/setup_outcome.h"

namespace setup {

// The session and the request of one answered GET, shared with the worker that reads its body and
// that the window may leave behind. The request is declared after its session, so it closes first.
struct HttpsConnection {
  InternetHandle internet;
  InternetHandle request;
};

struct HttpsAnswer {
  // kReady when answered; otherwise kRefusedInsecure, kTooManyRedirects, kProxySignInRefused or
  // kNotConnected.
  SetupOutcome outcome = SetupOutcome::kReady;
  std::wstring url;      // answered: the final URL; refused: the hop; otherwise the last URL
  Failure failure;       // kNotConnected: InternetOpen's or InternetOpenURL's (12002 after a stall)
  bool stalled = false;  // kNotConnected: nothing came within the stall limit
  DWORD status = 0;      // answered: the HTTP status
  fw::SharedState<HttpsConnection> connection;
};

// Reads up to size bytes of what has arrived of the answer's body and tells the waiting window that
// the server is still sending; 0 at the end of the data, or the failed read. On the worker.
Result<std::size_t> ReadArrivedBody(const HttpsConnection& connection, fw::WorkActivity& activity,
                                    char* buffer, std::size_t size);

// GETs the URL (https:// or refused unrequested) with the user agent. A redirect status with a
// Location is followed to the resolved target; any other status is the answer, a 302 without
// Location too. The proxy's sign-in dialog is owned by the given window. A refusal is logged here;
// a failed call only comes back in the answer, for the run to log once. extra_headers ("Name:
// value\r\n" each) go with every hop's request.
HttpsAnswer GetHttps(const std::wstring& url, const wchar_t* user_agent, HWND owner,
                     const std::wstring& extra_headers = {});

}  // namespace setup
