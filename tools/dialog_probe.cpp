// dialog_probe.exe: lets the end-to-end tests read and answer Setup's dialogs the way a person
// would, from inside the same Wine prefix. Every finding is printed as one line of JSON (UTF-8).
// Commands (TITLE is the exact window title):
// - wait TITLE [--timeout-ms N]: a message dialog appears; prints its text, icon and buttons.
// - press TITLE [--button OK] [--timeout-ms N]: clicks the button, waits until the dialog closes.
// - none TITLE --for-ms N: no message dialog appears within N ms (else prints the one that did).
// - window TITLE [--class NAME] [--timeout-ms N]: the topmost visible window with that title (of
//   that class when given); prints its class, client area, outer frame and pid.
// - gone TITLE [--timeout-ms N]: no window with that title is left, hidden ones included.
// - signin TITLE --user NAME --password TEXT [--timeout-ms N]: a sign-in dialog (a user name box
//   and a password box) appears; types both into it, prints what it holds, presses OK and waits
//   until it closes.
// Exit codes: 0 as asked, 1 timed out (or, for none, a dialog appeared), 2 usage error.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "tools/json_text.h"

namespace {

constexpr wchar_t kDialogClass[] = L"#32770";
constexpr int kMessageTextId = 0xFFFF;
constexpr DWORD kPollMs = 50;

struct Options {
  std::wstring command;
  std::wstring title;
  std::wstring button = L"OK";
  std::wstring class_name;
  std::wstring user;
  std::wstring password;
  bool credentials_given = false;
  DWORD timeout_ms = 10000;
  DWORD for_ms = 0;
  bool for_given = false;
};

std::wstring WindowText(HWND hwnd) {
  const int length = ::GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(::GetWindowTextW(hwnd, text.data(), length + 1)));
  return text;
}

// Another process's control text comes from the control itself (WM_GETTEXT), as GetDlgItemTextW
// does; the timeout keeps a hung program from hanging the probe.
std::wstring ControlText(HWND control) {
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) {
    return {};
  }
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!::SendMessageTimeoutW(control, WM_GETTEXT, text.size(),
                             reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 2000,
                             &copied)) {
    return {};
  }
  text.resize(copied);
  return text;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[256] = {};
  ::GetClassNameW(hwnd, name, 256);
  return name;
}

struct Search {
  const std::wstring* title;
  const wchar_t* class_name;  // nullptr: any class
  bool visible_only;
  HWND found;
};

BOOL CALLBACK MatchTopLevel(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  if (search->visible_only && !::IsWindowVisible(hwnd)) {
    return TRUE;
  }
  if (search->class_name != nullptr && ClassOf(hwnd) != search->class_name) {
    return TRUE;
  }
  if (WindowText(hwnd) != *search->title) {
    return TRUE;
  }
  search->found = hwnd;
  return FALSE;
}

// EnumWindows goes from the top of the Z order down, so the first match is the topmost one.
HWND FindTopLevel(const std::wstring& title, const wchar_t* class_name, bool visible_only) {
  Search search{&title, class_name, visible_only, nullptr};
  ::EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Polls until the window shows up; nullptr when the time runs out.
HWND WaitForTopLevel(const std::wstring& title, const wchar_t* class_name, DWORD timeout_ms) {
  const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
  for (;;) {
    if (HWND hwnd = FindTopLevel(title, class_name, true)) {
      return hwnd;
    }
    if (::GetTickCount64() >= deadline) {
      return nullptr;
    }
    ::Sleep(kPollMs);
  }
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  ::EnumChildWindows(
      parent,
      [](HWND child, LPARAM param) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&children));
  return children;
}

bool IsVisibleButton(HWND child) {
  return ::IsWindowVisible(child) && ::lstrcmpiW(ClassOf(child).c_str(), L"Button") == 0;
}

// Message boxes keep their icon in a static of style SS_ICON (id 0x14 on Windows, another id in
// Wine); a box without an icon has no such static, or one that is hidden or empty.
bool HasIcon(HWND dialog) {
  for (HWND child : Children(dialog)) {
    if (::lstrcmpiW(ClassOf(child).c_str(), L"Static") != 0 || !::IsWindowVisible(child)) {
      continue;
    }
    const auto style = static_cast<DWORD>(::GetWindowLongW(child, GWL_STYLE));
    DWORD_PTR icon = 0;
    if ((style & SS_TYPEMASK) == SS_ICON &&
        ::SendMessageTimeoutW(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &icon) &&
        icon != 0) {
      return true;
    }
  }
  return false;
}

std::string HwndJson(HWND hwnd) {
  return std::to_string(reinterpret_cast<ULONG_PTR>(hwnd));
}

