// COM (ole32.dll) and OLE Automation (oleaut32.dll), for the screen-reader support and for the
// desktop's shell. Loaded at run time from the system directory only: the program runs elevated
// from a downloads folder, where a DLL planted beside it would be loaded by a static import.
#pragma once

#include <windows.h>

#include <ole2.h>

#include <utility>

#include "framework/handle.h"
#include "framework/system_library.h"

namespace fw {

struct Ole32 : fw::FunctionTable {
  static constexpr wchar_t kLibrary[] = L"ole32.dll";
  FW_SYSTEM_FUNCTION(CoInitializeEx);
  FW_SYSTEM_FUNCTION(CoUninitialize);
  FW_SYSTEM_FUNCTION(CoCreateInstance);
  FW_SYSTEM_FUNCTION(CoDisconnectObject);
};

struct OleAut32 : fw::FunctionTable {
  static constexpr wchar_t kLibrary[] = L"oleaut32.dll";
  FW_SYSTEM_FUNCTION(SysAllocStringLen);
  FW_SYSTEM_FUNCTION(SysFreeString);
};

// Both or neither: users go without COM (null) when either is missing.
using OleLibraries = Library<Ole32, OleAut32>;

// COM on the calling thread for the guard's life: an apartment-threaded one (or the model given)
// unless the thread is already in an apartment, which it then joins. Only its own initialisation
// is undone, so the thread is left as it was found.
class ComApartment {
 public:
  explicit ComApartment(const Ole32& ole, DWORD model = COINIT_APARTMENTTHREADED) noexcept;
  ~ComApartment();
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

  // Whether COM can be used on this thread now (a multithreaded apartment counts).
  bool Usable() const noexcept { return usable_; }

 private:
  const Ole32& ole_;
  bool initialised_ = false;  // S_OK and S_FALSE both count, and both are balanced
  bool usable_ = false;
};

// A traits class rather than NullHandleTraits over a release function: its Close is compiled only
// where a reference is let go, so a class may hold a ComPtr to a type its header only declares.
template <typename Interface>
struct ComReferenceTraits {
  static constexpr Interface* Invalid() noexcept { return nullptr; }
  static bool IsValid(Interface* object) noexcept { return object != nullptr; }
  static void Close(Interface* object) noexcept { object->Release(); }
};

// One reference to a COM object.
template <typename Interface>
using ComPtr = UniqueHandle<Interface*, ComReferenceTraits<Interface>>;

// What a call hands back through its out parameter, owned whatever it returned; empty when the
// call failed. A call may succeed with nothing (FindWindowSW's S_FALSE when there is no desktop).
template <typename Interface, typename Call>
ComPtr<Interface> ObtainCom(Call&& call) {
  Interface* raw = nullptr;
  const HRESULT result = std::forward<Call>(call)(&raw);
  ComPtr<Interface> object(raw);
  return SUCCEEDED(result) ? std::move(object) : ComPtr<Interface>();
}

// A BSTR from OleLibraries; exists only once they are loaded.
inline void FreeBstr(BSTR text) noexcept {
  OleLibraries::Get()->SysFreeString(text);
}
using BstrHandle = UniqueHandle<BSTR, NullHandleTraits<BSTR, FreeBstr>>;

}  // namespace fw
