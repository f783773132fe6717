#include "bootstrap/network/https_client.h"

#include <optional>
#include <string_view>

#include "bootstrap/log/support_log.h"
#include "bootstrap/log/support_log_text.h"
#include "bootstrap/network/server_chain.h"
#include "bootstrap/network/url_text.h"
#include "bootstrap/vocabulary/short_text.h"

namespace setup {
namespace {

// Redirects are ours to check, and both requests go to the server every time: a cached answer
// could name an old installer, and a cached installer is a second copy nobody cleans up. The
// connection is kept so that a proxy's NTLM or Negotiate exchange, which WinInet answers itself,
// stays on one connection.
constexpr DWORD kRequestFlags = INTERNET_FLAG_SECURE | INTERNET_FLAG_KEEP_CONNECTION |
                                INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_RELOAD |
                                INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;

// A proxy's refusal is read to its end so that the kept connection is free again; a longer one
// is no refusal page but a proxy that keeps sending.
constexpr std::size_t kRefusalReadCap = 64 * 1024;

// What the user reads for any call of a request that fails is InternetOpenURL's failure, as for
// the one call that used to do it all; the log names the call that failed.
Failure RequestFailed(const wchar_t* call) {
  const DWORD code = ::GetLastError();
  support_log::Write({call, L" failed (", DecimalPiece(code), L")"});
  return Failure{L"InternetOpenURL", code};
}

void SetStringOption(HINTERNET handle, DWORD option, const std::wstring& value) {
  WinInetLibrary::Get().InternetSetOptionW(handle, option, const_cast<wchar_t*>(value.c_str()),
                                           static_cast<DWORD>(value.size()));
}

// The user signs in to the proxy once per run. WinInet keeps the sign-in its dialog gathered in the
// request it was given, and passes an option on only to handles made afterwards from the handle it
// was set on: every request of the run (the query's, the download's, after a redirect to another
// server) gets this run's sign-in set on it before it is sent. Main thread only.
class ProxySignIn {
 public:
  static ProxySignIn& Get() {
    static ProxySignIn sign_in;
    return sign_in;
  }
  ProxySignIn(const ProxySignIn&) = delete;
  ProxySignIn& operator=(const ProxySignIn&) = delete;
  ~ProxySignIn() { Forget(); }

  // What the sign-in dialog stored in the request it was given.
  void TakeFrom(HINTERNET request) {
    Forget();
    user_ = QueryOptionText(request, INTERNET_OPTION_PROXY_USERNAME);
    password_ = QueryOptionText(request, INTERNET_OPTION_PROXY_PASSWORD);
  }

  // Before the user has signed in, nothing.
  void ApplyTo(HINTERNET request) const {
    if (!user_.empty()) {
      SetStringOption(request, INTERNET_OPTION_PROXY_USERNAME, user_);
      SetStringOption(request, INTERNET_OPTION_PROXY_PASSWORD, password_);
    }
  }

