// Expansion of abbreviated (8.3) components of a path to the names the directories store.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace setup {

// Gives the stored name of the last component of a full path, or nothing when the lookup fails.
using StoredNameLookup = std::function<std::optional<std::wstring>(const std::wstring& path)>;

// Expands every component from the drive outwards. The root yields the drive alone; a component
// whose lookup fails stays as it is; a trailing backslash survives.
std::wstring ExpandLongPath(const std::wstring& path, const StoredNameLookup& lookup);

}  // namespace setup
