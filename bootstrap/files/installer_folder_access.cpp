#include "bootstrap/files/installer_folder_access.h"

#include "framework/text.h"

namespace setup {

std::wstring ProtectedFolderSddl(std::span<const FolderGrant> grants) {
  std::wstring sddl = L"D:P";
  for (const FolderGrant& grant : grants) {
    sddl += L"(A;OICI;";
    sddl += grant.rights;
    sddl += L";;;";
    sddl += grant.trustee;
    sddl += L")";
  }
  return sddl;
}

std::wstring InstallerFolderName(std::span<const std::uint8_t> random) {
  std::wstring name = L"Setup-";
  for (const std::uint8_t byte : random) {
    name += std::wstring_view(fw::HexPiece(byte, 2));
  }
  return name;
}

}  // namespace setup
