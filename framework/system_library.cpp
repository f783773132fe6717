#include "framework/system_library.h"

#include <string>

namespace fw {

HMODULE LoadSystemLibrary(const wchar_t* name) {
  if (const HMODULE module = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    return module;
  }
  if (::GetLastError() != ERROR_INVALID_PARAMETER) {
    return nullptr;
  }
  wchar_t directory[MAX_PATH] = {};
  const UINT length = ::GetSystemDirectoryW(directory, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    return nullptr;
  }
  const std::wstring path = std::wstring(directory, length) + L"\\" + name;
  return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

FARPROC SystemLibrary::Find(const char* name) noexcept {
  const FARPROC address = ::GetProcAddress(module_.get(), name);
  if (address == nullptr) {
    missing_ = name;
  }
  return address;
}

}  // namespace fw
