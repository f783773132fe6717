// Libraries the program uses beyond its static imports. It runs elevated, often from a downloads
// folder where anyone can drop a DLL beside it, so they are loaded from the system directory only.
//
// A table is a struct that names its DLL and lists each function once:
//
//   struct UxTheme : fw::FunctionTable {
//     static constexpr wchar_t kLibrary[] = L"uxtheme.dll";
//     FW_SYSTEM_FUNCTION(IsAppThemed);
//     FW_SYSTEM_FUNCTION(OpenThemeData);
//   };
//
// and Library<UxTheme> (or Library<A, B, C> for several DLLs needed all together) loads it once,
// when first used, and keeps it to the end of the program. What to do when something is missing
// is decided where the table is used: Get() is null (go without, or refuse with Outcome()'s
// code), Require() raises.
#pragma once

#include <windows.h>

#include <string>

#include "framework/handle.h"

namespace fw {

// From the system directory only. Windows 7 without the DLL-search update rejects the search flag
// (ERROR_INVALID_PARAMETER); the full path then finds the same file, and the altered search path
// makes its own dependencies come from there too. Null when it cannot be loaded.
HMODULE LoadSystemLibrary(const wchar_t* name);

// A table's functions, each of which enters itself here when the table is made, in the order
// they are declared: the loader walks them without knowing the table's type.
struct FunctionSlot;
class FunctionTable {
 public:
  FunctionTable() = default;
  FunctionTable(const FunctionTable&) = delete;
  FunctionTable& operator=(const FunctionTable&) = delete;
  FunctionSlot* First() const noexcept { return first_; }

 private:
  friend struct FunctionSlot;
  FunctionSlot* first_ = nullptr;
  FunctionSlot** end_ = &first_;
};

// One function of a table: its exported name and, once loaded, its address.
struct FunctionSlot {
  FunctionSlot(FunctionTable* table, const char* function_name) noexcept : name(function_name) {
    *table->end_ = this;
    table->end_ = &next;
  }
  FunctionSlot(const FunctionSlot&) = delete;
  FunctionSlot& operator=(const FunctionSlot&) = delete;

  const char* name;
  FARPROC address = nullptr;
  FunctionSlot* next = nullptr;
};

// A slot that is called as the function itself, with the type its header declares.
template <typename Function>
struct SystemFunction : FunctionSlot {
  using FunctionSlot::FunctionSlot;
  operator Function() const noexcept {
    // GetProcAddress hands back a generic function pointer; the declared type comes back here.
    return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
  }
};

// A table's entry for ::Name, typed by its declaration (which is only looked at, never linked to).
// The table derives from FunctionTable; `this` is the table being made.
#define FW_SYSTEM_FUNCTION(Name)                 \
  ::fw::SystemFunction<decltype(&::Name)> Name { \
    this, #Name                                  \
  }

// What loading a table came to.
struct LibraryOutcome {
  // Null when nothing is missing, "" for the library itself, otherwise the first function missing.
  const char* missing = "";
  const wchar_t* library = nullptr;  // the DLL that failed
  DWORD error = 0;                   // GetLastError() at the failure
};

// Loads one DLL into module and looks the table's functions up, in order, up to the first one
// missing, which outcome then names; true when all were found.
bool LoadTable(const wchar_t* library, const FunctionTable& table, ModuleHandle& module,
               LibraryOutcome& outcome) noexcept;

// Raises fw::Error naming what is missing, e.g. "Cannot load InternetOpenW from wininet.dll
// EC=127"; explain, when given, puts the system's text for the code before it.
[[noreturn]] void RaiseMissing(const LibraryOutcome& outcome, std::wstring (*explain)(DWORD));

// The tables, loaded on the first call of any of these and kept to the end of the program. That
// first call must be on the main thread: statics take no lock in this build (a worker that uses a
// table gets it loaded before it starts).
template <typename... Tables>
class Library final : public Tables... {
 public:
  // Null when a DLL or one of its functions is missing.
  static const Library* Get() {
    const Library& library = Instance();
    return library.outcome_.missing == nullptr ? &library : nullptr;
  }

  // For callers that cannot go on without the tables: raises fw::Error naming what is missing.
  static const Library& Require(std::wstring (*explain)(DWORD) = nullptr) {
    const Library& library = Instance();
    if (library.outcome_.missing != nullptr) {
      RaiseMissing(library.outcome_, explain);
    }
    return library;
  }

  static const LibraryOutcome& Outcome() { return Instance().outcome_; }

  // The first table's DLL (a library's message table, for instance); null when it is missing.
  static HMODULE Module() { return Instance().modules_[0].get(); }

 private:
  Library() {
    ModuleHandle* module = modules_;
    (LoadTable(Tables::kLibrary, static_cast<const Tables&>(*this), *module++, outcome_) && ...);
  }

  static Library& Instance() {
    static Library library;
    return library;
  }

  ModuleHandle modules_[sizeof...(Tables)];
  LibraryOutcome outcome_;
};

}  // namespace fw
