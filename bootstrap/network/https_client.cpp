#include "bootstrap/network/https_client.h"

#include "bootstrap/log/support_log.h"
#include "bootstrap/log/support_log_text.h"
#include "bootstrap/network/url_text.h"
#include "bootstrap/vocabulary/short_text.h"

namespace setup {
namespace {

// Redirects are ours to check, and both requests go to the server every time: a cached answer
// could name an old installer, and a cached installer is a second copy nobody cleans up.
constexpr DWORD kRequestFlags = INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_RELOAD |
                                INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;

void SetStringOption(HINTERNET handle, DWORD option, const std::wstring& value) {
  WinInetLibrary::Get().InternetSetOptionW(handle, option, const_cast<wchar_t*>(value.c_str()),
                                           static_cast<DWORD>(value.size()));
}

// The user signs in to the proxy once per run. WinInet keeps what the sign-in dialog gathered with
// the session of the request it was given to, and a session of its own opened later (the
// download's, or one after a redirect to another host) does not see it: a 407 there gets this run's
// sign-in once, through the refused request, before the user is asked again. Main thread only.
class ProxySignIn {
 public:
  static ProxySignIn& Get() {
    static ProxySignIn sign_in;
    return sign_in;
  }
  ProxySignIn(const ProxySignIn&) = delete;
  ProxySignIn& operator=(const ProxySignIn&) = delete;
  ~ProxySignIn() { Forget(); }

  void TakeFrom(HINTERNET request, HINTERNET internet) {
    Forget();
    for (const HINTERNET handle : {request, internet}) {
      user_ = QueryOptionText(handle, INTERNET_OPTION_PROXY_USERNAME);
      password_ = QueryOptionText(handle, INTERNET_OPTION_PROXY_PASSWORD);
      if (!user_.empty()) {
        return;
      }
    }
  }

  // Hands this run's sign-in to the session through a request the proxy refused; false when the
  // user has not signed in yet.
  bool ApplyTo(HINTERNET request) const {
    if (user_.empty()) {
      return false;
    }
    SetStringOption(request, INTERNET_OPTION_PROXY_USERNAME, user_);
    SetStringOption(request, INTERNET_OPTION_PROXY_PASSWORD, password_);
    return true;
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

// The proxy the system's settings give the session, for the support log.
std::wstring ProxyInUse(HINTERNET internet) {
  DWORD size = 0;
  WinInetLibrary::Get().InternetQueryOptionW(internet, INTERNET_OPTION_PROXY, nullptr, &size);
  if (size < sizeof(INTERNET_PROXY_INFO) || size > 64 * 1024) {
    return L"unknown";
  }
  // Wide units hold the structure and the texts behind it, suitably aligned.
  std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
  auto* info = reinterpret_cast<INTERNET_PROXY_INFO*>(buffer.data());
  if (!WinInetLibrary::Get().InternetQueryOptionW(internet, INTERNET_OPTION_PROXY, info, &size)) {
    return L"unknown";
  }
  if (info->dwAccessType != INTERNET_OPEN_TYPE_PROXY || info->lpszProxy == nullptr) {
    return L"none";
  }
  // The structure's text pointers are declared narrow; the wide query fills them with wide text.
  return reinterpret_cast<const wchar_t*>(info->lpszProxy);
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

// The platform's own proxy sign-in dialog, owned by the window. Under Wine it gives 0 on Cancel
// where Windows gives ERROR_CANCELLED: anything but a retry is a cancel.
bool SignInToProxy(HWND owner, const HttpsConnection& connection) {
  support_log::Write(L"the proxy asks for a sign-in");
  const DWORD result = WinInetLibrary::Get().InternetErrorDlg(
      owner, connection.request.get(), ERROR_INTERNET_INCORRECT_PASSWORD,
      FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_GENERATE_DATA |
          FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS,
      nullptr);
  if (result != ERROR_INTERNET_FORCE_RETRY) {
    support_log::Write({L"proxy sign-in cancelled (", DecimalPiece(result), L")"});
    return false;
  }
  ProxySignIn::Get().TakeFrom(connection.request.get(), connection.internet.get());
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

// The session that every hop of one GET is sent on, with the stall limit as its timeouts.
Result<> OpenSession(HttpsConnection& connection, const wchar_t* user_agent) {
  connection.internet.reset(WinInetLibrary::Get().InternetOpenW(
      user_agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!connection.internet) {
    return Failure{L"InternetOpen", ::GetLastError()};
  }
  SetStallTimeouts(connection.internet.get());
  support_log::Write({L"proxy: ", ProxyInUse(connection.internet.get())});
  return {};
}

// Sends the GET of url on the answer's session, off the window, and waits for the status line.
Result<> Send(HttpsAnswer& answer, const std::wstring& url, const std::wstring& headers) {
  support_log::Write({L"GET ", RedactedUrl(url)});
  answer.connection->request.reset();
  const fw::SharedState<Result<>> sent;
  const bool ended =
      RunRequestOffWindow([shared = answer.connection, url, headers, sent](fw::WorkActivity&) {
        shared->request.reset(WinInetLibrary::Get().InternetOpenUrlW(
            shared->internet.get(), url.c_str(), headers.empty() ? nullptr : headers.c_str(),
            static_cast<DWORD>(headers.size()), kRequestFlags, 0));
        if (!shared->request) {
          *sent = Failure{L"InternetOpenURL", ::GetLastError()};
        }
      });
  if (!ended) {
    // The system's own code for a request that timed out, named after the call that waited.
    answer.stalled = true;
    support_log::Write({L"stalled: nothing for ", DecimalPiece(StallLimitMs()), L" ms"});
    return Failure{L"InternetOpenURL", ERROR_INTERNET_TIMEOUT};
  }
  return *sent;
}

// Sends the GET of url and follows its redirects until a status is the answer, or a hop is refused
// or cannot be sent.
void Follow(HttpsAnswer& answer, std::wstring current, HWND owner, const std::wstring& headers) {
  HttpsConnection& connection = *answer.connection;
  int redirects = 0;
  bool offered_sign_in = false;  // this run's sign-in, handed to this session for this hop
  for (;;) {
    if (const Result<> sent = Send(answer, current, headers); !sent) {
      NotConnected(answer, sent.Why(), current);
      return;
    }
    const DWORD status = QueryStatus(connection.request.get());
    support_log::Write({L"status ", DecimalPiece(status)});
    if (status == HTTP_STATUS_PROXY_AUTH_REQ) {
      if (!offered_sign_in && ProxySignIn::Get().ApplyTo(connection.request.get())) {
        offered_sign_in = true;
        support_log::Write(L"proxy: sending again with this run's sign-in");
        continue;
      }
      if (!SignInToProxy(owner, connection)) {
        Refuse(answer, SetupOutcome::kProxySignInRefused, current);
        return;
      }
      // A new request on the same session: the proxy's connection is not reused after a 407.
      continue;
    }
    offered_sign_in = false;
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
  Result<std::size_t> count =
      ReadArrived(connection.request.get(), buffer, static_cast<DWORD>(size));
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
