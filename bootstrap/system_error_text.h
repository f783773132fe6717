// The system's message text for an error code, as the program's error messages quote it.
#pragma once

#include <windows.h>

#include <string>

namespace setup {

// FormatMessageW from the system table, default language, without trailing blanks, control
// characters or "."; empty when the system has no text for the code.
std::wstring SystemErrorText(DWORD code);

}  // namespace setup
