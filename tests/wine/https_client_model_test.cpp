// The HTTPS client against a strict model of WinInet, linked in place of the real table (this file
// defines WinInetLibrary::Get(), so the program's own loader is never linked in). Wine keeps a
// proxy's sign-in with the session and so cannot show what Windows does; the model holds to what
// Windows documents instead:
// - handles (session, connection, request) are made from their parent;
// - the proxy's user name and password may be set only on a connection or a request, stay with the
//   handle they were set on, and pass only to handles made from it afterwards;
// - a send goes with what its request holds at that moment: an option set afterwards changes
//   nothing of it;
// - the proxy answers 407 to every send without this proxy's sign-in;
// - the sign-in dialog stores the sign-in in the request it is given and asks for a retry (or is
//   cancelled);
// - servers answer with statuses, Locations and bodies, or fail a send with a certificate error.
// The client before it made its requests with InternetOpenUrl (a request that is sent the moment it
// is made) fails here: every send went without the sign-in, and the dialog came back until the
// model's user cancelled it (SignInOnceAndEveryLaterRequestCarriesIt: three dialogs, sign-in
// refused).
#include <windows.h>
#include <wincrypt.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "bootstrap/network/https_client.h"
#include "bootstrap/network/url_text.h"
#include "bootstrap/network/wininet_library.h"

