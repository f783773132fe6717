// accessibility_probe.exe: a small screen-reader client for the end-to-end tests. It reads what
// Microsoft Active Accessibility reports of a top-level window's client area, from another process
// of the same Wine prefix, and prints every finding as one line of JSON (UTF-8).
// Commands (TITLE is the exact window title; --class narrows it to one window class):
// - tree TITLE [--class NAME] [--timeout-ms N]: the client object and its children: id, role,
//   name, value, state, default action and location (relative to the window's client area);
//   "focus" is the child id that has the focus (0 the client itself, null none).
// - invoke TITLE --name TEXT: does the default action of the child with that name.
// - hit TITLE --x X --y Y: the child id at a point of the client area.
// - point TITLE --x X --y Y: what a screen reader finds at that point of the client area starting
//   from the window under it (AccessibleObjectFromPoint): role and name.
// - events TITLE [--class NAME] --for-ms N [--until-value TEXT]: prints "ready" once listening,
//   then one line per show, hide, focus, name, value, state or invoke event of the window's
//   children, with the child's name and value when it was raised; ends after N ms, or at the
//   first value event whose value is TEXT. The window need not exist yet.
// Exit codes: 0 as asked, 1 not found or failed, 2 usage error.
#include <windows.h>

#include <ole2.h>
#include <oleacc.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "framework/ole_library.h"
#include "tools/json_text.h"

