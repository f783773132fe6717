// WinInet, loaded at run time from the system directory only. Setup runs elevated from a downloads
// folder, where a planted wininet.dll beside the executable would be loaded by a static import.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstddef>
#include <string>

#include "bootstrap/vocabulary/failure.h"
#include "framework/handle.h"
#include "framework/system_library.h"

namespace setup {

// The functions the network uses.
struct WinInetLibrary : fw::FunctionTable {
  static constexpr wchar_t kLibrary[] = L"wininet.dll";
  FW_SYSTEM_FUNCTION(InternetGetConnectedState);
  FW_SYSTEM_FUNCTION(InternetOpenW);
  FW_SYSTEM_FUNCTION(InternetOpenUrlW);
  FW_SYSTEM_FUNCTION(HttpQueryInfoW);
  FW_SYSTEM_FUNCTION(InternetReadFile);
  FW_SYSTEM_FUNCTION(InternetQueryDataAvailable);
  FW_SYSTEM_FUNCTION(InternetCloseHandle);
  FW_SYSTEM_FUNCTION(InternetSetOptionW);
  FW_SYSTEM_FUNCTION(InternetQueryOptionW);
  FW_SYSTEM_FUNCTION(InternetErrorDlg);

  // Loads the library on the first call, which is on the main thread (statics take no lock in
  // this build), and keeps it to the end of the program. No request can be made without it, so
  // a missing library or function is raised as fw::Error, e.g. "Cannot load wininet.dll: The
  // specified module could not be found EC=126".
  static const WinInetLibrary& Get();
};

// A handle exists only once the library is loaded, so Get() cannot raise here.
inline void CloseInternetHandle(HINTERNET handle) noexcept {
  WinInetLibrary::Get().InternetCloseHandle(handle);
}

using InternetHandle =
    fw::UniqueHandle<HINTERNET, fw::NullHandleTraits<HINTERNET, CloseInternetHandle>>;

// Sets the connect, send and receive timeouts of a session to the stall limit. Windows ends a
// stalled call with them (ERROR_INTERNET_TIMEOUT); Wine ignores them, which the worker covers.
void SetStallTimeouts(HINTERNET internet);

// Reads up to size bytes of what has arrived of the request's body, waiting only while nothing has
// (Wine's InternetReadFile would wait until the whole buffer is filled, so a server that pauses
// would look silent with bytes already in hand). The count, 0 at the end of the data, or the
// failed call (InternetQueryDataAvailable, InternetReadFile) with its code.
Result<std::size_t> ReadArrived(HINTERNET request, char* buffer, DWORD size);

// A string option of a WinInet handle (INTERNET_OPTION_URL, INTERNET_OPTION_PROXY_USERNAME, ...);
// empty when it has none or it cannot be read.
std::wstring QueryOptionText(HINTERNET handle, DWORD option);

// A header of a request's answer (HTTP_QUERY_LOCATION, ...); empty when there is none.
std::wstring QueryHeaderText(HINTERNET request, DWORD header);

}  // namespace setup
