#include "bootstrap/files/safe_temp_file.h"

#include <algorithm>
#include <vector>

#include "bootstrap/files/long_path.h"
#include "bootstrap/vocabulary/short_text.h"

namespace setup {
namespace {

// Renames the open file to path, replacing whatever has that name: a file, or a link itself (never
// what it points to).
Result<> RenameOpenFile(HANDLE file, const std::wstring& full_path) {
  // Some Windows versions convert a DOS path given to a rename by handle, others pass it to the
  // kernel unchanged: the NT form works on all of them.
  const std::wstring path = NtPathName(full_path);
  const std::size_t name_bytes = path.size() * sizeof(wchar_t);
  std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + name_bytes, 0);
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = TRUE;
  rename->FileNameLength = static_cast<DWORD>(name_bytes);
  std::copy(path.begin(), path.end(), rename->FileName);
  if (!::SetFileInformationByHandle(file, FileRenameInfo, rename,
                                    static_cast<DWORD>(buffer.size()))) {
    return Failure{L"SetFileInformationByHandle", ::GetLastError()};
  }
  return {};
}

void DeleteOpenFile(HANDLE file) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition));
}

// What a failed replacement tells: another program holding the file without letting others delete
// it makes the rename fail with "access denied", but the user is told of the sharing violation, as
// when the file was opened in place.
Failure ReplacementFailure(const std::wstring& path, const Failure& rename) {
  const fw::FileHandle probe(
      ::CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  return !probe && ::GetLastError() == ERROR_SHARING_VIOLATION
             ? Failure{L"CreateFile", ERROR_SHARING_VIOLATION}
             : rename;
}

}  // namespace

Result<fw::FileHandle> CreateReplacingFile(const std::wstring& path, DWORD share_mode) {
  const auto slash = path.find_last_of(L'\\');
  const std::wstring folder = path.substr(0, slash + 1);
  // The unique name keeps the target's stem, so a leftover says whose it is: Install-..., Setup-...
  const std::wstring name_part = path.substr(slash + 1);
  const std::wstring stem = name_part.substr(0, name_part.find_last_of(L'.'));
  fw::FileHandle file;
  DWORD code = ERROR_FILE_EXISTS;
  for (unsigned attempt = 0; attempt < 100 && code == ERROR_FILE_EXISTS; ++attempt) {
    const std::wstring name =
        JoinedText({folder, stem, L"-", DecimalPiece(::GetCurrentProcessId()), L"-",
                    DecimalPiece(static_cast<std::int64_t>(::GetTickCount64())), L"-",
                    DecimalPiece(attempt), L".tmp"});
    file.reset(::CreateFileW(name.c_str(), GENERIC_WRITE | DELETE, share_mode, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    code = file ? 0 : ::GetLastError();
    if (code == ERROR_ALREADY_EXISTS) {
      code = ERROR_FILE_EXISTS;
    }
  }
  if (code != 0) {
    return Failure{L"CreateFile", code};
  }
  if (const Result<> renamed = RenameOpenFile(file.get(), path); !renamed) {
    DeleteOpenFile(file.get());
    file.reset();
    return ReplacementFailure(path, renamed.Why());
  }
  return file;
}

}  // namespace setup
