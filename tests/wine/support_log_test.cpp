// The support log on a real file system: the header, the replacement by the next run and of
// planted links, silence where it cannot be written, whole lines from many threads, escaping and
// UTF-8. Each test works in a fresh folder (with a non-ASCII name) under the temporary folder.
#include "bootstrap/log/support_log.h"
#include "framework/text.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bootstrap/files/sys_info.h"
#include "bootstrap/log/support_log_text.h"
#include "bootstrap/vocabulary/short_text.h"
#include "build_settings.h"
#include "framework/handle.h"
#include "framework/system_library.h"

namespace setup {
namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr std::size_t kHeaderLines = 6;

std::wstring FromUtf8(const std::string& bytes) {
  const int size = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                         static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring text(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0) {
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                          static_cast<int>(bytes.size()), text.data(), size);
  }
  return text;
}

// Nullopt when the file cannot be opened. Opened as Notepad does, so that it works while Setup
// still writes.
std::optional<std::string> ReadWhole(const std::wstring& path) {
  const fw::FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    return std::nullopt;
  }
  std::string bytes;
  char buffer[4096];
  DWORD count = 0;
  while (::ReadFile(file.get(), buffer, sizeof(buffer), &count, nullptr) && count > 0) {
    bytes.append(buffer, count);
  }
  return bytes;
}

void WriteWhole(const std::wstring& path, const std::string& bytes) {
  const fw::FileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file) << ::GetLastError();
  DWORD written = 0;
  ASSERT_TRUE(
      ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
}

std::vector<std::wstring> FolderNames(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data{};
  const fw::FindHandle find(::FindFirstFileW((folder + L"*").c_str(), &data));
  for (bool more = static_cast<bool>(find); more; more = ::FindNextFileW(find.get(), &data)) {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") {
      names.push_back(name);
    }
  }
  return names;
}

// A symbolic link at link to the file target.txt beside it. Wine's CreateSymbolicLinkW reports
// success and makes nothing, so the link is made the way an attacker on Linux would: with ln, which
// Wine starts as a Unix program, on the Unix name of the path. The caller checks that it reads as
// its target.
// Wine's own export, declared in no header.
struct WineKernel32 : fw::FunctionTable {
  static constexpr wchar_t kLibrary[] = L"kernel32.dll";
  fw::SystemFunction<char*(CDECL*)(const wchar_t*)> wine_get_unix_file_name{
      this, "wine_get_unix_file_name"};
};

