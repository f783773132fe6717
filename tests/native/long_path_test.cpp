#include "bootstrap/files/long_path.h"

#include <gtest/gtest.h>

#include <map>

namespace setup {
namespace {

// A directory tree that stores long names and answers for their 8.3 aliases too.
std::optional<std::wstring> FakeLookup(const std::wstring& path) {
  static const std::map<std::wstring, std::wstring> stored = {
      {L"C:\\USERS", L"Users"},
      {L"C:\\USERS\\JOHNSM~1", L"John Smith"},
      {L"C:\\USERS\\JOHNSM~1\\APPDATA", L"AppData"},
      {L"C:\\USERS\\JOHNSM~1\\APPDATA\\LOCAL", L"Local"},
      {L"C:\\USERS\\JOHNSM~1\\APPDATA\\LOCAL\\TEMP", L"Temp"},
      {L"\\\\server\\share\\TEMPOR~1", L"Temporary Files"},
  };
  const auto it = stored.find(path);
  if (it == stored.end()) {
    return std::nullopt;
  }
  return it->second;
}

TEST(LongPathTest, ExpandsEachComponentFromTheDriveOutwards) {
  struct Case {
    const wchar_t* in;
    const wchar_t* out;
  };
  const Case cases[] = {
      {L"C:\\USERS\\JOHNSM~1\\APPDATA\\LOCAL\\TEMP\\",
       L"C:\\Users\\John Smith\\AppData\\Local\\Temp\\"},
      {L"C:\\USERS\\JOHNSM~1\\APPDATA\\LOCAL\\TEMP",
       L"C:\\Users\\John Smith\\AppData\\Local\\Temp"},
      {L"C:\\", L"C:"},  // the root yields the drive alone
      {L"C:", L"C:"},
      {L"C:\\USERS\\NOSUCH~1\\", L"C:\\Users\\NOSUCH~1\\"},  // a failed lookup keeps the name
      {L"D:\\TMP\\", L"D:\\TMP\\"},
      {L"\\\\server\\share\\USERS\\", L"\\\\server\\share\\USERS\\"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExpandLongPath(c.in, FakeLookup), c.out) << "input: " << testing::PrintToString(c.in);
  }
}

TEST(LongPathTest, TheTemporaryDirectoryKeepsItsTrailingBackslash) {
  struct Case {
    const wchar_t* in;
    const wchar_t* out;
  };
  const Case cases[] = {
      {L"C:\\", L"C:\\"},
      {L"D:\\", L"D:\\"},
      {L"\\\\server\\share\\", L"\\\\server\\share\\"},
      {L"\\\\?\\C:\\", L"\\\\?\\C:\\"},
      {L"C:\\USERS\\JOHNSM~1\\APPDATA\\LOCAL\\TEMP\\",
       L"C:\\Users\\John Smith\\AppData\\Local\\Temp\\"},
      {L"C:\\USERS\\", L"C:\\Users\\"},
      {L"\\\\server\\share\\TEMPOR~1\\", L"\\\\server\\share\\Temporary Files\\"},
      {L"D:\\TMP\\", L"D:\\TMP\\"},                          // nothing stored under it: as it is
      {L"C:\\USERS\\NOSUCH~1\\", L"C:\\Users\\NOSUCH~1\\"},  // a failed lookup keeps the name
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExpandTempDirectory(c.in, FakeLookup), c.out)
        << "input: " << testing::PrintToString(c.in);
  }
}

TEST(LongPathTest, NtPathNames) {
  struct Case {
    const wchar_t* path;
    const wchar_t* nt;
  };
  const Case cases[] = {
      {L"C:\\Users\\A B\\AppData\\Local\\Temp\\Install.exe",
       L"\\??\\C:\\Users\\A B\\AppData\\Local\\Temp\\Install.exe"},
      {L"\\\\server\\share\\Temp\\Install.exe", L"\\??\\UNC\\server\\share\\Temp\\Install.exe"},
      {L"\\\\?\\C:\\Temp\\Install.exe", L"\\??\\C:\\Temp\\Install.exe"},
      {L"Z:\\Install.exe", L"\\??\\Z:\\Install.exe"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NtPathName(c.path), c.nt);
  }
}

}  // namespace
}  // namespace setup
