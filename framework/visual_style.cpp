#include "framework/visual_style.h"

#include <uxtheme.h>

#include "framework/system_library.h"

namespace fw {
namespace {

// Without it (a null table) callers draw their classic look.
struct UxTheme : fw::FunctionTable {
  static constexpr wchar_t kLibrary[] = L"uxtheme.dll";
  FW_SYSTEM_FUNCTION(IsAppThemed);
  FW_SYSTEM_FUNCTION(IsThemeActive);
  FW_SYSTEM_FUNCTION(OpenThemeData);
  FW_SYSTEM_FUNCTION(CloseThemeData);
  FW_SYSTEM_FUNCTION(DrawThemeBackground);
};
using UxThemeLibrary = Library<UxTheme>;

}  // namespace

bool VisualStylesActive() {
  const UxThemeLibrary* ux = UxThemeLibrary::Get();
  return ux != nullptr && ux->IsAppThemed() != FALSE && ux->IsThemeActive() != FALSE;
}

ThemeData::ThemeData(HWND window, const wchar_t* class_list) noexcept {
  if (VisualStylesActive()) {
    theme_ = UxThemeLibrary::Get()->OpenThemeData(window, class_list);
  }
}

ThemeData::~ThemeData() {
  if (theme_ != nullptr) {
    UxThemeLibrary::Get()->CloseThemeData(theme_);
  }
}

bool ThemeData::DrawBackground(HDC dc, int part, int state, const RECT& r) const noexcept {
  return theme_ != nullptr && SUCCEEDED(UxThemeLibrary::Get()->DrawThemeBackground(
                                  theme_, dc, part, state, &r, nullptr));
}

}  // namespace fw
