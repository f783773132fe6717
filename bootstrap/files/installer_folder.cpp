#include "bootstrap/files/installer_folder.h"

#include <sddl.h>
#include <winternl.h>

#include <cstdint>
#include <string_view>

#include "bootstrap/files/installer_folder_access.h"
#include "bootstrap/files/long_path.h"
#include "bootstrap/files/system_crypto.h"
#include "framework/system_library.h"

namespace setup {
namespace {

struct Advapi32 : fw::FunctionTable {
  static constexpr wchar_t kLibrary[] = L"advapi32.dll";
  FW_SYSTEM_FUNCTION(ConvertStringSecurityDescriptorToSecurityDescriptorW);
};

// CreateDirectoryW closes the folder it made before it returns; the call beneath it hands the
// open folder over, so it is held from the moment it exists.
struct NtDll : fw::FunctionTable {
  static constexpr wchar_t kLibrary[] = L"ntdll.dll";
  FW_SYSTEM_FUNCTION(NtCreateFile);
  FW_SYSTEM_FUNCTION(RtlNtStatusToDosError);
};

using FolderLibrary = fw::Library<Advapi32, NtDll>;

Failure Missing() {
  const fw::LibraryOutcome& outcome = FolderLibrary::Outcome();
  return {*outcome.missing == '\0' ? L"LoadLibrary" : L"GetProcAddress", outcome.error};
}

// 64 bits of randomness: a name nobody can take in advance.
constexpr std::size_t kRandomBytes = 8;
// A name that exists already is tried again under another; anything else ends the attempts.
constexpr int kAttempts = 16;

// Creates the folder at path with the descriptor and gives it open, or the system's error code.
Result<fw::FileHandle> CreateHeldFolder(const FolderLibrary& nt, const std::wstring& path,
                                        PSECURITY_DESCRIPTOR descriptor) {
  std::wstring nt_path = NtPathName(path);
  UNICODE_STRING name{};
  name.Buffer = nt_path.data();
  name.Length = static_cast<USHORT>(nt_path.size() * sizeof(wchar_t));
  name.MaximumLength = name.Length;
  OBJECT_ATTRIBUTES attributes{};
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr, descriptor);
  IO_STATUS_BLOCK io{};
  HANDLE raw = nullptr;
  // FILE_CREATE fails on anything under the name, a link included; a link is never followed. The
  // system keeps a handle's sharing only when it has data access: listing is the least of it.
  const NTSTATUS status = nt.NtCreateFile(
      &raw, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE, &attributes, &io, nullptr,
      FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE,
      FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT, nullptr, 0);
  if (status < 0) {
    return Failure{L"NtCreateFile", nt.RtlNtStatusToDosError(status)};
  }
  fw::FileHandle folder(raw);
  // What was created must be a folder of its own, not a link to one elsewhere.
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(folder.get(), &info)) {
    return Failure{L"GetFileInformationByHandle", ::GetLastError()};
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return Failure{L"NtCreateFile", ERROR_DIRECTORY};
  }
  return folder;
}

}  // namespace

Result<SecurityDescriptor> SecurityDescriptorOf(const std::wstring& sddl) {
  const FolderLibrary* advapi = FolderLibrary::Get();
  if (advapi == nullptr) {
    return Missing();
  }
  PSECURITY_DESCRIPTOR raw = nullptr;
  if (!advapi->ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                    &raw, nullptr)) {
    return Failure{L"ConvertStringSecurityDescriptorToSecurityDescriptor", ::GetLastError()};
  }
  return SecurityDescriptor(raw);
}

Result<SecurityDescriptor> InstallerFolderDescriptor() {
  return SecurityDescriptorOf(ProtectedFolderSddl(kInstallerFolderGrants));
}

Result<> CreateInstallerFolder(const std::wstring& temp_folder, InstallerFolder& folder) {
  folder.hold.reset();
  folder.path = temp_folder + InstallerFolderName({});
  const FolderLibrary* nt = FolderLibrary::Get();
  if (nt == nullptr) {
    return Missing();
  }
  const Result<SecurityDescriptor> descriptor = InstallerFolderDescriptor();
  if (!descriptor) {
    return descriptor.Why();
  }
  Failure failed{L"NtCreateFile", ERROR_ALREADY_EXISTS};
  for (int attempt = 0; attempt < kAttempts && failed.code == ERROR_ALREADY_EXISTS; ++attempt) {
    std::uint8_t random[kRandomBytes] = {};
    if (const Result<> drawn = SystemRandom(random, sizeof(random)); !drawn) {
      return drawn.Why();
    }
    folder.path = temp_folder + InstallerFolderName(random);
    Result<fw::FileHandle> created = CreateHeldFolder(*nt, folder.path, descriptor->get());
    if (created) {
      folder.hold = std::move(*created);
      return {};
    }
    failed = created.Why();
  }
  return failed;
}

void ReleaseInstallerFolder(InstallerFolder& folder) {
  folder.hold.reset();
  if (folder.path.empty()) {
    return;
  }
  // Looked at before the removal is tried: Wine marks a folder for deletion before it finds it
  // not empty, and an installer starting in it meanwhile would lose its current directory.
  WIN32_FIND_DATAW entry{};
  const std::wstring pattern = folder.path + L"\\*";
  const fw::FindHandle find(::FindFirstFileW(pattern.c_str(), &entry));
  if (!find) {
    return;
  }
  do {
    const std::wstring_view name = entry.cFileName;
    if (name != L"." && name != L"..") {
      return;
    }
  } while (::FindNextFileW(find.get(), &entry));
  ::RemoveDirectoryW(folder.path.c_str());
}

}  // namespace setup
