// Libraries the program uses beyond its static imports. It runs elevated, often from a downloads
// folder where anyone can drop a DLL beside it, so they are loaded from the system directory only.
#pragma once

#include <windows.h>

namespace fw {

inline HMODULE LoadSystemLibrary(const wchar_t* name) {
  return ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// Looks a function up by name into a pointer of its declared type; false when it is missing.
template <typename Function>
bool ResolveFunction(HMODULE module, const char* name, Function& function) {
  // GetProcAddress hands back a generic function pointer; the declared type comes from the header.
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
  return function != nullptr;
}

}  // namespace fw
