#include "bootstrap/wininet_library.h"

#include <string>

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
  Resolve(module, "InternetCloseHandle", InternetCloseHandle);
}

const WinInetLibrary& WinInetLibrary::Get() {
  static const WinInetLibrary library;
  return library;
}

}  // namespace setup
