// The installer's folder on the prefix's file system: the descriptor it is created with, read back
// from the converted SDDL (Wine keeps no DACL on the folder itself, so reading the folder's would
// prove nothing); a new folder for every run, held against renaming and removal while files can
// still be made inside.
#include "bootstrap/files/installer_folder.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "bootstrap/files/installer_folder_access.h"
#include "bootstrap/files/safe_temp_file.h"
#include "framework/handle.h"

namespace setup {
namespace {

class InstallerFolderTest : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH, temp);
    parent_ = std::wstring(temp) + L"installer_folder_test_" +
              std::to_wstring(::GetCurrentProcessId()) + L"\\";
    ASSERT_TRUE(::CreateDirectoryW(parent_.c_str(), nullptr));
  }
  void TearDown() override {
    WIN32_FIND_DATAW data{};
    const std::wstring pattern = parent_ + L"Setup-*";
    fw::FindHandle find(::FindFirstFileW(pattern.c_str(), &data));
    for (bool more = static_cast<bool>(find); more; more = ::FindNextFileW(find.get(), &data)) {
      const std::wstring folder = parent_ + data.cFileName;
      ::DeleteFileW((folder + L"\\Install.exe").c_str());
      ::RemoveDirectoryW(folder.c_str());
    }
    find.reset();
    ::RemoveDirectoryW(parent_.c_str());
  }

  std::wstring parent_;
};

PSID WellKnown(WELL_KNOWN_SID_TYPE type, BYTE (&buffer)[SECURITY_MAX_SID_SIZE]) {
  DWORD size = sizeof(buffer);
  EXPECT_TRUE(::CreateWellKnownSid(type, nullptr, buffer, &size)) << type;
  return buffer;
}

TEST_F(InstallerFolderTest, DescriptorLetsOnlySystemAndAdministratorsWrite) {
  const Result<SecurityDescriptor> descriptor = InstallerFolderDescriptor();
  ASSERT_TRUE(descriptor) << descriptor.Why().code;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(::GetSecurityDescriptorControl(descriptor->get(), &control, &revision));
  // Protected: nothing inherited from the user's %TEMP%.
  EXPECT_NE(control & SE_DACL_PROTECTED, 0);
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor->get(), &present, &dacl, &defaulted));
  ASSERT_TRUE(present);
  ASSERT_NE(dacl, nullptr);
  const struct {
    WELL_KNOWN_SID_TYPE trustee;
    ACCESS_MASK mask;
  } expected[] = {
      {WinLocalSystemSid, FILE_ALL_ACCESS},
      {WinBuiltinAdministratorsSid, FILE_ALL_ACCESS},
      {WinAuthenticatedUserSid, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE},
      {WinCreatorOwnerRightsSid, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE},
  };
  ASSERT_EQ(dacl->AceCount, std::size(expected));
  constexpr ACCESS_MASK kWrites = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                  FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                  WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    SCOPED_TRACE(i);
    void* raw = nullptr;
    ASSERT_TRUE(::GetAce(dacl, i, &raw));
    const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(raw);
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    // Inherited by Install.exe and by anything else made inside.
    EXPECT_EQ(ace->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    EXPECT_EQ(ace->Mask, expected[i].mask);
    BYTE sid[SECURITY_MAX_SID_SIZE];
    EXPECT_TRUE(
        ::EqualSid(const_cast<DWORD*>(&ace->SidStart), WellKnown(expected[i].trustee, sid)));
    const bool may_write = (ace->Mask & kWrites) != 0;
    EXPECT_EQ(may_write, i < 2) << "only SYSTEM and the administrators may write";
  }
}

TEST_F(InstallerFolderTest, EachRunGetsANewFolderHeldAgainstRenamingAndRemoval) {
  InstallerFolder first;
  InstallerFolder second;
  ASSERT_TRUE(CreateInstallerFolder(parent_, first));
  ASSERT_TRUE(CreateInstallerFolder(parent_, second));
  EXPECT_NE(first.path, second.path);
  for (const InstallerFolder* folder : {&first, &second}) {
    SCOPED_TRACE(folder->path);
    ASSERT_EQ(folder->path.rfind(parent_ + L"Setup-", 0), 0u);
    const std::wstring hex = folder->path.substr(parent_.size() + 6);
    EXPECT_EQ(hex.size(), 16u);
    EXPECT_EQ(hex.find_first_not_of(L"0123456789ABCDEF"), std::wstring::npos);
    const DWORD attributes = ::GetFileAttributesW(folder->path.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(attributes & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
    EXPECT_TRUE(folder->hold);
  }

  // Held: another program can neither rename nor remove it, nor open it to do so.
  const std::wstring moved = first.path + L".moved";
  EXPECT_FALSE(::MoveFileExW(first.path.c_str(), moved.c_str(), 0));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(::RemoveDirectoryW(first.path.c_str()));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  const fw::FileHandle for_delete(::CreateFileW(
      first.path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  EXPECT_FALSE(for_delete);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

  // Yet the installer is made inside it as ever: new under a unique name, renamed into place.
  const std::wstring installer = first.path + L"\\Install.exe";
  Result<fw::FileHandle> file = CreateReplacingFile(installer);
  ASSERT_TRUE(file) << file.Why().code;
  file->reset();
  EXPECT_NE(::GetFileAttributesW(installer.c_str()), INVALID_FILE_ATTRIBUTES);

  // Released with a file in it, it stays; released empty, it goes.
  ReleaseInstallerFolder(first);
  EXPECT_NE(::GetFileAttributesW(installer.c_str()), INVALID_FILE_ATTRIBUTES);
  ReleaseInstallerFolder(second);
  EXPECT_EQ(::GetFileAttributesW(second.path.c_str()), INVALID_FILE_ATTRIBUTES);

  // Released, it is an ordinary folder again.
  ASSERT_TRUE(::DeleteFileW(installer.c_str()));
  EXPECT_TRUE(::MoveFileExW(first.path.c_str(), moved.c_str(), 0)) << ::GetLastError();
  EXPECT_TRUE(::RemoveDirectoryW(moved.c_str())) << ::GetLastError();
}

TEST_F(InstallerFolderTest, MissingTemporaryFolderFailsWithThePathTried) {
  const std::wstring missing = parent_ + L"gone\\";
  InstallerFolder folder;
  const Result<> created = CreateInstallerFolder(missing, folder);
  ASSERT_FALSE(created);
  EXPECT_STREQ(created.Why().call, L"NtCreateFile");
  EXPECT_EQ(created.Why().code, static_cast<std::uint32_t>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(folder.path.rfind(missing + L"Setup-", 0), 0u) << "the message names the folder";
  EXPECT_FALSE(folder.hold);
}

}  // namespace
}  // namespace setup
