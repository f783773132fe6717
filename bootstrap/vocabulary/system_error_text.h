// The system's message text for an error code, as the program's error messages quote it.
#pragma once

#include <windows.h>

#include <string>

namespace setup {

// FormatMessageW from the system table (or from the module's own table, when one is given),
// default language, without trailing blanks, control characters or "."; empty when there is no
// text for the code.
std::wstring SystemErrorText(DWORD code, HMODULE messages = nullptr);

// The text of any code a failed call gives, as the error messages and the support log quote it:
// WinInet's codes (12001 and on) from WinInet's own message table (the system's has no words for
// them), the others from the system's.
std::wstring ErrorCodeText(DWORD code);

}  // namespace setup
