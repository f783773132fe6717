// The clipboard, as the program uses it: put a text on it.
#pragma once

#include <windows.h>

#include <string>

namespace fw {

// Replaces the clipboard's contents with text (CF_UNICODETEXT), the clipboard owned by owner;
// false when the memory or the clipboard was refused.
bool CopyTextToClipboard(HWND owner, const std::wstring& text);

}  // namespace fw