bool PlantSymbolicLink(const std::wstring& link) {
  const auto* wine = fw::Library<WineKernel32>::Get();
  if (wine == nullptr) {
    return false;
  }
  char* unix_link = wine->wine_get_unix_file_name(link.c_str());
  if (unix_link == nullptr) {
    return false;
  }
  std::wstring command = L"/bin/ln -s target.txt \"" + FromUtf8(unix_link) + L"\"";
  ::HeapFree(::GetProcessHeap(), 0, unix_link);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(L"Z:\\bin\\ln", command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
    return false;
  }
  const fw::KernelHandle process_handle(process.hProcess);
  const fw::KernelHandle thread_handle(process.hThread);
  // Wine hands back no handle that can be waited on for a Unix program: wait for the link.
  for (int attempt = 0;
       attempt < 200 && ::GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES; ++attempt) {
    ::Sleep(50);
  }
  return ::GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The texts of the log's lines, in UTF-16, after checking what every line has: the byte order
// mark first, valid UTF-8, "[" + at least seven places of milliseconds + " ms] ", CR LF at the end
// and no other CR or LF.
std::vector<std::wstring> LogTexts(const std::string& bytes) {
  std::vector<std::wstring> texts;
  EXPECT_EQ(bytes.substr(0, 3), kByteOrderMark);
  const std::string body = bytes.substr(std::min<std::size_t>(3, bytes.size()));
  EXPECT_EQ(FromUtf8(body).empty(), body.empty()) << "not UTF-8";
  EXPECT_TRUE(body.empty() || body.ends_with("\r\n"));
  std::size_t start = 0;
  while (start < body.size()) {
    const std::size_t end = body.find("\r\n", start);
    const std::string line = body.substr(start, end - start);
    start = end == std::string::npos ? body.size() : end + 2;
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
    const std::size_t prefix_end = line.find(" ms] ");
    const bool prefixed =
        line.starts_with("[") && prefix_end != std::string::npos && prefix_end >= 8 &&
        line.find_first_not_of(' ', 1) < prefix_end &&
        line.find_first_not_of("0123456789", line.find_first_not_of(' ', 1)) == prefix_end;
    EXPECT_TRUE(prefixed) << line;
    texts.push_back(prefixed ? FromUtf8(line.substr(prefix_end + 5)) : L"");
  }
  return texts;
}

class SupportLogTest : public testing::Test {
 protected:
  void SetUp() override {
    support_log::ResetForTesting();
    static int folders = 0;
    // "Grüße" and "日本": the folder's name must reach the header unharmed.
    folder_ = TSysInfo().TempPath() + L"support_log_test-Gr\u00FC\u00DFe-\u65E5\u672C-" +
              fw::DecimalText<wchar_t>(::GetCurrentProcessId()) + L"-" +
              fw::DecimalText<wchar_t>(::GetTickCount64()) + L"-" +
              fw::DecimalText<wchar_t>(++folders) + L"\\";
    ASSERT_TRUE(::CreateDirectoryW(folder_.c_str(), nullptr)) << ::GetLastError();
    log_path_ = folder_ + L"Setup.log";
  }

  void TearDown() override {
    support_log::ResetForTesting();
    RemoveTree(folder_);
  }

  static void RemoveTree(const std::wstring& folder) {
    for (const std::wstring& name : FolderNames(folder)) {
      const std::wstring path = folder + name;
      if (::GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path + L"\\");
      } else {
        ::DeleteFileW(path.c_str());
      }
    }
    ::RemoveDirectoryW(folder.c_str());
  }

  // The texts after the header, which is checked on the way.
  std::vector<std::wstring> TextsAfterHeader() {
    const std::optional<std::string> bytes = ReadWhole(log_path_);
    EXPECT_TRUE(bytes.has_value()) << ::GetLastError();
    std::vector<std::wstring> texts = LogTexts(bytes.value_or(""));
    EXPECT_GE(texts.size(), kHeaderLines);
    if (texts.size() < kHeaderLines) {
      return {};
    }
    EXPECT_EQ(texts[0], std::wstring(L"Setup ") + kVersionText);
    return {texts.begin() + kHeaderLines, texts.end()};
  }

  std::wstring folder_;
  std::wstring log_path_;
};

TEST_F(SupportLogTest, StartWritesTheHeaderAndEachLineIsOnDiskAtOnce) {
  support_log::Start(folder_);
  // Read while the log is still open, as a customer's Notepad would.
  const std::vector<std::wstring> header = LogTexts(ReadWhole(log_path_).value_or(""));
  ASSERT_EQ(header.size(), kHeaderLines);
  EXPECT_EQ(header[0], std::wstring(L"Setup ") + kVersionText);
  // project(Setup VERSION 1.2.3): three numbers.
  const std::wstring version = kVersionText;
  EXPECT_EQ(std::count(version.begin(), version.end(), L'.'), 2) << version;
  EXPECT_EQ(version.find_first_not_of(L"0123456789."), std::wstring::npos) << version;
  // "Windows", the three numbers of the version the prefix emulates, and its service pack if any.
  const std::wstring& windows = header[1];
  EXPECT_TRUE(windows.starts_with(L"Windows ")) << windows;
  const std::wstring numbers = windows.substr(8, windows.find(L' ', 8) - 8);
  EXPECT_EQ(std::count(numbers.begin(), numbers.end(), L'.'), 2) << windows;
  EXPECT_EQ(numbers.find_first_not_of(L"0123456789."), std::wstring::npos) << windows;
  EXPECT_NE(windows, L"Windows (version unknown)");
  EXPECT_EQ(header[2], L"ANSI code page " + fw::DecimalText<wchar_t>(::GetACP()));
  EXPECT_TRUE(header[3].starts_with(L"Language ")) << header[3];
  EXPECT_GT(header[3].size(), std::wstring(L"Language ").size());
  // Whose settings the run reads: this process's account, the same the test itself runs as.
  wchar_t user[257] = {};
  DWORD user_length = 257;
  ASSERT_TRUE(::GetUserNameW(user, &user_length));
  const std::wstring& account = header[4];
  EXPECT_TRUE(account == L"Account " + std::wstring(user) + L", elevated" ||
              account == L"Account " + std::wstring(user) + L", not elevated")
      << account;
  EXPECT_EQ(header[5], L"Temporary folder " + folder_);

  support_log::Write(L"Query https://localhost:48443/validate/installurl.php?get=url");
  EXPECT_EQ(
      TextsAfterHeader(),
      std::vector<std::wstring>{L"Query https://localhost:48443/validate/installurl.php?get=url"});
}

