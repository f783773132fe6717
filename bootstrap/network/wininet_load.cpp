#include "bootstrap/network/wininet_library.h"

#include "bootstrap/vocabulary/system_error_text.h"
#include "framework/system_library.h"

namespace setup {

// Alone in its file: the HTTPS client's model test links a WinInet of its own in its place.
const WinInetLibrary& WinInetLibrary::Get() {
  // Reads like the program's other network errors: what failed, the system text and the code.
  return fw::Library<WinInetLibrary>::Require([](DWORD code) { return SystemErrorText(code); });
}

}  // namespace setup
