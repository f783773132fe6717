// The Windows tests' own client of the local install service (origin from SETUP_TEST_ORIGIN):
// independent of the program's HTTPS client, never cached, no cap, failing the test on errors.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <string>
#include <string_view>

#include "bootstrap/network/wininet_library.h"
#include "framework/system_library.h"

namespace setup::test {

// The one call of the tests' client that the program itself does not make.
struct ServiceClientWinInet : fw::FunctionTable {
  static constexpr wchar_t kLibrary[] = L"wininet.dll";
  FW_SYSTEM_FUNCTION(InternetOpenUrlW);
};

inline std::string Origin() {
  std::array<char, 256> value{};
  const DWORD length = ::GetEnvironmentVariableA("SETUP_TEST_ORIGIN", value.data(),
                                                 static_cast<DWORD>(value.size()));
  return length > 0 && length < value.size() ? value.data() : "https://localhost:47443";
}

inline std::wstring ToWide(const std::string& ascii) {
  return std::wstring(ascii.begin(), ascii.end());
}

inline std::string Get(const std::string& url) {
  const WinInetLibrary& wininet = WinInetLibrary::Get();
  const InternetHandle internet(
      wininet.InternetOpenW(L"setup tests", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  EXPECT_TRUE(internet) << ::GetLastError();
  const std::wstring wide_url = ToWide(url);
  const InternetHandle request(fw::Library<ServiceClientWinInet>::Require().InternetOpenUrlW(
      internet.get(), wide_url.c_str(), nullptr, 0,
      INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE, 0));
  EXPECT_TRUE(request) << url << " error " << ::GetLastError();
  std::string body;
  std::array<char, 4096> buffer{};
  DWORD count = 0;
  while (request &&
         wininet.InternetReadFile(request.get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                  &count) &&
         count > 0) {
    body.append(buffer.data(), count);
  }
  return body;
}

// Changes what the service answers (see tools/install_service.py).
inline void Control(const std::string& path_and_query) {
  EXPECT_EQ(Get(Origin() + "/_control/" + path_and_query), "ok\n") << path_and_query;
}

// Every byte percent-encoded, so bodies reach the service unchanged.
inline std::string Percent(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    out += {'%', kHex[byte >> 4], kHex[byte & 15]};
  }
  return out;
}

// The service's plain-HTTP listener: the target of insecure answers and redirects.
inline std::string PlainOrigin() {
  const std::string info = Get(Origin() + "/_control/info");
  const auto at = info.find("\"http_port\": ");
  EXPECT_NE(at, std::string::npos) << info;
  return "http://localhost:" + std::to_string(std::atoi(info.c_str() + at + 13));
}

}  // namespace setup::test
