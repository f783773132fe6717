#include "framework/dpi.h"

#include "framework/handle.h"
#include "framework/system_library.h"

namespace fw {
namespace {

// All four came with Windows 10 1607: a system has them all or none.
struct UserDpi {
  UserDpi() {
    complete = user32.Load(L"user32.dll", SystemFunction{"GetDpiForWindow", GetDpiForWindow},
                           SystemFunction{"GetDpiForSystem", GetDpiForSystem},
                           SystemFunction{"AdjustWindowRectExForDpi", AdjustWindowRectExForDpi},
                           SystemFunction{"GetSystemMetricsForDpi", GetSystemMetricsForDpi});
  }

  SystemLibrary user32;
  bool complete = false;
  decltype(&::GetDpiForWindow) GetDpiForWindow = nullptr;
  decltype(&::GetDpiForSystem) GetDpiForSystem = nullptr;
  decltype(&::AdjustWindowRectExForDpi) AdjustWindowRectExForDpi = nullptr;
  decltype(&::GetSystemMetricsForDpi) GetSystemMetricsForDpi = nullptr;

  // Null before Windows 10 1607: callers then take the one DPI of the screen.
  static const UserDpi* Get() {
    static const UserDpi library;
    return library.complete ? &library : nullptr;
  }
};

}  // namespace

int SystemDpi() {
  if (const UserDpi* user = UserDpi::Get(); user != nullptr) {
    if (const UINT dpi = user->GetDpiForSystem(); dpi != 0) {
      return static_cast<int>(dpi);
    }
  }
  const ClientDc screen(nullptr);
  const int dpi = screen.get() != nullptr ? ::GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
  return dpi > 0 ? dpi : kDesignDpi;
}

int WindowDpi(HWND window) {
  if (const UserDpi* user = UserDpi::Get(); user != nullptr && window != nullptr) {
    if (const UINT dpi = user->GetDpiForWindow(window); dpi != 0) {
      return static_cast<int>(dpi);
    }
  }
  return SystemDpi();
}

void AdjustWindowRectForDpi(RECT& rect, DWORD style, DWORD ex_style, int dpi) {
  if (const UserDpi* user = UserDpi::Get(); user != nullptr) {
    RECT r = rect;
    if (user->AdjustWindowRectExForDpi(&r, style, FALSE, ex_style, static_cast<UINT>(dpi))) {
      rect = r;
      return;
    }
  }
  ::AdjustWindowRectEx(&rect, style, FALSE, ex_style);
}

int SystemMetricForDpi(int index, int dpi) {
  if (const UserDpi* user = UserDpi::Get(); user != nullptr) {
    return user->GetSystemMetricsForDpi(index, static_cast<UINT>(dpi));
  }
  return ::GetSystemMetrics(index);
}

}  // namespace fw
