#include "bootstrap/files/installer_folder_access.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace setup {
namespace {

struct Ace {
  std::wstring type, flags, rights, trustee;
};

// The DACL's flags and entries, read back from SDDL of the form "D:<flags>(<ace>)(<ace>)...".
struct Dacl {
  std::wstring flags;
  std::vector<Ace> aces;
};

Dacl ReadDacl(const std::wstring& sddl) {
  Dacl dacl;
  EXPECT_EQ(sddl.rfind(L"D:", 0), 0u) << "no DACL first";
  std::size_t at = sddl.find(L'(');
  dacl.flags = sddl.substr(2, at == std::wstring::npos ? std::wstring::npos : at - 2);
  while (at != std::wstring::npos) {
    const std::size_t end = sddl.find(L')', at);
    EXPECT_NE(end, std::wstring::npos) << "an entry without its end";
    if (end == std::wstring::npos) {
      break;
    }
    std::vector<std::wstring> fields;
    std::wstring field;
    for (const wchar_t c : sddl.substr(at + 1, end - at - 1)) {
      if (c == L';') {
        fields.push_back(field);
        field.clear();
      } else {
        field += c;
      }
    }
    fields.push_back(field);
    EXPECT_EQ(fields.size(), 6u);
    fields.resize(6);
    dacl.aces.push_back({fields[0], fields[1], fields[2], fields[5]});
    at = sddl.find(L'(', end);
  }
  return dacl;
}

// SDDL's right letters that let a trustee change the folder, its files or its permissions.
bool AllowsChange(const std::wstring& rights) {
  for (std::size_t i = 0; i + 1 < rights.size(); i += 2) {
    const std::wstring right = rights.substr(i, 2);
    if (right != L"FR" && right != L"FX") {
      return true;
    }
  }
  return rights.size() % 2 != 0;  // a hexadecimal mask or anything unexpected counts as change
}

TEST(InstallerFolderAccessTest, OnlySystemAndAdministratorsMayChangeTheFolder) {
  const std::wstring sddl = ProtectedFolderSddl(kInstallerFolderGrants);
  EXPECT_EQ(sddl, L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;AU)(A;OICI;FRFX;;;S-1-3-4)");
  const Dacl dacl = ReadDacl(sddl);
  // Protected: nothing of the user's %TEMP% permissions is inherited.
  EXPECT_EQ(dacl.flags, L"P");
  std::vector<std::wstring> changers;
  for (const Ace& ace : dacl.aces) {
    SCOPED_TRACE(ace.trustee);
    EXPECT_EQ(ace.type, L"A");  // allowed entries only: no deny to order around
    // Inherited by files and folders made inside, Install.exe among them.
    EXPECT_EQ(ace.flags, L"OICI");
    if (AllowsChange(ace.rights)) {
      changers.push_back(ace.trustee);
    }
  }
  EXPECT_EQ(changers, (std::vector<std::wstring>{L"SY", L"BA"}));
  // The owner rights entry is there, so an owner who is the user has no implicit WRITE_DAC.
  ASSERT_EQ(dacl.aces.size(), 4u);
  EXPECT_EQ(dacl.aces[3].trustee, L"S-1-3-4");
  EXPECT_EQ(dacl.aces[2].trustee, L"AU");
}

TEST(InstallerFolderAccessTest, SddlForOtherGrantLists) {
  const FolderGrant one[] = {{L"SY", L"FA"}};
  const FolderGrant two[] = {{L"BA", L"FA"}, {L"S-1-5-32-545", L"FR"}};
  const struct {
    std::span<const FolderGrant> grants;
    const wchar_t* sddl;
  } cases[] = {
      {{}, L"D:P"},  // protected and empty: nobody has any access
      {one, L"D:P(A;OICI;FA;;;SY)"},
      {two, L"D:P(A;OICI;FA;;;BA)(A;OICI;FR;;;S-1-5-32-545)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProtectedFolderSddl(c.grants), c.sddl);
  }
}

TEST(InstallerFolderAccessTest, FolderNameIsSetupAndTheRandomBytesInHex) {
  const std::uint8_t eight[] = {0x00, 0x01, 0x9A, 0xBC, 0xDE, 0xF0, 0x7F, 0xFF};
  const std::uint8_t one[] = {0x0A};
  const struct {
    std::span<const std::uint8_t> random;
    const wchar_t* name;
  } cases[] = {
      {eight, L"Setup-00019ABCDEF07FFF"},
      {one, L"Setup-0A"},
      {{}, L"Setup-"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(InstallerFolderName(c.random), c.name);
  }
}

}  // namespace
}  // namespace setup
