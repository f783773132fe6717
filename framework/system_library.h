// Libraries the program uses beyond its static imports. It runs elevated, often from a downloads
// folder where anyone can drop a DLL beside it, so they are loaded from the system directory only.
#pragma once

#include <windows.h>

#include "framework/handle.h"

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

// One entry of a table: the exported name and the table's pointer, of the type the header declares.
template <typename Function>
struct SystemFunction {
  const char* name;
  Function& pointer;
};

// A library of a table of functions loaded at run time. A table holds one per library, declares
// its pointers as `decltype(&::Name) Name = nullptr;` and loads them once, when it is first used;
// it keeps the library to the end of the program.
class SystemLibrary {
 public:
  // Loads the library and looks the functions up, in order, up to the first one missing; true
  // when all were found.
  template <typename... Functions>
  bool Load(const wchar_t* library, SystemFunction<Functions>... functions) {
    module_.reset(LoadSystemLibrary(library));
    if (!module_) {
      return false;
    }
    missing_ = nullptr;
    return (Resolve(functions) && ...);
  }

  // What could not be loaded: null when nothing, "" for the library itself, otherwise the first
  // function missing from it; GetLastError() right after Load tells why. Callers decide: the
  // screen-reader and theme tables go without quietly, WinInet's failure is raised.
  const char* Missing() const noexcept { return missing_; }
  HMODULE Module() const noexcept { return module_.get(); }

 private:
  // The function's address; null, and noted as missing, when the library has none of that name.
  FARPROC Find(const char* name) noexcept;

  template <typename Function>
  bool Resolve(SystemFunction<Function> function) noexcept {
    // The generic address gets the declared type back.
    function.pointer = reinterpret_cast<Function>(reinterpret_cast<void*>(Find(function.name)));
    return function.pointer != nullptr;
  }

  ModuleHandle module_;
  const char* missing_ = "";
};

}  // namespace fw
