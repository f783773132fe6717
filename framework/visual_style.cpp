#include "framework/visual_style.h"

#include <uxtheme.h>

#include "framework/system_library.h"

namespace fw {
namespace {

struct UxTheme {
  UxTheme() {
    complete = uxtheme.Load(L"uxtheme.dll", SystemFunction{"IsAppThemed", IsAppThemed},
                            SystemFunction{"IsThemeActive", IsThemeActive},
                            SystemFunction{"OpenThemeData", OpenThemeData},
                            SystemFunction{"CloseThemeData", CloseThemeData},
                            SystemFunction{"DrawThemeBackground", DrawThemeBackground});
  }

  SystemLibrary uxtheme;
  bool complete = false;
  decltype(&::IsAppThemed) IsAppThemed = nullptr;
  decltype(&::IsThemeActive) IsThemeActive = nullptr;
  decltype(&::OpenThemeData) OpenThemeData = nullptr;
  decltype(&::CloseThemeData) CloseThemeData = nullptr;
  decltype(&::DrawThemeBackground) DrawThemeBackground = nullptr;

  // Loaded once and kept to the end of the program; null when something is missing (callers then
  // draw their classic look).
  static const UxTheme* Get() {
    static const UxTheme library;
    return library.complete ? &library : nullptr;
  }
};

}  // namespace

bool VisualStylesActive() {
  const UxTheme* ux = UxTheme::Get();
  return ux != nullptr && ux->IsAppThemed() != FALSE && ux->IsThemeActive() != FALSE;
}

ThemeData::ThemeData(HWND window, const wchar_t* class_list) noexcept {
  if (VisualStylesActive()) {
    theme_ = UxTheme::Get()->OpenThemeData(window, class_list);
  }
}

ThemeData::~ThemeData() {
  if (theme_ != nullptr) {
    UxTheme::Get()->CloseThemeData(theme_);
  }
}

bool ThemeData::DrawBackground(HDC dc, int part, int state, const RECT& r) const noexcept {
  return theme_ != nullptr &&
         SUCCEEDED(UxTheme::Get()->DrawThemeBackground(theme_, dc, part, state, &r, nullptr));
}

}  // namespace fw
