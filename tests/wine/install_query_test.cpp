// The install-location query against the local HTTPS service (origin from SETUP_TEST_ORIGIN), and
// the system conversions it stands on compared with the portable ones the unit tests use.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "bootstrap/network/network_worker.h"
#include "bootstrap/network/wininet_library.h"
#include "bootstrap/run/install_query.h"
#include "bootstrap/vocabulary/ansi_code_page_win.h"
#include "bootstrap/vocabulary/setup_outcome.h"
#include "bootstrap/vocabulary/short_text.h"
#include "bootstrap/vocabulary/system_error_text.h"
#include "framework/error.h"
#include "tests/wine/service_client.h"

namespace setup {

void PrintTo(const InstallAnswer& answer, std::ostream* os) {
  *os << "{\"" << answer.url << "\", " << answer.size << "}";
}

namespace {

using namespace std::string_literals;
using namespace setup::test;

std::string Utf16Le(std::u16string_view text) {
  std::string body = "\xFF\xFE";
  for (const char16_t unit : text) {
    body += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  }
  return body;
}

// The string values of `key` in the service's JSON log, in order.
std::vector<std::string> LogValues(const std::string& json, const std::string& key) {
  std::vector<std::string> values;
  const std::string name = "\"" + key + "\"";
  for (std::size_t at = json.find(name); at != std::string::npos; at = json.find(name, at)) {
    at = json.find('"', json.find(':', at + name.size()));
    if (at == std::string::npos) {
      break;
    }
    std::string value;
    ++at;
    for (; at < json.size() && json[at] != '"'; ++at) {
      value += json[at] == '\\' ? json[++at] : json[at];
    }
    values.push_back(value);
  }
  return values;
}

std::string ExpectedInstallerUrl() {
  std::string url = Origin() + "/downloads/setup-sample.exe";
  for (char& c : url) {
    c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  }
  return url;
}

std::wstring RequestUrl(const std::string& origin) {
  return std::wstring(origin.begin(), origin.end()) + L"/validate/installurl.php?get=url";
}

// The answer of a query that succeeds (an empty URL when there is nothing to install).
InstallAnswer Query(const std::string& origin) {
  InstallAnswer answer;
  const SetupResult result = QueryInstallLocation(origin, nullptr, answer);
  EXPECT_TRUE(result.outcome == SetupOutcome::kReady ||
              result.outcome == SetupOutcome::kNothingToInstall)
      << OutcomeName(result.outcome) << " " << result.code;
  return answer;
}

// What the user reads when the query fails, or "" when it does not.
std::wstring QueryError(const std::string& origin) {
  InstallAnswer answer;
  return NoticeFor(QueryInstallLocation(origin, nullptr, answer)).text;
}

class InstallQueryTest : public testing::Test {
 protected:
  void SetUp() override { Control("reset"); }
  void TearDown() override { Control("reset"); }
};

TEST_F(InstallQueryTest, AsksTheServiceWithItsPathAndUserAgent) {
  const std::string installer = Get(Origin() + "/_control/installer_bytes");
  ASSERT_FALSE(installer.empty());

  const InstallAnswer answer = Query(Origin());
  EXPECT_EQ(answer.url, ExpectedInstallerUrl());
  EXPECT_EQ(answer.size, static_cast<std::int32_t>(installer.size()));

  const std::string log = Get(Origin() + "/_control/log");
  EXPECT_EQ(LogValues(log, "method"), std::vector<std::string>{"GET"}) << log;
  EXPECT_EQ(LogValues(log, "path"), std::vector<std::string>{"/validate/installurl.php?get=url"});
  EXPECT_EQ(LogValues(log, "user_agent"),
            std::vector<std::string>{"Mozilla/3.0 (compatible; Indy Library)"});
}

TEST_F(InstallQueryTest, TakesWhateverBodyArrivesAsTheAnswer) {
  const struct {
    const char* name;
    int status;
    std::string body;
    InstallAnswer expected;
  } cases[] = {
      {"nothing to install", 200, "0\r\n", {"", 0}},
      {"mixed case, blanks, more lines",
       200,
       " https://Localhost/Setup.exe | 1048576\r\nx|1",
       {"HTTPS://LOCALHOST/SETUP.EXE", 1048576}},
      {"status 404 is still the answer", 404, "https://x/a.exe|5", {"HTTPS://X/A.EXE", 5}},
      {"error page", 500, "<h1>Internal error</h1>\n", {"<H1>INTERNAL ERROR</H1>", 1}},
      {"UTF-8 mark", 200, std::string("\xEF\xBB\xBF") + "caf\xC3\xA9|$1F", {"CAF\xE9", 31}},
      {"UTF-16 LE with NUL", 200, Utf16Le(u"u|7\0x"s), {"U", 7}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Control("answer?status=" + std::to_string(c.status) + "&body=" + Percent(c.body));
    EXPECT_EQ(Query(Origin()), c.expected);
  }
}

TEST_F(InstallQueryTest, EmptyBodyIsAnError) {
  for (const std::string& body : {std::string(), std::string(1, '\0') + "0\r\n"}) {
    Control("answer?body=" + Percent(body));
    EXPECT_EQ(QueryError(Origin()), L"Error communicating with " + RequestUrl(Origin()));
  }
}

TEST_F(InstallQueryTest, BodyThatNeverEndsIsReadUpToTheCap) {
  std::string alternating;
  for (std::size_t i = 0; i < kShortStrMax; ++i) {
    alternating += "AB"[i % 2];
  }
  const struct {
    std::string body;
    InstallAnswer expected;
  } cases[] = {
      {"https://x/a.exe|5\r\n", {"HTTPS://X/A.EXE", 5}},
      {"ab", {alternating, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    Control("answer?forever=1&body=" + Percent(c.body));
    EXPECT_EQ(Query(Origin()), c.expected);
  }
}

TEST_F(InstallQueryTest, BodyLargerThanTheCapParsesLikeTheWholeBody) {
  const Windows1252CodePage portable{};
  for (const int fill : {'a', ' '}) {
    SCOPED_TRACE(fill);
    Control("installer?size=200000&fill=" + std::to_string(fill));
    // The answer path redirects to the installer, which serves the large body.
    Control("answer?redirect=" + Percent(Origin() + "/downloads/setup-sample.exe"));
    const std::string whole = Get(Origin() + "/_control/installer_bytes");
    ASSERT_EQ(whole.size(), 200000u);
    const std::optional<InstallAnswer> expected = ParseInstallAnswer(whole, portable);
    ASSERT_TRUE(expected);
    EXPECT_EQ(expected->url, fill == 'a' ? std::string(kShortStrMax, 'A') : std::string());
    EXPECT_EQ(Query(Origin()), *expected);
  }
}

// The query's error for a server that goes silent: the call that waited, the system's text for
// the timeout and its code. The answer path redirects to the installer path, whose body can pause.
TEST_F(InstallQueryTest, ServerSilentForTheStallLimitEndsTheQuery) {
  WinInetLibrary::Get();  // the words for its codes are in its own table
  const std::wstring timeout = L" " + ErrorCodeText(ERROR_INTERNET_TIMEOUT) + L" EC=12002";
  const struct {
    const char* name;
    std::string installer;
    std::string answer;
    std::wstring error;
  } cases[] = {
      {"no headers", "", "delay_ms=600000", L"Not connected: (InternetOpenURL)" + timeout},
      {"body stops", "size=5000&pause_after=100&pause_ms=600000",
       "redirect=" + Percent(Origin() + "/downloads/setup-sample.exe"),
       L"Not connected: (InternetReadFile)" + timeout},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Control("reset");
    if (!c.installer.empty()) {
      Control("installer?" + c.installer);
    }
    Control("answer?" + c.answer);
    const ULONGLONG started = ::GetTickCount64();
    EXPECT_EQ(QueryError(Origin()), c.error);
    EXPECT_GE(::GetTickCount64() - started, StallLimitMs());
  }
}

TEST_F(InstallQueryTest, SlowButSteadyServerIsNoStall) {
  // Silent for two thirds of the limit before the headers and again inside the body: longer than
  // the limit in all, but never silent for the whole of it.
  const std::string gap = std::to_string(StallLimitMs() * 2 / 3);
  Control("installer?size=5000&fill=97&delay_ms=" + gap + "&pause_after=100&pause_ms=" + gap);
  Control("answer?redirect=" + Percent(Origin() + "/downloads/setup-sample.exe"));
  const ULONGLONG started = ::GetTickCount64();
  EXPECT_EQ(Query(Origin()), (InstallAnswer{std::string(kShortStrMax, 'A'), 1}));
  EXPECT_GE(::GetTickCount64() - started, StallLimitMs());
}

TEST_F(InstallQueryTest, FetchUrlReturnsTheBodyUpToTheCap) {
  for (const std::size_t size :
       {std::size_t{1000}, kAnswerReadCap, kAnswerReadCap + 1, std::size_t{200000}}) {
    SCOPED_TRACE(size);
    Control("installer?size=" + std::to_string(size));
    const std::string whole = Get(Origin() + "/_control/installer_bytes");
    ASSERT_EQ(whole.size(), size);
    const std::string url = Origin() + "/DOWNLOADS/SETUP-SAMPLE.EXE";
    std::string body;
    EXPECT_EQ(FetchUrl(std::wstring(url.begin(), url.end()), nullptr, body).outcome,
              SetupOutcome::kReady);
    EXPECT_EQ(body, whole.substr(0, kAnswerReadCap));
  }
}

// Redirects are followed by Setup itself, each Location resolved against the URL that gave it, up
// to ten of them; the chain's answers come alternately as relative and absolute-path Locations.
TEST_F(InstallQueryTest, FollowsUpToTenRedirectsAndNoMore) {
  const struct {
    int hops;
    SetupOutcome outcome;
  } cases[] = {
      {1, SetupOutcome::kReady}, {10, SetupOutcome::kReady}, {11, SetupOutcome::kTooManyRedirects}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hops);
    Control("reset");
    Control("answer?body=" + Percent("https://x/a.exe|5") +
            "&redirect=" + Percent("/_hops/" + std::to_string(c.hops - 1) + "/answer"));
    InstallAnswer answer;
    const SetupResult result = QueryInstallLocation(Origin(), nullptr, answer);
    EXPECT_EQ(result.outcome, c.outcome) << OutcomeName(result.outcome);
    const std::vector<std::string> paths = LogValues(Get(Origin() + "/_control/log"), "path");
    if (c.outcome == SetupOutcome::kReady) {
      EXPECT_EQ(answer, (InstallAnswer{"HTTPS://X/A.EXE", 5}));
      EXPECT_EQ(result.url, ToWide(Origin()) + L"/_hops/0/answer");
      EXPECT_EQ(paths.size(), static_cast<std::size_t>(c.hops) + 1);
    } else {
      // The eleventh Location is never requested.
      EXPECT_EQ(paths.size(), 11u);
      EXPECT_EQ(NoticeFor(result).text,
                L"Error!  The server redirected the request more than 10 times.\r\r"
                L"Last address: " +
                    ToWide(Origin()) + L"/_hops/1/answer");
    }
  }
}

// An answer that arrives over plain HTTP would decide what an elevated program runs: a redirect to
// it is refused and never requested, whatever comes before it in the chain.
TEST_F(InstallQueryTest, RedirectToPlainHttpIsRefusedUnrequested) {
  const std::string plain = PlainOrigin() + "/validate/installurl.php?get=url";
  Control("answer?redirect=" + Percent(plain));
  InstallAnswer answer;
  const SetupResult result = QueryInstallLocation(Origin(), nullptr, answer);
  EXPECT_EQ(result.outcome, SetupOutcome::kRefusedInsecure);
  EXPECT_EQ(answer, (InstallAnswer{"", 0}));
  const SetupNotice notice = NoticeFor(result);
  EXPECT_EQ(notice.kind, SetupNotice::Kind::kMessage);
  EXPECT_EQ(notice.text,
            L"Error!  The installer's location is only asked for over a secure connection "
            L"(https).\r\rNot asked at: " +
                ToWide(plain));
  const std::string log = Get(Origin() + "/_control/log");
  EXPECT_EQ(LogValues(log, "path"), std::vector<std::string>{"/validate/installurl.php?get=url"})
      << log;
}

// The answer comes from the server every time and leaves nothing in WinInet's cache: a cached
// answer could name an old installer.
TEST_F(InstallQueryTest, AsksTheServerEveryTime) {
  Control("answer?body=" + Percent("https://x/first.exe|1"));
  EXPECT_EQ(Query(Origin()).url, "HTTPS://X/FIRST.EXE");
  Control("answer?body=" + Percent("https://x/second.exe|2"));
  EXPECT_EQ(Query(Origin()).url, "HTTPS://X/SECOND.EXE");
  EXPECT_EQ(LogValues(Get(Origin() + "/_control/log"), "path").size(), 2u);
}

// WinInet's error codes have their words in WinInet's own message table, not the system's. (Wine's
// table lacks some that Windows has, such as 12045 for an unknown certificate authority.)
TEST(ErrorCodeTextTest, WinInetCodesHaveWords) {
  WinInetLibrary::Get();
  for (const DWORD code :
       {ERROR_INTERNET_TIMEOUT, ERROR_INTERNET_CANNOT_CONNECT, ERROR_INTERNET_NAME_NOT_RESOLVED}) {
    EXPECT_EQ(SystemErrorText(code), L"") << code;
    const std::wstring text = ErrorCodeText(code);
    EXPECT_FALSE(text.empty()) << code;
    EXPECT_NE(text.back(), L'.') << code;
  }
  EXPECT_EQ(ErrorCodeText(ERROR_FILE_NOT_FOUND), SystemErrorText(ERROR_FILE_NOT_FOUND));
}

// A local port that nothing listens on: bound by the system, then let go.
int UnusedPort() {
  WSADATA wsa{};
  EXPECT_EQ(::WSAStartup(MAKEWORD(2, 2), &wsa), 0);
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  EXPECT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&address), length), 0);
  EXPECT_EQ(::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length), 0);
  ::closesocket(s);
  ::WSACleanup();
  return ::ntohs(address.sin_port);
}

