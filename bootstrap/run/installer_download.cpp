#include "bootstrap/run/installer_download.h"

#include <atomic>
#include <string>

#include "bootstrap/vocabulary/ansi_code_page_win.h"
#include "bootstrap/network/https_client.h"
#include "bootstrap/run/installer_transfer.h"
#include "bootstrap/network/network_worker.h"
#include "bootstrap/files/safe_temp_file.h"
#include "bootstrap/vocabulary/short_text.h"
#include "bootstrap/log/support_log.h"
#include "bootstrap/log/support_log_text.h"
#include "bootstrap/network/url_text.h"
#include "bootstrap/network/wininet_library.h"
#include "framework/error.h"
#include "framework/handle.h"
#include "framework/module_path.h"
#include "framework/scope_exit.h"

namespace setup {
namespace {

// The running executable's own file name, without its directory: the download's user agent.
std::wstring OwnFileName() {
  const std::wstring path = fw::ModulePath();
  const auto slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// What the runtime reports for a failed write or close; it reaches the default error report.
[[noreturn]] void RaiseIoError(DWORD code) {
  support_log::Write({L"error: I/O error ", DecimalPiece(code)});
  throw fw::Error(JoinedText({L"I/O error ", DecimalPiece(code)}));
}

void WriteAll(HANDLE file, const char* data, DWORD size) {
  DWORD written = 0;
  if (!::WriteFile(file, data, size, &written, nullptr)) {
    RaiseIoError(::GetLastError());
  }
  if (written != size) {
    RaiseIoError(ERROR_DISK_FULL);
  }
}

// Closes explicitly so that a failed close is reported like a failed write.
void CloseInstallerFile(fw::FileHandle& file) {
  if (!::CloseHandle(file.release())) {
    RaiseIoError(::GetLastError());
  }
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

// Opens the complete installer for its start: reading shared, nobody else writing, renaming or
// deleting it, so the program started is the one just written. Opening fails while anyone else
// has it open for writing; a different file or size under the name counts as a swap. Gives 0 or
// the system's error code.
DWORD HoldInstallerFile(fw::FileHandle& hold, const std::wstring& path,
                        const BY_HANDLE_FILE_INFORMATION& written, std::int64_t size) {
  hold.reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!hold) {
    return ::GetLastError();
  }
  BY_HANDLE_FILE_INFORMATION held{};
  LARGE_INTEGER held_size{};
  if (!::GetFileInformationByHandle(hold.get(), &held) ||
      !::GetFileSizeEx(hold.get(), &held_size)) {
    const DWORD code = ::GetLastError();
    hold.reset();
    return code;
  }
  if (!SameFile(held, written) || held_size.QuadPart != size) {
    hold.reset();
    return ERROR_FILE_INVALID;
  }
  return 0;
}

// Raised on the worker when the window has stopped waiting for it: nothing more is written.
struct TransferAbandoned {};

// What the window and the worker share; the worker keeps it alive when the window leaves it behind.
struct DownloadState {
  fw::CriticalSection lock;  // guards file, abandoned and written
  HANDLE file = nullptr;     // owned by the window, written by the worker
  bool abandoned = false;
  std::int64_t written = 0;
  std::atomic<std::int64_t> received{0};  // for the display
};

}  // namespace

SetupResult DownloadInstaller(const std::string& url, const std::wstring& path,
                              std::int32_t expected, HWND owner, DownloadObserver& observer,
                              fw::FileHandle& hold) {
  const std::wstring wide_url = SystemAnsiCodePage().ToUtf16(url);
  support_log::Write({L"download into ", path});
  switch (ClassifyUrl(wide_url)) {
    case UrlKind::kHttps:
      break;
    case UrlKind::kOtherScheme:
      // Setup starts what it downloads, as administrator: anything but HTTPS would let someone on
      // the way choose that program. No request at all.
      return SetupResult::Of(SetupRequest::kDownload, SetupOutcome::kRefusedInsecure, wide_url);
    case UrlKind::kNotAUrl:
      // An error page or a portal's text where the answer should be: nothing to open.
      support_log::Write(L"not a URL: no request");
      return SetupResult::Of(SetupRequest::kDownload, SetupOutcome::kNotDownloaded, wide_url);
  }

  const HttpsAnswer answer = [&] {
    // The hourglass while the request is made and answered; back on every way out of it.
    observer.RequestBusy(true);
    const fw::ScopeExit restore_cursor([&observer] { observer.RequestBusy(false); });
    return GetHttps(wide_url, OwnFileName().c_str(), owner);
  }();
  SetupResult result = SetupResult::Of(SetupRequest::kDownload, answer.outcome, answer.url);
  result.expected = expected;
  if (answer.outcome == SetupOutcome::kNotConnected) {
    // Nothing came within the stall limit: the same report as a transfer that ended early.
    result.outcome = answer.stalled ? SetupOutcome::kIncomplete : SetupOutcome::kNotDownloaded;
    return result;
  }
  if (answer.outcome != SetupOutcome::kReady) {
    return result;
  }
  if (answer.status != 200 && answer.status != 302) {
    result.outcome = SetupOutcome::kNotDownloaded;
    return result;
  }

  observer.TransferStarting();
  fw::FileHandle file;
  if (const DWORD code = CreateReplacingFile(file, path); code != 0) {
    result.outcome = SetupOutcome::kFileError;
    result.path = path;
    result.code = code;
    return result;
  }
  const fw::SharedState<DownloadState> state;
  state->file = file.get();
  const fw::SharedState<HttpsConnection> connection = answer.connection;

  const std::uint64_t started_ms = ::GetTickCount64();
  std::uint64_t logged_ms = started_ms;
  // The window wakes for every count the worker stores (at most once a frame) and shows the latest
  // before it pumps: whenever a read waits, the count before it is on the screen. Whether the
  // transfer ended or stalled makes no difference afterwards: a stalled one ends like one whose
  // data ended early.
  const bool ended = RunRequestOffWindow(
      [state, connection, expected](fw::WorkActivity& activity) {
        TransferInstaller(
            expected,
            [&](char* buffer, std::size_t size) {
              // Only what has arrived: the count shown is never a read behind a pause.
              return ReadArrivedBody(*connection, activity, buffer, size);
            },
            [&](const char* data, std::size_t size) {
              fw::Lock lock(state->lock);
              if (state->abandoned) {
                throw TransferAbandoned{};
              }
              WriteAll(state->file, data, static_cast<DWORD>(size));
              state->written += static_cast<std::int64_t>(size);
            },
            [&](std::int64_t received) {
              state->received.store(received);
              activity.Progressed();
            });
      },
      [&] {
        const std::int64_t received = state->received.load();
        observer.ShowProgress(received, expected);
        if (const std::uint64_t now = ::GetTickCount64(); now - logged_ms >= 1000) {
          logged_ms = now;
          support_log::Write({DecimalPiece(received), L" bytes"});
        }
      });
  std::int64_t received = 0;
  {
    // From here on the worker writes nothing, so the file holds exactly the count shown.
    fw::Lock lock(state->lock);
    state->abandoned = true;
    received = state->written;
  }
  observer.ShowProgress(received, expected);
  support_log::Write({DecimalPiece(received), L" bytes in ",
                      DecimalPiece(static_cast<std::int64_t>(::GetTickCount64() - started_ms)),
                      L" ms", ended ? L"" : L", stalled"});
  result.received = received;

  BY_HANDLE_FILE_INFORMATION written{};
  const bool identified = ::GetFileInformationByHandle(file.get(), &written) != FALSE;
  CloseInstallerFile(file);
  if (received != expected) {
    result.outcome = SetupOutcome::kIncomplete;
    return result;
  }
  if (const DWORD code =
          identified ? HoldInstallerFile(hold, path, written, received) : ::GetLastError();
      code != 0) {
    result.outcome = SetupOutcome::kHoldError;
    result.path = path;
    result.code = code;
  }
  return result;
}

}  // namespace setup
