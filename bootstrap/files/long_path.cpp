#include "bootstrap/files/long_path.h"

#include "bootstrap/vocabulary/short_text.h"

namespace setup {
namespace {

// "C:" or "\\server\share"; empty when the path has neither.
std::wstring::size_type DriveLength(const std::wstring& path) {
  if (path.size() >= 2 && path[1] == L':') {
    return 2;
  }
  if (path.rfind(L"\\\\", 0) == 0) {
    const auto server_end = path.find(L'\\', 2);
    if (server_end == std::wstring::npos) {
      return path.size();
    }
    const auto share_end = path.find(L'\\', server_end + 1);
    return share_end == std::wstring::npos ? path.size() : share_end;
  }
  return 0;
}

}  // namespace

std::wstring ExpandLongPath(const std::wstring& path, StoredNameLookup lookup) {
  const auto drive = DriveLength(path);
  const std::wstring rest = path.substr(drive);
  if (rest.empty() || rest == L"\\") {
    return path.substr(0, drive);
  }
  const auto separator = path.rfind(L'\\');
  if (separator == std::wstring::npos || separator < drive) {
    // A relative name without any directory: nothing to expand it against.
    const auto stored = lookup(path);
    return stored ? *stored : path;
  }
  const std::wstring parent = ExpandLongPath(path.substr(0, separator), lookup);
  const std::wstring name = path.substr(separator + 1);
  if (name.empty()) {
    return parent + L"\\";
  }
  const auto stored = lookup(path);
  return JoinedText({parent, L"\\", stored ? *stored : name});
}

std::wstring ExpandTempDirectory(const std::wstring& directory, StoredNameLookup lookup) {
  std::wstring expanded = ExpandLongPath(directory, lookup);
  // A root expands to the drive alone, and "C:" + "Install.exe" would name a file relative to the
  // drive's current directory.
  if (directory.ends_with(L'\\') && !expanded.ends_with(L'\\')) {
    expanded += L'\\';
  }
  return expanded;
}

std::wstring NtPathName(const std::wstring& path) {
  const std::wstring_view whole = path;
  if (whole.starts_with(L"\\\\?\\")) {
    return JoinedText({L"\\??\\", whole.substr(4)});
  }
  if (whole.starts_with(L"\\\\")) {
    return JoinedText({L"\\??\\UNC\\", whole.substr(2)});
  }
  return JoinedText({L"\\??\\", whole});
}

}  // namespace setup