 private:
  ProxySignIn() = default;
  void Forget() {
    ::SecureZeroMemory(password_.data(), password_.size() * sizeof(wchar_t));
    password_.clear();
    user_.clear();
  }
  std::wstring user_;
  std::wstring password_;
};

void FreeGlobalText(wchar_t* text) noexcept {
  ::GlobalFree(text);
}
using GlobalText = fw::UniqueHandle<wchar_t*, fw::NullHandleTraits<wchar_t*, FreeGlobalText>>;

// Where the system's settings take the session's requests, for the support log: a manual proxy
// (its list), a proxy script (its URL, without a user name or password), automatic detection,
// several of these, or direct.
std::wstring ProxySource(HINTERNET internet) {
  INTERNET_PER_CONN_OPTIONW options[3] = {};
  options[0].dwOption = INTERNET_PER_CONN_FLAGS;
  options[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
  options[2].dwOption = INTERNET_PER_CONN_AUTOCONFIG_URL;
  INTERNET_PER_CONN_OPTION_LISTW list{};
  list.dwSize = sizeof(list);
  list.dwOptionCount = 3;
  list.pOptions = options;
  DWORD size = sizeof(list);
  if (!WinInetLibrary::Get().InternetQueryOptionW(internet, INTERNET_OPTION_PER_CONNECTION_OPTION,
                                                  &list, &size)) {
    return JoinedText({L"unknown (", DecimalPiece(::GetLastError()), L")"});
  }
  const GlobalText server(options[1].Value.pszValue);
  const GlobalText script(options[2].Value.pszValue);
  const DWORD flags = options[0].Value.dwValue;
  // Other programs of the user write these settings: a line of the log is all they get.
  const auto capped = [](const wchar_t* text) {
    return std::wstring_view(text).substr(0, kShortStrMax);
  };
  std::wstring source;
  const auto add = [&source](std::initializer_list<std::wstring_view> pieces) {
    source.append(source.empty() ? L"" : L", ").append(JoinedText(pieces));
  };
  if ((flags & PROXY_TYPE_PROXY) != 0 && server) {
    add({L"manual ", capped(server.get())});
  }
  if ((flags & PROXY_TYPE_AUTO_PROXY_URL) != 0 && script) {
    add({L"PAC ", RedactedUrl(capped(script.get()))});
  }
  if ((flags & PROXY_TYPE_AUTO_DETECT) != 0) {
    add({L"automatic detection"});
  }
  return source.empty() ? L"direct" : source;
}

DWORD QueryStatus(HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof(status);
  WinInetLibrary::Get().HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                                       &status, &size, nullptr);
  return status;
}

bool IsRedirect(DWORD status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The platform's own proxy sign-in dialog, owned by the window, which stores the sign-in in the
// refused request. Under Wine it gives 0 on Cancel where Windows gives ERROR_CANCELLED: anything
// but a retry is a cancel.
bool SignInToProxy(HWND owner, HINTERNET request) {
  support_log::Write(L"the proxy asks for a sign-in");
  const DWORD result = WinInetLibrary::Get().InternetErrorDlg(
      owner, request, ERROR_INTERNET_INCORRECT_PASSWORD,
      FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_GENERATE_DATA |
          FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS,
      nullptr);
  if (result != ERROR_INTERNET_FORCE_RETRY) {
    support_log::Write({L"proxy sign-in cancelled (", DecimalPiece(result), L")"});
    return false;
  }
  ProxySignIn::Get().TakeFrom(request);
  support_log::Write(L"proxy sign-in given; sending again");
  return true;
}

// Fills in a refusal; the caller returns the answer as it is (one object, no copies).
void Refuse(HttpsAnswer& answer, SetupOutcome outcome, const std::wstring& url) {
  answer.outcome = outcome;
  answer.url = url;
  support_log::Write({OutcomeName(outcome), L": ", RedactedUrl(url)});
}

void NotConnected(HttpsAnswer& answer, const Failure& failure, const std::wstring& url) {
  answer.outcome = SetupOutcome::kNotConnected;
  answer.url = url;
  answer.failure = failure;
}

// The system's own code for a request that timed out, named after the call that waited.
Failure Stalled(HttpsAnswer& answer) {
  answer.stalled = true;
  support_log::Write({L"stalled: nothing for ", DecimalPiece(StallLimitMs()), L" ms"});
  return Failure{L"InternetOpenURL", ERROR_INTERNET_TIMEOUT};
}

// The session that every hop of one GET is made on, with timeouts above the stall limit.
Result<> OpenSession(HttpsConnection& connection, const wchar_t* user_agent) {
  connection.internet.reset(WinInetLibrary::Get().InternetOpenW(
      user_agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!connection.internet) {
    return Failure{L"InternetOpen", ::GetLastError()};
  }
  SetStallTimeouts(connection.internet.get());
  support_log::Write({L"proxy: ", ProxySource(connection.internet.get())});
  return {};
}

// A connection to the hop's server, from the session; kept while the hops stay on that server and
// port. Nothing is sent yet.
Result<> ConnectTo(HttpsConnection& connection, const HttpsTarget& target,
                   std::optional<HttpsTarget>& connected) {
  if (connected && connected->host == target.host && connected->port == target.port) {
    return {};
  }
  connection.request.reset();
  connection.connect.reset(WinInetLibrary::Get().InternetConnectW(
      connection.internet.get(), target.host.c_str(), static_cast<INTERNET_PORT>(target.port),
      nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection.connect) {
    connected.reset();
    return RequestFailed(L"InternetConnect");
  }
  connected = target;
  return {};
}

// A new request for the hop's object on the connection, with the extra headers and this run's
// proxy sign-in set on it before anything is sent.
Result<> OpenRequest(HttpsConnection& connection, const HttpsTarget& target,
                     const std::wstring& extra_headers) {
  const WinInetLibrary& inet = WinInetLibrary::Get();
  connection.request.reset();
  connection.request.reset(inet.HttpOpenRequestW(connection.connect.get(), L"GET",
                                                 target.object.c_str(), nullptr, nullptr, nullptr,
                                                 kRequestFlags, 0));
  if (!connection.request) {
    return RequestFailed(L"HttpOpenRequest");
  }
  if (!extra_headers.empty() &&
      !inet.HttpAddRequestHeadersW(connection.request.get(), extra_headers.c_str(),
                                   static_cast<DWORD>(extra_headers.size()),
                                   HTTP_ADDREQ_FLAG_ADD)) {
    return RequestFailed(L"HttpAddRequestHeaders");
  }
  ProxySignIn::Get().ApplyTo(connection.request.get());
  return {};
}

// Sends the opened request off the window and waits for the status line.
Result<> SendOpened(HttpsAnswer& answer) {
  const fw::SharedState<DWORD> error;
  const bool ended = RunRequestOffWindow([shared = answer.connection, error](fw::WorkActivity&) {
    if (!WinInetLibrary::Get().HttpSendRequestW(shared->request.get(), nullptr, 0, nullptr, 0)) {
      *error = ::GetLastError();
    }
  });
  if (!ended) {
    return Stalled(answer);
  }
  if (*error != 0) {
    ::SetLastError(*error);
    return RequestFailed(L"HttpSendRequest");
  }
  return {};
}

// Sends the opened request. A revocation server that cannot be reached leaves the certificate's
// revocation unknown, not revoked: the same request goes once more with that check off, and its
// answer counts only once the chain that gave it has passed Setup's own check (Wine reports an
// unknown authority with the same code). A revoked certificate and every other fault fail.
Result<> Send(HttpsAnswer& answer, const HttpsTarget& target) {
  const Result<> sent = SendOpened(answer);
  if (sent || answer.stalled || sent.Why().code != ERROR_INTERNET_SEC_CERT_REV_FAILED) {
    return sent;
  }
  const WinInetLibrary& inet = WinInetLibrary::Get();
  HINTERNET request = answer.connection->request.get();
  DWORD flags = 0;
  DWORD size = sizeof(flags);
  if (!inet.InternetQueryOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, &size)) {
    return RequestFailed(L"InternetQueryOption");
  }
  flags |= SECURITY_FLAG_IGNORE_REVOCATION;
  if (!inet.InternetSetOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, sizeof(flags))) {
    return RequestFailed(L"InternetSetOption");
  }
  support_log::Write(L"revocation unknown: sending again without the revocation check");
  if (const Result<> again = SendOpened(answer); !again) {
    return again;
  }
  return CheckServerChain(request, target.host);
}

// Reads the proxy's refusal to its end, off the window; false when the proxy went silent.
bool ReadRefusal(HttpsAnswer& answer) {
  return RunRequestOffWindow([shared = answer.connection](fw::WorkActivity& activity) {
    char buffer[4096];
    for (std::size_t total = 0; total < kRefusalReadCap;) {
      const Result<std::size_t> count = ReadArrivedBody(*shared, activity, buffer, sizeof(buffer));
      if (!count || *count == 0) {
        return;
      }
      total += *count;
    }
  });
}

// Sends the GET of url and follows its redirects until a status is the answer, or a hop is refused
// or cannot be sent.
void Follow(HttpsAnswer& answer, std::wstring current, HWND owner,
            const std::wstring& extra_headers) {
  HttpsConnection& connection = *answer.connection;
  std::optional<HttpsTarget> connected;
  int redirects = 0;
  for (;;) {
    const std::optional<HttpsTarget> target = SplitHttpsUrl(current);
    if (!target) {
      support_log::Write({L"no server to connect to: ", RedactedUrl(current)});
      NotConnected(answer, Failure{L"InternetOpenURL", ERROR_INTERNET_INVALID_URL}, current);
      return;
    }
    support_log::Write({L"GET ", RedactedUrl(current)});
    Result<> sent = ConnectTo(connection, *target, connected);
    if (sent) {
      sent = OpenRequest(connection, *target, extra_headers);
    }
    if (sent) {
      sent = Send(answer, *target);
    }
    if (!sent) {
      NotConnected(answer, sent.Why(), current);
      return;
    }
    const DWORD status = QueryStatus(connection.request.get());
    support_log::Write({L"status ", DecimalPiece(status)});
    if (status == HTTP_STATUS_PROXY_AUTH_REQ) {
      if (!ReadRefusal(answer)) {
        NotConnected(answer, Stalled(answer), current);
        return;
      }
      if (!SignInToProxy(owner, connection.request.get())) {
        Refuse(answer, SetupOutcome::kProxySignInRefused, current);
        return;
      }
      // The signed-in send is a new request from the same connection, with the sign-in set on it
      // before it goes: documented on Windows, where the dialog keeps the sign-in in the refused
      // request and an option reaches only requests made or set afterwards, and the one that works
      // under Wine, whose resend on the refused request reuses the proxy's connection without a
      // CONNECT and fails.
      continue;
    }
    if (IsRedirect(status)) {
      if (const std::wstring location =
              QueryHeaderText(connection.request.get(), HTTP_QUERY_LOCATION);
          !location.empty()) {
        if (++redirects > kMaxRedirects) {
          Refuse(answer, SetupOutcome::kTooManyRedirects, current);
          return;
        }
        current = ResolveUrl(current, location);
        support_log::Write({L"redirect ", DecimalPiece(redirects), L" to ", RedactedUrl(current)});
        if (!IsHttpsUrl(current)) {
          Refuse(answer, SetupOutcome::kRefusedInsecure, current);
          return;
        }
        continue;
      }
    }
    // Nothing was followed behind our back, but the handle's own word is checked all the same.
    if (const std::wstring final_url =
            QueryOptionText(connection.request.get(), INTERNET_OPTION_URL);
        !IsHttpsUrl(final_url)) {
      Refuse(answer, SetupOutcome::kRefusedInsecure, final_url.empty() ? current : final_url);
      return;
    }
    support_log::Write({L"answered by ", RedactedUrl(current)});
    answer.url = current;
    answer.status = status;
    return;
  }
}

}  // namespace

Result<std::size_t> ReadArrivedBody(const HttpsConnection& connection, fw::WorkActivity& activity,
                                    char* buffer, std::size_t size) {
  Result<std::size_t> count = ReadArrived(connection.request.get(), buffer, size);
  if (count && *count > 0) {
    activity.Touch();
  }
  return count;
}

HttpsAnswer GetHttps(const std::wstring& url, const wchar_t* user_agent, HWND owner,
                     const std::wstring& extra_headers) {
  HttpsAnswer answer;
  if (!IsHttpsUrl(url)) {
    Refuse(answer, SetupOutcome::kRefusedInsecure, url);
  } else if (const Result<> opened = OpenSession(*answer.connection, user_agent); !opened) {
    NotConnected(answer, opened.Why(), url);
  } else {
    Follow(answer, url, owner, extra_headers);
  }
  return answer;
}

}  // namespace setup
