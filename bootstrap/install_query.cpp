#include "bootstrap/install_query.h"

#include "bootstrap/ansi_code_page_win.h"
#include "bootstrap/short_text.h"
#include "bootstrap/system_error_text.h"
#include "bootstrap/wininet_library.h"
#include "framework/error.h"

namespace setup {
namespace {

[[noreturn]] void RaiseNotConnected(const wchar_t* call, DWORD code) {
  throw fw::Error(std::wstring(L"Not connected: (") + call + L") " + SystemErrorText(code) +
                  L" EC=" + DecimalTextW(code));
}

}  // namespace

std::string FetchUrl(const std::wstring& url) {
  const WinInetLibrary& wininet = WinInetLibrary::Get();
  // Declared first, closed last: the URL handle always goes before the session it belongs to.
  const InternetHandle internet(
      wininet.InternetOpenW(kQueryUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!internet) {
    RaiseNotConnected(L"InternetOpen", ::GetLastError());
  }
  // Flags 0: certificates are always checked; redirects, caching and cookies as the platform does.
  const InternetHandle request(
      wininet.InternetOpenUrlW(internet.get(), url.c_str(), nullptr, 0, 0, 0));
  if (!request) {
    RaiseNotConnected(L"InternetOpenURL", ::GetLastError());
  }
  // A failed read leaves the count at 0 and so ends the body like the end of the data.
  return ReadAnswerBody([&](char* buffer, std::size_t size) -> std::size_t {
    DWORD count = 0;
    wininet.InternetReadFile(request.get(), buffer, static_cast<DWORD>(size), &count);
    return count;
  });
}

InstallAnswer QueryInstallLocation(const std::string& base_url) {
  const SystemAnsiCodePage code_page;
  const std::wstring request_url = code_page.ToUtf16(base_url + kInstallLocationPath);
  const std::optional<InstallAnswer> answer = ParseInstallAnswer(FetchUrl(request_url), code_page);
  if (!answer) {
    throw fw::Error(L"Error communicating with " + request_url);
  }
  return *answer;
}

}  // namespace setup
