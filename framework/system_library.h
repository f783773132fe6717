// Libraries the program uses beyond its static imports. It runs elevated, often from a downloads
// folder where anyone can drop a DLL beside it, so they are loaded from the system directory only.
#pragma once

#include <windows.h>

namespace fw {

// From the system directory only. Windows 7 without the DLL-search update rejects the search flag
// (ERROR_INVALID_PARAMETER); the full path then finds the same file, and the altered search path
// makes its own dependencies come from there too. Null when it cannot be loaded.
HMODULE LoadSystemLibrary(const wchar_t* name);

// Looks a function up by name into a pointer of its declared type; false when it is missing.
template <typename Function>
bool ResolveFunction(HMODULE module, const char* name, Function& function) {
  // GetProcAddress hands back a generic function pointer; the declared type comes from the header.
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
  return function != nullptr;
}

}  // namespace fw