namespace setup {
namespace {

// What a server gives for one object: a status with its Location and body, or a failed send.
struct Reply {
  DWORD status = 200;
  std::wstring location;
  std::string body = "body";
  DWORD send_error = 0;  // fails every send; 12057 only while the revocation check is on
};

Reply Answer(DWORD status, std::wstring location = {}, std::string body = "body") {
  Reply reply;
  reply.status = status;
  reply.location = std::move(location);
  reply.body = std::move(body);
  return reply;
}

Reply Failing(DWORD send_error) {
  Reply reply;
  reply.send_error = send_error;
  return reply;
}

enum class Kind { kSession, kConnect, kRequest };

struct Handle {
  Kind kind = Kind::kSession;
  Handle* parent = nullptr;
  std::wstring host;  // connection
  unsigned port = 0;
  std::wstring object;  // request
  std::wstring user;    // the proxy sign-in this handle holds
  std::wstring password;
  std::wstring headers;
  DWORD security_flags = 0;
  bool answered = false;  // its last send got a status
  DWORD status = 0;
  std::wstring location;
  std::string body;
  std::size_t read = 0;
};

// One send as the network saw it.
struct Sent {
  std::wstring url;
  std::wstring user;  // the sign-in it carried to the proxy
  std::wstring password;
  std::wstring headers;
  DWORD security_flags = 0;
  DWORD status = 0;  // 0: failed with an error
};

struct World {
  std::map<std::wstring, Reply> replies;                       // by "https://host:port/object"
  std::optional<std::pair<std::wstring, std::wstring>> proxy;  // the sign-in it wants
  std::pair<std::wstring, std::wstring> typed;                 // what the user types
  int cancel_at_dialog = 3;  // the user gives up at this dialog (1: at once)
  int dialogs = 0;
  DWORD fail_open = 0;  // InternetOpen fails with this
  DWORD fail_connect = 0;
  DWORD fail_open_request = 0;
  DWORD fail_read = 0;
  std::vector<Sent> sent;
  std::vector<std::wstring> connections;  // host:port of every connection made
  std::set<Handle*> open;
  std::vector<std::wstring> violations;  // calls Windows refuses or that break the contract
  PCCERT_CHAIN_CONTEXT chain = nullptr;  // the servers' certificate chain, when handed over
};

World* g_world = nullptr;

Handle* Of(HINTERNET handle, Kind kind) {
  auto* h = static_cast<Handle*>(handle);
  if (h == nullptr || g_world->open.count(h) == 0 || h->kind != kind) {
    g_world->violations.push_back(L"a handle of the wrong kind or closed");
    return nullptr;
  }
  return h;
}

// Any open handle, of whatever kind; null for one that is not.
Handle* OpenHandle(HINTERNET handle) {
  auto* h = static_cast<Handle*>(handle);
  return g_world->open.count(h) != 0 ? h : nullptr;
}

Handle* Make(Kind kind, Handle* parent) {
  auto* h = new Handle{};
  h->kind = kind;
  h->parent = parent;
  if (parent != nullptr) {
    // What the parent holds now, and only that, passes to the new handle.
    h->user = parent->user;
    h->password = parent->password;
  }
  g_world->open.insert(h);
  return h;
}

std::wstring UrlOf(const Handle& request) {
  return L"https://" + request.parent->host + L":" + std::to_wstring(request.parent->port) +
         request.object;
}

BOOL Fail(DWORD code) {
  ::SetLastError(code);
  return FALSE;
}

BOOL Send(Handle& request) {
  Sent record{UrlOf(request), request.user, request.password, request.headers,
              request.security_flags};
  request.answered = false;
  request.read = 0;
  if (g_world->proxy && std::make_pair(request.user, request.password) != *g_world->proxy) {
    request.answered = true;
    request.status = 407;
    request.location.clear();
    request.body = "<html>sign in</html>";
  } else {
    const auto found = g_world->replies.find(record.url);
    const Reply reply = found == g_world->replies.end() ? Answer(404) : found->second;
    if (reply.send_error != 0 && !(reply.send_error == ERROR_INTERNET_SEC_CERT_REV_FAILED &&
                                   (request.security_flags & SECURITY_FLAG_IGNORE_REVOCATION))) {
      g_world->sent.push_back(record);
      return Fail(reply.send_error);
    }
    request.answered = true;
    request.status = reply.status;
    request.location = reply.location;
    request.body = reply.body;
  }
  record.status = request.status;
  g_world->sent.push_back(record);
  return TRUE;
}

// Copies text out in the way WinInet's queries do: the size first, then the text.
BOOL GiveText(const std::wstring& text, void* buffer, DWORD* bytes) {
  const DWORD needed = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
  if (buffer == nullptr || *bytes < needed) {
    *bytes = needed;
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  std::memcpy(buffer, text.c_str(), needed);
  *bytes = needed - static_cast<DWORD>(sizeof(wchar_t));
  return TRUE;
}

namespace model {

BOOL WINAPI InternetGetConnectedState(LPDWORD flags, DWORD) {
  *flags = INTERNET_CONNECTION_LAN;
  return TRUE;
}

HINTERNET WINAPI InternetOpenW(LPCWSTR, DWORD, LPCWSTR, LPCWSTR, DWORD) {
  if (g_world->fail_open != 0) {
    ::SetLastError(g_world->fail_open);
    return nullptr;
  }
  return Make(Kind::kSession, nullptr);
}

HINTERNET WINAPI InternetConnectW(HINTERNET session, LPCWSTR host, INTERNET_PORT port, LPCWSTR,
                                  LPCWSTR, DWORD service, DWORD, DWORD_PTR) {
  Handle* parent = Of(session, Kind::kSession);
  if (parent == nullptr || service != INTERNET_SERVICE_HTTP) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (g_world->fail_connect != 0) {
    ::SetLastError(g_world->fail_connect);
    return nullptr;
  }
  Handle* h = Make(Kind::kConnect, parent);
  h->host = host;
  h->port = port;
  g_world->connections.push_back(h->host + L":" + std::to_wstring(port));
  return h;
}

HINTERNET WINAPI HttpOpenRequestW(HINTERNET connect, LPCWSTR verb, LPCWSTR object, LPCWSTR, LPCWSTR,
                                  LPCWSTR*, DWORD flags, DWORD_PTR) {
  Handle* parent = Of(connect, Kind::kConnect);
  if (parent == nullptr) {
    ::SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return nullptr;
  }
  if (g_world->fail_open_request != 0) {
    ::SetLastError(g_world->fail_open_request);
    return nullptr;
  }
  if (std::wstring(verb) != L"GET" || !(flags & INTERNET_FLAG_SECURE) ||
      !(flags & INTERNET_FLAG_NO_AUTO_REDIRECT) || !(flags & INTERNET_FLAG_NO_CACHE_WRITE)) {
    g_world->violations.push_back(L"a request that is not a secure GET of ours");
  }
  Handle* h = Make(Kind::kRequest, parent);
  h->object = object;
  return h;
}

BOOL WINAPI HttpAddRequestHeadersW(HINTERNET request, LPCWSTR headers, DWORD length, DWORD) {
  Handle* h = Of(request, Kind::kRequest);
  if (h == nullptr) {
    return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
  }
  h->headers.append(headers, length == static_cast<DWORD>(-1) ? std::wcslen(headers) : length);
  return TRUE;
}

BOOL WINAPI HttpSendRequestW(HINTERNET request, LPCWSTR headers, DWORD length, LPVOID, DWORD) {
  Handle* h = Of(request, Kind::kRequest);
  if (h == nullptr) {
    return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
  }
  if (headers != nullptr) {
    h->headers.append(headers, length == static_cast<DWORD>(-1) ? std::wcslen(headers) : length);
  }
  return Send(*h);
}

// A request made from the session and sent at once: it can carry nothing set on it.
HINTERNET WINAPI InternetOpenUrlW(HINTERNET session, LPCWSTR url, LPCWSTR, DWORD, DWORD,
                                  DWORD_PTR) {
  Handle* parent = Of(session, Kind::kSession);
  const std::optional<HttpsTarget> target = SplitHttpsUrl(url);
  if (parent == nullptr || !target) {
    ::SetLastError(ERROR_INTERNET_INVALID_URL);
    return nullptr;
  }
  Handle* connect = Make(Kind::kConnect, parent);
  connect->host = target->host;
  connect->port = target->port;
  Handle* request = Make(Kind::kRequest, connect);
  request->object = target->object;
  if (!Send(*request)) {
    return nullptr;
  }
  return request;
}

BOOL WINAPI HttpQueryInfoW(HINTERNET request, DWORD info, LPVOID buffer, LPDWORD bytes, LPDWORD) {
  Handle* h = Of(request, Kind::kRequest);
  if (h == nullptr || !h->answered) {
    return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  }
  if (info == (HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER)) {
    *static_cast<DWORD*>(buffer) = h->status;
    return TRUE;
  }
  if (info == HTTP_QUERY_LOCATION && !h->location.empty()) {
    return GiveText(h->location, buffer, bytes);
  }
  return Fail(ERROR_HTTP_HEADER_NOT_FOUND);
}

BOOL WINAPI InternetQueryDataAvailable(HINTERNET request, LPDWORD available, DWORD, DWORD_PTR) {
  Handle* h = Of(request, Kind::kRequest);
  if (h == nullptr || !h->answered) {
    return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  }
  *available = static_cast<DWORD>(h->body.size() - h->read);
  return TRUE;
}

BOOL WINAPI InternetReadFile(HINTERNET request, LPVOID buffer, DWORD size, LPDWORD count) {
  Handle* h = Of(request, Kind::kRequest);
  if (h == nullptr || !h->answered) {
    return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  }
  if (g_world->fail_read != 0) {
    return Fail(g_world->fail_read);
  }
  *count = static_cast<DWORD>(std::min<std::size_t>(size, h->body.size() - h->read));
  std::memcpy(buffer, h->body.data() + h->read, *count);
  h->read += *count;
  return TRUE;
}

BOOL WINAPI InternetCloseHandle(HINTERNET handle) {
  auto* h = static_cast<Handle*>(handle);
  if (g_world->open.erase(h) == 0) {
    return Fail(ERROR_INVALID_HANDLE);
  }
  for (const Handle* other : g_world->open) {
    if (other->parent == h) {
      g_world->violations.push_back(L"a handle closed before a handle made from it");
    }
  }
  delete h;
  return TRUE;
}

BOOL WINAPI InternetSetOptionW(HINTERNET handle, DWORD option, LPVOID buffer, DWORD length) {
  Handle* h = OpenHandle(handle);
  if (h == nullptr) {
    return Fail(ERROR_INVALID_HANDLE);
  }
  switch (option) {
    case INTERNET_OPTION_PROXY_USERNAME:
    case INTERNET_OPTION_PROXY_PASSWORD: {
      if (h->kind == Kind::kSession) {
        return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
      }
      const std::wstring text(static_cast<const wchar_t*>(buffer), length);
      (option == INTERNET_OPTION_PROXY_USERNAME ? h->user : h->password) = text;
      return TRUE;
    }
    case INTERNET_OPTION_SECURITY_FLAGS:
      if (h->kind != Kind::kRequest) {
        return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
      }
      h->security_flags = *static_cast<const DWORD*>(buffer);
      return TRUE;
    case INTERNET_OPTION_CONNECT_TIMEOUT:
    case INTERNET_OPTION_SEND_TIMEOUT:
    case INTERNET_OPTION_RECEIVE_TIMEOUT:
      return TRUE;
    default:
      g_world->violations.push_back(L"an option the model does not know set");
      return Fail(ERROR_INTERNET_INVALID_OPTION);
  }
}

BOOL WINAPI InternetQueryOptionW(HINTERNET handle, DWORD option, LPVOID buffer, LPDWORD bytes) {
  Handle* h = OpenHandle(handle);
  if (h == nullptr) {
    return Fail(ERROR_INVALID_HANDLE);
  }
  switch (option) {
    case INTERNET_OPTION_PROXY_USERNAME:
      return GiveText(h->user, buffer, bytes);
    case INTERNET_OPTION_PROXY_PASSWORD:
      return GiveText(h->password, buffer, bytes);
    case INTERNET_OPTION_URL:
      return h->kind == Kind::kRequest ? GiveText(UrlOf(*h), buffer, bytes)
                                       : Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    case INTERNET_OPTION_SECURITY_FLAGS:
      *static_cast<DWORD*>(buffer) = h->security_flags;
      return TRUE;
    case INTERNET_OPTION_PER_CONNECTION_OPTION: {
      auto* list = static_cast<INTERNET_PER_CONN_OPTION_LISTW*>(buffer);
      for (DWORD i = 0; i < list->dwOptionCount; ++i) {
        INTERNET_PER_CONN_OPTIONW& o = list->pOptions[i];
        if (o.dwOption == INTERNET_PER_CONN_FLAGS) {
          o.Value.dwValue = PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY;
        } else if (o.dwOption == INTERNET_PER_CONN_PROXY_SERVER) {
          static const wchar_t kServer[] = L"proxy.example:8080";
          o.Value.pszValue = static_cast<wchar_t*>(::GlobalAlloc(GMEM_FIXED, sizeof(kServer)));
          std::memcpy(o.Value.pszValue, kServer, sizeof(kServer));
        } else {
          o.Value.pszValue = nullptr;
        }
      }
      return TRUE;
    }
    case INTERNET_OPTION_SERVER_CERT_CHAIN_CONTEXT:
      // Only once a send has reached the server, as under Wine.
      if (h->kind != Kind::kRequest || !h->answered || g_world->chain == nullptr) {
        return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
      }
      *static_cast<PCCERT_CHAIN_CONTEXT*>(buffer) = ::CertDuplicateCertificateChain(g_world->chain);
      return TRUE;
    default:
      // No proxy structure: what a WinInet without it says.
      return Fail(ERROR_INTERNET_INVALID_OPTION);
  }
}

DWORD WINAPI InternetErrorDlg(HWND, HINTERNET request, DWORD, DWORD flags, LPVOID*) {
  Handle* h = Of(request, Kind::kRequest);
  ++g_world->dialogs;
  if (h == nullptr || !h->answered || h->status != 407) {
    g_world->violations.push_back(L"the sign-in dialog for a request the proxy did not refuse");
    return ERROR_INVALID_PARAMETER;
  }
  if (g_world->dialogs >= g_world->cancel_at_dialog) {
    return ERROR_CANCELLED;
  }
  if (flags & FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS) {
    h->user = g_world->typed.first;
    h->password = g_world->typed.second;
  }
  return ERROR_INTERNET_FORCE_RETRY;
}

}  // namespace model

// Every function of the program's table, by name; a function the model lacks fails the test.
FARPROC ModelFunction(const char* name) {
#define MODEL_ENTRY(Name)                                                                \
  {                                                                                      \
#Name, reinterpret_cast < FARPROC>                                                   \
               (reinterpret_cast <void*>(static_cast <decltype(&::Name)>(&model::Name))) \
  }
  static const std::map<std::string, FARPROC> functions = {
      MODEL_ENTRY(InternetGetConnectedState), MODEL_ENTRY(InternetOpenW),
      MODEL_ENTRY(InternetConnectW),          MODEL_ENTRY(HttpOpenRequestW),
      MODEL_ENTRY(HttpAddRequestHeadersW),    MODEL_ENTRY(HttpSendRequestW),
      MODEL_ENTRY(InternetOpenUrlW),          MODEL_ENTRY(HttpQueryInfoW),
      MODEL_ENTRY(InternetReadFile),          MODEL_ENTRY(InternetQueryDataAvailable),
      MODEL_ENTRY(InternetCloseHandle),       MODEL_ENTRY(InternetSetOptionW),
      MODEL_ENTRY(InternetQueryOptionW),      MODEL_ENTRY(InternetErrorDlg),
  };
#undef MODEL_ENTRY
  const auto found = functions.find(name);
  return found == functions.end() ? nullptr : found->second;
}

}  // namespace

const WinInetLibrary& WinInetLibrary::Get() {
  static const WinInetLibrary& table = []() -> const WinInetLibrary& {
    static WinInetLibrary model;
    for (fw::FunctionSlot* slot = model.First(); slot != nullptr; slot = slot->next) {
      slot->address = ModelFunction(slot->name);
      if (slot->address == nullptr) {
        ADD_FAILURE() << "the model has no " << slot->name;
      }
    }
    return model;
  }();
  return table;
}

namespace {

class HttpsClientModelTest : public testing::Test {
 protected:
  void SetUp() override { g_world = &world_; }
  void TearDown() override {
    EXPECT_EQ(world_.violations, std::vector<std::wstring>{});
    g_world = nullptr;
  }

