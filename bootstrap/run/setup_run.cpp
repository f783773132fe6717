#include "bootstrap/run/setup_run.h"

#include <cwchar>
#include <utility>

#include "bootstrap/log/support_log.h"
#include "bootstrap/run/install_query.h"
#include "bootstrap/trust/installer_signature.h"
#include "bootstrap/vocabulary/short_text.h"
#include "build_settings.h"
#include "framework/scope_exit.h"

namespace setup {
namespace {

// Tests check that nobody can change the installer between the end of the transfer and its start;
// builds with test seams let them pause there (milliseconds in SETUP_TEST_PAUSE_BEFORE_LAUNCH_MS).
void PauseBeforeLaunchForTests() {
  if constexpr (kTestSeams) {
    wchar_t value[16] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"SETUP_TEST_PAUSE_BEFORE_LAUNCH_MS", value, 16);
    if (length > 0 && length < 16) {
      ::Sleep(static_cast<DWORD>(std::wcstoul(value, nullptr, 10)));
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
  const std::wstring folder = observer.TemporaryFolder();
  // Never a relative Install.exe in whatever the current directory is.
  if (folder.empty()) {
    result.outcome = SetupOutcome::kNoTempFolder;
    result.request = SetupRequest::kDownload;
    return Logged(std::move(result));
  }
  observer.DownloadStarting();
  const std::wstring path = folder + L"Install.exe";
  result = DownloadInstaller(answer.url, path, answer.size, owner_, observer, installer_hold_);
  if (result.outcome == SetupOutcome::kReady) {
    // Checked through the handle that holds the file until its process is created: what was
    // checked is what starts. A refused installer stays on disk for inspection, released.
    SetupResult verified = VerifyInstaller(installer_hold_.get(), path);
    if (verified.outcome != SetupOutcome::kReady) {
      installer_hold_.reset();
      verified.received = result.received;
      verified.expected = result.expected;
      return Logged(std::move(verified));
    }
  }
  if (result.outcome == SetupOutcome::kReady) {
    PauseBeforeLaunchForTests();
    LaunchInstaller(path);
  }
  return Logged(std::move(result));
}

// The installer is started with its exact path as the application name and a quoted command
// line: an unquoted line would let a temporary path with a space start a different program,
// elevated. Nothing waits for it and a failure is not reported, as the user can start it by hand.
void SetupRun::LaunchInstaller(const std::wstring& path) {
  std::wstring command_line = JoinedText({L"\"", path, L"\""});
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process{};
  const bool started = ::CreateProcessW(path.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                                        0, nullptr, nullptr, &startup, &process) != FALSE;
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