// The captions of the visible buttons, as the elements of a JSON array.
std::string ButtonsJson(HWND dialog) {
  std::string buttons;
  for (HWND child : Children(dialog)) {
    if (IsVisibleButton(child)) {
      buttons += (buttons.empty() ? "" : ",") + tools::JsonString(ControlText(child));
    }
  }
  return buttons;
}

std::string DescribeDialog(HWND dialog) {
  const HWND message = ::GetDlgItem(dialog, kMessageTextId);
  const std::wstring text = message != nullptr ? ControlText(message) : std::wstring();
  return "{\"hwnd\":" + HwndJson(dialog) + ",\"title\":" + tools::JsonString(WindowText(dialog)) +
         ",\"text\":" + tools::JsonString(text) +
         ",\"icon\":" + (HasIcon(dialog) ? "true" : "false") + ",\"buttons\":[" +
         ButtonsJson(dialog) + "]}";
}

std::string DescribeWindow(HWND hwnd) {
  RECT client{};
  ::GetClientRect(hwnd, &client);
  RECT frame{};
  ::GetWindowRect(hwnd, &frame);
  POINT origin{0, 0};
  ::ClientToScreen(hwnd, &origin);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(hwnd, &pid);
  return "{\"hwnd\":" + HwndJson(hwnd) + ",\"class\":" + tools::JsonString(ClassOf(hwnd)) +
         ",\"client_screen_x\":" + std::to_string(origin.x) +
         ",\"client_screen_y\":" + std::to_string(origin.y) +
         ",\"client_w\":" + std::to_string(client.right - client.left) +
         ",\"client_h\":" + std::to_string(client.bottom - client.top) +
         ",\"window_screen_x\":" + std::to_string(frame.left) +
         ",\"window_screen_y\":" + std::to_string(frame.top) +
         ",\"window_w\":" + std::to_string(frame.right - frame.left) +
         ",\"window_h\":" + std::to_string(frame.bottom - frame.top) +
         ",\"pid\":" + std::to_string(pid) + "}";
}

