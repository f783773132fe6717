#include "bootstrap/wininet_library.h"

#include <algorithm>
#include <cwchar>
#include <string>

#include "bootstrap/network_worker.h"
#include "bootstrap/short_text.h"
#include "bootstrap/system_error_text.h"
#include "framework/error.h"
#include "framework/system_library.h"

namespace setup {
namespace {

// The failure reads like the program's other network errors: what failed, the system text and the
// code, e.g. "Cannot load wininet.dll: The specified module could not be found EC=126".
[[noreturn]] void RaiseLoadError(const std::wstring& what) {
  const DWORD code = ::GetLastError();
  throw fw::Error(L"Cannot load " + what + L": " + SystemErrorText(code) + L" EC=" +
                  DecimalTextW(code));
}

template <typename Function>
void Resolve(HMODULE module, const char* name, Function& function) {
  if (!fw::ResolveFunction(module, name, function)) {
    RaiseLoadError(std::wstring(name, name + std::char_traits<char>::length(name)) +
                   L" from wininet.dll");
  }
}

}  // namespace

WinInetLibrary::WinInetLibrary() : module_(fw::LoadSystemLibrary(L"wininet.dll")) {
  if (!module_) {
    RaiseLoadError(L"wininet.dll");
  }
  const HMODULE module = module_.get();
  Resolve(module, "InternetGetConnectedState", InternetGetConnectedState);
  Resolve(module, "InternetOpenW", InternetOpenW);
  Resolve(module, "InternetOpenUrlW", InternetOpenUrlW);
  Resolve(module, "HttpQueryInfoW", HttpQueryInfoW);
  Resolve(module, "InternetReadFile", InternetReadFile);
  Resolve(module, "InternetQueryDataAvailable", InternetQueryDataAvailable);
  Resolve(module, "InternetCloseHandle", InternetCloseHandle);
  Resolve(module, "InternetSetOptionW", InternetSetOptionW);
  Resolve(module, "InternetQueryOptionW", InternetQueryOptionW);
  Resolve(module, "InternetErrorDlg", InternetErrorDlg);
}

const WinInetLibrary& WinInetLibrary::Get() {
  static const WinInetLibrary library;
  return library;
}

void SetStallTimeouts(HINTERNET internet) {
  const WinInetLibrary& inet = WinInetLibrary::Get();
  DWORD limit = StallLimitMs();
  for (const DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                             INTERNET_OPTION_RECEIVE_TIMEOUT}) {
    inet.InternetSetOptionW(internet, option, &limit, sizeof(limit));
  }
}

DWORD ReadArrived(HINTERNET request, char* buffer, DWORD size) {
  const WinInetLibrary& inet = WinInetLibrary::Get();
  DWORD available = 0;
  if (!inet.InternetQueryDataAvailable(request, &available, 0, 0) || available == 0) {
    return 0;
  }
  DWORD count = 0;
  inet.InternetReadFile(request, buffer, std::min(size, available), &count);
  return count;
}

std::wstring FinalUrl(HINTERNET request) {
  const WinInetLibrary& inet = WinInetLibrary::Get();
  DWORD size = 0;
  inet.InternetQueryOptionW(request, INTERNET_OPTION_URL, nullptr, &size);
  if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) {
    return {};
  }
  std::wstring url(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(url.size() * sizeof(wchar_t));
  if (!inet.InternetQueryOptionW(request, INTERNET_OPTION_URL, url.data(), &size)) {
    return {};
  }
  url.resize(std::wcslen(url.c_str()));
  return url;
}

std::wstring NetworkErrorText(DWORD code) {
  if (code >= INTERNET_ERROR_BASE && code <= INTERNET_ERROR_LAST) {
    if (std::wstring text = SystemErrorText(code, WinInetLibrary::Get().Module()); !text.empty()) {
      return text;
    }
  }
  return SystemErrorText(code);
}

}  // namespace setup
