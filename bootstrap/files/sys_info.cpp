#include "bootstrap/files/sys_info.h"

#include <windows.h>

#include "bootstrap/files/long_path.h"
#include "framework/handle.h"

namespace setup {

std::wstring TSysInfo::TempPath() const {
  wchar_t buffer[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathW(MAX_PATH, buffer);
  if (length == 0 || length > MAX_PATH) {
    return {};
  }
  return ExpandTempDirectory(std::wstring(buffer, length),
                             [](const std::wstring& path) -> std::optional<std::wstring> {
                               WIN32_FIND_DATAW data{};
                               fw::FindHandle find(::FindFirstFileW(path.c_str(), &data));
                               if (!find) {
                                 return std::nullopt;
                               }
                               return std::wstring(data.cFileName);
                             });
}

}  // namespace setup
