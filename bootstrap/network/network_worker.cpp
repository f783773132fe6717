#include "bootstrap/network/network_worker.h"

#include <utility>

#include "bootstrap/network/wininet_library.h"
#include "build_settings.h"
#include "framework/error.h"

namespace setup {
namespace {

// Holds WinInet loaded for a request's work: an abandoned worker can outlive the program's own
// use of the library.
fw::ModuleHandle PinWinInet() {
  HMODULE module = nullptr;
  if (!::GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
          reinterpret_cast<LPCWSTR>(WinInetLibrary::Get().InternetReadFile.address), &module)) {
    throw fw::Error(L"Cannot start a network request: WinInet is not loaded");
  }
  return fw::ModuleHandle(module);
}

}  // namespace

DWORD StallLimitMs() {
  return static_cast<DWORD>(kStallLimitSeconds) * 1000;
}

bool RunRequestOffWindow(std::function<void(fw::WorkActivity&)> work,
                         const std::function<void()>& before_pump) {
  return fw::RunOffWindow(std::move(work), before_pump, StallLimitMs(), PinWinInet());
}

}  // namespace setup
