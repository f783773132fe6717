// sample_installer.exe: stands in for the real installer that Setup downloads and starts. It
// appends one JSON line about how it was started (its path, command line, arguments and current
// directory) to the file named by SETUP_SAMPLE_RECORD
// (default %TEMP%\setup-sample-ran.txt), then shows a small window saying so for
// SETUP_SAMPLE_SHOW_MS milliseconds (default 8000; 0 shows nothing).
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

#include "framework/handle.h"
#include "framework/module_path.h"
#include "tools/json_text.h"

namespace {

constexpr wchar_t kTitle[] = L"Setup Sample Installer";
constexpr wchar_t kClassName[] = L"SetupSampleInstaller";
constexpr UINT_PTR kCloseTimer = 1;
constexpr DWORD kDefaultShowMs = 8000;

std::wstring Environment(const wchar_t* name) {
  const DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) {
    return {};
  }
  std::wstring value(size, L'\0');
  value.resize(::GetEnvironmentVariableW(name, value.data(), size));
  return value;
}

std::wstring RecordPath() {
  std::wstring path = Environment(L"SETUP_SAMPLE_RECORD");
  if (path.empty()) {
    wchar_t temp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, temp);
    path = std::wstring(temp) + L"setup-sample-ran.txt";
  }
  return path;
}

std::string RecordLine(const std::wstring& exe) {
  const wchar_t* command_line = ::GetCommandLineW();
  std::string args;
  int count = 0;
  if (LPWSTR* argv = ::CommandLineToArgvW(command_line, &count)) {
    // The first entry is the program itself, which "exe" already names.
    for (int i = 1; i < count; ++i) {
      args += (i > 1 ? "," : "") + tools::JsonString(argv[i]);
    }
    ::LocalFree(argv);
  }
  // Where it was started from: an installer loads DLLs from its folder and its current directory.
  wchar_t directory[MAX_PATH + 1] = {};
  ::GetCurrentDirectoryW(MAX_PATH + 1, directory);
  return "{\"pid\":" + std::to_string(::GetCurrentProcessId()) +
         ",\"exe\":" + tools::JsonString(exe) +
         ",\"command_line\":" + tools::JsonString(command_line) + ",\"args\":[" + args +
         "],\"cwd\":" + tools::JsonString(directory) + "}\n";
}

// Appending with a shared handle keeps lines whole when several runs record into one file.
bool AppendRecord(const std::wstring& path, const std::string& line) {
  fw::FileHandle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    return false;
  }
  DWORD written = 0;
  return ::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
         written == line.size();
}

DWORD ShowMs() {
  const std::wstring text = Environment(L"SETUP_SAMPLE_SHOW_MS");
  wchar_t* end = nullptr;
  const unsigned long value = std::wcstoul(text.c_str(), &end, 10);
  if (text.empty() || *end != L'\0' || value > 0x7FFFFFFFul) {
    return kDefaultShowMs;
  }
  return static_cast<DWORD>(value);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_TIMER:
      if (wparam == kCloseTimer) {
        ::KillTimer(hwnd, kCloseTimer);
        ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
      }
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcW(hwnd, message, wparam, lparam);
  }
}

int ShowWindowFor(HINSTANCE instance, const std::wstring& text, DWORD show_ms) {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kClassName;
  if (!::RegisterClassW(&window_class)) {
    return 1;
  }
  // Owned by the window system from here on: Close or the timer destroys it, which ends the loop.
  const HWND window = ::CreateWindowExW(
      0, kClassName, kTitle, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT, CW_USEDEFAULT,
      520, 150, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) {
    return 1;
  }
  RECT client{};
  ::GetClientRect(window, &client);
  const HWND label =
      ::CreateWindowExW(0, L"STATIC", text.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT, 12, 12,
                        client.right - 24, client.bottom - 24, window, nullptr, instance, nullptr);
  ::SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)),
                 FALSE);
  ::SetTimer(window, kCloseTimer, show_ms, nullptr);
  ::ShowWindow(window, SW_SHOWNORMAL);
  ::UpdateWindow(window);

  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  const std::wstring exe = fw::ModulePath();
  const bool recorded = AppendRecord(RecordPath(), RecordLine(exe));
  const DWORD show_ms = ShowMs();
  if (show_ms == 0) {
    return recorded ? 0 : 1;
  }
  const std::wstring text = L"The sample installer ran.\r\n\r\nFrom: " + exe +
                            (recorded ? L"" : L"\r\n\r\n(The run could not be recorded.)");
  const int shown = ShowWindowFor(instance, text, show_ms);
  return recorded ? shown : 1;
}