  // What the user of an answer sees of it; the answer itself, and with it every handle, is gone.
  struct Got {
    SetupOutcome outcome;
    std::wstring url;
    Failure failure;
    DWORD status;
  };
  Got Get(const std::wstring& url, const std::wstring& headers = {}) {
    Got got;
    {
      const HttpsAnswer answer = GetHttps(url, L"model test", nullptr, headers);
      got = {answer.outcome, answer.url, answer.failure, answer.status};
    }
    // The request closed before its connection, the connection before its session (the model
    // objects to any other order).
    EXPECT_TRUE(world_.open.empty());
    return got;
  }

  // A proxy of its own for each test: the sign-in another test gave this run is not this one's.
  void WantSignIn(const std::wstring& user) {
    world_.proxy = {user, L"pass of " + user};
    world_.typed = *world_.proxy;
  }

  World world_;
};

TEST_F(HttpsClientModelTest, SignInOnceAndEveryLaterRequestCarriesIt) {
  WantSignIn(L"first");
  world_.replies[L"https://origin.example:443/q"] = Answer(200);
  world_.replies[L"https://origin.example:443/d"] = Answer(302, L"https://cdn.example:8443/d");
  world_.replies[L"https://cdn.example:8443/d"] = Answer(200);

  const Got query = Get(L"https://origin.example/q");
  EXPECT_EQ(query.outcome, SetupOutcome::kReady) << OutcomeName(query.outcome);
  EXPECT_EQ(query.status, 200u);
  EXPECT_EQ(world_.dialogs, 1);
  ASSERT_FALSE(world_.sent.empty());
  EXPECT_EQ(world_.sent.back().status, 200u);
  EXPECT_EQ(world_.sent.back().user, L"first");

  // The download's GET, on a session of its own and through a redirect to another server: every
  // send carries the sign-in, so the proxy refuses none and nobody is asked again.
  world_.sent.clear();
  const Got download = Get(L"https://origin.example/d");
  EXPECT_EQ(download.outcome, SetupOutcome::kReady) << OutcomeName(download.outcome);
  EXPECT_EQ(download.url, L"https://cdn.example:8443/d");
  EXPECT_EQ(world_.dialogs, 1);
  ASSERT_EQ(world_.sent.size(), 2u);
  for (const Sent& sent : world_.sent) {
    EXPECT_EQ(sent.user, L"first") << sent.url;
    EXPECT_NE(sent.status, 407u) << sent.url;
  }
}

// A changed password: the run's sign-in is refused, the user is asked again and cancels.
TEST_F(HttpsClientModelTest, CancelledSignInIsRefusedAndThe407NeverAnswers) {
  WantSignIn(L"second");
  world_.cancel_at_dialog = 1;
  world_.replies[L"https://origin.example:443/q"] = Answer(200);
  const Got answer = Get(L"https://origin.example/q");
  EXPECT_EQ(answer.outcome, SetupOutcome::kProxySignInRefused) << OutcomeName(answer.outcome);
  EXPECT_EQ(answer.url, L"https://origin.example/q");
  EXPECT_EQ(world_.dialogs, 1);
  ASSERT_EQ(world_.sent.size(), 1u);
  EXPECT_EQ(world_.sent[0].status, 407u);
}

// A wrong password: the proxy refuses the signed-in request, and the user is asked again.
TEST_F(HttpsClientModelTest, RefusedSignInAsksAgain) {
  WantSignIn(L"third");
  world_.typed.second = L"typo";
  world_.cancel_at_dialog = 2;
  world_.replies[L"https://origin.example:443/q"] = Answer(200);
  const Got answer = Get(L"https://origin.example/q");
  EXPECT_EQ(answer.outcome, SetupOutcome::kProxySignInRefused) << OutcomeName(answer.outcome);
  EXPECT_EQ(world_.dialogs, 2);
  ASSERT_EQ(world_.sent.size(), 2u);
  EXPECT_EQ(world_.sent[1].user, L"third");
  EXPECT_EQ(world_.sent[1].password, L"typo");
}

// Redirects are followed by the client, each hop checked before it is requested; a hop to another
// server or port gets a connection of its own from the same session.
TEST_F(HttpsClientModelTest, RedirectChainsAreLimitedAndHttpsOnly) {
  const auto chain = [this](int hops, const std::wstring& last) {
    world_ = {};
    for (int i = 0; i < hops; ++i) {
      const std::wstring next = i + 1 < hops ? L"/hop" + std::to_wstring(i + 1) : last;
      world_.replies[L"https://a.example:443/hop" + std::to_wstring(i)] = Answer(302, next);
    }
    world_.replies[L"https://a.example:443/end"] = Answer(200);
    world_.replies[L"https://b.example:4443/end"] = Answer(200);
  };
  const struct {
    int hops;
    std::wstring last;
    SetupOutcome outcome;
    std::size_t sends;
    std::wstring url;
    std::size_t connections;
  } cases[] = {
      {1, L"/end", SetupOutcome::kReady, 2, L"https://a.example/end", 1},
      {10, L"/end", SetupOutcome::kReady, 11, L"https://a.example/end", 1},
      {10, L"https://b.example:4443/end", SetupOutcome::kReady, 11, L"https://b.example:4443/end",
       2},
      // The eleventh Location is never requested.
      {11, L"/end", SetupOutcome::kTooManyRedirects, 11, L"https://a.example/hop10", 1},
      // Nor one that leaves https, wherever it stands in the chain.
      {3, L"http://a.example/end", SetupOutcome::kRefusedInsecure, 3, L"http://a.example/end", 1},
      {1, L"HTTP://b.example:4443/end", SetupOutcome::kRefusedInsecure, 1,
       L"HTTP://b.example:4443/end", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.hops << " to " << c.last);
    chain(c.hops, c.last);
    const Got answer = Get(L"https://a.example/hop0", L"Range: bytes=5-\r\n");
    EXPECT_EQ(answer.outcome, c.outcome) << OutcomeName(answer.outcome);
    EXPECT_EQ(answer.url, c.url);
    EXPECT_EQ(world_.sent.size(), c.sends);
    EXPECT_EQ(world_.connections.size(), c.connections);
    for (const Sent& sent : world_.sent) {
      EXPECT_EQ(sent.headers, L"Range: bytes=5-\r\n") << sent.url;
    }
  }
}

// The failure the user reads names InternetOpen for a session that does not open, InternetOpenURL
// for any call of the request.
TEST_F(HttpsClientModelTest, FailedCallsAreNamedAsTheUserKnowsThem) {
  const struct {
    const char* name;
    DWORD World::*step;
    DWORD code;
    const wchar_t* call;
  } cases[] = {
      {"session", &World::fail_open, ERROR_NOT_ENOUGH_MEMORY, L"InternetOpen"},
      {"connection", &World::fail_connect, ERROR_INTERNET_NAME_NOT_RESOLVED, L"InternetOpenURL"},
      {"request", &World::fail_open_request, ERROR_INTERNET_INVALID_URL, L"InternetOpenURL"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    world_ = {};
    world_.*c.step = c.code;
    const Got answer = Get(L"https://a.example/x");
    EXPECT_EQ(answer.outcome, SetupOutcome::kNotConnected);
    EXPECT_EQ(std::wstring(answer.failure.call), c.call);
    EXPECT_EQ(answer.failure.code, c.code);
    EXPECT_TRUE(world_.sent.empty());
  }
  world_ = {};
  world_.replies[L"https://a.example:443/x"] = Failing(ERROR_INTERNET_CANNOT_CONNECT);
  const Got answer = Get(L"https://a.example/x");
  EXPECT_EQ(std::wstring(answer.failure.call), L"InternetOpenURL");
  EXPECT_EQ(answer.failure.code, static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));
}

// Revocation that cannot be checked is not revocation: the same request goes once more with that
// check off. Its answer still needs a chain Setup has checked itself, which this WinInet does not
// hand over; a revoked certificate is not sent again.
TEST_F(HttpsClientModelTest, RevocationUnknownIsRetriedOnceAndRevokedIsNot) {
  const struct {
    DWORD error;
    std::size_t sends;
  } cases[] = {{ERROR_INTERNET_SEC_CERT_REV_FAILED, 2},
               {ERROR_INTERNET_SEC_CERT_REVOKED, 1},
               {ERROR_INTERNET_INVALID_CA, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    world_ = {};
    world_.replies[L"https://a.example:443/x"] = Failing(c.error);
    const Got answer = Get(L"https://a.example/x");
    EXPECT_EQ(answer.outcome, SetupOutcome::kNotConnected);
    EXPECT_EQ(std::wstring(answer.failure.call), L"InternetOpenURL");
    EXPECT_EQ(answer.failure.code, c.error);
    ASSERT_EQ(world_.sent.size(), c.sends);
    EXPECT_EQ(world_.sent[0].security_flags & SECURITY_FLAG_IGNORE_REVOCATION, 0u);
    if (c.sends == 2) {
      EXPECT_EQ(world_.sent[1].url, world_.sent[0].url);
      EXPECT_NE(world_.sent[1].security_flags & SECURITY_FLAG_IGNORE_REVOCATION, 0u);
      EXPECT_EQ(world_.sent[1].status, 200u);
    }
  }
}

// The local service's certificate for localhost, from the test CA that the prefix trusts, as
// the system builds its chain.
PCCERT_CHAIN_CONTEXT TestServerChain() {
  char ca[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableA("SETUP_TEST_CA", ca, MAX_PATH);
  EXPECT_TRUE(length > 0 && length < MAX_PATH) << "SETUP_TEST_CA is not set";
  // A Unix path from the test script is on Wine's drive Z:.
  std::string path = ca[0] == '/' ? "Z:" + std::string(ca, length) : std::string(ca, length);
  path = path.substr(0, path.find_last_of("/\\") + 1) + "server.crt";
  std::string pem;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof(chunk), file)) > 0;) {
      pem.append(chunk, n);
    }
    std::fclose(file);
  }
  DWORD size = 0;
  EXPECT_TRUE(::CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()),
                                     CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr))
      << path;
  std::vector<BYTE> der(size);
  ::CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                         der.data(), &size, nullptr, nullptr);
  PCCERT_CONTEXT leaf = ::CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), size);
  EXPECT_NE(leaf, nullptr);
  CERT_CHAIN_PARA para{};
  para.cbSize = sizeof(para);
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  EXPECT_TRUE(
      ::CertGetCertificateChain(nullptr, leaf, nullptr, nullptr, &para, 0, nullptr, &chain));
  ::CertFreeCertificateContext(leaf);
  return chain;
}

