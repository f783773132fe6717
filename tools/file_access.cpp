// Test helper: tries what another program of the same user could do to a file or a folder, and
// undoes any of it that worked (backup semantics: the only way to open a folder). Prints one JSON
// line: {"read": E, "write": E, "delete": E, "rename": E}, where E is 0 when the attempt succeeded
// and the system's error code otherwise.
//   file_access.exe PATH
#include <windows.h>

#include <cstdio>
#include <string>

#include "framework/handle.h"

namespace {

DWORD TryOpen(const wchar_t* path, DWORD access) {
  const fw::FileHandle file(
      ::CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return file ? 0 : ::GetLastError();
}

DWORD TryRename(const wchar_t* path) {
  const std::wstring moved = std::wstring(path) + L".moved";
  if (!::MoveFileExW(path, moved.c_str(), 0)) {
    return ::GetLastError();
  }
  ::MoveFileExW(moved.c_str(), path, 0);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fwprintf(stderr, L"usage: file_access PATH\n");
    return 2;
  }
  const wchar_t* path = argv[1];
  std::printf("{\"read\": %lu, \"write\": %lu, \"delete\": %lu, \"rename\": %lu}\n",
              TryOpen(path, GENERIC_READ), TryOpen(path, GENERIC_WRITE), TryOpen(path, DELETE),
              TryRename(path));
  return 0;
}
