// Who may do what in the folder Setup downloads the installer into. Setup runs elevated and
// starts Install.exe as administrator, which loads DLLs from its own folder first; %TEMP% belongs
// to the user, so any program of the user could plant one there. The installer therefore gets a
// folder of its own that only SYSTEM and the administrators can write to. Pure: the descriptor's
// text is built and tested here; the Win32 side converts and applies it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace setup {

// One allowed entry: a trustee (an SDDL alias or a SID) and its rights in SDDL's letters.
struct FolderGrant {
  std::wstring_view trustee;
  std::wstring_view rights;
};

// SYSTEM and the administrators: full control (the elevated installer and the services it may
// call, such as the Windows Installer, write there). Authenticated users: read and execute only,
// so the user can look at a refused installer, whoever elevated (the same account or another
// administrator's); what they read is a public download. The owner rights SID (S-1-3-4) takes the
// owner's implicit right to change the permissions away: were the user the owner (an elevation
// that keeps the user as the token's owner), they could otherwise grant themselves write access.
inline constexpr FolderGrant kInstallerFolderGrants[] = {
    {L"SY", L"FA"},
    {L"BA", L"FA"},
    {L"AU", L"FRFX"},
    {L"S-1-3-4", L"FRFX"},
};

// The SDDL of a DACL that takes nothing from the parent folder (protected) and allows exactly
// the grants, each inherited by the files and folders created inside, so Install.exe gets the
// same: "D:P(A;OICI;FA;;;SY)...".
std::wstring ProtectedFolderSddl(std::span<const FolderGrant> grants);

// The folder's name: "Setup-" and the random bytes in hexadecimal. A name nobody can guess is no
// defence in itself (the folder is created new and fails when anything has the name), but nobody
// can occupy it in advance either.
std::wstring InstallerFolderName(std::span<const std::uint8_t> random);

}  // namespace setup
