// WinInet, loaded at run time from the system directory only. Setup runs elevated from a downloads
// folder, where a planted wininet.dll beside the executable would be loaded by a static import.
#pragma once

#include <windows.h>
#include <wininet.h>

#include "framework/handle.h"

namespace setup {

class WinInetLibrary {
 public:
  // Loads the library on the first call and keeps it to the end of the program; raises fw::Error
  // when it or one of its functions is missing (a later call tries again).
  static const WinInetLibrary& Get();

  decltype(&::InternetGetConnectedState) InternetGetConnectedState = nullptr;
  decltype(&::InternetOpenW) InternetOpenW = nullptr;
  decltype(&::InternetOpenUrlW) InternetOpenUrlW = nullptr;
  decltype(&::HttpQueryInfoW) HttpQueryInfoW = nullptr;
  decltype(&::InternetReadFile) InternetReadFile = nullptr;
  decltype(&::InternetCloseHandle) InternetCloseHandle = nullptr;

 private:
  WinInetLibrary();
  fw::ModuleHandle module_;
};

// A handle exists only once the library is loaded, so Get() cannot raise here.
inline void CloseInternetHandle(HINTERNET handle) noexcept {
  WinInetLibrary::Get().InternetCloseHandle(handle);
}

using InternetHandle =
    fw::UniqueHandle<HINTERNET, fw::NullHandleTraits<HINTERNET, CloseInternetHandle>>;

}  // namespace setup
