// Files that Setup writes into the user's temporary folder while it runs elevated: the installer
// and the support log. %TEMP% belongs to the user, so whatever already carries the name (a file, a
// link to a system file) is hostile and is never opened or written through.
#pragma once

#include <windows.h>

#include <string>

#include "bootstrap/vocabulary/failure.h"
#include "framework/handle.h"

namespace setup {

// Creates a new file under path for writing: it is made new under a unique name in the same
// folder (CREATE_NEW, never opening an existing file or following a link) and then renamed over
// path by handle, which replaces a planted file or link itself. While it is open, others may open
// it only as share_mode allows (0: exclusive). Gives the open file, or the failure: CreateFile's,
// or the rename's (SetFileInformationByHandle), or CreateFile's 32 when another program holds the
// file at path.
Result<fw::FileHandle> CreateReplacingFile(const std::wstring& path, DWORD share_mode = 0);

}  // namespace setup