TEST(InstallQueryErrorTest, NothingListeningIsNotConnected) {
  const std::string origin = "https://localhost:" + std::to_string(UnusedPort());
  const DWORD code = ERROR_INTERNET_CANNOT_CONNECT;
  const std::wstring error = QueryError(origin);  // WinInet loaded by now
  EXPECT_EQ(error, L"Not connected: (InternetOpenURL) " + ErrorCodeText(code) + L" EC=" +
                       std::to_wstring(code));
}

TEST(SystemErrorTextTest, IsTheSystemTextWithoutTheEnd) {
  std::array<wchar_t, 512> raw{};
  const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, ERROR_FILE_NOT_FOUND, 0, raw.data(),
                                        static_cast<DWORD>(raw.size()), nullptr);
  ASSERT_GT(length, 0u);
  const std::wstring text = SystemErrorText(ERROR_FILE_NOT_FOUND);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(std::wstring(raw.data(), length).rfind(text, 0), 0u);
  EXPECT_GT(text.back(), L' ');
  EXPECT_NE(text.back(), L'.');
  for (const wchar_t c : std::wstring(raw.data() + text.size(), length - text.size())) {
    EXPECT_TRUE(c <= L' ' || c == L'.') << static_cast<int>(c);
  }
  EXPECT_EQ(SystemErrorText(0x3FFFFFFF), L"");
}

