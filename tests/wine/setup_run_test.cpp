// The setup run against the local HTTPS service (origin from SETUP_TEST_ORIGIN): the outcome each
// answer and each installer response leads to, what the window is asked to show on the way, and
// what reaches the service and the disk. The installers served here are no programs: their start
// fails quietly, as the run allows.
#include "bootstrap/run/setup_run.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bootstrap/vocabulary/setup_outcome.h"
#include "framework/handle.h"
#include "tests/wine/service_client.h"

namespace setup {
namespace {

using namespace setup::test;

// How many requests reached the service since the last reset, and how many of them on the port.
std::size_t Requests(const std::string& needle = "\"path\"") {
  const std::string log = Get(Origin() + "/_control/log");
  std::size_t count = 0;
  for (auto at = log.find(needle); at != std::string::npos; at = log.find(needle, at + 1)) {
    ++count;
  }
  return count;
}

std::string ReadFile(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Records what the run asks of the window.
class Recorder : public SetupRunObserver {
 public:
  explicit Recorder(std::wstring folder) : folder_(std::move(folder)) {}
  void RequestBusy(bool busy) override { busy_changes += busy ? L"+" : L"-"; }
  std::wstring TemporaryFolder() override { return folder_; }
  void DownloadStarting() override { ++download_starts; }
  void TransferStarting() override { ++transfer_starts; }
  void ShowProgress(std::int64_t received, std::int32_t) override { last_progress = received; }

  std::wstring busy_changes;
  int download_starts = 0;
  int transfer_starts = 0;
  std::int64_t last_progress = -1;

 private:
  std::wstring folder_;
};

class SetupRunTest : public testing::Test {
 protected:
  void SetUp() override {
    std::array<wchar_t, MAX_PATH + 1> temp{};
    ::GetTempPathW(MAX_PATH, temp.data());
    folder_ = std::wstring(temp.data()) + L"setup_run_test_" +
              std::to_wstring(::GetCurrentProcessId()) + L"\\";
    ::CreateDirectoryW(folder_.c_str(), nullptr);
    Control("reset");
  }
  void TearDown() override {
    RemoveInstallerFolders();
    ::RemoveDirectoryW(folder_.c_str());
    Control("reset");
  }

  // The folders the runs made for their installers, by name.
  std::vector<std::wstring> InstallerFolders() const {
    std::vector<std::wstring> folders;
    WIN32_FIND_DATAW data{};
    const std::wstring pattern = folder_ + L"Setup-*";
    fw::FindHandle find(::FindFirstFileW(pattern.c_str(), &data));
    for (bool more = static_cast<bool>(find); more; more = ::FindNextFileW(find.get(), &data)) {
      folders.push_back(folder_ + data.cFileName);
    }
    return folders;
  }
  // Install.exe in the one folder a run made (a name that does not exist when there is none).
  std::wstring Installer() const {
    const std::vector<std::wstring> folders = InstallerFolders();
    EXPECT_LE(folders.size(), 1u);
    return (folders.empty() ? folder_ + L"Setup-none" : folders.front()) + L"\\Install.exe";
  }
  void RemoveInstallerFolders() const {
    for (const std::wstring& folder : InstallerFolders()) {
      ::DeleteFileW((folder + L"\\Install.exe").c_str());
      ::RemoveDirectoryW(folder.c_str());
    }
  }

  std::wstring folder_;
};

TEST_F(SetupRunTest, EachAnswerAndInstallerResponseEndsInItsOutcome) {
  const std::string installer_url = Origin() + "/downloads/setup-sample.exe";
  const std::string plain_installer = PlainOrigin() + "/downloads/setup-sample.exe";
  const struct {
    const char* name;
    std::string answer;     // control query of the answer path
    std::string installer;  // control query of the installer path
    SetupOutcome outcome;
    std::size_t requests;  // reaching the service, all ports
    bool written;          // Install.exe holds the served bytes
    int attempts = 1;      // the installer's GETs: a transfer cut short is tried five more times
  } cases[] = {
      {"nothing to install", "body=" + Percent("0"), "", SetupOutcome::kNothingToInstall, 1, false},
      {"ready", "", "size=30000", SetupOutcome::kReady, 2, true},
      {"a valid answer with status 500 is used", "status=500", "size=3000", SetupOutcome::kReady, 2,
       true},
      {"final 302 without Location", "", "size=3000&status=302", SetupOutcome::kReady, 2, true},
      {"ten redirects of the installer", "", "size=3000&redirect=" + Percent("/_hops/9/installer"),
       SetupOutcome::kReady, 12, true},
      {"eleven redirects", "", "size=3000&redirect=" + Percent("/_hops/10/installer"),
       SetupOutcome::kTooManyRedirects, 12, false},
      {"installer over plain HTTP", "plain=1", "", SetupOutcome::kRefusedInsecure, 1, false},
      {"installer redirected to plain HTTP", "", "redirect=" + Percent(plain_installer),
       SetupOutcome::kRefusedInsecure, 2, false},
      {"another scheme", "body=" + Percent("ftp://localhost/x.exe|5"), "",
       SetupOutcome::kRefusedInsecure, 1, false},
      {"an HTML page is no URL", "body=" + Percent("<html><body>Sign in</body></html>"), "",
       SetupOutcome::kNotDownloaded, 1, false},
      {"00 is no URL", "body=00", "", SetupOutcome::kNotDownloaded, 1, false},
      {"installer not found", "", "status=404", SetupOutcome::kNotDownloaded, 2, false},
      {"connection closed early", "", "size=30000&close_after=20000", SetupOutcome::kIncomplete, 7,
       false, 6},
      {"the announced SHA-256", "sha256=right", "size=3000", SetupOutcome::kReady, 2, true},
      // Refused, and left as it arrived for inspection.
      {"another file's SHA-256", "sha256=" + std::string(64, '0'), "size=3000",
       SetupOutcome::kHashRefused, 2, true},
      {"a third field that is no SHA-256", "sha256=" + Percent("not a hash"), "",
       SetupOutcome::kNoAnswer, 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Control("reset");
    if (!c.answer.empty()) {
      Control("answer?" + c.answer);
    }
    if (!c.installer.empty()) {
      Control("installer?" + c.installer);
    }
    RemoveInstallerFolders();
    Recorder recorder(folder_);
    SetupResult result;
    {
      SetupRun run(Origin(), nullptr);
      result = run.Run(recorder);
    }
    EXPECT_EQ(result.outcome, c.outcome) << OutcomeName(result.outcome);
    EXPECT_EQ(Requests(), c.requests);
    EXPECT_EQ(Requests("\"port\": " + PlainOrigin().substr(17)), 0u) << "plain HTTP requested";
    // The hourglass comes and goes with the query and with each of the installer's requests.
    std::wstring busy = L"+-";
    for (int attempt = 0; c.requests >= 2 && attempt < c.attempts; ++attempt) {
      busy += L"+-";
    }
    EXPECT_EQ(recorder.busy_changes, busy);
    const std::string served = Get(Origin() + "/_control/installer_bytes");
    const std::string on_disk = ReadFile(Installer());
    if (c.written) {
      EXPECT_EQ(on_disk, served);
      EXPECT_EQ(recorder.last_progress, static_cast<std::int64_t>(served.size()));
    } else if (c.outcome != SetupOutcome::kIncomplete) {
      EXPECT_EQ(::GetFileAttributesW(Installer().c_str()), INVALID_FILE_ATTRIBUTES);
      EXPECT_EQ(recorder.transfer_starts, 0);
      // Nothing was written into its folder: the run leaves none behind.
      EXPECT_EQ(InstallerFolders().size(), 0u);
    }
    if (c.outcome == SetupOutcome::kHashRefused) {
      EXPECT_EQ(result.path, Installer());
      EXPECT_EQ(result.code, 0u);
    }
  }
}

TEST_F(SetupRunTest, RefusedUrlsAndIncompleteTransfersSayWhy) {
  Control("installer?redirect=" + Percent(PlainOrigin() + "/downloads/setup-sample.exe"));
  Recorder recorder(folder_);
  SetupRun run(Origin(), nullptr);
  const SetupResult refused = run.Run(recorder);
  EXPECT_EQ(NoticeFor(refused).text,
            L"Error!  The installer is only downloaded over a secure connection (https).\r\r"
            L"Not downloaded from: " +
                ToWide(PlainOrigin()) + L"/downloads/setup-sample.exe");

  Control("installer?size=30000&close_after=20000");
  const SetupResult incomplete = run.Run(recorder);
  EXPECT_EQ(incomplete.outcome, SetupOutcome::kIncomplete);
  EXPECT_EQ(NoticeFor(incomplete).text,
            L"Error\rDownload was incomplete.\r\rBytes expected: 30000\rBytes received: 20000");
  EXPECT_EQ(ReadFile(Installer()).size(), 20000u);
}

TEST_F(SetupRunTest, InstallerFolderThatCannotBeCreatedIsAFileErrorBeforeAnyDownload) {
  const std::wstring missing = folder_ + L"gone\\";
  Recorder recorder(missing);
  SetupRun run(Origin(), nullptr);
  const SetupResult result = run.Run(recorder);
  EXPECT_EQ(result.outcome, SetupOutcome::kFileError);
  EXPECT_EQ(result.code, static_cast<std::uint32_t>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(result.path.rfind(missing + L"Setup-", 0), 0u) << "names the folder";
  EXPECT_EQ(recorder.transfer_starts, 0);
  EXPECT_EQ(Requests(), 1u);  // the query only
}

TEST_F(SetupRunTest, NoTemporaryFolderDownloadsNothing) {
  Recorder recorder(L"");
  SetupRun run(Origin(), nullptr);
  const SetupResult result = run.Run(recorder);
  EXPECT_EQ(result.outcome, SetupOutcome::kNoTempFolder);
  EXPECT_EQ(recorder.download_starts, 0);
  EXPECT_EQ(Requests(), 1u);
}

}  // namespace
}  // namespace setup
