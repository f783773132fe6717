#include "framework/ole_library.h"

namespace fw {

OleLibraries::OleLibraries() {
  complete = ole32.Load(L"ole32.dll", SystemFunction{"CoInitializeEx", CoInitializeEx},
                        SystemFunction{"CoUninitialize", CoUninitialize},
                        SystemFunction{"CoCreateInstance", CoCreateInstance},
                        SystemFunction{"CoDisconnectObject", CoDisconnectObject}) &&
             oleaut32.Load(L"oleaut32.dll", SystemFunction{"SysAllocStringLen", SysAllocStringLen},
                           SystemFunction{"SysFreeString", SysFreeString});
}

const OleLibraries* OleLibraries::Get() {
  static const OleLibraries ole;
  return ole.complete ? &ole : nullptr;
}

ComApartment::ComApartment(const OleLibraries& ole, DWORD model) noexcept : ole_(ole) {
  const HRESULT result = ole_.CoInitializeEx(nullptr, model);
  initialised_ = SUCCEEDED(result);
  // RPC_E_CHANGED_MODE: the thread is in an apartment of the other model, where COM works as well.
  usable_ = initialised_ || result == RPC_E_CHANGED_MODE;
}

ComApartment::~ComApartment() {
  if (initialised_) {
    ole_.CoUninitialize();
  }
}

}  // namespace fw
