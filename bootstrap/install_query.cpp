#include "bootstrap/install_query.h"

#include <atomic>

#include "bootstrap/ansi_code_page_win.h"
#include "bootstrap/network_worker.h"
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
  // Shared with the worker, which the query leaves behind when the server stalls. The URL handle
  // is declared after the session it belongs to, so it closes first.
  struct Fetch {
    InternetHandle internet;
    InternetHandle request;
    DWORD open_error = 0;
    std::atomic<bool> opened{false};
    std::string body;
  };
  const SharedState<Fetch> fetch;
  fetch->internet.reset(
      wininet.InternetOpenW(kQueryUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!fetch->internet) {
    RaiseNotConnected(L"InternetOpen", ::GetLastError());
  }
  SetStallTimeouts(fetch->internet.get());
  const bool ended = RunOffWindow([fetch, url](NetworkActivity& activity) {
    const WinInetLibrary& inet = WinInetLibrary::Get();
    // Flags 0: certificates are always checked; redirects, caching and cookies as the platform
    // does.
    fetch->request.reset(
        inet.InternetOpenUrlW(fetch->internet.get(), url.c_str(), nullptr, 0, 0, 0));
    if (!fetch->request) {
      fetch->open_error = ::GetLastError();
      return;
    }
    activity.Touch();
    fetch->opened = true;
    // A failed read gives 0 and so ends the body like the end of the data.
    fetch->body = ReadAnswerBody([&](char* buffer, std::size_t size) -> std::size_t {
      const DWORD count = ReadArrived(fetch->request.get(), buffer, static_cast<DWORD>(size));
      if (count > 0) {
        activity.Touch();
      }
      return count;
    });
  });
  if (!ended) {
    // The system's own code for a request that timed out, named after the call that waited.
    RaiseNotConnected(fetch->opened ? L"InternetReadFile" : L"InternetOpenURL",
                      ERROR_INTERNET_TIMEOUT);
  }
  if (!fetch->request) {
    RaiseNotConnected(L"InternetOpenURL", fetch->open_error);
  }
  return std::move(fetch->body);
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