void Print(const std::string& json) {
  std::fwrite(json.data(), 1, json.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// "&OK" and "ok" both name the OK button.
std::wstring ButtonKey(const std::wstring& text) {
  std::wstring key;
  for (wchar_t c : text) {
    if (c != L'&') {
      key += static_cast<wchar_t>(::towlower(c));
    }
  }
  return key;
}

HWND FindButton(HWND dialog, const std::wstring& label) {
  for (HWND child : Children(dialog)) {
    if (IsVisibleButton(child) && ButtonKey(ControlText(child)) == ButtonKey(label)) {
      return child;
    }
  }
  return nullptr;
}

bool WaitUntilClosed(HWND dialog, DWORD timeout_ms) {
  const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
  while (::IsWindow(dialog) && ::IsWindowVisible(dialog)) {
    if (::GetTickCount64() >= deadline) {
      return false;
    }
    ::Sleep(kPollMs);
  }
  return true;
}

// Posted, so that a dialog busy in its owner's code cannot block the probe; a click that did not
// take (the box was not active yet) is repeated as the command the button would send.
int Click(HWND dialog, HWND button, DWORD timeout_ms) {
  ::PostMessageW(button, BM_CLICK, 0, 0);
  if (WaitUntilClosed(dialog, 1000)) {
    return 0;
  }
  const auto id = static_cast<WORD>(::GetDlgCtrlID(button));
  ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  if (WaitUntilClosed(dialog, timeout_ms)) {
    return 0;
  }
  std::fprintf(stderr, "dialog_probe: the dialog did not close\n");
  return 1;
}

int Press(const Options& options) {
  const HWND dialog = WaitForTopLevel(options.title, kDialogClass, options.timeout_ms);
  if (dialog == nullptr) {
    std::fprintf(stderr, "dialog_probe: no dialog titled as given appeared\n");
    return 1;
  }
  const HWND button = FindButton(dialog, options.button);
  Print(DescribeDialog(dialog));
  if (button == nullptr) {
    std::fprintf(stderr, "dialog_probe: the dialog has no such button\n");
    return 1;
  }
  return Click(dialog, button, options.timeout_ms);
}

bool IsVisibleEdit(HWND child) {
  return ::IsWindowVisible(child) && ::lstrcmpiW(ClassOf(child).c_str(), L"Edit") == 0;
}

bool IsPasswordBox(HWND edit) {
  return (::GetWindowLongW(edit, GWL_STYLE) & ES_PASSWORD) != 0;
}

bool SetControlText(HWND control, const std::wstring& text) {
  DWORD_PTR result = 0;
  return ::SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                               SMTO_ABORTIFHUNG, 2000, &result) != 0 &&
         result != 0;
}

// The user name box is the first plain edit box, the password box the first one that hides what
// is typed: the order a person reads them in.
int SignIn(const Options& options) {
  const HWND dialog = WaitForTopLevel(options.title, kDialogClass, options.timeout_ms);
  if (dialog == nullptr) {
    std::fprintf(stderr, "dialog_probe: no dialog titled as given appeared\n");
    return 1;
  }
  HWND user_box = nullptr;
  HWND password_box = nullptr;
  for (HWND child : Children(dialog)) {
    if (!IsVisibleEdit(child)) {
      continue;
    }
    HWND& box = IsPasswordBox(child) ? password_box : user_box;
    if (box == nullptr) {
      box = child;
    }
  }
  const HWND ok = FindButton(dialog, L"OK");
  const bool typed = user_box != nullptr && password_box != nullptr &&
                     SetControlText(user_box, options.user) &&
                     SetControlText(password_box, options.password);
  Print("{\"hwnd\":" + HwndJson(dialog) + ",\"title\":" + tools::JsonString(WindowText(dialog)) +
        ",\"user_box\":" + (user_box != nullptr ? "true" : "false") +
        ",\"password_box\":" + (password_box != nullptr ? "true" : "false") +
        ",\"user\":" + tools::JsonString(user_box != nullptr ? ControlText(user_box) : L"") +
        ",\"buttons\":[" + ButtonsJson(dialog) + "]}");
  if (!typed || ok == nullptr) {
    std::fprintf(stderr, "dialog_probe: the dialog has no user name box, password box or OK\n");
    return 1;
  }
  return Click(dialog, ok, options.timeout_ms);
}

int Run(const Options& options) {
  if (options.command == L"wait") {
    const HWND dialog = WaitForTopLevel(options.title, kDialogClass, options.timeout_ms);
    if (dialog == nullptr) {
      return 1;
    }
    Print(DescribeDialog(dialog));
    return 0;
  }
  if (options.command == L"window") {
    const wchar_t* class_name = options.class_name.empty() ? nullptr : options.class_name.c_str();
    const HWND hwnd = WaitForTopLevel(options.title, class_name, options.timeout_ms);
    if (hwnd == nullptr) {
      return 1;
    }
    Print(DescribeWindow(hwnd));
    return 0;
  }
  if (options.command == L"press") {
    return Press(options);
  }
  if (options.command == L"signin") {
    return SignIn(options);
  }
  if (options.command == L"none") {
    const HWND hwnd = WaitForTopLevel(options.title, kDialogClass, options.for_ms);
    if (hwnd == nullptr) {
      return 0;
    }
    Print(DescribeDialog(hwnd));
    return 1;
  }
  // gone: hidden windows count too, as they still mean the program is running.
  const ULONGLONG deadline = ::GetTickCount64() + options.timeout_ms;
  while (FindTopLevel(options.title, nullptr, false) != nullptr) {
    if (::GetTickCount64() >= deadline) {
      return 1;
    }
    ::Sleep(kPollMs);
  }
  return 0;
}

bool ParseMs(const wchar_t* text, DWORD& value) {
  wchar_t* end = nullptr;
  const unsigned long parsed = std::wcstoul(text, &end, 10);
  if (end == text || *end != L'\0' || parsed > 0x7FFFFFFFul) {
    return false;
  }
  value = static_cast<DWORD>(parsed);
  return true;
}

bool ParseArguments(int argc, wchar_t** argv, Options& options) {
  if (argc < 3) {
    return false;
  }
  options.command = argv[1];
  options.title = argv[2];
  for (int i = 3; i < argc; i += 2) {
    const std::wstring name = argv[i];
    if (i + 1 >= argc) {
      return false;
    }
    if (name == L"--timeout-ms") {
      if (!ParseMs(argv[i + 1], options.timeout_ms)) {
        return false;
      }
    } else if (name == L"--for-ms") {
      if (!ParseMs(argv[i + 1], options.for_ms)) {
        return false;
      }
      options.for_given = true;
    } else if (name == L"--button") {
      options.button = argv[i + 1];
    } else if (name == L"--class") {
      options.class_name = argv[i + 1];
    } else if (name == L"--user") {
      options.user = argv[i + 1];
      options.credentials_given = true;
    } else if (name == L"--password") {
      options.password = argv[i + 1];
    } else {
      return false;
    }
  }
  if (options.command == L"signin") {
    return options.credentials_given;
  }
  for (const wchar_t* known : {L"wait", L"press", L"none", L"window", L"gone"}) {
    if (options.command == known) {
      return options.command != L"none" || options.for_given;
    }
  }
  return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  if (!ParseArguments(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: dialog_probe.exe wait|press|none|window|gone|signin TITLE "
                 "[--timeout-ms N] [--for-ms N] [--button TEXT] [--class NAME] [--user NAME] "
                 "[--password TEXT]\n"
                 "       none needs --for-ms N, signin needs --user NAME\n");
    return 2;
  }
  return Run(options);
}
