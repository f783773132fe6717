#include "framework/dpi.h"

#include "framework/handle.h"
#include "framework/system_library.h"

namespace fw {
namespace {

// All four came with Windows 10 1607: a system has them all or none. Without them (a null
// table) callers take the one DPI of the screen.
struct UserDpi : fw::FunctionTable {
  static constexpr wchar_t kLibrary[] = L"user32.dll";
  FW_SYSTEM_FUNCTION(GetDpiForWindow);
  FW_SYSTEM_FUNCTION(GetDpiForSystem);
  FW_SYSTEM_FUNCTION(AdjustWindowRectExForDpi);
  FW_SYSTEM_FUNCTION(GetSystemMetricsForDpi);
};
using UserDpiLibrary = Library<UserDpi>;

}  // namespace

int SystemDpi() {
  if (const UserDpiLibrary* user = UserDpiLibrary::Get(); user != nullptr) {
    if (const UINT dpi = user->GetDpiForSystem(); dpi != 0) {
      return static_cast<int>(dpi);
    }
  }
  const ClientDc screen(nullptr);
  const int dpi = screen.get() != nullptr ? ::GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
  return dpi > 0 ? dpi : kDesignDpi;
}

int WindowDpi(HWND window) {
  if (const UserDpiLibrary* user = UserDpiLibrary::Get(); user != nullptr && window != nullptr) {
    if (const UINT dpi = user->GetDpiForWindow(window); dpi != 0) {
      return static_cast<int>(dpi);
    }
  }
  return SystemDpi();
}

void AdjustWindowRectForDpi(RECT& rect, DWORD style, DWORD ex_style, int dpi) {
  if (const UserDpiLibrary* user = UserDpiLibrary::Get(); user != nullptr) {
    RECT r = rect;
    if (user->AdjustWindowRectExForDpi(&r, style, FALSE, ex_style, static_cast<UINT>(dpi))) {
      rect = r;
      return;
    }
  }
  ::AdjustWindowRectEx(&rect, style, FALSE, ex_style);
}

int SystemMetricForDpi(int index, int dpi) {
  if (const UserDpiLibrary* user = UserDpiLibrary::Get(); user != nullptr) {
    return user->GetSystemMetricsForDpi(index, static_cast<UINT>(dpi));
  }
  return ::GetSystemMetrics(index);
}

}  // namespace fw
