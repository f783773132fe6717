#include "bootstrap/app/desktop_shell.h"

#include <windows.h>

#include <exdisp.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlobj.h>

#include "framework/ole_library.h"

namespace setup {

namespace {

// SID_STopLevelBrowser (shlguid.h), written out so that no GUID library is linked for it.
constexpr GUID kTopLevelBrowser = {
    0x4c96be40, 0x915c, 0x11cf, {0x99, 0xd3, 0x00, 0xaa, 0x00, 0x4a, 0xe8, 0x37}};

template <typename Interface>
fw::ComPtr<Interface> Query(IUnknown* object) {
  return fw::ObtainCom<Interface>([object](Interface** out) {
    return object->QueryInterface(__uuidof(Interface), reinterpret_cast<void**>(out));
  });
}

// The desktop's automation object, reached through the view of the desktop window: that object
// lives in the desktop's Explorer, so what it starts runs there, with the desktop user's rights.
// Its process is allowed to bring what it starts to the front, as Setup could.
fw::ComPtr<IShellDispatch2> DesktopAutomation(const fw::OleLibraries& ole) {
  const auto windows = fw::ObtainCom<IShellWindows>([&ole](IShellWindows** out) {
    return ole.CoCreateInstance(__uuidof(ShellWindows), nullptr, CLSCTX_ALL,
                                __uuidof(IShellWindows), reinterpret_cast<void**>(out));
  });
  if (!windows) {
    return {};
  }
  VARIANT location{};
  location.vt = VT_I4;
  location.lVal = CSIDL_DESKTOP;
  VARIANT root{};  // VT_EMPTY
  LONG desktop_window = 0;
  const auto desktop = fw::ObtainCom<IDispatch>([&](IDispatch** out) {
    return windows.get()->FindWindowSW(&location, &root, SWC_DESKTOP, &desktop_window,
                                       SWFO_NEEDDISPATCH, out);
  });
  if (!desktop) {
    return {};
  }
  const auto provider = Query<IServiceProvider>(desktop.get());
  if (!provider) {
    return {};
  }
  const auto browser = fw::ObtainCom<IShellBrowser>([&provider](IShellBrowser** out) {
    return provider.get()->QueryService(kTopLevelBrowser, __uuidof(IShellBrowser),
                                        reinterpret_cast<void**>(out));
  });
  if (!browser) {
    return {};
  }
  const auto view = fw::ObtainCom<IShellView>(
      [&browser](IShellView** out) { return browser.get()->QueryActiveShellView(out); });
  if (!view) {
    return {};
  }
  const auto background = fw::ObtainCom<IDispatch>([&view](IDispatch** out) {
    return view.get()->GetItemObject(SVGIO_BACKGROUND, __uuidof(IDispatch),
                                     reinterpret_cast<void**>(out));
  });
  if (!background) {
    return {};
  }
  const auto folder_view = Query<IShellFolderViewDual>(background.get());
  if (!folder_view) {
    return {};
  }
  const auto application = fw::ObtainCom<IDispatch>(
      [&folder_view](IDispatch** out) { return folder_view.get()->get_Application(out); });
  if (!application) {
    return {};
  }
  auto automation = Query<IShellDispatch2>(application.get());
  if (automation) {
    DWORD explorer = 0;
    ::GetWindowThreadProcessId(reinterpret_cast<HWND>(static_cast<LONG_PTR>(desktop_window)),
                               &explorer);
    if (explorer != 0) {
      ::AllowSetForegroundWindow(explorer);
    }
  }
  return automation;
}

bool ShellExecuteOnDesktop(const fw::OleLibraries& ole, const std::wstring& target) {
  const auto automation = DesktopAutomation(ole);
  if (!automation) {
    return false;
  }
  const fw::BstrHandle file(ole.SysAllocStringLen(target.data(), static_cast<UINT>(target.size())));
  const fw::BstrHandle verb(ole.SysAllocStringLen(L"open", 4));
  if (!file || !verb) {
    return false;
  }
  VARIANT none{};  // VT_EMPTY: no arguments, no working directory
  VARIANT operation{};
  operation.vt = VT_BSTR;
  operation.bstrVal = verb.get();
  VARIANT show{};
  show.vt = VT_I4;
  show.lVal = SW_SHOWNORMAL;
  // Only S_OK is documented as success; Wine's shell answers S_FALSE when it could not start it.
  return automation.get()->ShellExecute(file.get(), none, none, operation, show) == S_OK;
}

}  // namespace

bool OpenInDesktopShell(const std::wstring& target) {
  const fw::OleLibraries* ole = fw::OleLibraries::Get();
  if (ole == nullptr) {
    return false;
  }
  // Declared before any COM object, so that every one is released before COM is let go.
  const fw::ComApartment com(*ole);
  return com.Usable() && ShellExecuteOnDesktop(*ole, target);
}

}  // namespace setup
