// The installer download: one GET of the announced URL over HTTPS only, written as it arrives into
// a file that Setup created itself, with the byte count and the meter following the transfer. The
// requests run on a worker (bootstrap/network_worker.h): the window keeps pumping its messages,
// shows the count within a pump interval of each read, and gives up on a server that stalls.
#include <windows.h>

#include <array>
#include <atomic>
#include <string>

#include "bootstrap/ansi_code_page_win.h"
#include "bootstrap/download_progress.h"
#include "bootstrap/installer_transfer.h"
#include "bootstrap/network_worker.h"
#include "bootstrap/pre_setup.h"
#include "bootstrap/safe_temp_file.h"
#include "bootstrap/short_text.h"
#include "bootstrap/wininet_library.h"
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
  throw fw::Error(L"I/O error " + DecimalTextW(code));
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

// What the window and the worker share. The worker keeps it alive when the window leaves it
// behind; the URL handle is declared after the session it belongs to, so it closes first.
struct DownloadState {
  InternetHandle internet;
  InternetHandle request;
  fw::CriticalSection lock;  // guards file, abandoned and written
  HANDLE file = nullptr;     // owned by the window, written by the worker
  bool abandoned = false;
  std::int64_t written = 0;
  std::atomic<std::int64_t> received{0};  // for the display
};

}  // namespace

void TPreSetupBox::ShowDownloadProgress(std::int64_t received, std::int32_t expected,
                                        std::int64_t& shown) {
  if (received == shown) {
    return;
  }
  shown = received;
  if (!Label1.Visible()) {
    Label1.SetVisible(true);
  }
  Label1.SetCaption(DownloadCounterText(received, expected));
  const int percent = DownloadPercentage(received, expected);
  mMeter.SetLightText(PercentText(percent));
  mMeter.SetLightValue(percent);
}

bool TPreSetupBox::DownloadInstaller(const std::string& url, const std::wstring& path,
                                     std::int32_t expected) {
  const WinInetLibrary& inet = WinInetLibrary::Get();
  const std::wstring wide_url = SystemAnsiCodePage().ToUtf16(url);
  // Setup starts what it downloads, as administrator: plain HTTP would let anyone on the way
  // choose that program. No request at all.
  if (!IsHttpsUrl(wide_url)) {
    fw::ShowMessage(InsecureInstallerMessage(wide_url));
    return false;
  }

  const SharedState<DownloadState> state;
  state->internet.reset(
      inet.InternetOpenW(OwnFileName().c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!state->internet) {
    return false;
  }
  SetStallTimeouts(state->internet.get());
  bool answered = false;
  bool accepted = false;
  {
    // The hourglass while the request is made and answered; back on every way out of it.
    SetBusyCursor();
    const fw::ScopeExit restore_cursor([] { RestoreCursor(); });
    answered = RunOffWindow([state, wide_url](NetworkActivity&) {
      state->request.reset(WinInetLibrary::Get().InternetOpenUrlW(
          state->internet.get(), wide_url.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD, 0));
    });
    if (answered) {
      // Five UTF-16 units, terminator included; stays empty when the query fails.
      std::array<wchar_t, 5> status{};
      DWORD status_size = sizeof(status);
      DWORD index = 0;
      inet.HttpQueryInfoW(state->request.get(), HTTP_QUERY_STATUS_CODE, status.data(), &status_size,
                          &index);
      status.back() = L'\0';
      const std::wstring status_text(status.data());
      accepted = status_text == L"200" || status_text == L"302";
    }
  }
  if (!answered) {
    // Nothing came within the stall limit: the same report as a transfer that ended early.
    fw::ShowMessage(IncompleteDownloadMessage(expected, 0));
    return false;
  }
  if (!accepted) {
    return false;
  }
  // WinInet follows a redirect from HTTPS to plain HTTP silently: the URL the answer finally came
  // from decides, before anything is written. One that cannot be read back counts as insecure.
  if (const std::wstring final_url = FinalUrl(state->request.get()); !IsHttpsUrl(final_url)) {
    fw::ShowMessage(InsecureInstallerMessage(final_url.empty() ? wide_url : final_url));
    return false;
  }

  mMeter.SetLightText(PercentText(0));
  mMeter.SetLightValue(0);
  mMeter.SetVisible(true);

  fw::FileHandle file;
  if (const DWORD code = CreateReplacingFile(file, path); code != 0) {
    fw::ShowMessage(FileCreateErrorMessage(path, code));
    return false;
  }
  state->file = file.get();

  std::int64_t shown = 0;
  // The window shows the count of the last read before every pump: whenever a read waits, the
  // count before it is on the screen within a pump interval. Whether the transfer ended or
  // stalled makes no difference afterwards: a stalled one ends like one whose data ended early.
  RunOffWindow(
      [state, expected](NetworkActivity& activity) {
        TransferInstaller(
            expected,
            [&](char* buffer, std::size_t size) -> std::size_t {
              // Only what has arrived: the count shown is never a read behind a pause.
              const DWORD count =
                  ReadArrived(state->request.get(), buffer, static_cast<DWORD>(size));
              if (count > 0) {
                activity.Touch();
              }
              return count;
            },
            [&](const char* data, std::size_t size) {
              fw::Lock lock(state->lock);
              if (state->abandoned) {
                throw TransferAbandoned{};
              }
              WriteAll(state->file, data, static_cast<DWORD>(size));
              state->written += static_cast<std::int64_t>(size);
            },
            [&](std::int64_t received) { state->received.store(received); });
      },
      [&] { ShowDownloadProgress(state->received.load(), expected, shown); });
  std::int64_t received = 0;
  {
    // From here on the worker writes nothing, so the file holds exactly the count shown.
    fw::Lock lock(state->lock);
    state->abandoned = true;
    received = state->written;
  }
  ShowDownloadProgress(received, expected, shown);

  bool result = false;
  BY_HANDLE_FILE_INFORMATION written{};
  const bool identified = ::GetFileInformationByHandle(file.get(), &written) != FALSE;
  CloseInstallerFile(file);
  if (received == expected) {
    const DWORD code =
        identified ? HoldInstallerFile(installer_hold_, path, written, received) : ::GetLastError();
    if (code == 0) {
      result = true;
    } else {
      fw::ShowMessage(FileOpenErrorMessage(path, code));
    }
  } else {
    fw::ShowMessage(IncompleteDownloadMessage(expected, received));
  }
  mMeter.SetVisible(false);
  return result;
}

}  // namespace setup
