#include "bootstrap/run/setup_run.h"

#include <utility>

#include "bootstrap/files/installer_folder.h"
#include "bootstrap/files/system_crypto.h"
#include "bootstrap/log/support_log.h"
#include "bootstrap/run/install_query.h"
#include "bootstrap/run/run_failure.h"
#include "bootstrap/trust/installer_signature.h"
#include "bootstrap/vocabulary/short_text.h"
#include "bootstrap/vocabulary/test_seam.h"
#include "build_settings.h"
#include "framework/off_window.h"
#include "framework/scope_exit.h"

namespace setup {
namespace {

// Tests check that nobody can change the installer between the end of the transfer and its start;
// builds with test seams let them pause there (milliseconds in SETUP_TEST_PAUSE_BEFORE_LAUNCH_MS).
void PauseBeforeLaunchForTests() {
  if constexpr (kTestSeams) {
    if (const auto ms = TestSeamNumber(L"SETUP_TEST_PAUSE_BEFORE_LAUNCH_MS")) {
      ::Sleep(*ms);
    }
  }
}

SetupResult Logged(SetupResult result) {
  if (result.code != 0) {
    support_log::Write(
        {L"outcome: ", OutcomeName(result.outcome), L" EC=", DecimalPiece(result.code)});
  } else {
    support_log::Write({L"outcome: ", OutcomeName(result.outcome)});
  }
  return result;
}

// The installer must be the file the answer announced: compared before anything else reads it as
// a program. kReady, or kHashRefused with the path (and the code when it could not be computed).
// The digest is the one made while the file was written; without it (the system's hash failed)
// the installer is refused, with the reason.
SetupResult CheckAnnouncedHash(const Result<Sha256Digest>& found, const Sha256Digest& announced,
                               const std::wstring& path) {
  if (!found) {
    return FailedRun(SetupRequest::kDownload, SetupOutcome::kHashRefused, found.Why(), path);
  }
  if (*found != announced) {
    support_log::Write({L"installer SHA-256 ", Sha256Hex(*found), L" is not the announced ",
                        Sha256Hex(announced)});
    SetupResult refused = SetupResult::Of(SetupRequest::kDownload, SetupOutcome::kHashRefused, L"");
    refused.path = path;
    return refused;
  }
  support_log::Write(L"installer SHA-256 as announced, made as it was written");
  return SetupResult::Of(SetupRequest::kDownload, SetupOutcome::kReady, L"");
}

}  // namespace

SetupRun::SetupRun(std::string base_url, HWND owner)
    : base_url_(std::move(base_url)), owner_(owner) {}

SetupResult SetupRun::Run(SetupRunObserver& observer) {
  InstallAnswer answer;
  SetupResult result;
  {
    observer.RequestBusy(true);
    const fw::ScopeExit restore_cursor([&observer] { observer.RequestBusy(false); });
    result = QueryInstallLocation(base_url_, owner_, answer);
  }
  if (result.outcome != SetupOutcome::kReady) {
    return Logged(std::move(result));
  }
  const std::wstring temp_folder = observer.TemporaryFolder();
  // Never a relative Install.exe in whatever the current directory is.
  if (temp_folder.empty()) {
    result.outcome = SetupOutcome::kNoTempFolder;
    result.request = SetupRequest::kDownload;
    return Logged(std::move(result));
  }
  observer.DownloadStarting();
  // The installer's own folder, out of the reach of the user's programs, held until the
  // installer's process exists. Made before the request: without it there is nowhere to write.
  InstallerFolder folder;
  if (const Result<> created = CreateInstallerFolder(temp_folder, folder); !created) {
    return Logged(
        FailedRun(SetupRequest::kDownload, SetupOutcome::kFileError, created.Why(), folder.path));
  }
  // A run that wrote nothing into it leaves no empty folder behind; one that did leaves the file
  // where it is (an incomplete or refused installer, for inspection). Released only once the
  // installer's process exists.
  const fw::ScopeExit release_folder([&folder] { ReleaseInstallerFolder(folder); });
  const std::wstring path = folder.path + L"\\Install.exe";
  InstallerDigests digests(
      static_cast<std::uint64_t>(answer.size > 0 ? answer.size : 0),
      {.file_sha256 = answer.hash == AnnouncedHash::kGiven, .image = InstallerSignatureRequired()});
  result =
      DownloadInstaller(answer.url, path, answer.size, owner_, observer, installer_hold_, digests);
  if (result.outcome == SetupOutcome::kReady && answer.hash == AnnouncedHash::kGiven) {
    SetupResult checked = CheckAnnouncedHash(digests.FileSha256(), answer.sha256, path);
    if (checked.outcome != SetupOutcome::kReady) {
      installer_hold_.reset();
      checked.received = result.received;
      checked.expected = result.expected;
      return Logged(std::move(checked));
    }
  }
  if (result.outcome == SetupOutcome::kReady) {
    // Checked through the handle that holds the file until its process is created: what was
    // checked is what starts. A refused installer stays on disk for inspection, released.
    SetupResult verified = VerifyInstaller(installer_hold_.get(), path, digests.Image());
    if (verified.outcome != SetupOutcome::kReady) {
      installer_hold_.reset();
      verified.received = result.received;
      verified.expected = result.expected;
      return Logged(std::move(verified));
    }
  }
  if (result.outcome == SetupOutcome::kReady) {
    PauseBeforeLaunchForTests();
    LaunchInstaller(path, folder.path);
  }
  return Logged(std::move(result));
}

// The installer is started with its exact path as the application name and a quoted command
// line: an unquoted line would let a temporary path with a space start a different program,
// elevated. Its current directory is its own folder, where nobody else can write, not Setup's
// (a downloads folder). Nothing waits for it and a failure is not reported, as the user can start
// it by hand.
void SetupRun::LaunchInstaller(const std::wstring& path, const std::wstring& folder) {
  std::wstring command_line = JoinedText({L"\"", path, L"\""});
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process{};
  const bool started = ::CreateProcessW(path.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                                        0, nullptr, folder.c_str(), &startup, &process) != FALSE;
  const DWORD code = started ? 0 : ::GetLastError();
  const fw::KernelHandle thread(process.hThread);
  const fw::KernelHandle handle(process.hProcess);
  if (started) {
    support_log::Write({L"installer started, process ", DecimalPiece(process.dwProcessId)});
  } else {
    support_log::WriteFailure({L"CreateProcess", code});
  }
  installer_hold_.reset();
}

}  // namespace setup
