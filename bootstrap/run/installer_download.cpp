#include "bootstrap/run/installer_download.h"

#include <atomic>
#include <optional>
#include <string>
#include <utility>

#include "bootstrap/files/safe_temp_file.h"
#include "bootstrap/log/support_log.h"
#include "bootstrap/network/https_client.h"
#include "bootstrap/network/network_worker.h"
#include "bootstrap/network/url_text.h"
#include "bootstrap/run/installer_transfer.h"
#include "bootstrap/run/resume_rule.h"
#include "bootstrap/run/run_failure.h"
#include "bootstrap/vocabulary/ansi_code_page_win.h"
#include "bootstrap/vocabulary/failure.h"
#include "bootstrap/vocabulary/short_text.h"
#include "bootstrap/vocabulary/test_seam.h"
#include "build_settings.h"
#include "framework/error.h"
#include "framework/handle.h"
#include "framework/module_path.h"
#include "framework/off_window.h"
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

// Empties the file in one step when an answer starts it over; otherwise the transfer only ever
// appends. (Whatever follows the bytes written, a running hash, hooks in at these two steps.)
Result<> StartFileOver(HANDLE file) {
  if (!::SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN) || !::SetEndOfFile(file)) {
    return Failure{L"SetEndOfFile", ::GetLastError()};
  }
  return {};
}

// What the window and the worker share; the worker keeps it alive when the window leaves it behind.
struct DownloadState {
  fw::CriticalSection lock;             // guards file, digests, abandoned, written and wrote
  HANDLE file = nullptr;                // owned by the window, written by the worker
  InstallerDigests* digests = nullptr;  // the window's, fed by the worker while not abandoned
  bool abandoned = false;               // the window stopped waiting: nothing more is written
  std::int64_t written = 0;
  Result<> wrote;                         // a failed write, which ended the transfer
  Result<> read;                          // a failed read, which ended it early
  std::atomic<std::int64_t> received{0};  // for the display
};

// How one attempt's transfer ended: the count the file holds, and why it stopped short, if it did.
struct TransferEnd {
  std::int64_t received = 0;
  bool stalled = false;
  Result<> read;
};

// The installer's GET, under the hourglass.
HttpsAnswer RequestInstaller(const std::wstring& url, HWND owner, DownloadObserver& observer,
                             const std::wstring& headers) {
  observer.RequestBusy(true);
  const fw::ScopeExit restore_cursor([&observer] { observer.RequestBusy(false); });
  return GetHttps(url, OwnFileName().c_str(), owner, headers);
}

