#include "framework/system_call.h"

namespace fw {

void ThrowLastError(const wchar_t* what) {
  throw SystemCallError(what, ::GetLastError());
}

}  // namespace fw
