// The platform's visual-style renderer (uxtheme), loaded from the system directory on first use so
// that the program imports nothing beyond the always-present system DLLs. Without it, or while
// visual styles are off, VisualStylesActive() is false and callers draw their classic look.
// Main thread only.
#pragma once

#include <windows.h>

namespace fw {

bool VisualStylesActive();

// Theme data of one window for a class list (e.g. L"PROGRESS"), closed with the scope.
class ThemeData {
 public:
  ThemeData(HWND window, const wchar_t* class_list) noexcept;
  ThemeData(const ThemeData&) = delete;
  ThemeData& operator=(const ThemeData&) = delete;
  ~ThemeData();

  explicit operator bool() const noexcept { return theme_ != nullptr; }
  // False when the renderer could not draw the part (the caller then draws it itself).
  bool DrawBackground(HDC dc, int part, int state, const RECT& r) const noexcept;

 private:
  void* theme_ = nullptr;  // HTHEME
};

}  // namespace fw
