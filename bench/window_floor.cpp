// The floor for the download benchmark's start-up and memory figures: the least a windowed program
// does to make Setup's requests. It opens one window, asks the service where the installer lives
// (same request, same user agent), then downloads it with Setup's loop: 10240-byte reads written to
// a file, the message queue pumped at most once per 15 ms. No framework, no widgets, no progress.
//   window_floor.exe QUERY_URL OUTFILE
// A console program would be no floor: it loads no display driver.
#include <windows.h>
#include <wininet.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "framework/handle.h"

namespace {

void CloseInternet(HINTERNET h) noexcept {
  ::InternetCloseHandle(h);
}
using Internet = fw::UniqueHandle<HINTERNET, fw::NullHandleTraits<HINTERNET, CloseInternet>>;

constexpr DWORD kReadSize = 10240;

void Pump() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

// The first line of the answer up to "|": the installer's URL.
std::wstring InstallerUrl(const std::wstring& query_url) {
  Internet internet(::InternetOpenW(L"Mozilla/3.0 (compatible; Indy Library)",
                                    INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  Internet request(
      internet ? ::InternetOpenUrlW(internet.get(), query_url.c_str(), nullptr, 0, 0, 0) : nullptr);
  if (!request) {
    return {};
  }
  std::string body(4096, '\0');
  DWORD count = 0;
  ::InternetReadFile(request.get(), body.data(), static_cast<DWORD>(body.size()), &count);
  body.resize(count);
  const std::string url = body.substr(0, body.find_first_of("|\r\n"));
  return std::wstring(url.begin(), url.end());
}

bool Download(const std::wstring& url, const wchar_t* path) {
  Internet internet(
      ::InternetOpenW(L"window_floor.exe", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  Internet request(internet ? ::InternetOpenUrlW(internet.get(), url.c_str(), nullptr, 0,
                                                 INTERNET_FLAG_RELOAD, 0)
                            : nullptr);
  fw::FileHandle file(::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!request || !file) {
    return false;
  }
  std::vector<char> buffer(kReadSize);
  ULONGLONG last_pump = 0;
  DWORD count = 0;
  do {
    if (const ULONGLONG now = ::GetTickCount64(); now - last_pump >= 15) {
      Pump();
      last_pump = ::GetTickCount64();
    }
    count = 0;
    ::InternetReadFile(request.get(), buffer.data(), kReadSize, &count);
    DWORD written = 0;
    if (count > 0 &&
        (!::WriteFile(file.get(), buffer.data(), count, &written, nullptr) || written != count)) {
      return false;
    }
  } while (count > 0);
  return true;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  if (argv == nullptr || argc != 3) {
    return 2;
  }
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = ::DefWindowProcW;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = L"window_floor";
  ::RegisterClassExW(&wc);
  fw::WindowHandle window(::CreateWindowExW(
      0, wc.lpszClassName, L"floor", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT,
      CW_USEDEFAULT, 540, 340, nullptr, nullptr, instance, nullptr));
  if (!window) {
    return 1;
  }
  ::ShowWindow(window.get(), SW_SHOW);
  ::UpdateWindow(window.get());
  Pump();
  const std::wstring url = InstallerUrl(argv[1]);
  const bool ok = !url.empty() && Download(url, argv[2]);
  ::LocalFree(argv);
  return ok ? 0 : 1;
}
