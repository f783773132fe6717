#include "bootstrap/network/wininet_library.h"

#include <algorithm>
#include <cwchar>
#include <string>

#include "bootstrap/network/network_worker.h"
#include "bootstrap/vocabulary/short_text.h"
#include "bootstrap/vocabulary/system_error_text.h"
#include "framework/system_library.h"

namespace setup {

const WinInetLibrary& WinInetLibrary::Get() {
  // Reads like the program's other network errors: what failed, the system text and the code.
  return fw::Library<WinInetLibrary>::Require([](DWORD code) { return SystemErrorText(code); });
}

void SetStallTimeouts(HINTERNET internet) {
  const WinInetLibrary& inet = WinInetLibrary::Get();
  DWORD limit = StallLimitMs();
  for (const DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                             INTERNET_OPTION_RECEIVE_TIMEOUT}) {
    inet.InternetSetOptionW(internet, option, &limit, sizeof(limit));
  }
}

Result<std::size_t> ReadArrived(HINTERNET request, char* buffer, DWORD size) {
  const WinInetLibrary& inet = WinInetLibrary::Get();
  DWORD available = 0;
  if (!inet.InternetQueryDataAvailable(request, &available, 0, 0)) {
    return Failure{L"InternetQueryDataAvailable", ::GetLastError()};
  }
  if (available == 0) {
    return std::size_t{0};
  }
  DWORD count = 0;
  if (!inet.InternetReadFile(request, buffer, std::min(size, available), &count)) {
    return Failure{L"InternetReadFile", ::GetLastError()};
  }
  return std::size_t{count};
}

namespace {

using TextQuery = BOOL (*)(HINTERNET handle, DWORD what, void* buffer, DWORD* bytes);

BOOL QueryOption(HINTERNET handle, DWORD option, void* buffer, DWORD* bytes) {
  return WinInetLibrary::Get().InternetQueryOptionW(handle, option, buffer, bytes);
}

BOOL QueryHeader(HINTERNET request, DWORD header, void* buffer, DWORD* bytes) {
  DWORD index = 0;
  return WinInetLibrary::Get().HttpQueryInfoW(request, header, buffer, bytes, &index);
}

// Asks for the size first, then for the text. What a server sends is capped: a header or URL of
// more than 64 KiB is no text Setup takes.
std::wstring QueryText(HINTERNET handle, DWORD what, TextQuery query) {
  DWORD bytes = 0;
  query(handle, what, nullptr, &bytes);
  if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0 || bytes > 64 * 1024) {
    return {};
  }
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (!query(handle, what, text.data(), &bytes)) {
    return {};
  }
  text.resize(std::char_traits<wchar_t>::length(text.c_str()));
  return text;
}

}  // namespace

std::wstring QueryOptionText(HINTERNET handle, DWORD option) {
  return QueryText(handle, option, QueryOption);
}

std::wstring QueryHeaderText(HINTERNET request, DWORD header) {
  return QueryText(request, header, QueryHeader);
}

}  // namespace setup
