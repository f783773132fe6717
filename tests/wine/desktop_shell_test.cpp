// Opening through the desktop's shell. Wine's desktop (explorer.exe) answers the whole way to its
// automation object, so under Wine the target really is started by the desktop's process. A fake
// desktop registered in this process then fails each step in turn: every reference taken on the
// way is given back, and the caller is told to open the target itself.
#include "bootstrap/app/desktop_shell.h"

#include <windows.h>

#include <exdisp.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>
#include <thread>

#include "framework/ole_library.h"
#include "framework/scope_exit.h"

namespace setup {
namespace {

// ---- COM on a thread ----

enum class Apartment { kNone, kSingle, kMulti };

std::ostream& operator<<(std::ostream& out, Apartment apartment) {
  const char* names[] = {"no COM", "apartment-threaded", "multithreaded"};
  return out << names[static_cast<int>(apartment)];
}

Apartment CurrentApartment() {
  APTTYPE type{};
  APTTYPEQUALIFIER qualifier{};
  if (FAILED(::CoGetApartmentType(&type, &qualifier))) {
    return Apartment::kNone;
  }
  // A thread without COM of its own in a process with a multithreaded apartment reads as in it.
  if (qualifier == APTTYPEQUALIFIER_IMPLICIT_MTA) {
    return Apartment::kNone;
  }
  return type == APTTYPE_MTA ? Apartment::kMulti : Apartment::kSingle;
}

// The apartment a piece of work left its thread in, and the one left once the set-up is undone.
struct ComTrace {
  Apartment after_work;
  Apartment after_undo;
};

// Runs work on a new thread whose COM is set up as given beforehand and undone afterwards.
template <typename Work>
ComTrace OnThreadWith(Apartment apartment, Work work) {
  ComTrace trace{};
  const fw::OleLibraries* ole = fw::OleLibraries::Get();
  if (ole == nullptr) {
    ADD_FAILURE() << "COM could not be loaded";
    return trace;
  }
  std::thread([&] {
    std::optional<fw::ComApartment> com;
    if (apartment != Apartment::kNone) {
      com.emplace(
          *ole, apartment == Apartment::kSingle ? COINIT_APARTMENTTHREADED : COINIT_MULTITHREADED);
      if (!com->Usable()) {
        ADD_FAILURE() << "COM could not be set up for the case";
        return;
      }
    }
    work();
    trace.after_work = CurrentApartment();
    com.reset();
    trace.after_undo = CurrentApartment();
  }).join();
  return trace;
}

// ---- the real desktop ----

std::wstring TempPath() {
  wchar_t buffer[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
  return std::wstring(buffer, length);
}

std::string LowerAscii(std::wstring text) {
  std::string lower;
  for (const wchar_t c : text) {
    lower += static_cast<char>(c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c);
  }
  return lower;
}

// A batch file that writes the directory it runs in into a file beside it. A program inherits the
// working directory of the process that starts it: Wine starts its desktop's process (the desktop
// is started afresh by the first program that needs it, with that program's environment, so the
// environment would not tell) in the system directory.
struct RecordingBatch {
  std::wstring batch;
  std::wstring record;

  explicit RecordingBatch(const std::wstring& name)
      : batch(TempPath() + name + L".bat"), record(TempPath() + name + L".txt") {
    ::DeleteFileW(record.c_str());
    std::ofstream out(batch.c_str(), std::ios::binary);
    out << "@echo off\r\necho %CD%> \"" << std::string(record.begin(), record.end()) << "\"\r\n";
  }
  ~RecordingBatch() {
    ::DeleteFileW(batch.c_str());
    ::DeleteFileW(record.c_str());
  }

  // The directory the batch ran in, in lower case, once it has run; empty when it did not run
  // within a minute.
  std::string Recorded() const {
    for (int i = 0; i < 600; ++i) {
      std::ifstream in(record.c_str(), std::ios::binary);
      std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (text.find('\n') != std::string::npos) {
        return LowerAscii(std::wstring(text.begin(), text.begin() + text.find_first_of("\r\n")));
      }
      ::Sleep(100);
    }
    return {};
  }
};

TEST(DesktopShellTest, WinesDesktopStartsTheTargetAndComIsLeftAsItWasFound) {
  wchar_t system[MAX_PATH] = {};
  ASSERT_NE(::GetSystemDirectoryW(system, MAX_PATH), 0u);
  // What this process started itself would run in the temporary directory.
  wchar_t own[MAX_PATH] = {};
  ASSERT_NE(::GetCurrentDirectoryW(MAX_PATH, own), 0u);
  ASSERT_TRUE(::SetCurrentDirectoryW(TempPath().c_str()));
  const auto restore = fw::ScopeExit([&own] { ::SetCurrentDirectoryW(own); });
  for (const Apartment apartment : {Apartment::kNone, Apartment::kSingle, Apartment::kMulti}) {
    SCOPED_TRACE(testing::Message() << apartment);
    const RecordingBatch batch(L"desktop_shell_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                               std::to_wstring(static_cast<int>(apartment)));
    bool opened = false;
    const ComTrace trace =
        OnThreadWith(apartment, [&] { opened = OpenInDesktopShell(batch.batch); });
    EXPECT_TRUE(opened);
    EXPECT_EQ(trace.after_work, apartment);
    EXPECT_EQ(trace.after_undo, Apartment::kNone);
    if (opened) {
      EXPECT_EQ(batch.Recorded(), LowerAscii(system));
    }
  }
}

// ---- a fake desktop, failing at each step ----

enum Step {
  kCreate,           // CoCreateInstance of ShellWindows
  kFindWindow,       // IShellWindows::FindWindowSW: S_FALSE, nothing found
  kServiceProvider,  // the desktop's IServiceProvider
  kTopLevelBrowser,  // QueryService(SID_STopLevelBrowser, IShellBrowser)
  kActiveView,       // IShellBrowser::QueryActiveShellView
  kBackground,       // IShellView::GetItemObject(SVGIO_BACKGROUND, IDispatch)
  kFolderViewDual,   // the background's IShellFolderViewDual
  kApplication,      // IShellFolderViewDual::get_Application
  kShellDispatch2,   // the application's IShellDispatch2
  kShellExecute,     // IShellDispatch2::ShellExecute: S_FALSE, as Wine's when nothing started
  kNothingFails,
};

// SID_STopLevelBrowser (shlguid.h).
constexpr GUID kTopLevelBrowserService = {
    0x4c96be40, 0x915c, 0x11cf, {0x99, 0xd3, 0x00, 0xaa, 0x00, 0x4a, 0xe8, 0x37}};

// Every object of the way is this one object: one reference count covers them all. It records how
// far it was taken and what it was asked.
class FakeDesktop final : public IClassFactory,
                          public IShellWindows,
                          public IServiceProvider,
                          public IShellBrowser,
                          public IShellView,
                          public IShellFolderViewDual,
                          public IShellDispatch2 {
 public:
  explicit FakeDesktop(Step failing) : failing_(failing) {}

  LONG references = 1;
  int reached = -1;  // the last step asked for
  std::wstring find_location;
  std::wstring executed_file;
  std::wstring executed_operation;
  VARTYPE executed_arguments = VT_NULL;
  VARTYPE executed_directory = VT_NULL;
  LONG executed_show = -1;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
    } else if (iid == __uuidof(IShellWindows)) {
      *out = static_cast<IShellWindows*>(this);
    } else if (iid == __uuidof(IDispatch)) {
      *out = static_cast<IShellFolderViewDual*>(this);
    } else if (iid == __uuidof(IServiceProvider) && Reach(kServiceProvider)) {
      *out = static_cast<IServiceProvider*>(this);
    } else if (iid == __uuidof(IShellFolderViewDual) && Reach(kFolderViewDual)) {
      *out = static_cast<IShellFolderViewDual*>(this);
    } else if (iid == __uuidof(IShellDispatch2) && Reach(kShellDispatch2)) {
      *out = static_cast<IShellDispatch2*>(this);
    }
    if (*out == nullptr) {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }

  // IClassFactory
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID iid, void** out) override {
    if (!Reach(kCreate)) {
      *out = nullptr;
      return CLASS_E_CLASSNOTAVAILABLE;
    }
    return QueryInterface(iid, out);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  // IShellWindows
  HRESULT STDMETHODCALLTYPE FindWindowSW(VARIANT* location, VARIANT*, int kind, LONG* window,
                                         int options, IDispatch** out) override {
    *out = nullptr;
    *window = 0;
    find_location = location->vt == VT_I4 && location->lVal == CSIDL_DESKTOP ? L"desktop" : L"?";
    if (kind != SWC_DESKTOP || options != SWFO_NEEDDISPATCH || !Reach(kFindWindow)) {
      return S_FALSE;
    }
    *out = static_cast<IShellWindows*>(this);
    AddRef();
    return S_OK;
  }

  // IServiceProvider
  HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID iid, void** out) override {
    *out = nullptr;
    if (service != kTopLevelBrowserService || iid != __uuidof(IShellBrowser) ||
        !Reach(kTopLevelBrowser)) {
      return E_NOINTERFACE;
    }
    *out = static_cast<IShellBrowser*>(this);
    AddRef();
    return S_OK;
  }

  // IShellBrowser
  HRESULT STDMETHODCALLTYPE QueryActiveShellView(IShellView** out) override {
    *out = nullptr;
    if (!Reach(kActiveView)) {
      return E_FAIL;
    }
    *out = this;
    AddRef();
    return S_OK;
  }

  // IShellView
  HRESULT STDMETHODCALLTYPE GetItemObject(UINT item, REFIID iid, void** out) override {
    *out = nullptr;
    if (item != SVGIO_BACKGROUND || iid != __uuidof(IDispatch) || !Reach(kBackground)) {
      return E_NOINTERFACE;
    }
    *out = static_cast<IShellFolderViewDual*>(this);
    AddRef();
    return S_OK;
  }

  // IShellFolderViewDual and IShellDispatch
  HRESULT STDMETHODCALLTYPE get_Application(IDispatch** out) override {
    *out = nullptr;
    if (!Reach(kApplication)) {
      return E_FAIL;
    }
    *out = static_cast<IShellDispatch2*>(this);
    AddRef();
    return S_OK;
  }

  // IShellDispatch2
  HRESULT STDMETHODCALLTYPE ShellExecute(BSTR file, VARIANT arguments, VARIANT directory,
                                         VARIANT operation, VARIANT show) override {
    executed_file.assign(file, ::SysStringLen(file));
    executed_arguments = arguments.vt;
    executed_directory = directory.vt;
    if (operation.vt == VT_BSTR) {
      executed_operation.assign(operation.bstrVal, ::SysStringLen(operation.bstrVal));
    }
    executed_show = show.vt == VT_I4 ? show.lVal : -1;
    return Reach(kShellExecute) ? S_OK : S_FALSE;
  }

  // Nothing else is used on the way.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_Count(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Item(VARIANT, IDispatch**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE _NewEnum(IUnknown**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Register(IDispatch*, LONG, int, LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RegisterPending(LONG, VARIANT*, VARIANT*, int, LONG*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Revoke(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnNavigate(LONG, VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnActivated(LONG, VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnCreated(LONG, IUnknown*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ProcessAttachDetach(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetWindow(HWND*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE InsertMenusSB(HMENU, LPOLEMENUGROUPWIDTHS) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetMenuSB(HMENU, HOLEMENU, HWND) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RemoveMenusSB(HMENU) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetStatusTextSB(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnableModelessSB(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TranslateAcceleratorSB(MSG*, WORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BrowseObject(PCUIDLIST_RELATIVE, UINT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetViewStateStream(DWORD, IStream**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetControlWindow(UINT, HWND*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SendControlMsg(UINT, UINT, WPARAM, LPARAM, LRESULT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE OnViewWindowActive(IShellView*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetToolbarItems(LPTBBUTTONSB, UINT, UINT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UIActivate(UINT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Refresh() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CreateViewWindow(IShellView*, LPCFOLDERSETTINGS, IShellBrowser*, RECT*,
                                             HWND*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DestroyViewWindow() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCurrentInfo(LPFOLDERSETTINGS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AddPropertySheetPages(DWORD, LPFNSVADDPROPSHEETPAGE, LPARAM) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SaveViewState() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SelectItem(PCUITEMID_CHILD, SVSIF) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Parent(IDispatch**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Folder(Folder**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SelectedItems(FolderItems**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_FocusedItem(FolderItem**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SelectItem(VARIANT*, int) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE PopupItemMenu(FolderItem*, VARIANT, VARIANT, BSTR*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_Script(IDispatch**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_ViewOptions(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NameSpace(VARIANT, Folder**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BrowseForFolder(LONG, BSTR, LONG, VARIANT, Folder**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Windows(IDispatch**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Open(VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Explore(VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE MinimizeAll() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UndoMinimizeALL() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FileRun() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CascadeWindows() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TileVertically() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TileHorizontally() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ShutdownWindows() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Suspend() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EjectPC() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetTime() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TrayProperties() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Help() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FindFiles() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FindComputer() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RefreshMenu() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ControlPanelItem(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsRestricted(BSTR, BSTR, LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FindPrinter(BSTR, BSTR, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSystemInformation(BSTR, VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ServiceStart(BSTR, VARIANT, VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ServiceStop(BSTR, VARIANT, VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsServiceRunning(BSTR, VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CanStartStopService(BSTR, VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ShowBrowserBar(BSTR, VARIANT, VARIANT*) override { return E_NOTIMPL; }

 private:
  // Records the step and says whether it succeeds.
  bool Reach(Step step) {
    reached = std::max(reached, static_cast<int>(step));
    return step != failing_;
  }

  Step failing_;
};

TEST(DesktopShellTest, EveryReferenceIsGivenBackWhereverTheWayEnds) {
  const wchar_t kPage[] = L"https://localhost:50443/about-us/contact";
  const struct {
    Step failing;
    bool opened;
  } cases[] = {
      {kCreate, false},          {kFindWindow, false},  {kServiceProvider, false},
      {kTopLevelBrowser, false}, {kActiveView, false},  {kBackground, false},
      {kFolderViewDual, false},  {kApplication, false}, {kShellDispatch2, false},
      {kShellExecute, false},    {kNothingFails, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "failing step " << c.failing);
    FakeDesktop desktop(c.failing);
    bool opened = !c.opened;
    LONG held = 0;
    const ComTrace trace = OnThreadWith(Apartment::kSingle, [&] {
      DWORD cookie = 0;
      // In this process, so that creating ShellWindows finds the fake instead of the desktop.
      ASSERT_EQ(
          ::CoRegisterClassObject(__uuidof(ShellWindows), static_cast<IClassFactory*>(&desktop),
                                  CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie),
          S_OK);
      held = desktop.references;
      opened = OpenInDesktopShell(kPage);
      EXPECT_EQ(desktop.references, held);
      ::CoRevokeClassObject(cookie);
    });
    EXPECT_EQ(opened, c.opened);
    EXPECT_EQ(desktop.reached,
              std::min(static_cast<int>(c.failing), static_cast<int>(kShellExecute)));
    EXPECT_EQ(desktop.references, 1);
    EXPECT_EQ(trace.after_work, Apartment::kSingle);
    EXPECT_EQ(trace.after_undo, Apartment::kNone);
    if (c.failing > kFindWindow) {
      EXPECT_EQ(desktop.find_location, L"desktop");
    }
    if (c.failing >= kShellExecute) {
      EXPECT_EQ(desktop.executed_file, kPage);
      EXPECT_EQ(desktop.executed_operation, L"open");
      EXPECT_EQ(desktop.executed_show, SW_SHOWNORMAL);
      EXPECT_EQ(desktop.executed_arguments, VT_EMPTY);
      EXPECT_EQ(desktop.executed_directory, VT_EMPTY);
    } else {
      EXPECT_TRUE(desktop.executed_file.empty());
    }
  }
}

}  // namespace
}  // namespace setup