// The retried request's answer counts once the chain that gave it is trusted for the host; for
// another host the same chain is WinInet's wrong-name failure.
TEST_F(HttpsClientModelTest, RevocationRetryUsesTheAnswerOnlyForAChainTrustedForTheHost) {
  const struct {
    const wchar_t* host;
    SetupOutcome outcome;
    DWORD code;
  } cases[] = {
      {L"localhost", SetupOutcome::kReady, 0},
      {L"otherhost", SetupOutcome::kNotConnected, ERROR_INTERNET_SEC_CERT_CN_INVALID},
  };
  PCCERT_CHAIN_CONTEXT chain = TestServerChain();
  ASSERT_NE(chain, nullptr);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.host);
    world_ = {};
    world_.chain = chain;
    const std::wstring host = c.host;
    world_.replies[L"https://" + host + L":443/x"] = Failing(ERROR_INTERNET_SEC_CERT_REV_FAILED);
    const Got answer = Get(L"https://" + host + L"/x");
    EXPECT_EQ(answer.outcome, c.outcome) << OutcomeName(answer.outcome);
    EXPECT_EQ(answer.failure.code, c.code);
    if (c.outcome == SetupOutcome::kReady) {
      EXPECT_EQ(answer.status, 200u);
    }
    EXPECT_EQ(world_.sent.size(), 2u);
  }
  ::CertFreeCertificateChain(chain);
}

