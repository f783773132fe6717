#include "bootstrap/run/installer_download.h"

#include <atomic>
#include <string>
#include <utility>

#include "bootstrap/files/safe_temp_file.h"
#include "bootstrap/log/support_log.h"
#include "bootstrap/network/https_client.h"
#include "bootstrap/network/network_worker.h"
#include "bootstrap/network/url_text.h"
#include "bootstrap/run/installer_transfer.h"
#include "bootstrap/run/run_failure.h"
#include "bootstrap/vocabulary/ansi_code_page_win.h"
#include "bootstrap/vocabulary/failure.h"
#include "bootstrap/vocabulary/short_text.h"
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

// What the runtime reports for a failed write or close: through the log's funnel, then raised for
// the default error report. Only on the window thread, once the file is closed.
[[noreturn]] void RaiseIoError(const Failure& failure) {
  support_log::WriteFailure(failure);
  throw fw::Error(JoinedText({L"I/O error ", DecimalPiece(failure.code)}));
}

Result<> WriteAll(HANDLE file, const char* data, DWORD size) {
  DWORD written = 0;
  if (!::WriteFile(file, data, size, &written, nullptr)) {
    return Failure{L"WriteFile", ::GetLastError()};
  }
  if (written != size) {
    return Failure{L"WriteFile", ERROR_DISK_FULL};
  }
  return {};
}

// Closes explicitly so that a failed close is reported like a failed write.
Result<> CloseInstallerFile(fw::FileHandle& file) {
  if (!::CloseHandle(file.release())) {
    return Failure{L"CloseHandle", ::GetLastError()};
  }
  return {};
}

// Volume and file index: which file a handle has open, whatever its name.
Result<BY_HANDLE_FILE_INFORMATION> FileIdentity(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file, &info)) {
    return Failure{L"GetFileInformationByHandle", ::GetLastError()};
  }
  return info;
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

// Opens the complete installer for its start: reading shared, nobody else writing, renaming or
// deleting it, so the program started is the one just written. Opening fails while anyone else
// has it open for writing; a different file or size under the name counts as a swap.
Result<fw::FileHandle> HoldInstallerFile(const std::wstring& path,
                                         const BY_HANDLE_FILE_INFORMATION& written,
                                         std::int64_t size) {
  fw::FileHandle hold(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!hold) {
    return Failure{L"CreateFile", ::GetLastError()};
  }
  const Result<BY_HANDLE_FILE_INFORMATION> held = FileIdentity(hold.get());
  if (!held) {
    return held.Why();
  }
  LARGE_INTEGER held_size{};
  if (!::GetFileSizeEx(hold.get(), &held_size)) {
    return Failure{L"GetFileSizeEx", ::GetLastError()};
  }
  if (!SameFile(*held, written) || held_size.QuadPart != size) {
    return Failure{L"CreateFile", ERROR_FILE_INVALID};
  }
  return hold;
}

// What the window and the worker share; the worker keeps it alive when the window leaves it behind.
struct DownloadState {
  fw::CriticalSection lock;  // guards file, abandoned, written and wrote
  HANDLE file = nullptr;     // owned by the window, written by the worker
  bool abandoned = false;    // the window stopped waiting: nothing more is written
  std::int64_t written = 0;
  Result<> wrote;                         // a failed write, which ended the transfer
  std::atomic<std::int64_t> received{0};  // for the display
};

// The installer's GET, under the hourglass.
HttpsAnswer RequestInstaller(const std::wstring& url, HWND owner, DownloadObserver& observer) {
  observer.RequestBusy(true);
  const fw::ScopeExit restore_cursor([&observer] { observer.RequestBusy(false); });
  return GetHttps(url, OwnFileName().c_str(), owner);
}

// Writes the answer's body into the file as it arrives, off the window, and gives the count the
// file holds. A failed write closes the file and is raised.
std::int64_t TransferToFile(const fw::SharedState<HttpsConnection>& connection,
                            fw::FileHandle& file, std::int32_t expected,
                            DownloadObserver& observer) {
  const fw::SharedState<DownloadState> state;
  state->file = file.get();
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
              // Only what has arrived: the count shown is never a read behind a pause. A failed
              // read ends the data; the file's size then tells the run what arrived.
              const Result<std::size_t> count =
                  ReadArrivedBody(*connection, activity, buffer, size);
              if (!count) {
                support_log::WriteFailure(count.Why());
                return std::size_t{0};
              }
              return *count;
            },
            [&](const char* data, std::size_t size) {
              fw::Lock lock(state->lock);
              if (state->abandoned) {
                return false;
              }
              if (const Result<> wrote = WriteAll(state->file, data, static_cast<DWORD>(size));
                  !wrote) {
                state->wrote = wrote;
                return false;
              }
              state->written += static_cast<std::int64_t>(size);
              return true;
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
  Result<> wrote;
  {
    // From here on the worker writes nothing, so the file holds exactly the count shown.
    fw::Lock lock(state->lock);
    state->abandoned = true;
    received = state->written;
    wrote = state->wrote;
  }
  if (!wrote) {
    file.reset();
    RaiseIoError(wrote.Why());
  }
  observer.ShowProgress(received, expected);
  support_log::Write({DecimalPiece(received), L" bytes in ",
                      DecimalPiece(static_cast<std::int64_t>(::GetTickCount64() - started_ms)),
                      L" ms", ended ? L"" : L", stalled"});
  return received;
}

// Closes the transferred file and holds it for its start when it is complete: result (kReady, with
// the counts) as it is, kIncomplete, or kHoldError. A failed close is raised.
SetupResult SealInstaller(fw::FileHandle file, const std::wstring& path, SetupResult result,
                          fw::FileHandle& hold) {
  const Result<BY_HANDLE_FILE_INFORMATION> written = FileIdentity(file.get());
  if (const Result<> closed = CloseInstallerFile(file); !closed) {
    RaiseIoError(closed.Why());
  }
  if (result.received != result.expected) {
    result.outcome = SetupOutcome::kIncomplete;
    return result;
  }
  Result<fw::FileHandle> held =
      written ? HoldInstallerFile(path, *written, result.received) : written.Why();
  if (!held) {
    SetupResult failed =
        FailedRun(SetupRequest::kDownload, SetupOutcome::kHoldError, held.Why(), path);
    failed.received = result.received;
    failed.expected = result.expected;
    return failed;
  }
  hold = std::move(*held);
  return result;
}

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

  const HttpsAnswer answer = RequestInstaller(wide_url, owner, observer);
  if (answer.outcome == SetupOutcome::kNotConnected) {
    // Nothing came within the stall limit: the same report as a transfer that ended early.
    SetupResult result =
        FailedRun(SetupRequest::kDownload,
                  answer.stalled ? SetupOutcome::kIncomplete : SetupOutcome::kNotDownloaded,
                  answer.failure, answer.url);
    result.expected = expected;
    return result;
  }
  SetupResult result = SetupResult::Of(SetupRequest::kDownload, answer.outcome, answer.url);
  result.expected = expected;
  if (answer.outcome != SetupOutcome::kReady) {
    return result;
  }
  if (answer.status != 200 && answer.status != 302) {
    result.outcome = SetupOutcome::kNotDownloaded;
    return result;
  }

  observer.TransferStarting();
  Result<fw::FileHandle> file = CreateReplacingFile(path);
  if (!file) {
    return FailedRun(SetupRequest::kDownload, SetupOutcome::kFileError, file.Why(), path);
  }
  result.received = TransferToFile(answer.connection, *file, expected, observer);
  return SealInstaller(std::move(*file), path, std::move(result), hold);
}

}  // namespace setup
