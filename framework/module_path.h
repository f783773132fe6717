// The running executable's full path, however long it is. Header-only, so the test tools can use
// it without linking the framework.
#pragma once

#include <windows.h>

#include <string>

namespace fw {

inline std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    // A full buffer means the path was cut: try again with twice the room.
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace fw
