// The installer download: one GET of the announced URL, written to the file as it arrives, with the
// byte count and the meter updated after every read and the message queue pumped between reads
// (at most once per pump interval).
#include <windows.h>

#include <array>
#include <string>

#include "bootstrap/ansi_code_page_win.h"
#include "bootstrap/download_progress.h"
#include "bootstrap/pre_setup.h"
#include "bootstrap/short_text.h"
#include "bootstrap/wininet_library.h"
#include "framework/error.h"
#include "framework/handle.h"
#include "framework/module_path.h"

namespace setup {
namespace {

constexpr DWORD kReadSize = 10240;

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

// Opens the path for writing as a byte file, created or truncated to length 0. Exclusive while it
// is written, so nobody starts a half-written installer. Gives 0 or the system's error code.
DWORD CreateInstallerFile(fw::FileHandle& file, const std::wstring& path) {
  file.reset(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  return file ? 0 : ::GetLastError();
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

// Restores the cursor on every way out, errors included.
struct CursorRestorer {
  ~CursorRestorer() { RestoreCursor(); }
};

}  // namespace

bool TPreSetupBox::DownloadInstaller(const std::string& url, const std::wstring& path,
                                     std::int32_t expected) {
  const WinInetLibrary& inet = WinInetLibrary::Get();
  bool result = false;
  std::int64_t received = 0;

  InternetHandle internet(
      inet.InternetOpenW(OwnFileName().c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!internet) {
    return false;
  }
  CursorRestorer restore_cursor;
  SetBusyCursor();
  // The handles are declared after the cursor guard: they close before the cursor comes back.
  InternetHandle request(inet.InternetOpenUrlW(internet.get(),
                                               SystemAnsiCodePage().ToUtf16(url).c_str(), nullptr,
                                               0, INTERNET_FLAG_RELOAD, 0));
  // Five UTF-16 units, terminator included; stays empty when the query fails.
  std::array<wchar_t, 5> status{};
  DWORD status_size = sizeof(status);
  DWORD index = 0;
  inet.HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE, status.data(), &status_size, &index);
  status.back() = L'\0';
  const std::wstring status_text(status.data());
  const bool accepted = status_text == L"200" || status_text == L"302";
  RestoreCursor();
  if (!accepted) {
    return false;
  }

  mMeter.SetLightText(PercentText(0));
  mMeter.SetLightValue(0);
  mMeter.SetVisible(true);

  fw::FileHandle file;
  if (const DWORD code = CreateInstallerFile(file, path); code != 0) {
    fw::ShowMessage(FileCreateErrorMessage(path, code));
    return false;
  }

  std::array<char, kReadSize> buffer;
  DWORD count = 0;
  do {
    // Throttled: a pump per read would cost more than the read (see fw::PumpThrottle).
    fw::App().ProcessMessagesIfDue();
    count = 0;
    inet.InternetReadFile(request.get(), buffer.data(), kReadSize, &count);
    if (count > 0) {
      WriteAll(file.get(), buffer.data(), count);
      received += count;
      if (!Label1.Visible()) {
        Label1.SetVisible(true);
      }
      Label1.SetCaption(DownloadCounterText(received, expected));
      const int percent = DownloadPercentage(received, expected);
      mMeter.SetLightText(PercentText(percent));
      mMeter.SetLightValue(percent);
      fw::App().ProcessMessagesIfDue();
    }
  } while (count > 0 && received < expected);
  CloseInstallerFile(file);

  if (received == expected) {
    result = true;
  } else {
    fw::ShowMessage(IncompleteDownloadMessage(expected, received));
  }
  mMeter.SetVisible(false);
  return result;
}

}  // namespace setup
