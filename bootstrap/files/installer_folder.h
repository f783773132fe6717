// The folder the installer is downloaded into and started from: made new inside the temporary
// directory, writable only by SYSTEM and the administrators (installer_folder_access.h), and held
// open from its creation until the installer's process exists, so that nobody can rename it,
// remove it, or put a link in its place in between.
#pragma once

#include <windows.h>

#include <string>

#include "bootstrap/vocabulary/failure.h"
#include "framework/handle.h"

namespace setup {

inline void FreeLocalMemory(PSECURITY_DESCRIPTOR memory) noexcept {
  ::LocalFree(memory);
}
using SecurityDescriptor =
    fw::UniqueHandle<PSECURITY_DESCRIPTOR,
                     fw::NullHandleTraits<PSECURITY_DESCRIPTOR, FreeLocalMemory>>;

// The descriptor of the SDDL text (ConvertStringSecurityDescriptorToSecurityDescriptorW from
// advapi32.dll, loaded at run time).
Result<SecurityDescriptor> SecurityDescriptorOf(const std::wstring& sddl);

// The descriptor every installer folder is created with: the protected DACL of
// kInstallerFolderGrants.
Result<SecurityDescriptor> InstallerFolderDescriptor();

struct InstallerFolder {
  // "<temporary directory>Setup-<16 hex digits>", without a trailing backslash; the name last
  // tried when the creation failed.
  std::wstring path;
  // Open from the creation on: reading and writing shared, deleting not, so the folder cannot be
  // renamed or removed while it is held. Files can still be created and renamed inside.
  fw::FileHandle hold;
};

// Creates a new folder with a random name in temp_folder (ending in a backslash) with
// InstallerFolderDescriptor, opened in the same call: never an existing folder or a link, and
// no moment in which it exists unheld. Fills folder; the failure is LoadLibrary's or
// GetProcAddress's, the random generator's, the descriptor's, or NtCreateFile's with its system
// error code (3 when temp_folder does not exist, 5 when it cannot be written).
Result<> CreateInstallerFolder(const std::wstring& temp_folder, InstallerFolder& folder);

// Releases the folder and removes it when nothing was written into it; a folder with a file in it
// (the started installer, or one left for inspection) stays as it is, untouched.
void ReleaseInstallerFolder(InstallerFolder& folder);

}  // namespace setup
