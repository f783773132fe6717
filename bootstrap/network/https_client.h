// The one HTTPS client of the query and the download: one request at a time, made from a connection
// to its server (InternetConnect, HttpOpenRequest, HttpSendRequest), so that whatever a request
// must carry (the proxy's sign-in, a relaxed revocation check, extra headers) is set on it before
// it is sent. It follows redirects itself, so that every hop is checked before it is requested:
// https:// only, at most kMaxRedirects of them. It never reads the cache or writes to it, signs in
// to a proxy that asks (once per run), and takes a 407 page never for an answer. The blocking calls
// run on a worker while the window pumps.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "bootstrap/network/network_worker.h"
#include "bootstrap/network/wininet_library.h"
#include "bootstrap/vocabulary/failure.h"
#include "bootstrap/vocabulary/setup_outcome.h"

namespace setup {

// The session, the connection to the server and the request of one answered GET, shared with the
// worker that reads its body and that the window may leave behind. Each handle is declared after
// the one it was made from, so the request closes first and the session last.
struct HttpsConnection {
  InternetHandle internet;
  InternetHandle connect;
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
// the server is still sending. The count, 0 at the end of the data, or the read's failure (see
// ReadArrived). On the worker.
Result<std::size_t> ReadArrivedBody(const HttpsConnection& connection, fw::WorkActivity& activity,
                                    char* buffer, std::size_t size);

// GETs the URL (https:// or refused unrequested) with the user agent. A redirect status with a
// Location is followed to the resolved target; any other status is the answer, a 302 without
// Location too. extra_headers ("Name: value\r\n" lines, such as a Range) go with every hop. The
// proxy's sign-in dialog is owned by the given window. A refusal is logged here; a failed call
// only comes back in the answer, for the run to log once: InternetOpen's when no session opens,
// otherwise InternetOpenURL's, whichever call of the request failed (the log names it).
HttpsAnswer GetHttps(const std::wstring& url, const wchar_t* user_agent, HWND owner,
                     const std::wstring& extra_headers = {});

}  // namespace setup
