#include "framework/visual_style.h"

#include "framework/handle.h"

namespace fw {
namespace {

using IsAppThemedFn = BOOL(WINAPI*)();
using IsThemeActiveFn = BOOL(WINAPI*)();
using OpenThemeDataFn = void*(WINAPI*)(HWND, LPCWSTR);
using CloseThemeDataFn = HRESULT(WINAPI*)(void*);
using DrawThemeBackgroundFn = HRESULT(WINAPI*)(void*, HDC, int, int, const RECT*, const RECT*);

struct UxTheme {
  ModuleHandle module;
  IsAppThemedFn IsAppThemed = nullptr;
  IsThemeActiveFn IsThemeActive = nullptr;
  OpenThemeDataFn OpenThemeData = nullptr;
  CloseThemeDataFn CloseThemeData = nullptr;
  DrawThemeBackgroundFn DrawThemeBackground = nullptr;

  UxTheme() : module(::LoadLibraryExW(L"uxtheme.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    if (!module) {
      return;
    }
    Resolve("IsAppThemed", IsAppThemed);
    Resolve("IsThemeActive", IsThemeActive);
    Resolve("OpenThemeData", OpenThemeData);
    Resolve("CloseThemeData", CloseThemeData);
    Resolve("DrawThemeBackground", DrawThemeBackground);
  }
  bool Complete() const {
    return IsAppThemed != nullptr && IsThemeActive != nullptr && OpenThemeData != nullptr &&
           CloseThemeData != nullptr && DrawThemeBackground != nullptr;
  }

  template <typename Function>
  void Resolve(const char* name, Function& function) {
    function =
        reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module.get(), name)));
  }
};

const UxTheme& Library() {
  static const UxTheme library;
  return library;
}

}  // namespace

bool VisualStylesActive() {
  const UxTheme& ux = Library();
  return ux.Complete() && ux.IsAppThemed() != FALSE && ux.IsThemeActive() != FALSE;
}

ThemeData::ThemeData(HWND window, const wchar_t* class_list) noexcept {
  if (VisualStylesActive()) {
    theme_ = Library().OpenThemeData(window, class_list);
  }
}

ThemeData::~ThemeData() {
  if (theme_ != nullptr) {
    Library().CloseThemeData(theme_);
  }
}

bool ThemeData::DrawBackground(HDC dc, int part, int state, const RECT& r) const noexcept {
  return theme_ != nullptr &&
         SUCCEEDED(Library().DrawThemeBackground(theme_, dc, part, state, &r, nullptr));
}

}  // namespace fw
