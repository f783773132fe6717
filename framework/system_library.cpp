#include "framework/system_library.h"

#include <string>

#include "framework/error.h"

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

bool LoadTable(const wchar_t* library, const FunctionTable& table, ModuleHandle& module,
               LibraryOutcome& outcome) noexcept {
  outcome.library = library;
  outcome.missing = "";
  module.reset(LoadSystemLibrary(library));
  if (module) {
    outcome.missing = nullptr;
    for (FunctionSlot* slot = table.First(); slot != nullptr && outcome.missing == nullptr;
         slot = slot->next) {
      slot->address = ::GetProcAddress(module.get(), slot->name);
      if (slot->address == nullptr) {
        outcome.missing = slot->name;
      }
    }
  }
  if (outcome.missing != nullptr) {
    outcome.error = ::GetLastError();
  }
  return outcome.missing == nullptr;
}

void RaiseMissing(const LibraryOutcome& outcome, std::wstring (*explain)(DWORD)) {
  // Reads like the program's other failed calls: what failed and the code, e.g. "Cannot load
  // wininet.dll: The specified module could not be found EC=126" with the system's text.
  std::wstring message = L"Cannot load ";
  const std::string_view function = outcome.missing;
  if (!function.empty()) {
    message.append(function.begin(), function.end()).append(L" from ");
  }
  message.append(outcome.library);
  if (explain != nullptr) {
    message.append(L": ").append(explain(outcome.error));
  }
  throw SystemCallError(message.c_str(), outcome.error);
}

}  // namespace fw