TEST(SystemAnsiCodePageTest, MatchesThePortableWindows1252) {
  if (::GetACP() != 1252) {
    GTEST_SKIP() << "ANSI code page is " << ::GetACP();
  }
  const SystemAnsiCodePage system{};
  const Windows1252CodePage portable{};
  std::wstring all_units;
  for (unsigned unit = 1; unit <= 0xFFFF; ++unit) {
    all_units.push_back(static_cast<wchar_t>(unit));
  }
  const std::string from_system = system.FromUtf16(all_units);
  const std::string from_portable = portable.FromUtf16(all_units);
  ASSERT_EQ(from_system.size(), from_portable.size());
  for (std::size_t i = 0; i < from_system.size(); ++i) {
    EXPECT_EQ(from_system[i], from_portable[i]) << std::hex << "U+" << i + 1;
  }
  EXPECT_EQ(system.FromUtf16(L"\xD83D\xDE00"), portable.FromUtf16(L"\xD83D\xDE00"));
  std::string all_bytes;
  for (int b = 1; b < 256; ++b) {
    all_bytes.push_back(static_cast<char>(b));
  }
  EXPECT_EQ(system.ToUtf16(all_bytes), portable.ToUtf16(all_bytes));
}

// Decoders agree on valid and truncated sequences. For overlong, surrogate and out-of-range forms
// they differ in how many U+FFFD they give (Wine: one fewer), so those are pinned by the unit
// tests.
TEST(DecodeUtf8Test, MatchesThePlatform) {
  const std::string cases[] = {"plain",        "caf\xC3\xA9",  "\xE2\x82\xAC", "\xF0\x9F\x98\x80",
                               "\x80",         "\xC3",         "\xC3\x41",     "\xE2\x82",
                               "\xE2\x82\x41", "\xF0\x9F\x98", "\xC0\x80",     "\xF5\x80",
                               "\xFF\xFE",     "a\xE2\x82|9"};
  for (const std::string& bytes : cases) {
    SCOPED_TRACE(testing::PrintToString(bytes));
    const int size = static_cast<int>(bytes.size());
    std::wstring platform(bytes.size(), L'\0');
    platform.resize(static_cast<std::size_t>(
        ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), size, platform.data(), size)));
    EXPECT_EQ(DecodeUtf8(bytes), platform);
  }
}

}  // namespace
}  // namespace setup