TEST_F(SupportLogTest, LinesBeforeStartFollowTheHeaderUpToALimit) {
  for (int line = 1; line <= 70; ++line) {
    support_log::Write(L"early " + fw::DecimalText<wchar_t>(line));
  }
  support_log::Start(folder_);
  support_log::Write(L"late");
  std::vector<std::wstring> expected;
  for (int line = 1; line <= 64; ++line) {
    expected.push_back(L"early " + fw::DecimalText<wchar_t>(line));
  }
  expected.push_back(L"Lines dropped before the log started: 6");
  expected.push_back(L"late");
  EXPECT_EQ(TextsAfterHeader(), expected);
}

TEST_F(SupportLogTest, NextRunReplacesTheLogAndLeavesNothingElse) {
  support_log::Start(folder_);
  support_log::Write(L"first run");
  support_log::ResetForTesting();  // the next run
  support_log::Start(folder_);
  support_log::Write(L"second run");
  EXPECT_EQ(TextsAfterHeader(), std::vector<std::wstring>{L"second run"});
  EXPECT_EQ(FolderNames(folder_), std::vector<std::wstring>{L"Setup.log"});
}

TEST_F(SupportLogTest, StopClosesTheLogAndLaterLinesAreDropped) {
  support_log::Start(folder_);
  support_log::Write(L"before stop");
  support_log::Stop();
  support_log::Write(L"after stop");
  {
    const fw::FileHandle exclusive(::CreateFileW(log_path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                                 nullptr));
    EXPECT_TRUE(exclusive) << "still open: " << ::GetLastError();
  }
  EXPECT_EQ(TextsAfterHeader(), std::vector<std::wstring>{L"before stop"});
}