namespace {

struct Options {
  std::wstring command;
  std::wstring title;
  std::wstring class_name = L"fw.Form";
  std::wstring name;
  std::wstring until_value;
  DWORD timeout_ms = 10000;
  DWORD for_ms = 0;
  LONG x = 0;
  LONG y = 0;
};

void Print(const std::string& json) {
  std::fwrite(json.data(), 1, json.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

HWND FindTarget(const Options& options) {
  return ::FindWindowW(options.class_name.c_str(), options.title.c_str());
}

HWND WaitForTarget(const Options& options) {
  const ULONGLONG deadline = ::GetTickCount64() + options.timeout_ms;
  for (;;) {
    if (HWND hwnd = FindTarget(options); hwnd != nullptr && ::IsWindowVisible(hwnd)) {
      return hwnd;
    }
    if (::GetTickCount64() >= deadline) {
      return nullptr;
    }
    ::Sleep(50);
  }
}

VARIANT ChildVariant(LONG id) {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = id;
  return v;
}

// A BSTR-returning IAccessible property as text; empty when the object has none.
template <typename Getter>
std::wstring Text(Getter get) {
  BSTR text = nullptr;
  const HRESULT result = get(&text);
  const fw::BstrHandle owned(text);
  return SUCCEEDED(result) && text != nullptr ? std::wstring(text, ::SysStringLen(text))
                                              : std::wstring();
}

std::wstring Name(IAccessible* acc, LONG id) {
  return Text([&](BSTR* out) { return acc->get_accName(ChildVariant(id), out); });
}

std::wstring Value(IAccessible* acc, LONG id) {
  return Text([&](BSTR* out) { return acc->get_accValue(ChildVariant(id), out); });
}

LONG IntegerProperty(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*),
                     IAccessible* acc, LONG id) {
  VARIANT v;
  ::VariantInit(&v);
  LONG result = -1;
  if (SUCCEEDED((acc->*get)(ChildVariant(id), &v)) && v.vt == VT_I4) {
    result = v.lVal;
  }
  ::VariantClear(&v);
  return result;
}

std::string Describe(IAccessible* acc, LONG id, POINT client_origin) {
  const LONG role = IntegerProperty(&IAccessible::get_accRole, acc, id);
  wchar_t role_text[128] = {};
  ::GetRoleTextW(static_cast<DWORD>(role), role_text, 128);
  LONG left = 0;
  LONG top = 0;
  LONG width = 0;
  LONG height = 0;
  acc->accLocation(&left, &top, &width, &height, ChildVariant(id));
  const std::wstring action =
      Text([&](BSTR* out) { return acc->get_accDefaultAction(ChildVariant(id), out); });
  return "{\"id\":" + std::to_string(id) + ",\"role\":" + std::to_string(role) +
         ",\"role_text\":" + tools::JsonString(role_text) +
         ",\"name\":" + tools::JsonString(Name(acc, id)) +
         ",\"value\":" + tools::JsonString(Value(acc, id)) +
         ",\"state\":" + std::to_string(IntegerProperty(&IAccessible::get_accState, acc, id)) +
         ",\"action\":" + tools::JsonString(action) + ",\"location\":[" +
         std::to_string(left - client_origin.x) + "," + std::to_string(top - client_origin.y) +
         "," + std::to_string(width) + "," + std::to_string(height) + "]}";
}

fw::ComPtr<IAccessible> ClientObject(HWND hwnd) {
  return fw::ObtainCom<IAccessible>([hwnd](IAccessible** out) {
    return ::AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                        reinterpret_cast<void**>(out));
  });
}

POINT ClientOrigin(HWND hwnd) {
  POINT origin{0, 0};
  ::ClientToScreen(hwnd, &origin);
  return origin;
}

int Tree(HWND hwnd) {
  const fw::ComPtr<IAccessible> acc = ClientObject(hwnd);
  if (!acc) {
    std::fprintf(stderr, "accessibility_probe: no accessible object\n");
    return 1;
  }
  const POINT origin = ClientOrigin(hwnd);
  LONG count = 0;
  acc.get()->get_accChildCount(&count);
  std::string children;
  for (LONG id = 1; id <= count; ++id) {
    children += (id > 1 ? "," : "") + Describe(acc.get(), id, origin);
  }
  VARIANT focus;
  ::VariantInit(&focus);
  std::string focus_json = "null";
  if (acc.get()->get_accFocus(&focus) == S_OK && focus.vt == VT_I4) {
    focus_json = std::to_string(focus.lVal);
  }
  ::VariantClear(&focus);
  const LONG role = IntegerProperty(&IAccessible::get_accRole, acc.get(), CHILDID_SELF);
  Print("{\"role\":" + std::to_string(role) + ",\"name\":" +
        tools::JsonString(Name(acc.get(), CHILDID_SELF)) + ",\"count\":" + std::to_string(count) +
        ",\"focus\":" + focus_json + ",\"children\":[" + children + "]}");
  return 0;
}

int Invoke(HWND hwnd, const std::wstring& name) {
  const fw::ComPtr<IAccessible> acc = ClientObject(hwnd);
  if (!acc) {
    return 1;
  }
  LONG count = 0;
  acc.get()->get_accChildCount(&count);
  for (LONG id = 1; id <= count; ++id) {
    if (Name(acc.get(), id) == name) {
      const HRESULT hr = acc.get()->accDoDefaultAction(ChildVariant(id));
      Print("{\"id\":" + std::to_string(id) + ",\"hr\":" + std::to_string(hr) + "}");
      return hr == S_OK ? 0 : 1;
    }
  }
  std::fprintf(stderr, "accessibility_probe: no child of that name\n");
  return 1;
}

int Hit(HWND hwnd, LONG x, LONG y) {
  const fw::ComPtr<IAccessible> acc = ClientObject(hwnd);
  if (!acc) {
    return 1;
  }
  const POINT origin = ClientOrigin(hwnd);
  VARIANT hit;
  ::VariantInit(&hit);
  const HRESULT hr = acc.get()->accHitTest(origin.x + x, origin.y + y, &hit);
  const LONG id = hit.vt == VT_I4 ? hit.lVal : -1;
  ::VariantClear(&hit);
  Print("{\"hr\":" + std::to_string(hr) + ",\"id\":" + std::to_string(id) +
        ",\"name\":" + tools::JsonString(id >= 0 ? Name(acc.get(), id) : L"") + "}");
  return SUCCEEDED(hr) ? 0 : 1;
}

int Point(HWND hwnd, LONG x, LONG y) {
  const POINT origin = ClientOrigin(hwnd);
  VARIANT id;
  ::VariantInit(&id);
  const fw::ComPtr<IAccessible> acc = fw::ObtainCom<IAccessible>([&](IAccessible** out) {
    return ::AccessibleObjectFromPoint(POINT{origin.x + x, origin.y + y}, out, &id);
  });
  if (!acc) {
    std::fprintf(stderr, "accessibility_probe: nothing at the point\n");
    return 1;
  }
  const LONG child = id.vt == VT_I4 ? id.lVal : CHILDID_SELF;
  Print(
      "{\"role\":" + std::to_string(IntegerProperty(&IAccessible::get_accRole, acc.get(), child)) +
      ",\"name\":" + tools::JsonString(Name(acc.get(), child)) + "}");
  ::VariantClear(&id);
  return 0;
}

// -- events -------------------------------------------------------------------------------------

const Options* g_options = nullptr;
bool g_done = false;

const char* EventName(DWORD event) {
  switch (event) {
    case EVENT_OBJECT_SHOW:
      return "show";
    case EVENT_OBJECT_HIDE:
      return "hide";
    case EVENT_OBJECT_FOCUS:
      return "focus";
    case EVENT_OBJECT_NAMECHANGE:
      return "name";
    case EVENT_OBJECT_VALUECHANGE:
      return "value";
    case EVENT_OBJECT_STATECHANGE:
      return "state";
    case EVENT_OBJECT_INVOKED:
      return "invoke";
    default:
      return nullptr;
  }
}

void CALLBACK OnEvent(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG object, LONG child, DWORD,
                      DWORD) {
  const char* name = EventName(event);
  if (name == nullptr || g_done || object != OBJID_CLIENT || child <= 0 ||
      hwnd != FindTarget(*g_options)) {
    return;
  }
  VARIANT id;
  ::VariantInit(&id);
  const fw::ComPtr<IAccessible> acc = fw::ObtainCom<IAccessible>([&](IAccessible** out) {
    return ::AccessibleObjectFromEvent(hwnd, static_cast<DWORD>(object), static_cast<DWORD>(child),
                                       out, &id);
  });
  if (!acc) {
    return;
  }
  // A simple child comes back as the parent with the child's id.
  const LONG child_id = id.vt == VT_I4 ? id.lVal : CHILDID_SELF;
  const std::wstring child_name = Name(acc.get(), child_id);
  const std::wstring value = Value(acc.get(), child_id);
  Print(std::string("{\"event\":\"") + name + "\",\"id\":" + std::to_string(child) + ",\"name\":" +
        tools::JsonString(child_name) + ",\"value\":" + tools::JsonString(value) + "}");
  if (event == EVENT_OBJECT_VALUECHANGE && !g_options->until_value.empty() &&
      value == g_options->until_value) {
    g_done = true;
  }
}

int Events(const Options& options) {
  g_options = &options;
  // Out of context, every process but this one: with a process filter as well, Wine delivers
  // nothing.
  const HWINEVENTHOOK hook =
      ::SetWinEventHook(EVENT_OBJECT_SHOW, EVENT_OBJECT_INVOKED, nullptr, OnEvent, 0, 0,
                        WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
  if (hook == nullptr) {
    std::fprintf(stderr, "accessibility_probe: SetWinEventHook failed\n");
    return 1;
  }
  Print("\"ready\"");
  const ULONGLONG deadline = ::GetTickCount64() + options.for_ms;
  while (!g_done) {
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) {
      break;
    }
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::DispatchMessageW(&msg);
    }
  }
  ::UnhookWinEvent(hook);
  return options.until_value.empty() || g_done ? 0 : 1;
}