TEST_F(HttpsClientModelTest, AFailedReadIsAFailureNotTheEndOfTheData) {
  world_.replies[L"https://a.example:443/x"] = Answer(200, L"", "12345");
  HttpsAnswer answer = GetHttps(L"https://a.example/x", L"model test", nullptr);
  ASSERT_EQ(answer.outcome, SetupOutcome::kReady);
  fw::WorkActivity activity;
  char buffer[16];
  Result<std::size_t> count = ReadArrivedBody(*answer.connection, activity, buffer, 3);
  ASSERT_TRUE(count);
  EXPECT_EQ(*count, 3u);
  world_.fail_read = ERROR_INTERNET_CONNECTION_RESET;
  count = ReadArrivedBody(*answer.connection, activity, buffer, sizeof(buffer));
  ASSERT_FALSE(count);
  EXPECT_EQ(std::wstring(count.Why().call), L"InternetReadFile");
  EXPECT_EQ(count.Why().code, static_cast<DWORD>(ERROR_INTERNET_CONNECTION_RESET));
  world_.fail_read = 0;
  count = ReadArrivedBody(*answer.connection, activity, buffer, sizeof(buffer));
  ASSERT_TRUE(count);
  EXPECT_EQ(*count, 2u);
  count = ReadArrivedBody(*answer.connection, activity, buffer, sizeof(buffer));
  ASSERT_TRUE(count);
  EXPECT_EQ(*count, 0u);
}

}  // namespace
}  // namespace setup
