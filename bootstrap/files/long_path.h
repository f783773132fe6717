// Path forms: expansion of abbreviated (8.3) components to the names the directories store, and the
// NT form of a full path.
#pragma once

#include <optional>
#include <string>

namespace setup {

// Gives the stored name of the last component of a full path, or nothing when the lookup fails. (A
// function rather than std::function: Setup.exe stays small.)
using StoredNameLookup = std::optional<std::wstring> (*)(const std::wstring& path);

// Expands every component from the drive outwards. The root yields the drive alone; a component
// whose lookup fails stays as it is; a trailing backslash survives.
std::wstring ExpandLongPath(const std::wstring& path, StoredNameLookup lookup);

// The temporary directory the system gives, with long names (ExpandLongPath). Given with a
// trailing backslash, it keeps it even at a root ("C:\", "\\server\share\" stay as they are), so a
// file name can be appended.
std::wstring ExpandTempDirectory(const std::wstring& directory, StoredNameLookup lookup);

// The NT form of a full path, which the kernel takes as it is: "C:\x" gives "\??\C:\x", a UNC
// path "\\server\share\x" gives "\??\UNC\server\share\x", and "\\?\C:\x" gives "\??\C:\x".
std::wstring NtPathName(const std::wstring& path);

}  // namespace setup
