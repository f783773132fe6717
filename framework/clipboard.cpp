#include "framework/clipboard.h"

#include <cstring>

#include "framework/handle.h"
#include "framework/scope_exit.h"

namespace fw {

bool CopyTextToClipboard(HWND owner, const std::wstring& text) {
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  GlobalMemory memory(::GlobalAlloc(GMEM_MOVEABLE, bytes));
  if (!memory) {
    return false;
  }
  {
    void* data = ::GlobalLock(memory.get());
    if (data == nullptr) {
      return false;
    }
    const ScopeExit unlock([&memory] { ::GlobalUnlock(memory.get()); });
    std::memcpy(data, text.c_str(), bytes);
  }
  if (!::OpenClipboard(owner)) {
    return false;
  }
  const ScopeExit close([] { ::CloseClipboard(); });
  if (!::EmptyClipboard() || ::SetClipboardData(CF_UNICODETEXT, memory.get()) == nullptr) {
    return false;
  }
  memory.release();  // the clipboard owns it now
  return true;
}

}  // namespace fw
