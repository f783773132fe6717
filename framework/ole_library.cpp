#include "framework/ole_library.h"

#include <memory>

#include "framework/system_library.h"

namespace fw {

const OleLibraries* OleLibraries::Get() {
  static const std::unique_ptr<OleLibraries> libraries = []() -> std::unique_ptr<OleLibraries> {
    auto ole = std::make_unique<OleLibraries>();
    ole->ole32.reset(LoadSystemLibrary(L"ole32.dll"));
    ole->oleaut32.reset(LoadSystemLibrary(L"oleaut32.dll"));
    if (!ole->ole32 || !ole->oleaut32) {
      return nullptr;
    }
    const bool complete =
        ResolveFunction(ole->ole32.get(), "CoInitializeEx", ole->CoInitializeEx) &&
        ResolveFunction(ole->ole32.get(), "CoUninitialize", ole->CoUninitialize) &&
        ResolveFunction(ole->ole32.get(), "CoCreateInstance", ole->CoCreateInstance) &&
        ResolveFunction(ole->ole32.get(), "CoDisconnectObject", ole->CoDisconnectObject) &&
        ResolveFunction(ole->oleaut32.get(), "SysAllocStringLen", ole->SysAllocStringLen) &&
        ResolveFunction(ole->oleaut32.get(), "SysFreeString", ole->SysFreeString);
    return complete ? std::move(ole) : nullptr;
  }();
  return libraries.get();
}

ComApartment::ComApartment(const OleLibraries& ole) noexcept : ole_(ole) {
  const HRESULT result = ole_.CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  initialised_ = SUCCEEDED(result);
  // RPC_E_CHANGED_MODE: the thread is in the multithreaded apartment, where COM works as well.
  usable_ = initialised_ || result == RPC_E_CHANGED_MODE;
}

ComApartment::~ComApartment() {
  if (initialised_) {
    ole_.CoUninitialize();
  }
}

}  // namespace fw
