#include "bootstrap/vocabulary/test_seam.h"

#include <windows.h>

namespace setup {

std::optional<std::uint32_t> TestSeamNumber(const wchar_t* name) {
  wchar_t value[10] = {};
  const DWORD length = ::GetEnvironmentVariableW(name, value, 10);
  if (length == 0 || length >= 10) {
    return std::nullopt;
  }
  std::uint32_t number = 0;
  for (DWORD i = 0; i < length; ++i) {
    if (value[i] < L'0' || value[i] > L'9') {
      return std::nullopt;
    }
    number = number * 10 + static_cast<std::uint32_t>(value[i] - L'0');
  }
  return number;
}

}  // namespace setup