// -- arguments ----------------------------------------------------------------------------------

bool ParseNumber(const wchar_t* text, long long low, long long high, long long& value) {
  wchar_t* end = nullptr;
  const long long parsed = std::wcstoll(text, &end, 10);
  if (end == text || *end != L'\0' || parsed < low || parsed > high) {
    return false;
  }
  value = parsed;
  return true;
}

bool ParseArguments(int argc, wchar_t** argv, Options& options) {
  if (argc < 3 || argc % 2 == 0) {
    return false;
  }
  options.command = argv[1];
  options.title = argv[2];
  bool for_given = false;
  for (int i = 3; i + 1 < argc; i += 2) {
    const std::wstring flag = argv[i];
    const wchar_t* value = argv[i + 1];
    long long number = 0;
    if (flag == L"--class") {
      options.class_name = value;
    } else if (flag == L"--name") {
      options.name = value;
    } else if (flag == L"--until-value") {
      options.until_value = value;
    } else if (flag == L"--timeout-ms" && ParseNumber(value, 0, 0x7FFFFFFF, number)) {
      options.timeout_ms = static_cast<DWORD>(number);
    } else if (flag == L"--for-ms" && ParseNumber(value, 0, 0x7FFFFFFF, number)) {
      options.for_ms = static_cast<DWORD>(number);
      for_given = true;
    } else if (flag == L"--x" && ParseNumber(value, -100000, 100000, number)) {
      options.x = static_cast<LONG>(number);
    } else if (flag == L"--y" && ParseNumber(value, -100000, 100000, number)) {
      options.y = static_cast<LONG>(number);
    } else {
      return false;
    }
  }
  if (options.command == L"events") {
    return for_given;
  }
  if (options.command == L"invoke") {
    return !options.name.empty();
  }
  return options.command == L"tree" || options.command == L"hit" || options.command == L"point";
}

int Run(const Options& options) {
  if (options.command == L"events") {
    return Events(options);
  }
  const HWND hwnd = WaitForTarget(options);
  if (hwnd == nullptr) {
    std::fprintf(stderr, "accessibility_probe: no such window\n");
    return 1;
  }
  if (options.command == L"tree") {
    return Tree(hwnd);
  }
  if (options.command == L"invoke") {
    return Invoke(hwnd, options.name);
  }
  if (options.command == L"point") {
    return Point(hwnd, options.x, options.y);
  }
  return Hit(hwnd, options.x, options.y);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  if (!ParseArguments(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: accessibility_probe.exe tree|invoke|hit|point|events TITLE [--class NAME] "
                 "[--timeout-ms N] [--name TEXT] [--x X --y Y] [--for-ms N] "
                 "[--until-value TEXT]\n");
    return 2;
  }
  const fw::OleLibraries* ole = fw::OleLibraries::Get();
  if (ole == nullptr) {
    return 1;
  }
  const fw::ComApartment com(*ole);
  return com.Usable() ? Run(options) : 1;
}