// Appends the answer's body to the file, which holds `from` bytes, as it arrives, off the window.
// A failed write closes the file and is raised.
TransferEnd TransferToFile(const fw::SharedState<HttpsConnection>& connection, fw::FileHandle& file,
                           std::int64_t from, std::int32_t expected, DownloadObserver& observer,
                           InstallerDigests& digests) {
  const fw::SharedState<DownloadState> state;
  state->file = file.get();
  state->digests = &digests;
  state->written = from;
  state->received.store(from);
  const std::uint64_t started_ms = ::GetTickCount64();
  std::uint64_t logged_ms = started_ms;
  // The window wakes for every count the worker stores (at most once a frame) and shows the latest
  // before it pumps: whenever a read waits, the count before it is on the screen. Whether the
  // transfer ended or stalled makes no difference afterwards: a stalled one ends like one whose
  // data ended early.
  const bool ended = RunRequestOffWindow(
      [state, connection, from, expected](fw::WorkActivity& activity) {
        ContinueInstaller(
            from, expected,
            [&](char* buffer, std::size_t size) -> std::size_t {
              // Only what has arrived: the count shown is never a read behind a pause.
              const Result<std::size_t> count =
                  ReadArrivedBody(*connection, activity, buffer, size);
              if (!count) {
                fw::Lock lock(state->lock);
                state->read = count.Why();
                return 0;
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
              state->digests->Add(data, size);
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
  TransferEnd end;
  end.stalled = !ended;
  Result<> wrote;
  {
    // From here on the worker writes nothing, so the file holds exactly the count shown.
    fw::Lock lock(state->lock);
    state->abandoned = true;
    end.received = state->written;
    end.read = state->read;
    wrote = state->wrote;
  }
  if (!wrote) {
    file.reset();
    RaiseIoError(wrote.Why());
  }
  observer.ShowProgress(end.received, expected);
  support_log::Write({DecimalPiece(end.received), L" bytes in ",
                      DecimalPiece(static_cast<std::int64_t>(::GetTickCount64() - started_ms)),
                      L" ms", ended ? L"" : L", stalled"});
  return end;
}

// The unit of the retry schedule: a second, shortened by the tests in builds with test seams
// (milliseconds in SETUP_TEST_RETRY_UNIT_MS) so that six attempts take no half a minute there.
std::int64_t BackoffUnitMs() {
  if constexpr (kTestSeams) {
    if (const auto ms = TestSeamNumber(L"SETUP_TEST_RETRY_UNIT_MS")) {
      return *ms;
    }
  }
  return kBackoffUnitMs;
}

// Differs between runs and machines, which is all the schedule's spread asks of it.
std::uint32_t Jitter() {
  LARGE_INTEGER counter{};
  ::QueryPerformanceCounter(&counter);
  return static_cast<std::uint32_t>(
      (static_cast<std::uint64_t>(counter.QuadPart) * 0x9E3779B97F4A7C15ull) >> 32);
}

std::int64_t UnixSecondsNow() {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  const std::uint64_t ticks =
      (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  // FILETIME counts 100 ns from 1601; 11644473600 s lie between 1601 and 1970.
  return static_cast<std::int64_t>(ticks / 10000000) - 11644473600;
}

// The back-off before retry number `retry`, the window pumping; false when the user closed it.
bool WaitBeforeRetry(int retry, const std::wstring& reason,
                     std::optional<std::int64_t> retry_after_ms) {
  const std::int64_t delay = BackoffDelayMs(retry, Jitter(), retry_after_ms, BackoffUnitMs());
  support_log::Write({L"retry ", DecimalPiece(retry), L" of ", DecimalPiece(kMaxRetries), L" in ",
                      DecimalPiece(delay), L" ms: ", reason});
  if (!fw::WaitPumping(static_cast<DWORD>(delay))) {
    support_log::Write(L"window closed: no more attempts");
    return false;
  }
  return true;
}

InstallerAnswerFacts AnswerFacts(const HttpsAnswer& answer) {
  const HINTERNET request = answer.connection->request.get();
  return {answer.status, QueryHeaderText(request, HTTP_QUERY_ETAG),
          QueryHeaderText(request, HTTP_QUERY_LAST_MODIFIED),
          QueryHeaderText(request, HTTP_QUERY_CONTENT_RANGE)};
}

const wchar_t* PlacementName(BodyPlacement placement) {
  switch (placement) {
    case BodyPlacement::kAppend:
      return L"appended";
    case BodyPlacement::kStartOver:
      return L"from the first byte";
    case BodyPlacement::kDiscard:
      return L"discarded (another version or offset)";
  }
  return L"";
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
                              fw::FileHandle& hold, InstallerDigests& digests) {
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

  ResumeRule rule;
  fw::FileHandle file;
  SetupResult result = SetupResult::Of(SetupRequest::kDownload, SetupOutcome::kReady, wide_url);
  result.expected = expected;
  std::wstring reason;
  std::optional<std::int64_t> retry_after_ms;
  bool complete = false;
  for (int attempt = 0; attempt <= kMaxRetries && !complete; ++attempt) {
    if (attempt > 0 && !WaitBeforeRetry(attempt, reason, retry_after_ms)) {
      break;
    }
    retry_after_ms.reset();
    const std::wstring headers = rule.RequestHeaders();
    support_log::Write({L"attempt ", DecimalPiece(attempt + 1), L": bytes ",
                        DecimalPiece(rule.RequestFrom()), L"-",
                        headers.empty() ? L"" : L", If-Range ",
                        rule.RequestFrom() > 0 ? rule.Validator() : std::wstring()});
    const HttpsAnswer answer = RequestInstaller(wide_url, owner, observer, headers);
    result = SetupResult::Of(SetupRequest::kDownload, answer.outcome, answer.url);
    result.expected = expected;
    result.received = rule.Have();
    if (answer.outcome == SetupOutcome::kNotConnected) {
      // Nothing came within the stall limit, or no connection: tried again; after the last
      // attempt the same report as a transfer that ended early.
      result = FailedRun(SetupRequest::kDownload,
                         answer.stalled || rule.Have() > 0 ? SetupOutcome::kIncomplete
                                                           : SetupOutcome::kNotDownloaded,
                         answer.failure, answer.url);
      result.expected = expected;
      result.received = rule.Have();
      reason = answer.stalled ? L"no answer within the stall limit" : L"not connected";
      continue;
    }
    if (answer.outcome != SetupOutcome::kReady) {
      // Refused as insecure, too many redirects, the proxy's sign-in cancelled: never again.
      break;
    }
    const InstallerAnswerFacts facts = AnswerFacts(answer);
    if (IsRetryableStatus(answer.status)) {
      const std::wstring retry_after =
          QueryHeaderText(answer.connection->request.get(), HTTP_QUERY_RETRY_AFTER);
      retry_after_ms = ParseRetryAfterMs(retry_after, UnixSecondsNow());
      reason = JoinedText({L"status ", DecimalPiece(answer.status),
                           retry_after.empty() ? L"" : L", Retry-After ", retry_after});
      result.outcome = rule.Have() > 0 ? SetupOutcome::kIncomplete : SetupOutcome::kNotDownloaded;
      continue;
    }
    if (answer.status != 200 && answer.status != 206 && answer.status != 302) {
      // The server's word on this file (404, 416, ...): no retry. What was received stays.
      result.outcome = rule.Have() > 0 ? SetupOutcome::kIncomplete : SetupOutcome::kNotDownloaded;
      break;
    }
    const std::int64_t held = rule.Have();
    const BodyPlacement placement = rule.Accept(facts);
    support_log::Write({L"answer ", DecimalPiece(answer.status),
                        facts.content_range.empty() ? L"" : L" ", facts.content_range,
                        facts.etag.empty() ? L"" : L", ETag ", facts.etag, L": ",
                        PlacementName(placement)});
    if (!file) {
      observer.TransferStarting();
      Result<fw::FileHandle> created = CreateReplacingFile(path);
      if (!created) {
        return FailedRun(SetupRequest::kDownload, SetupOutcome::kFileError, created.Why(), path);
      }
      file = std::move(*created);
    } else if (placement != BodyPlacement::kAppend && held > 0) {
      if (const Result<> emptied = StartFileOver(file.get()); !emptied) {
        file.reset();
        RaiseIoError(emptied.Why());
      }
      digests.StartOver();
      // The count and the meter start over with the file, visibly.
      observer.ShowProgress(0, expected);
    }
    result.received = rule.Have();
    if (placement == BodyPlacement::kDiscard) {
      reason = L"the answer continued no part of this file";
      result.outcome = SetupOutcome::kIncomplete;
      continue;
    }
    const TransferEnd end =
        TransferToFile(answer.connection, file, rule.Have(), expected, observer, digests);
    rule.Hold(end.received);
    result.received = end.received;
    complete = end.received >= expected;
    if (!complete) {
      if (!end.read) {
        support_log::WriteFailure(end.read.Why());
      }
      reason = end.stalled ? L"stalled" : !end.read ? L"the read failed" : L"the data ended early";
      result.outcome = SetupOutcome::kIncomplete;
    }
  }
  if (!file) {
    return result;
  }
  if (result.outcome != SetupOutcome::kIncomplete && result.outcome != SetupOutcome::kReady) {
    // Refused on a later attempt: the partial file is closed and the refusal stands.
    if (const Result<> closed = CloseInstallerFile(file); !closed) {
      RaiseIoError(closed.Why());
    }
    return result;
  }
  result.outcome = SetupOutcome::kReady;
  digests.Finish(static_cast<std::uint64_t>(result.received));
  return SealInstaller(std::move(file), path, std::move(result), hold);
}

}  // namespace setup
