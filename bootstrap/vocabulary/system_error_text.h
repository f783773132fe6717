// The system's message text for an error code, as the program's error messages quote it.
#pragma once

#include <windows.h>

#include <string>

namespace setup {

// FormatMessageW from the system table (or from the module's own table, when one is given),
// default language, without trailing blanks, control characters or "."; empty when there is no
// text for the code.
std::wstring SystemErrorText(DWORD code, HMODULE messages = nullptr);

}  // namespace setup