// Whatever carries the name is replaced, never written through: the target keeps its bytes.
TEST_F(SupportLogTest, PlantedFilesAndLinksAreReplacedAndTheirTargetsLeftAlone) {
  const std::string kTargetBytes = "a file the log must not touch\r\n";
  const struct {
    const char* kind;
    bool is_link;
    bool (*plant)(const std::wstring& link, const std::wstring& target);
  } cases[] = {
      {"file", false,
       [](const std::wstring& link, const std::wstring&) {
         WriteWhole(link, "an old log\r\n");
         return true;
       }},
      {"hard link", true,
       [](const std::wstring& link, const std::wstring& target) {
         return ::CreateHardLinkW(link.c_str(), target.c_str(), nullptr) != FALSE;
       }},
      {"symbolic link", true,
       [](const std::wstring& link, const std::wstring&) { return PlantSymbolicLink(link); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    support_log::ResetForTesting();
    ::DeleteFileW(log_path_.c_str());
    const std::wstring target = folder_ + L"target.txt";
    WriteWhole(target, kTargetBytes);
    ASSERT_TRUE(c.plant(log_path_, target)) << ::GetLastError();
    // A link reads as its target: proof that writing through it would reach the target.
    ASSERT_EQ(ReadWhole(log_path_), c.is_link ? kTargetBytes : "an old log\r\n");
    support_log::Start(folder_);
    support_log::Write(L"written to the new log");
    EXPECT_EQ(ReadWhole(target), kTargetBytes);
    EXPECT_EQ(TextsAfterHeader(), std::vector<std::wstring>{L"written to the new log"});
    const DWORD attributes = ::GetFileAttributesW(log_path_.c_str());
    EXPECT_EQ(attributes & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
    std::vector<std::wstring> names = FolderNames(folder_);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Setup.log", L"target.txt"}));
  }
}

// A log that cannot be created turns everything into silent no-ops: nothing raised, nothing made.
TEST_F(SupportLogTest, WhereTheLogCannotBeCreatedNothingHappens) {
  const std::wstring file_as_folder = folder_ + L"a file\\";
  WriteWhole(folder_ + L"a file", "not a folder");
  ASSERT_TRUE(::CreateDirectoryW(log_path_.c_str(), nullptr));  // Setup.log is a folder here
  const std::wstring cases[] = {
      folder_ + L"missing\\",
      file_as_folder,
      folder_,
      L"",
  };
  for (const std::wstring& folder : cases) {
    SCOPED_TRACE(testing::PrintToString(folder));
    support_log::ResetForTesting();
    EXPECT_NO_THROW(support_log::Start(folder));
    EXPECT_NO_THROW(support_log::Write(L"nowhere to go"));
    EXPECT_NO_THROW(support_log::Stop());
    std::vector<std::wstring> names = FolderNames(folder_);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Setup.log", L"a file"}));
    EXPECT_NE(::GetFileAttributesW(log_path_.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(ReadWhole(folder_ + L"a file"), "not a folder");
  }
}

// The writers start before the log does and go on while it starts: every line is whole, each
// thread's lines keep their order, and each one is either written or counted as dropped.
TEST_F(SupportLogTest, ThreadsWritingAtOnceLeaveWholeLinesInTheirOrder) {
  constexpr int kThreads = 8;
  constexpr int kLinesEach = 200;
  // Long enough that one write of a line takes a while, so that a torn line would show.
  const auto text = [](int thread, int line) {
    return L"thread " + fw::DecimalText<wchar_t>(thread) + L" line " +
           fw::DecimalText<wchar_t>(line) + L" " +
           std::wstring(300, static_cast<wchar_t>(L'a' + thread));
  };
  std::atomic<int> written_lines{0};
  {
    std::vector<std::thread> writers;
    for (int thread = 0; thread < kThreads; ++thread) {
      writers.emplace_back([thread, &text, &written_lines] {
        for (int line = 0; line < kLinesEach; ++line) {
          support_log::Write(text(thread, line));
          ++written_lines;
        }
      });
    }
    while (written_lines.load() < 32) {
      ::Sleep(0);
    }
    support_log::Start(folder_);
    for (std::thread& writer : writers) {
      writer.join();
    }
  }
  const std::wstring kDropped = L"Lines dropped before the log started: ";
  int dropped = 0;
  int lines = 0;
  int last_line[kThreads];
  std::fill(std::begin(last_line), std::end(last_line), -1);
  for (const std::wstring& written : TextsAfterHeader()) {
    if (written.starts_with(kDropped)) {
      dropped += std::stoi(written.substr(kDropped.size()));
      continue;
    }
    const int thread = written.size() > 7 ? written[7] - L'0' : -1;
    ASSERT_TRUE(thread >= 0 && thread < kThreads) << testing::PrintToString(written);
    const int line = std::stoi(written.substr(written.find(L" line ") + 6));
    ASSERT_GT(line, last_line[thread]) << testing::PrintToString(written);
    ASSERT_EQ(written, text(thread, line)) << testing::PrintToString(written);
    last_line[thread] = line;
    ++lines;
  }
  EXPECT_EQ(lines + dropped, kThreads * kLinesEach);
  EXPECT_GE(lines, 64);  // at least the kept ones
}

TEST_F(SupportLogTest, HostileTextStaysOnItsLine) {
  support_log::Start(folder_);
  const std::wstring hostile = std::wstring(L"answer: ok\r\n[      0 ms] Setup 9.9.9\nnext") +
                               L'\0' + L"after\x1B[2Jclear\u2028sep\u202Eevil";
  support_log::Write(hostile);
  support_log::Write(L"the next line");
  EXPECT_EQ(TextsAfterHeader(),
            (std::vector<std::wstring>{L"answer: ok\\r\\n[      0 ms] Setup 9.9.9\\nnext\\0after"
                                       L"\\x1B[2Jclear\\u2028sep\\u202Eevil",
                                       L"the next line"}));
}

TEST_F(SupportLogTest, NonAsciiTextRoundTripsThroughUtf8) {
  // "Grüße — 日本 😀": Latin-1, a dash, CJK and a pair.
  const std::wstring text = L"Gr\u00FC\u00DFe \u2014 \u65E5\u672C \xD83D\xDE00";
  support_log::Start(folder_);
  support_log::Write(text);
  const std::optional<std::string> bytes = ReadWhole(log_path_);
  ASSERT_TRUE(bytes.has_value());
  EXPECT_NE(bytes->find("Gr\xC3\xBC\xC3\x9F"
                        "e \xE2\x80\x94 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80"),
            std::string::npos);
  EXPECT_EQ(TextsAfterHeader(), std::vector<std::wstring>{text});
}

}  // namespace
}  // namespace setup
