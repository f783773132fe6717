#include "framework/ole_library.h"

namespace fw {

ComApartment::ComApartment(const Ole32& ole, DWORD model) noexcept : ole_(ole) {
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
